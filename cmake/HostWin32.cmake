# The native Windows host: user32 and gdi32, a GUI-subsystem program with an
# embedded manifest declaring per-monitor DPI awareness.
enable_language(RC)
add_library(squarefield_win32 STATIC src/hosts/win32/win32_host.cpp src/hosts/win32/saver.cpp)
target_link_libraries(squarefield_win32 PUBLIC squarefield_runtime user32 gdi32 advapi32 wtsapi32)
squarefield_layer(squarefield_win32 hosts)
target_compile_definitions(squarefield_win32 PUBLIC SQUAREFIELD_HAS_WIN32)
target_link_libraries(squarefield_hosts PUBLIC squarefield_win32)
configure_file(src/hosts/win32/version.h.in ${CMAKE_CURRENT_BINARY_DIR}/win32/squarefield_version.h @ONLY)
# The icon is made by scripts/make-icon from the program's own picture.
file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/data/squarefield.ico ${CMAKE_CURRENT_BINARY_DIR}/win32/squarefield.ico COPY_ON_ERROR)
target_sources(squarefield PRIVATE src/hosts/win32/squarefield.rc)
set_property(SOURCE src/hosts/win32/squarefield.rc APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_CURRENT_BINARY_DIR}/win32)
set_property(SOURCE src/hosts/win32/squarefield.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/data/squarefield.ico ${CMAKE_CURRENT_BINARY_DIR}/win32/squarefield_version.h)
# Shipped stripped (.exe and .scr alike), with no link time in the header: the same sources give the same bytes.
target_link_options(squarefield PRIVATE -mwindows -Wl,--no-insert-timestamp $<$<NOT:$<CONFIG:Debug>>:-s>)

# The same program as a screensaver: Windows runs an .scr with /s, /p or /c.
add_custom_command(TARGET squarefield POST_BUILD
                   COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:squarefield> $<TARGET_FILE_DIR:squarefield>/squarefield.scr
                   COMMENT "squarefield.scr")
