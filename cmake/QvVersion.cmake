# The version the programs print for --version: the project version, followed by the git
# description when the source is a git checkout ("1.2 (git 533a60e-dirty)"). Written into a
# generated header at configure time; configuring runs again when the checkout's HEAD moves.

set(QV_VERSION_TEXT "${PROJECT_VERSION}")

find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" describe --tags --always --dirty
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
    OUTPUT_VARIABLE QV_GIT_DESCRIPTION
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET
    RESULT_VARIABLE QV_GIT_RESULT)
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" rev-parse --absolute-git-dir
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
    OUTPUT_VARIABLE QV_GIT_DIR
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  if(QV_GIT_RESULT EQUAL 0 AND QV_GIT_DESCRIPTION)
    string(APPEND QV_VERSION_TEXT " (git ${QV_GIT_DESCRIPTION})")
  endif()
  # A commit or a checkout appends to logs/HEAD; a reconfigure then picks up the new description.
  foreach(watched "${QV_GIT_DIR}/HEAD" "${QV_GIT_DIR}/logs/HEAD")
    if(QV_GIT_DIR AND EXISTS "${watched}")
      set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                   "${watched}")
    endif()
  endforeach()
endif()

configure_file("${PROJECT_SOURCE_DIR}/cmake/program_version.h.in"
               "${PROJECT_BINARY_DIR}/generated/program_version.h" @ONLY)
# The four numbers of a Windows version resource; a part the project version leaves out is 0.
set(QV_VERSION_MINOR "${PROJECT_VERSION_MINOR}")
set(QV_VERSION_PATCH "${PROJECT_VERSION_PATCH}")
if(QV_VERSION_MINOR STREQUAL "")
  set(QV_VERSION_MINOR 0)
endif()
if(QV_VERSION_PATCH STREQUAL "")
  set(QV_VERSION_PATCH 0)
endif()
configure_file("${PROJECT_SOURCE_DIR}/cmake/version_resource.h.in"
               "${PROJECT_BINARY_DIR}/generated/version_resource.h" @ONLY)
add_library(qv_program_version INTERFACE)
target_include_directories(qv_program_version INTERFACE "${PROJECT_BINARY_DIR}/generated")
message(STATUS "qvupdater version: ${QV_VERSION_TEXT}")
