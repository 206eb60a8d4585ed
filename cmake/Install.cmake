# SPDX-License-Identifier: MIT
# Install rules: the public headers under include/sysutils, the libraries
# with their CMake package (sysutils::base, sysutils::log, sysutils::shared)
# and pkg-config files, the commands, the completion and the manual pages.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/sysutils)

set(libraries sysutils_base sysutils_log)
if(TARGET sysutils_shared)
  list(APPEND libraries sysutils_shared)
endif()
install(TARGETS ${libraries} EXPORT sysutilsTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sysutils)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT sysutilsTargets NAMESPACE sysutils:: DESTINATION ${cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/sysutilsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sysutilsConfig.cmake INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sysutilsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sysutilsConfig.cmake ${PROJECT_BINARY_DIR}/sysutilsConfigVersion.cmake
  DESTINATION ${cmake_dir})

# pkg-config: sysutils (static libraries) and sysutils-shared. The prefix is
# found from the file's own place, so an unpacked or moved tree works as is.
file(RELATIVE_PATH pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
foreach(flavour IN ITEMS static shared)
  if(flavour STREQUAL static)
    set(pc_name sysutils)
    set(pc_libs "-lsysutils_base -lsysutils_log -pthread")
  elseif(TARGET sysutils_shared)
    set(pc_name sysutils-shared)
    set(pc_libs "-lsysutils")
  else()
    break()
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/sysutils.pc.in ${PROJECT_BINARY_DIR}/${pc_name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc_name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/man/sysutils.7 DESTINATION ${CMAKE_INSTALL_MANDIR}/man7)
# Section 3: a page per public header, and every function it declares as a
# link to that page, so that "man FUNCTION" finds it.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man3)
foreach(page IN ITEMS su_base qor_log android_log)
  install(FILES ${PROJECT_SOURCE_DIR}/man/${page}.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
  file(STRINGS ${PROJECT_SOURCE_DIR}/include/sysutils/${page}.h declarations
       REGEX "^[A-Za-z][A-Za-z0-9_ ]*[ *][A-Za-z_][A-Za-z0-9_]*\\(")
  # Each declaration is taken whole: list(FILTER) would split it at its ';'.
  foreach(declaration IN LISTS declarations)
    if(declaration MATCHES "^typedef")
      continue()
    endif()
    string(REGEX REPLACE "^.*[ *]([A-Za-z_][A-Za-z0-9_]*)\\(.*$" "\\1" function "${declaration}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E create_symlink ${page}.3 ${PROJECT_BINARY_DIR}/man3/${function}.3)
    install(FILES ${PROJECT_BINARY_DIR}/man3/${function}.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
  endforeach()
endforeach()

if(SYSUTILS_BUILD_TOOLS)
  install(TARGETS sysutils_chipid sysutils_sysutil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/chipid.1 ${PROJECT_SOURCE_DIR}/man/sysutil.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/sysutil/sysutil.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME sysutil)
endif()
