# HALVERN_SANITIZE=ON builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (GCC), float-cast-overflow included (GCC's
# "undefined" leaves it out), and no recovery: the first finding ends the
# program. scripts/sanitize.sh configures build-asan/ this way.
option(HALVERN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(HALVERN_SANITIZE)
  set(HALVERN_SANITIZER_FLAGS
    -fsanitize=address,undefined -fsanitize=float-cast-overflow
    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${HALVERN_SANITIZER_FLAGS})
  add_link_options(${HALVERN_SANITIZER_FLAGS})
endif()

# After the targets exist: the office's objects reach us as UNO proxies whose
# type information lives in the office's own libraries, so every interface
# call trips the vptr check. Only that check is left out, and only in code
# built against the UNO headers: the spreadsheet library, and the one test
# that probes the office directly (the linker keeps one copy of each inline
# UNO template for both, so both must be built alike).
function(halvern_sanitizer_exceptions)
  if(HALVERN_SANITIZE AND TARGET libreoffice_sdk)
    target_compile_options(libreoffice_sdk INTERFACE -fno-sanitize=vptr)
  endif()
endfunction()
