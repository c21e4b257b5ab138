# The native Windows host: user32 and gdi32, a GUI-subsystem program with an
# embedded manifest declaring per-monitor DPI awareness.
enable_language(RC)
add_library(squarefield_win32 STATIC src/platform/win32/win32_host.cpp src/platform/win32/saver.cpp)
target_link_libraries(squarefield_win32 PUBLIC squarefield_runtime user32 gdi32 advapi32)
target_sources(squarefield PRIVATE src/platform/win32/squarefield.rc)
target_link_libraries(squarefield PRIVATE squarefield_win32)
target_link_options(squarefield PRIVATE -mwindows)

# The same program as a screensaver: Windows runs an .scr with /s, /p or /c.
add_custom_command(TARGET squarefield POST_BUILD
                   COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:squarefield> $<TARGET_FILE_DIR:squarefield>/squarefield.scr
                   COMMENT "squarefield.scr")
