# qv::hidapi: the hidapi library the programs link, and whose header the simulated stand-in
# compiles against.
#   Linux:   the system's hidapi-hidraw, found through pkg-config.
#   Windows: hidapi.dll, its import library and headers in QV_HIDAPI_WINDOWS_DIR, as
#            scripts/build-hidapi-windows lays them out (Debian ships no Windows build).

if(WIN32)
  set(QV_HIDAPI_WINDOWS_DIR "" CACHE PATH
      "Folder with hidapi.dll, libhidapi.dll.a and include/hidapi/hidapi.h for Windows")
  set(qv_hidapi_files hidapi.dll libhidapi.dll.a include/hidapi/hidapi.h)
  foreach(file ${qv_hidapi_files})
    if(NOT QV_HIDAPI_WINDOWS_DIR OR NOT EXISTS "${QV_HIDAPI_WINDOWS_DIR}/${file}")
      message(FATAL_ERROR
        "hidapi for Windows not found: QV_HIDAPI_WINDOWS_DIR (\"${QV_HIDAPI_WINDOWS_DIR}\") "
        "must hold ${qv_hidapi_files}; scripts/build-hidapi-windows makes them")
    endif()
  endforeach()
  add_library(qv::hidapi SHARED IMPORTED GLOBAL)
  set_target_properties(qv::hidapi PROPERTIES
    IMPORTED_LOCATION "${QV_HIDAPI_WINDOWS_DIR}/hidapi.dll"
    IMPORTED_IMPLIB "${QV_HIDAPI_WINDOWS_DIR}/libhidapi.dll.a"
    INTERFACE_INCLUDE_DIRECTORIES "${QV_HIDAPI_WINDOWS_DIR}/include")
else()
  pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET GLOBAL hidapi-hidraw)
  add_library(qv::hidapi ALIAS PkgConfig::HIDAPI)
endif()
