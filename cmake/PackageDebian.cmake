# Installing on Linux: the program, and for the X screensaver daemon its hack
# (where the daemon looks for them), its settings file and a manual page; and a
# Debian package of the same files (cpack -G DEB).
install(TARGETS squarefield RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(desktop STREQUAL "sdl")
  # The daemon's hack is the program itself: a link, not a second copy.
  file(RELATIVE_PATH hack_to_program /prefix/${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver /prefix/${CMAKE_INSTALL_BINDIR}/squarefield)
  install(CODE "
    set(hack \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver\")
    file(MAKE_DIRECTORY \"\${hack}\")
    file(CREATE_LINK ${hack_to_program} \"\${hack}/squarefield\" SYMBOLIC)
    message(STATUS \"Installing: \${hack}/squarefield -> ${hack_to_program}\")")
  install(FILES data/squarefield.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
  # Where other screensaver daemons (mate-screensaver) look for screensavers;
  # they name their window in XSCREENSAVER_WINDOW, which --root draws in.
  install(FILES data/squarefield.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers)
endif()
configure_file(data/squarefield.6 ${CMAKE_CURRENT_BINARY_DIR}/squarefield.6 @ONLY)
configure_file(data/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
# Debian wants the manual page and the changelog compressed; -n keeps no name
# or time in them, so the same sources give the same bytes.
find_program(GZIP gzip)
if(GZIP)
  foreach(doc squarefield.6 changelog)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${doc}.gz
                       COMMAND ${GZIP} -9 -n -c ${CMAKE_CURRENT_BINARY_DIR}/${doc} > ${CMAKE_CURRENT_BINARY_DIR}/${doc}.gz
                       DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${doc} VERBATIM)
  endforeach()
  add_custom_target(squarefield_docs ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/squarefield.6.gz
                                                 ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/squarefield.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/squarefield.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
endif()
install(FILES data/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# A Debian package of the same files: cpack -G DEB
set(CPACK_PACKAGE_NAME squarefield)
set(CPACK_PACKAGE_VENDOR "squarefield developers")
set(CPACK_PACKAGE_CONTACT "${SQUAREFIELD_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "White squares fly outward from the centre of a black screen")
set(CPACK_PACKAGE_DESCRIPTION "A full-screen effect: 401 small white squares fly outward from the centre
of a black screen, speeding up and growing as they go, until Escape is pressed.
It runs on the desktop, as a hack for the X screensaver daemon, and headless,
saving what it draws as a PNG image or an animated GIF.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
# The libraries it links to, with their versions, from dpkg-shlibdeps; SDL2 is
# loaded at run time, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0")
# Loaded when there: every monitor of an X screen covered.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libxinerama1")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver")
include(CPack)
