# The Debian package: man pages made from each program's --help, and CPack's DEB generator.
# scripts/package.sh configures with TORVWY_MAN_PAGES=ON and CMAKE_INSTALL_PREFIX=/usr.
option(TORVWY_MAN_PAGES "Make man pages from --help with help2man (for the package)" OFF)

if(TORVWY_MAN_PAGES)
  find_program(HELP2MAN help2man REQUIRED)
  set(torvwy_man_pages
      "torvwy|amplitude-domain analysis of test-and-measurement waveforms"
      "torvwy-gui|the desktop application of torvwy"
      "TorvRpt|the report program of torvwy"
      "TorvEpt|the export program of torvwy"
      "ldexp|the list converter of torvwy"
      "TorvImgEpt|the image export program of torvwy")
  set(torvwy_man_files)
  foreach(entry IN LISTS torvwy_man_pages)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 program)
    list(GET parts 1 summary)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${HELP2MAN} --no-info
              --no-discard-stderr --version-string=${PROJECT_VERSION} --name=${summary}
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -n -9 -f ${page}
      DEPENDS ${program}
      VERBATIM)
    list(APPEND torvwy_man_files ${page}.gz)
  endforeach()
  add_custom_target(torvwy_man_pages ALL DEPENDS ${torvwy_man_files})
  install(FILES ${torvwy_man_files} DESTINATION share/man/man1)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvwy)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "torvwy developers <torvwy@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "amplitude-domain analysis of test-and-measurement waveforms")
set(CPACK_PACKAGE_DESCRIPTION
    "Peak, range and rainflow counting, fatigue life estimates and amplitude statistics of "
    "test-and-measurement waveforms: the torvwy command, the desktop application torvwy-gui "
    "with its analysis module, the report, export, list and image companions, and the Python "
    "package torvwy with fleet batches on Dask.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
# The shared libraries the programs and the module link (Qt, libxlsxwriter, ...) by
# dpkg-shlibdeps; the Python package's own needs by name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.11), python3 (<< 3.12), python3-numpy")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-pandas, python3-dask, python3-distributed")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
include(CPack)
