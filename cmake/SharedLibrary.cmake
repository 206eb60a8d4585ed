# libsysutils.so: the base module and the log facility in one shared library,
# built from the static libraries' sources. Its name differs from theirs so
# that -lsysutils_base keeps linking the static library.
set(sysutils_shared_sources)
foreach(part IN ITEMS sysutils_log sysutils_base)
  get_target_property(dir ${part} SOURCE_DIR)
  get_target_property(sources ${part} SOURCES)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir})
    list(APPEND sysutils_shared_sources ${source})
  endforeach()
endforeach()

add_library(sysutils_shared SHARED ${sysutils_shared_sources})
add_library(sysutils::shared ALIAS sysutils_shared)
set_target_properties(sysutils_shared PROPERTIES
  OUTPUT_NAME sysutils
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  EXPORT_NAME shared)
target_include_directories(sysutils_shared PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/sysutils/base>
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/log>)
target_compile_definitions(sysutils_shared PRIVATE
  $<TARGET_PROPERTY:sysutils_base,COMPILE_DEFINITIONS>)
target_link_libraries(sysutils_shared
  PRIVATE $<BUILD_INTERFACE:sysutils_options> $<BUILD_INTERFACE:sysutils_posix>
  PUBLIC Threads::Threads)

install(TARGETS sysutils_shared EXPORT sysutilsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${SYSUTILS_INSTALL_INCLUDEDIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/sysutils-shared.pc.in
  ${PROJECT_BINARY_DIR}/sysutils-shared.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sysutils-shared.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
