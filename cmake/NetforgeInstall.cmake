include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS netforge Netforge NetforgeEval NetforgeData NetforgeTrain NetforgeDraw
  EXPORT NetforgeTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Headers sit beside their sources; install them with the same folder layout
# so that "NeuralNets/TBasicNetwork.h" works for installed consumers too.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/netforge
  FILES_MATCHING PATTERN "*.h")

install(EXPORT NetforgeTargets
  NAMESPACE Netforge::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Netforge)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/NetforgeConfig.cmake.in
  ${PROJECT_BINARY_DIR}/NetforgeConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Netforge)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/NetforgeConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/NetforgeConfig.cmake
  ${PROJECT_BINARY_DIR}/NetforgeConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Netforge)

# pkg-config file for builds that do not use CMake.
configure_file(${PROJECT_SOURCE_DIR}/cmake/netforge.pc.in ${PROJECT_BINARY_DIR}/netforge.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/netforge.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
