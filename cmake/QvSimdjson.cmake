# qv::simdjson: simdjson, which parses record lines for qvupdate report.
#   Linux:   the system's libsimdjson, found through its CMake package, linked dynamically.
#   Windows: the static library and header in QV_SIMDJSON_WINDOWS_DIR, as
#            scripts/build-simdjson-windows lays them out from Debian's source package; it is
#            linked into the programs, so no DLL is shipped for it.

if(WIN32)
  set(QV_SIMDJSON_WINDOWS_DIR "" CACHE PATH
      "Folder with lib/libsimdjson.a and include/simdjson.h for Windows")
  foreach(file lib/libsimdjson.a include/simdjson.h)
    if(NOT QV_SIMDJSON_WINDOWS_DIR OR NOT EXISTS "${QV_SIMDJSON_WINDOWS_DIR}/${file}")
      message(FATAL_ERROR
        "simdjson for Windows not found: QV_SIMDJSON_WINDOWS_DIR (\"${QV_SIMDJSON_WINDOWS_DIR}\") "
        "must hold lib/libsimdjson.a and include/simdjson.h; scripts/build-simdjson-windows makes them")
    endif()
  endforeach()
  add_library(qv::simdjson STATIC IMPORTED GLOBAL)
  set_target_properties(qv::simdjson PROPERTIES
    IMPORTED_LOCATION "${QV_SIMDJSON_WINDOWS_DIR}/lib/libsimdjson.a"
    INTERFACE_INCLUDE_DIRECTORIES "${QV_SIMDJSON_WINDOWS_DIR}/include"
    # As the library was built, and as Debian builds its own.
    INTERFACE_COMPILE_DEFINITIONS SIMDJSON_THREADS_ENABLED=1)
else()
  find_package(simdjson REQUIRED CONFIG)
  add_library(qv::simdjson ALIAS simdjson::simdjson)
endif()
