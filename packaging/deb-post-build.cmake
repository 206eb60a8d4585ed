# SPDX-License-Identifier: MIT
# Run by cpack after the DEB generator (CPACK_POST_BUILD_SCRIPTS), for each
# package of CPACK_PACKAGE_FILES: adds what the generator cannot write and
# rebuilds the package.
#   - Multi-Arch: same for the packages of CPACK_SYSUTILS_MULTIARCH_SAME;
#   - the ldconfig trigger for a package with a shared library, in place of
#     the generator's postinst and postrm that call ldconfig (this project has
#     no maintainer scripts of its own);
#   - md5sums of the files as they are, and root as owner of every file.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
if(NOT CPACK_SYSUTILS_DPKG_DEB)
  message(FATAL_ERROR "dpkg-deb is needed to finish the Debian packages")
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed:\n${out}")
  endif()
endfunction()

foreach(package_file IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package_file MATCHES "\\.deb$")
    continue()
  endif()
  set(root ${package_file}.root)
  file(REMOVE_RECURSE ${root})
  run(${CPACK_SYSUTILS_DPKG_DEB} --raw-extract ${package_file} ${root})

  file(READ ${root}/DEBIAN/control control)
  string(REGEX MATCH "(^|\n)Package: ([^\n]+)" matched "${control}")
  set(package ${CMAKE_MATCH_2})
  if(package IN_LIST CPACK_SYSUTILS_MULTIARCH_SAME AND NOT control MATCHES "\nMulti-Arch:")
    string(REGEX REPLACE "(^|\n)(Architecture: [^\n]+\n)" "\\1\\2Multi-Arch: same\n" control "${control}")
    file(WRITE ${root}/DEBIAN/control "${control}")
  endif()

  foreach(script IN ITEMS postinst postrm)
    if(EXISTS ${root}/DEBIAN/${script})
      file(READ ${root}/DEBIAN/${script} content)
      if(content MATCHES "ldconfig")
        file(REMOVE ${root}/DEBIAN/${script})
      endif()
    endif()
  endforeach()

  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
  list(FILTER files EXCLUDE REGEX "^DEBIAN/")
  list(SORT files)
  set(md5sums "")
  set(has_shared_library OFF)
  foreach(file IN LISTS files)
    if(IS_SYMLINK ${root}/${file})
      continue()
    endif()
    if(file MATCHES "^usr/lib/([^/]+/)?lib[^/]+\\.so\\.[0-9]")
      set(has_shared_library ON)
    endif()
    file(MD5 ${root}/${file} md5)
    string(APPEND md5sums "${md5}  ${file}\n")
  endforeach()
  file(WRITE ${root}/DEBIAN/md5sums "${md5sums}")
  if(has_shared_library)
    file(WRITE ${root}/DEBIAN/triggers "activate-noawait ldconfig\n")
  endif()

  file(REMOVE ${package_file})
  run(${CPACK_SYSUTILS_DPKG_DEB} --root-owner-group --build ${root} ${package_file})
  file(REMOVE_RECURSE ${root})
endforeach()
