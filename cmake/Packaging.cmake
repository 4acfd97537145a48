# What an installation holds and how `cpack -G DEB` packs it. Every install
# rule of the project is here, so this file reads as the package's contents.
include(GNUInstallDirs)

# Debian keeps a package's documents under its package name, not the
# project's; the manual pages go in compressed, as policy wants them.
set(LANTERNWICK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/lanternwick)

set(manual_pages "")
foreach(page lanternwick lanternwick-console-sim)
  set(roff ${PROJECT_BINARY_DIR}/man/${page}.1)
  configure_file(${PROJECT_SOURCE_DIR}/doc/${page}.1.in ${roff} @ONLY)
  # -n leaves the name and time out of the header, so rebuilds are identical.
  add_custom_command(OUTPUT ${roff}.gz
    COMMAND gzip -9 -n -c ${roff} > ${roff}.gz
    DEPENDS ${roff}
    VERBATIM)
  list(APPEND manual_pages ${roff}.gz)
endforeach()
add_custom_target(lanternwick_manual_pages ALL DEPENDS ${manual_pages})

install(TARGETS lanternwick lanternwick-console-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES doc/copyright DESTINATION ${LANTERNWICK_DOC_DIR})
install(FILES samples/Lighting.xml DESTINATION ${LANTERNWICK_DOC_DIR}/examples)

if(LANTERNWICK_BUILD_APP)
  set(app_id org.lanternwick.Lanternwick)
  set(resources ${PROJECT_SOURCE_DIR}/src/app/resources)
  install(FILES ${resources}/help/index.html DESTINATION ${CMAKE_INSTALL_DATADIR}/lanternwick/help)
  install(FILES ${resources}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${resources}/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The icon carries the application's id, as the desktop file names it.
  install(FILES ${resources}/lanternwick.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${app_id}.svg)
  install(FILES ${resources}/lanternwick.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
    RENAME ${app_id}.png)
endif()

set(LANTERNWICK_PACKAGE_MAINTAINER "The Lanternwick developers <maintainers@lanternwick.invalid>"
  CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lanternwick)
set(CPACK_PACKAGE_VENDOR "The Lanternwick developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keep a lighting console's cue list in step with timeline markers")
set(CPACK_PACKAGE_DESCRIPTION
  "Lanternwick watches the marker file the Tempolane timeline writes and mirrors\n"
  "every added, deleted or edited marker into the cue list of an ETC Eos lighting\n"
  "console, as OSC command lines over one TCP connection (SLIP framing).\n"
  "It runs as a desktop window or in the terminal, and comes with\n"
  "lanternwick-console-sim, a stand-in console for rehearsing without one.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LANTERNWICK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps reads the libraries the stripped binaries link and writes
# the Depends line with the versions they need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Help opens the page through xdg-open; without it the window shows its path.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
