# SPDX-License-Identifier: MIT
# Run by cpack: computes the Depends of the runtime and library packages from
# the shared libraries their binaries need (NEEDED) and the glibc symbol
# versions they reference, read with the target's objdump: the same rule on
# the host and for a cross build, where dpkg-shlibdeps knows neither the
# target's libraries nor this project's own.
include(${CPACK_SYSUTILS_DEPENDS_FILES})

# Debian package of each library the binaries may need.
set(package_of_libc.so.6 libc6)
set(package_of_libm.so.6 libc6)
set(package_of_libpthread.so.0 libc6)
set(package_of_libdl.so.2 libc6)
set(package_of_librt.so.1 libc6)
set(package_of_libstdc++.so.6 libstdc++6)
set(package_of_libgcc_s.so.1 libgcc-s1)
# This project's own library, always of the same build.
set(package_of_libsysutils.so.1 "${SYSUTILS_LIBRARY_PACKAGE} (= ${CPACK_PACKAGE_VERSION})")

function(sysutils_depends out)
  set(packages)
  set(glibc_version 0)
  foreach(file IN LISTS ARGN)
    execute_process(COMMAND ${SYSUTILS_OBJDUMP} -p ${file}
                    OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "objdump -p ${file} failed")
    endif()
    string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${headers}")
    foreach(entry IN LISTS needed)
      string(REGEX REPLACE "NEEDED +" "" library "${entry}")
      if(library MATCHES "^ld")
        continue() # the dynamic loader is part of libc6
      endif()
      if(NOT DEFINED package_of_${library})
        message(FATAL_ERROR "${file} needs ${library}, whose Debian package is unknown")
      endif()
      list(APPEND packages "${package_of_${library}}")
    endforeach()
    string(REGEX MATCHALL "GLIBC_[0-9]+(\\.[0-9]+)+" versions "${headers}")
    foreach(version IN LISTS versions)
      string(REPLACE "GLIBC_" "" version "${version}")
      if(version VERSION_GREATER glibc_version)
        set(glibc_version ${version})
      endif()
    endforeach()
  endforeach()

  list(REMOVE_DUPLICATES packages)
  set(depends)
  foreach(package IN LISTS packages)
    if(package STREQUAL "libc6" AND glibc_version VERSION_GREATER 0)
      list(APPEND depends "libc6 (>= ${glibc_version})")
    else()
      list(APPEND depends "${package}")
    endif()
  endforeach()
  list(SORT depends)
  list(JOIN depends ", " joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

sysutils_depends(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS ${SYSUTILS_DEPENDS_FILES_RUNTIME})
if(DEFINED SYSUTILS_DEPENDS_FILES_LIBRARY)
  sysutils_depends(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS ${SYSUTILS_DEPENDS_FILES_LIBRARY})
endif()
