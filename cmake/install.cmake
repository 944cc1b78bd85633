# Install rules: the three programs, the parameter template, the desktop entry, icons, AppStream
# metainfo, man pages made from each program's --help, the monitor's unit, example config and
# Grafana dashboard.
include(GNUInstallDirs)

set(ORLO_PROJECT_URL "https://orlo-pc.example.org" CACHE STRING
    "Home page of the project; the AppStream screenshots are its docs/screenshots/*.png")
set(ORLO_MAINTAINER "Orlo_PC developers <orlo-pc@example.org>" CACHE STRING
    "Maintainer of the Debian package")
set(ORLO_APP_ID org.orlo.OrloPC)
# Debian 12 keeps units in /lib even for /usr packages; other prefixes keep them inside.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(ORLO_SYSTEMD_UNIT_DIR_DEFAULT /lib/systemd/system)
else()
  set(ORLO_SYSTEMD_UNIT_DIR_DEFAULT ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
set(ORLO_SYSTEMD_UNIT_DIR ${ORLO_SYSTEMD_UNIT_DIR_DEFAULT} CACHE PATH "Where the systemd unit goes")

set(ORLO_PROGRAMS orlo-bms orlo-bms-sim)
if(TARGET Orlo_PC)
  list(PREPEND ORLO_PROGRAMS Orlo_PC)
endif()
install(TARGETS ${ORLO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ORLO_RESOURCE_DIR}/AlarmParameterExample.csv DESTINATION ${CMAKE_INSTALL_DATADIR}/${ORLO_DATA_SUBDIR})

set(ORLO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
if(TARGET Orlo_PC)
  install(FILES ${ORLO_PACKAGING_DIR}/${ORLO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(DIRECTORY ${ORLO_RESOURCE_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
          FILES_MATCHING PATTERN "*.png")
  string(TIMESTAMP ORLO_RELEASE_DATE "%Y-%m-%d" UTC)
  configure_file(${ORLO_PACKAGING_DIR}/${ORLO_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/packaging/${ORLO_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${ORLO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

install(FILES ${ORLO_PACKAGING_DIR}/orlo-bms@.service DESTINATION ${ORLO_SYSTEMD_UNIT_DIR})
install(FILES ${ORLO_PACKAGING_DIR}/orlo-bms/example.toml DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/orlo-bms)
# The Grafana dashboard over the monitor's /metrics, to import into Grafana.
install(FILES ${ORLO_PACKAGING_DIR}/grafana/orlo-bms-dashboard.json DESTINATION ${CMAKE_INSTALL_DATADIR}/${ORLO_DATA_SUBDIR})

# Man pages from the programs' own --help and --version, so that they cannot drift apart
# (not in the sanitizer and fuzz builds, whose programs nobody installs).
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(HELP2MAN AND GZIP AND NOT ORLO_SANITIZE AND NOT ORLO_FUZZ)
  set(ORLO_MAN_NAME_Orlo_PC "host tool for a battery pack's BMS")
  set(ORLO_MAN_NAME_orlo-bms "monitor battery packs unattended and publish them to MQTT")
  set(ORLO_MAN_NAME_orlo-bms-sim "simulated BMS board for Orlo_PC")
  # orlo-bms's own --help shows the commands only; its page holds every command's options.
  set(ORLO_MAN_HELP_orlo-bms --help-all)
  set(pages)
  foreach(program ${ORLO_PROGRAMS})
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    set(help_option --help)
    if(DEFINED ORLO_MAN_HELP_${program})
      set(help_option ${ORLO_MAN_HELP_${program}})
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --section=1 "--name=${ORLO_MAN_NAME_${program}}"
              --help-option=${help_option} --output=${page}
              $<TARGET_FILE:${program}>
      COMMAND ${GZIP} -9nf ${page}
      DEPENDS ${program}
      COMMENT "Man page of ${program} from its --help"
      VERBATIM)
    list(APPEND pages ${page}.gz)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "No man pages: help2man or gzip missing (scripts/setup installs them), or a test build")
endif()

# The Debian package's own documents: the copyright file and the changelog of a native package
# (the version has no Debian revision), compressed as Debian wants it.
string(TIMESTAMP ORLO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${ORLO_PACKAGING_DIR}/debian/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
if(GZIP)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${GZIP} -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    VERBATIM)
  add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  install(FILES ${ORLO_PACKAGING_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orlo-pc)
endif()
