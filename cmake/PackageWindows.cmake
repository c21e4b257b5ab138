# What a Windows user downloads, from the cross build:
#  - cpack -G ZIP: squarefield.exe, squarefield.scr, README.txt, LICENSE.txt
#  - the installer target: squarefield-VERSION-setup.exe, made by makensis
#    from data/windows/installer.nsi
configure_file(data/windows/README.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt NEWLINE_STYLE CRLF)
install(TARGETS squarefield RUNTIME DESTINATION .)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/squarefield.scr ${CMAKE_CURRENT_BINARY_DIR}/README.txt
              ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt DESTINATION .)

set(CPACK_PACKAGE_NAME squarefield)
set(CPACK_PACKAGE_VENDOR "the squarefield developers")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "squarefield-${PROJECT_VERSION}-windows-x86_64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)

find_program(MAKENSIS makensis)
if(MAKENSIS)
  set(setup ${CMAKE_CURRENT_BINARY_DIR}/squarefield-${PROJECT_VERSION}-setup.exe)
  add_custom_command(OUTPUT ${setup}
                     COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DBUILD=${CMAKE_CURRENT_BINARY_DIR}
                             -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR} -DOUTFILE=${setup}
                             ${CMAKE_CURRENT_SOURCE_DIR}/data/windows/installer.nsi
                     DEPENDS squarefield ${CMAKE_CURRENT_SOURCE_DIR}/data/windows/installer.nsi
                             ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE
                     COMMENT "squarefield-${PROJECT_VERSION}-setup.exe" VERBATIM)
  add_custom_target(installer DEPENDS ${setup})
endif()
