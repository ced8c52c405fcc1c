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

# After the targets exist: the spreadsheet library calls the office through
# UNO proxies whose type information lives in the office's own libraries, so
# every interface call there trips the vptr check. Only that check, only there.
function(halvern_sanitizer_exceptions)
  if(HALVERN_SANITIZE AND TARGET halvern_calc)
    target_compile_options(halvern_calc PRIVATE -fno-sanitize=vptr)
  endif()
endfunction()
