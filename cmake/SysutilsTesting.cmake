# SPDX-License-Identifier: MIT
# Every tests/<area>/*_test.cpp becomes one test executable, linked with the
# fake platform and GoogleTest; a file that defines its own main keeps it.
# Files named *_long_test.cpp are labelled "long" and left out of the quick
# run of the host preset.
function(sysutils_add_tests_from_directory)
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(source IN LISTS test_sources)
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE sysutils_fake_platform sysutils_base sysutils_options
                          GTest::gtest_main GTest::gtest)
    add_test(NAME ${name} COMMAND ${name})
    if(name MATCHES "_long_test$")
      set_tests_properties(${name} PROPERTIES LABELS long TIMEOUT 1800)
    else()
      set_tests_properties(${name} PROPERTIES LABELS quick TIMEOUT 300)
    endif()
  endforeach()
endfunction()
