# What an installed hydrochart needs beside the two programs, and the Debian package of it all.
# `cmake --install` puts the water-system code list in share/hydrochart (where hydrochart looks
# for it, beside its bin folder) and the man pages in share/man/man1; `cpack -G DEB` in the
# build folder makes hydrochart_VERSION_ARCH.deb for /usr, its dependencies computed by
# dpkg-shlibdeps.
include(GNUInstallDirs)

# The code list in the form hydrochart reads, made from the CSV as for the Windows zip. It is
# kept out of share/ in the build folder, so that the built program does not find it there.
set(W05_CODE_LIST ${CMAKE_BINARY_DIR}/data/WaterSystemCodeCd.xml)
add_custom_command(OUTPUT ${W05_CODE_LIST}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data
  COMMAND sh -c "sh \"$0\" \"$1\" >\"$2.part\" && mv \"$2.part\" \"$2\""
          ${PROJECT_SOURCE_DIR}/tools/codelist_xml.sh ${PROJECT_SOURCE_DIR}/data/WaterSystemCodeCd.csv
          ${W05_CODE_LIST}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/codelist_xml.sh ${PROJECT_SOURCE_DIR}/data/WaterSystemCodeCd.csv
  COMMENT "Water-system code list WaterSystemCodeCd.xml" VERBATIM)
add_custom_target(code_list ALL DEPENDS ${W05_CODE_LIST})

install(FILES ${W05_CODE_LIST} DESTINATION ${CMAKE_INSTALL_DATADIR}/hydrochart)
install(FILES ${PROJECT_SOURCE_DIR}/docs/hydrochart.1 ${PROJECT_SOURCE_DIR}/docs/fetchunpack.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(W05_PACKAGE_CONTACT "w05tools maintainers <w05tools@localhost>" CACHE STRING
  "Maintainer field of the Debian package")
set(CPACK_PACKAGE_NAME hydrochart)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${W05_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "map pages from the W05 river data of Japan's National Land Numerical Information")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "hydrochart reads a W05 river data file (GML) and writes Leaflet map pages of its rivers\n\
and water systems, one page per water system and an index page over them. fetchunpack\n\
downloads the data archives and extracts their members.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Dependencies (libzip, libcurl, the C and C++ libraries) as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
