# SPDX-License-Identifier: MIT
# Install rules, package config and packages.
#
# Installed tree (<libdir> is lib/<multiarch triplet> where the compiler
# names one, as Debian's multiarch layout has it, else lib):
#   bin/                   chipid, sysutil                             (runtime)
#   share/man/man1/        chipid.1.gz, sysutil.1.gz                   (runtime)
#   share/bash-completion/completions/sysutil                          (runtime)
#   <libdir>/              libsysutils.so.1* with SYSUTILS_BUILD_SHARED (library)
#   include/sysutils/      su_base.h, qor_log.h, android_log.h         (development)
#   <libdir>/              libsysutils_base.a, libsysutils_log.a, the
#                          libsysutils.so link                         (development)
#   <libdir>/cmake/sysutils/  package config: sysutils::base, sysutils::log
#   <libdir>/pkgconfig/    sysutils.pc (and sysutils-shared.pc)        (development)
#   share/man/man3/        one page per public header, a link per function
#   share/doc/<package>/   copyright and changelog.gz of each package
# The components are the Debian packages of cmake/Packaging.cmake.

# Multiarch library directory by default, so that installs and packages of
# several architectures can sit side by side; set before GNUInstallDirs,
# which would otherwise choose lib for any prefix but /usr.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR AND CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}
      CACHE PATH "Object code libraries (lib/${CMAKE_LIBRARY_ARCHITECTURE})")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
find_package(Threads REQUIRED)

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
if(EXISTS ${PROJECT_SOURCE_DIR}/tools/sysutil/sysutil.bash-completion)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/sysutil/sysutil.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
    RENAME sysutil COMPONENT runtime)
endif()

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

# The Debian package of each component, for the documentation directories.
set(SYSUTILS_PACKAGE_OF_runtime sysutils)
set(SYSUTILS_PACKAGE_OF_development sysutils-dev)
set(SYSUTILS_PACKAGE_OF_library libsysutils1)
set(SYSUTILS_COMPONENTS runtime development)
if(SYSUTILS_BUILD_SHARED)
  list(APPEND SYSUTILS_COMPONENTS library)
endif()
set(SYSUTILS_MAINTAINER "sysutils developers <sysutils-devel@lists.sysutils.org>")

# Documentation: manual pages, and each package's copyright and changelog.
# Compressed with gzip -n, so that the files are the same bytes on every
# architecture, as packages installed side by side require.
set(doc_dir ${PROJECT_BINARY_DIR}/doc)
find_program(SYSUTILS_GZIP gzip)
if(SYSUTILS_GZIP)
  file(MAKE_DIRECTORY ${doc_dir}/man3/links)
  set(doc_outputs)
  function(sysutils_gzip source output)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DGZIP=${SYSUTILS_GZIP} -DINPUT=${source} -DOUTPUT=${output}
              -P ${PROJECT_SOURCE_DIR}/packaging/gzip-n.cmake
      DEPENDS ${source} ${PROJECT_SOURCE_DIR}/packaging/gzip-n.cmake VERBATIM)
    set(doc_outputs ${doc_outputs} ${output} PARENT_SCOPE)
  endfunction()

  # Section 1: the commands.
  foreach(page IN ITEMS chipid.1 sysutil.1)
    sysutils_gzip(${PROJECT_SOURCE_DIR}/man/${page} ${doc_dir}/man1/${page}.gz)
    install(FILES ${doc_dir}/man1/${page}.gz
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  endforeach()

  # Section 3: a page per public header, and every function the header
  # declares as a link to it, so that "man FUNCTION" finds its page.
  foreach(header IN LISTS SYSUTILS_PUBLIC_HEADERS)
    get_filename_component(page ${header} NAME_WE)
    sysutils_gzip(${PROJECT_SOURCE_DIR}/man/${page}.3 ${doc_dir}/man3/${page}.3.gz)
    install(FILES ${doc_dir}/man3/${page}.3.gz
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT development)
    file(STRINGS ${header} declarations REGEX "^[A-Za-z][A-Za-z0-9_ ]*[ *][A-Za-z_][A-Za-z0-9_]*\\(")
    foreach(declaration IN LISTS declarations)
      if(declaration MATCHES "^typedef")
        continue()
      endif()
      string(REGEX REPLACE "^.*[ *]([A-Za-z_][A-Za-z0-9_]*)\\(.*$" "\\1" function "${declaration}")
      execute_process(COMMAND ${CMAKE_COMMAND} -E create_symlink
                              ${page}.3.gz ${doc_dir}/man3/links/${function}.3.gz)
      install(FILES ${doc_dir}/man3/links/${function}.3.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT development)
    endforeach()
  endforeach()

  # The changelog, in Debian's format from CHANGELOG.md, and the
  # machine-readable copyright with LICENSE's text.
  add_custom_command(OUTPUT ${doc_dir}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -DGZIP=${SYSUTILS_GZIP} -DINPUT=${PROJECT_SOURCE_DIR}/CHANGELOG.md
            -DOUTPUT=${doc_dir}/changelog.gz -DPACKAGE=${PROJECT_NAME}
            "-DMAINTAINER=${SYSUTILS_MAINTAINER}"
            -P ${PROJECT_SOURCE_DIR}/packaging/debian-changelog.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/packaging/debian-changelog.cmake
    VERBATIM)
  list(APPEND doc_outputs ${doc_dir}/changelog.gz)
  add_custom_target(sysutils_documentation ALL DEPENDS ${doc_outputs})
else()
  message(STATUS "gzip not found: manual pages and changelog are not installed")
endif()

file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
string(FIND "${license_text}" "Permission is hereby granted" license_start)
string(SUBSTRING "${license_text}" ${license_start} -1 license_text)
string(STRIP "${license_text}" license_text)
# A paragraph's lines are indented by one blank, its empty lines are " .".
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " SYSUTILS_LICENSE_BODY " ${license_text}")
file(READ ${PROJECT_SOURCE_DIR}/packaging/copyright.in copyright_template)
string(REGEX REPLACE "#[^\n]*\n" "" copyright_template "${copyright_template}")
string(CONFIGURE "${copyright_template}" copyright @ONLY)
file(GENERATE OUTPUT ${doc_dir}/copyright CONTENT "${copyright}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright.in)

foreach(component IN LISTS SYSUTILS_COMPONENTS)
  set(files ${doc_dir}/copyright)
  if(SYSUTILS_GZIP)
    list(APPEND files ${doc_dir}/changelog.gz)
  endif()
  install(FILES ${files}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${SYSUTILS_PACKAGE_OF_${component}}
    COMPONENT ${component})
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/Packaging.cmake)
