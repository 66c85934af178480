# CLI11 and nlohmann::json are header-only, and Debian ships them for the build machine only
# (/usr/include/CLI, /usr/include/nlohmann). A cross build sees them through a folder of its
# own that holds links to just those two folders: the rest of /usr/include is the build
# machine's C library and must stay off the cross compiler's include path.

set(QV_HOST_INCLUDE_DIR "/usr/include" CACHE PATH
    "Folder holding the CLI and nlohmann header folders for a cross build")
set(QV_HOST_HEADERS_DIR "${PROJECT_BINARY_DIR}/host-headers")

foreach(library CLI nlohmann)
  if(NOT IS_DIRECTORY "${QV_HOST_INCLUDE_DIR}/${library}")
    message(FATAL_ERROR "${QV_HOST_INCLUDE_DIR}/${library} is missing "
                        "(libcli11-dev, nlohmann-json3-dev: scripts/install-deps installs them)")
  endif()
  file(MAKE_DIRECTORY "${QV_HOST_HEADERS_DIR}")
  file(CREATE_LINK "${QV_HOST_INCLUDE_DIR}/${library}" "${QV_HOST_HEADERS_DIR}/${library}"
       SYMBOLIC)
endforeach()
include_directories(SYSTEM "${QV_HOST_HEADERS_DIR}")
