# What cmake --install puts beside the programs, and the packages that
# scripts/package makes from it with CPack: a Debian package of the native
# build, a zip of the Windows one.  Every version number comes from
# project(VERSION).

# Debian names a package in lower case, digits, "+", "-" and "."; the
# program keeps its own name, the package and its folders take this one.
set(XH_PACKAGE_NAME xhistory-fsutil)
set(XH_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${XH_PACKAGE_NAME})
set(XH_MAINTAINER "The xhistory_fsutil authors <xhistory-fsutil@example.org>"
    CACHE STRING "Maintainer named by the packages")

set(xh_docs protocol.md fonts.md sort.md testing.md layout.md)

if(WIN32)
  # Windows users read text: the documents with CR LF line ends, under
  # names that open in a text editor.
  set(xh_text_dir ${CMAKE_BINARY_DIR}/doc-text)
  foreach(doc README.md ${xh_docs})
    get_filename_component(base ${doc} NAME_WE)
    if(doc STREQUAL README.md)
      set(src ${CMAKE_SOURCE_DIR}/README.md)
    else()
      set(src ${CMAKE_SOURCE_DIR}/docs/${doc})
    endif()
    configure_file(${src} ${xh_text_dir}/${base}.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${xh_text_dir}/${base}.txt DESTINATION doc)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/docs/font-identity-bitmap-differences.png
          DESTINATION doc)
else()
  # Manual pages, compressed as Debian ships them (gzip -9n: no name, no
  # time, so the same page gives the same bytes).
  set(xh_man_pages xhistory_fsutil)
  if(TARGET gfont_preview)
    list(APPEND xh_man_pages gfont_preview)
  endif()
  foreach(page ${xh_man_pages})
    configure_file(${CMAKE_SOURCE_DIR}/docs/${page}.1.in
                   ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
      COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/man/${page}.1
              > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
      DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1)
    list(APPEND xh_man_gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${xh_man_gz})
  install(FILES ${xh_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The documents keep the places they have in the sources, README above
  # docs/, so that the links between them lead somewhere once installed.
  list(TRANSFORM xh_docs PREPEND ${CMAKE_SOURCE_DIR}/docs/)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${XH_DOC_DIR})
  install(FILES ${xh_docs} ${CMAKE_SOURCE_DIR}/docs/font-identity-bitmap-differences.png
          DESTINATION ${XH_DOC_DIR}/docs)
  # The copyright file and the change log that every Debian package
  # carries in its documentation folder.
  configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in
                 ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
    COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/debian/changelog
            > ${CMAKE_BINARY_DIR}/debian/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog)
  add_custom_target(debian_changelog ALL
                    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
  install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright
                ${CMAKE_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${XH_DOC_DIR})
endif()

set(CPACK_PACKAGE_NAME ${XH_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "The xhistory_fsutil authors")
set(CPACK_PACKAGE_CONTACT ${XH_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file-system helper of the history viewer")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_PACKAGE_FILE_NAME
      ${CMAKE_PROJECT_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${XH_MAINTAINER})
  # The summary above is the first line; CPack indents this text under it
  # and turns the empty line into Debian's paragraph mark.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "xhistory_fsutil does one job per run for the history viewer of an
integrated development environment: it copies a file with progress
lines, removes a file, reads and writes the viewer's configuration
files, sorts files of fixed-size records on disk, and measures the
machine's fonts as Windows' GDI would draw them.

gfont_preview draws the glyph sets that the font command writes.")
  # The libraries the programs are linked to, as dpkg-shlibdeps finds
  # them.  fontconfig and FreeType are opened only by --fonts, at run time:
  # every other command works without them, so they are recommended.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libfontconfig1, libfreetype6")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-dejavu-core")
endif()
include(CPack)
