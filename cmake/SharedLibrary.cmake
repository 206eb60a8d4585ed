# SPDX-License-Identifier: MIT
# libsysutils.so: the base module and the log facility in one shared library,
# built from the static libraries' sources. Its name differs from theirs so
# that -lsysutils_base keeps linking the static library.
#
# Included twice: from the top CMakeLists.txt, before the commands that may
# link it, to define the target; then from cmake/Install.cmake, for its
# install rules.
if(NOT TARGET sysutils_shared)
  find_package(Threads REQUIRED)
  set(sysutils_shared_sources)
  foreach(part IN ITEMS sysutils_log sysutils_base)
    get_target_property(dir ${part} SOURCE_DIR)
    get_target_property(sources ${part} SOURCES)
    foreach(source IN LISTS sources)
      get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${dir}")
      list(APPEND sysutils_shared_sources ${source})
    endforeach()
  endforeach()

  add_library(sysutils_shared SHARED ${sysutils_shared_sources})
  add_library(sysutils::shared ALIAS sysutils_shared)
  # One version node, SYSUTILS_1.0, names every exported function; the
  # symbol test (tests/abi) holds it equal to the public headers.
  set(SYSUTILS_VERSION_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/libsysutils.map)
  set_target_properties(sysutils_shared PROPERTIES
    OUTPUT_NAME sysutils
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME shared
    LINK_DEPENDS ${SYSUTILS_VERSION_SCRIPT})
  sysutils_hide_symbols(sysutils_shared)
  target_include_directories(sysutils_shared PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/sysutils/base>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/log>)
  target_link_options(sysutils_shared PRIVATE "LINKER:--version-script=${SYSUTILS_VERSION_SCRIPT}")
  # Sanitizer runtimes are linked into executables only: their symbols are
  # undefined in a sanitized shared library.
  if(NOT CMAKE_C_FLAGS MATCHES "-fsanitize" AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(sysutils_shared PRIVATE LINKER:--no-undefined)
  endif()
  target_link_libraries(sysutils_shared
    PRIVATE $<BUILD_INTERFACE:sysutils_options> $<BUILD_INTERFACE:sysutils_posix>
    PUBLIC Threads::Threads)
  return()
endif()

install(TARGETS sysutils_shared EXPORT sysutilsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${SYSUTILS_INSTALL_INCLUDEDIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/sysutils-shared.pc.in
  ${PROJECT_BINARY_DIR}/sysutils-shared.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sysutils-shared.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
