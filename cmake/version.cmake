# The project's version for every program's --version, from project(VERSION) alone.
add_library(orlo_version INTERFACE)
target_include_directories(orlo_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# The installed data folder as seen from the installed programs' folder, so that a program
# finds its files wherever the whole tree is unpacked (/usr, /opt, a scratch root).
include(GNUInstallDirs)
set(ORLO_DATA_SUBDIR orlo-pc)
file(RELATIVE_PATH ORLO_DATA_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/${ORLO_DATA_SUBDIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${CMAKE_BINARY_DIR}/generated/orlo_version.h @ONLY)
