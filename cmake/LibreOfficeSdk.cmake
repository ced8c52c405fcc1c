# The LibreOffice SDK on Debian ships only the UNO base headers; the API
# headers (com/sun/star/...) are generated here with cppumaker at build time.
set(LO_PROGRAM_DIR /usr/lib/libreoffice/program)
set(LO_SDK_DIR /usr/lib/libreoffice/sdk)
set(LO_UNO_HEADERS ${CMAKE_BINARY_DIR}/uno-headers)

if(NOT EXISTS ${LO_SDK_DIR}/bin/cppumaker)
  message(FATAL_ERROR "LibreOffice SDK not found: run scripts/setup.sh")
endif()

set(LO_UNO_STAMP ${LO_UNO_HEADERS}/.stamp)
add_custom_command(
  OUTPUT ${LO_UNO_STAMP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LO_UNO_HEADERS}
  COMMAND ${LO_SDK_DIR}/bin/cppumaker -Gc -O${LO_UNO_HEADERS}
          ${LO_PROGRAM_DIR}/types.rdb ${LO_PROGRAM_DIR}/types/offapi.rdb
  COMMAND ${CMAKE_COMMAND} -E touch ${LO_UNO_STAMP}
  COMMENT "Generating UNO API headers"
  VERBATIM)
add_custom_target(uno_headers DEPENDS ${LO_UNO_STAMP})

add_library(libreoffice_sdk INTERFACE)
add_dependencies(libreoffice_sdk uno_headers)
target_include_directories(libreoffice_sdk SYSTEM INTERFACE ${LO_UNO_HEADERS} ${LO_SDK_DIR}/include)
target_compile_definitions(libreoffice_sdk INTERFACE UNX GCC LINUX CPPU_ENV=gcc3)
target_link_directories(libreoffice_sdk INTERFACE ${LO_SDK_DIR}/lib)
target_link_libraries(libreoffice_sdk INTERFACE uno_cppuhelpergcc3 uno_cppu uno_salhelpergcc3 uno_sal)
target_link_options(libreoffice_sdk INTERFACE
  -Wl,-rpath-link,${LO_PROGRAM_DIR} -Wl,-rpath,${LO_PROGRAM_DIR})
