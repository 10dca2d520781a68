# SPDX-License-Identifier: GPL-3.0-or-later
# Installation under the GNU install directories, and the Debian package
# CPack makes of it: the viewer and its command-line companion, with the
# licence terms and the changelog, everywhere; on freedesktop systems also
# the programs' manual pages, the desktop entry, the AppStream metainfo and
# the icon in the hicolor theme.
include(GNUInstallDirs)

# The name of the desktop entry and the metainfo; TApplication gives the
# window system the same name.
set(BRIMVEL_DESKTOP_ID org.brimvel.Library)
set(BRIMVEL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS brimvel brimvel-library RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Installs one picture of the icon as brimvel.<extension> into the hicolor
# theme's directory for `size` ("16x16" ... "scalable").
function(brimvel_install_icon picture size)
  get_filename_component(extension ${picture} LAST_EXT)
  install(FILES ${picture} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps
          RENAME brimvel${extension})
endfunction()

function(brimvel_install_icons)
  set(window_icons ${PROJECT_SOURCE_DIR}/src/ui/icons)
  foreach(size 16 32)  # the window's own icons
    brimvel_install_icon(${window_icons}/brimvel-${size}.png ${size}x${size})
  endforeach()
  foreach(size 22 24 48 64 128 256)  # made from the drawing by scripts/render-icons.sh
    brimvel_install_icon(${BRIMVEL_PACKAGING_DIR}/icons/brimvel-${size}.png ${size}x${size})
  endforeach()
  brimvel_install_icon(${window_icons}/brimvel.svg scalable)
endfunction()

find_program(BRIMVEL_GZIP gzip)

# Sets `result` to the file to install for `source`: a copy compressed with
# gzip -9n, as Debian wants manual pages and changelogs, when gzip is at
# hand, or else `source` itself. A target that depends on the result makes
# the copy.
function(brimvel_compressed source result)
  if(NOT BRIMVEL_GZIP)
    set(${result} ${source} PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name ${source} NAME)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${BRIMVEL_GZIP} -9nf ${copy}
    DEPENDS ${source} VERBATIM)
  set(${result} ${copy}.gz PARENT_SCOPE)
endfunction()

# Installs the manual pages of section 1.
function(brimvel_install_manual_pages)
  set(pages)
  foreach(name brimvel brimvel-library)
    brimvel_compressed(${BRIMVEL_PACKAGING_DIR}/${name}.1 page)
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(brimvel_manual_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# Installs the licence terms in the machine-readable Debian form (which
# names the GPL's text in /usr/share/common-licenses) and the changelog into
# the package's documentation directory, where Debian looks for them. The
# changelog is in Debian's format; its latest version must be the project's.
function(brimvel_install_documentation)
  set(changelog ${BRIMVEL_PACKAGING_DIR}/changelog)
  file(STRINGS ${changelog} latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^brimvel \\(([^)]*)\\) " OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "The latest entry of ${changelog} is not for version ${PROJECT_VERSION}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
  brimvel_compressed(${changelog} compressed)
  add_custom_target(brimvel_changelog ALL DEPENDS ${compressed})
  install(FILES ${BRIMVEL_PACKAGING_DIR}/copyright ${compressed} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endfunction()

brimvel_install_documentation()

if(UNIX AND NOT APPLE)
  install(FILES ${BRIMVEL_PACKAGING_DIR}/${BRIMVEL_DESKTOP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${BRIMVEL_PACKAGING_DIR}/${BRIMVEL_DESKTOP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  brimvel_install_icons()
  brimvel_install_manual_pages()
endif()

# The Debian package. Its run-time dependencies are those of the shared
# libraries the programs link (Qt Widgets, Qt WebEngine, pugixml, ICU, SQLite,
# libxml2, the Snowball stemmers, ...), as
# dpkg-shlibdeps finds them; Qt WebEngine's own package brings its helper
# process and resources.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brimvel)
set(CPACK_PACKAGE_VENDOR "BRIMVEL maintainers")
# The licence, GPL-3.0-or-later, for the generators that show one; the
# Debian package carries it as /usr/share/doc/brimvel/copyright.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/COPYING)
set(CPACK_PACKAGE_CONTACT "BRIMVEL maintainers <maintainers@brimvel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for a local library of e-books")
set(CPACK_PACKAGE_DESCRIPTION "\
BRIMVEL Library shows a library of e-books kept in a directory as one tree:
the authors, their books, and each book's chapters and sections, beside an
embedded HTML viewer. Pages can be kept open in bookmark tabs and the tree
can be searched. The user interface is in Russian.

brimvel-library lists, checks and searches a library on the command line,
builds and searches a full-text index of its pages, and opens a library in
the viewer; a folder opened with the viewer from a
file manager opens as a library.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Directories as Debian has them (0755), whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Native windows on Wayland desktops; without it Qt uses X11 through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
include(CPack)
