# What an installation holds and how `cpack -G DEB` packs it. Every install
# rule of the project is here, so this file reads as the package's contents.
include(GNUInstallDirs)

# Debian keeps a package's documents under its package name, not the
# project's; manual pages and the changelog go in compressed, as policy wants.
set(LANTERNWICK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/lanternwick)

# The changelog and the AppStream metadata list releases by hand; the newest
# one must be the version being built, or the package would contradict itself.
foreach(listing "doc/changelog;^lanternwick \\(([^)]*)\\)"
                "src/app/resources/org.lanternwick.Lanternwick.metainfo.xml;<release version=\"([^\"]*)\"")
  list(GET listing 0 file)
  list(GET listing 1 pattern)
  file(READ ${PROJECT_SOURCE_DIR}/${file} text)
  string(REGEX MATCH "${pattern}" newest "${text}")
  if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(SEND_ERROR "${file}: the newest release is \"${CMAKE_MATCH_1}\", the project is ${PROJECT_VERSION}")
  endif()
endforeach()

# -n leaves the name and time out of the gzip header, so rebuilds are identical.
function(lanternwick_gzip SOURCE OUTPUT)
  add_custom_command(OUTPUT ${OUTPUT}
    COMMAND gzip -9 -n -c ${SOURCE} > ${OUTPUT}
    DEPENDS ${SOURCE}
    VERBATIM)
endfunction()

set(manual_pages "")
foreach(page lanternwick lanternwick-console-sim)
  set(roff ${PROJECT_BINARY_DIR}/man/${page}.1)
  configure_file(${PROJECT_SOURCE_DIR}/doc/${page}.1.in ${roff} @ONLY)
  lanternwick_gzip(${roff} ${roff}.gz)
  list(APPEND manual_pages ${roff}.gz)
endforeach()
set(changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/doc)
lanternwick_gzip(${PROJECT_SOURCE_DIR}/doc/changelog ${changelog})
add_custom_target(lanternwick_compressed_docs ALL DEPENDS ${manual_pages} ${changelog})

install(TARGETS lanternwick lanternwick-console-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES doc/copyright ${changelog} DESTINATION ${LANTERNWICK_DOC_DIR})
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
