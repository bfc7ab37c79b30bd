# Installs the library with its public headers (the file set HEADERS of the
# netforge target; internal headers are not in it), the tools, a CMake
# package config with its version file, and a relocatable pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(NETFORGE_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Netforge)

install(TARGETS netforge
  EXPORT NetforgeTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/netforge)

get_property(netforge_tools GLOBAL PROPERTY NETFORGE_TOOLS)
if(netforge_tools)
  install(TARGETS ${netforge_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT NetforgeTargets
  NAMESPACE Netforge::
  DESTINATION ${NETFORGE_CONFIG_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/NetforgeConfig.cmake.in
  ${PROJECT_BINARY_DIR}/NetforgeConfig.cmake
  INSTALL_DESTINATION ${NETFORGE_CONFIG_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/NetforgeConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/NetforgeConfig.cmake
  ${PROJECT_BINARY_DIR}/NetforgeConfigVersion.cmake
  DESTINATION ${NETFORGE_CONFIG_DIR})

# pkg-config file for builds that do not use CMake. Its paths are relative
# to the folder it is installed in (${pcfiledir}), so a tree installed with
# `cmake --install --prefix OTHER` or moved afterwards still gives the right
# flags. NETFORGE_PC_TO_PREFIX climbs from that folder to the prefix.
set(NETFORGE_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "netforge.pc needs CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
file(RELATIVE_PATH NETFORGE_PC_TO_PREFIX /prefix/${NETFORGE_PC_DIR} /prefix)
string(REGEX REPLACE "/$" "" NETFORGE_PC_TO_PREFIX "${NETFORGE_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/netforge.pc.in ${PROJECT_BINARY_DIR}/netforge.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/netforge.pc DESTINATION ${NETFORGE_PC_DIR})
