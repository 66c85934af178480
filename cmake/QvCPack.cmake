# `cpack` makes two packages of the installed tree: a Debian package (prefix /usr, runtime
# dependencies from dpkg-shlibdeps, maintainer scripts that let udev apply the device rule) and
# a relocatable .tar.gz (bin/, lib/, share/ under one top folder, usable from anywhere).

set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PACKAGE_NAME qvupdater)
set(CPACK_PACKAGE_VENDOR "The QV updater developers")
set(CPACK_PACKAGE_CONTACT "${QV_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for QV USB devices")
# Lines of at most 80 characters, as the Debian control file wants them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "qvupdater writes an update package (QVUpdate.Bin) into the program, sound and\n"
  "map areas of a QV USB device, guided by a three-page wizard; its continuous\n"
  "mode updates device after device. The command-line tool qvupdate inspects,\n"
  "builds and flashes packages from a shell or a production script. A udev rule\n"
  "gives the user at the seat, and the group plugdev, access to the device.")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_FILE_NAME "qvupdater-${PROJECT_VERSION}-Linux-${CMAKE_SYSTEM_PROCESSOR}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/postinst;${PROJECT_SOURCE_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
