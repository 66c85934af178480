# GoogleTest for the tests: GTest::gtest, GTest::gtest_main, GTest::gmock and
# GTest::gmock_main, and the GoogleTest module (gtest_discover_tests).
#   Native:          the system's libraries (libgtest-dev).
#   Cross-compiling: built from the sources libgtest-dev ships in /usr/src/googletest, with the
#                    same target names. The tests are listed when ctest runs them
#                    (DISCOVERY_MODE PRE_TEST), so building never starts the emulator.

if(CMAKE_CROSSCOMPILING)
  set(QV_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
      "GoogleTest's sources, built into a cross build")
  if(NOT EXISTS "${QV_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest's sources are missing in ${QV_GOOGLETEST_SOURCE_DIR} "
                        "(libgtest-dev: scripts/install-deps installs it)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # Someone else's code: built with its own warning flags, without the project's -Werror,
  # as the system's prebuilt libraries are for the native build.
  get_directory_property(qv_saved_compile_options COMPILE_OPTIONS)
  set(qv_third_party_options "${qv_saved_compile_options}")
  list(REMOVE_ITEM qv_third_party_options -Werror)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${qv_third_party_options}")
  add_subdirectory("${QV_GOOGLETEST_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${qv_saved_compile_options}")
  # GoogleTest names its targets GTest::... itself from 1.11 on; older sources do not.
  foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
