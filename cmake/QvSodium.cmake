# qv::sodium: libsodium, which checks package signatures (Ed25519, BLAKE2b).
#   Linux:   the system's libsodium, found through pkg-config, linked dynamically.
#   Windows: the static library and headers in QV_SODIUM_WINDOWS_DIR, as
#            scripts/build-libsodium-windows lays them out (Debian ships no Windows build); it is
#            linked into the programs, so no DLL is shipped for it.

if(WIN32)
  set(QV_SODIUM_WINDOWS_DIR "" CACHE PATH
      "Folder with lib/libsodium.a and include/sodium.h for Windows")
  foreach(file lib/libsodium.a include/sodium.h)
    if(NOT QV_SODIUM_WINDOWS_DIR OR NOT EXISTS "${QV_SODIUM_WINDOWS_DIR}/${file}")
      message(FATAL_ERROR
        "libsodium for Windows not found: QV_SODIUM_WINDOWS_DIR (\"${QV_SODIUM_WINDOWS_DIR}\") "
        "must hold lib/libsodium.a and include/sodium.h; scripts/build-libsodium-windows makes them")
    endif()
  endforeach()
  add_library(qv::sodium STATIC IMPORTED GLOBAL)
  # SODIUM_STATIC: the header then declares no DLL imports. Its random source is advapi32's.
  set_target_properties(qv::sodium PROPERTIES
    IMPORTED_LOCATION "${QV_SODIUM_WINDOWS_DIR}/lib/libsodium.a"
    INTERFACE_INCLUDE_DIRECTORIES "${QV_SODIUM_WINDOWS_DIR}/include"
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    INTERFACE_LINK_LIBRARIES advapi32)
else()
  pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET GLOBAL libsodium)
  add_library(qv::sodium ALIAS PkgConfig::SODIUM)
endif()
