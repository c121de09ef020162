# What `cmake --install` puts under the prefix for hosts: the shared library,
# its header, the command-line host, a pkg-config file for C builds and a
# CMake package (find_package(updater) gives the target updater::updater).
# Both descriptions find their prefix from where they are installed, so a
# tree installed with `cmake --install <build> --prefix <folder>` works
# wherever it lands.
include(CMakePackageConfigHelpers)

set(UPD_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/updater)

target_include_directories(updater INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS updater EXPORT updaterTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/updater.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS updhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT updaterTargets NAMESPACE updater:: DESTINATION ${UPD_CMAKE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/updaterConfig.cmake.in
  ${PROJECT_BINARY_DIR}/install/updaterConfig.cmake INSTALL_DESTINATION ${UPD_CMAKE_PACKAGE_DIR})
# Before 1.0 a minor version may change the records a host shares.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/install/updaterConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/install/updaterConfig.cmake
  ${PROJECT_BINARY_DIR}/install/updaterConfigVersion.cmake DESTINATION ${UPD_CMAKE_PACKAGE_DIR})

# updater.pc finds its prefix from its own folder (pkg-config's pcfiledir);
# install dirs given as absolute paths stay as given.
set(UPD_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${UPD_PC_DIR}")
  set(UPD_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH up /prefix/${UPD_PC_DIR} /prefix)
  string(REGEX REPLACE "/$" "" up "${up}")
  set(UPD_PC_PREFIX "\${pcfiledir}/${up}")
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(UPD_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(UPD_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/updater.pc.in ${PROJECT_BINARY_DIR}/install/updater.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/install/updater.pc DESTINATION ${UPD_PC_DIR})
