# The Debian package, built by scripts/package: orlo-pc_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orlo-pc)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORLO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host tool, monitor and simulator for a battery pack's BMS")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORLO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORLO_PROJECT_URL}")
# CPack puts the summary first and indents this text itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orlo_PC talks to the battery management system of a 4-cell pack over a serial
line: telemetry, alarm and balancing lamps, protection parameters, the manual
balance test and the current calibration.

orlo-bms monitors packs unattended and publishes them to an MQTT broker, as the
service orlo-bms@NAME; orlo-bms-sim is a simulated board.")
# Libraries from dpkg-shlibdeps; adduser for the service's system user (postinst).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
                                       ${CMAKE_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# A package for users: nothing of the tests, benchmarks or the build tree.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
