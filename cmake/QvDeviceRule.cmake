# The udev rule that grants access to the device, as the programs quote it when the device is
# attached but may not be opened: the installed file's name and its whole text, taken from
# packaging/ at configure time so that the quoted rule is always the shipped one.

set(QV_DEVICE_RULE_FILE "${PROJECT_SOURCE_DIR}/packaging/70-qvupdater.rules")
get_filename_component(QV_DEVICE_RULE_NAME "${QV_DEVICE_RULE_FILE}" NAME)
file(READ "${QV_DEVICE_RULE_FILE}" QV_DEVICE_RULE_TEXT)
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${QV_DEVICE_RULE_FILE}")
configure_file("${PROJECT_SOURCE_DIR}/cmake/device_rule.h.in"
               "${PROJECT_BINARY_DIR}/generated/device_rule.h" @ONLY)
add_library(qv_device_rule INTERFACE)
target_include_directories(qv_device_rule INTERFACE "${PROJECT_BINARY_DIR}/generated")
