# Install rules, package config and packages.
#
# Installed tree:
#   bin/                      chipid, sysutil                       (runtime)
#   include/sysutils/         su_base.h, qor_log.h, android_log.h   (development)
#   lib/                      libsysutils_base.a, libsysutils_log.a (development)
#                             libsysutils.so.* with SYSUTILS_BUILD_SHARED (runtime)
#   lib/cmake/sysutils/       package config, targets sysutils::base, sysutils::log
#   lib/pkgconfig/            sysutils.pc (and sysutils-shared.pc)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
find_package(Threads REQUIRED)

option(SYSUTILS_BUILD_SHARED
       "Also build libsysutils.so (base and log in one shared library); the static libraries stay the default link"
       OFF)

set(SYSUTILS_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/sysutils)
set(SYSUTILS_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/sysutils)
set(SYSUTILS_PUBLIC_HEADERS
    ${PROJECT_SOURCE_DIR}/sysutils/base/su_base.h
    ${PROJECT_SOURCE_DIR}/log/qor_log.h
    ${PROJECT_SOURCE_DIR}/log/android_log.h)
# The warning options and the header-only owners are build-only (their
# header is not installed); in the installed tree Threads takes the owners'
# place in the link interface.
target_link_libraries(sysutils_log INTERFACE $<INSTALL_INTERFACE:Threads::Threads>)
set_target_properties(sysutils_log PROPERTIES EXPORT_NAME log)
set_target_properties(sysutils_base PROPERTIES EXPORT_NAME base)

install(TARGETS sysutils_base sysutils_log EXPORT sysutilsTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${SYSUTILS_INSTALL_INCLUDEDIR})
install(FILES ${SYSUTILS_PUBLIC_HEADERS}
  DESTINATION ${SYSUTILS_INSTALL_INCLUDEDIR} COMPONENT development)
install(TARGETS chipid sysutil
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

install(EXPORT sysutilsTargets
  NAMESPACE sysutils::
  DESTINATION ${SYSUTILS_INSTALL_CMAKEDIR}
  COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/sysutilsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sysutilsConfig.cmake
  INSTALL_DESTINATION ${SYSUTILS_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sysutilsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sysutilsConfig.cmake ${PROJECT_BINARY_DIR}/sysutilsConfigVersion.cmake
  DESTINATION ${SYSUTILS_INSTALL_CMAKEDIR} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place, so the file
# stays right wherever the tree is installed or unpacked.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(SYSUTILS_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(SYSUTILS_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH up "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" up "${up}")
  set(SYSUTILS_PC_PREFIX "\${pcfiledir}/${up}")
  set(SYSUTILS_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(SYSUTILS_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(SYSUTILS_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/sysutils.pc.in ${PROJECT_BINARY_DIR}/sysutils.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sysutils.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

if(SYSUTILS_BUILD_SHARED)
  include(${CMAKE_CURRENT_LIST_DIR}/SharedLibrary.cmake)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/Packaging.cmake)
