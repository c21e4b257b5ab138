# The desktop hosts of a Linux (or other SDL) build, chosen at run time
# (src/hosts/host_table.cpp): native Wayland on Linux, and SDL2 (Debian:
# libsdl2-dev), built against SDL's headers but not linked to it: the library
# is loaded when the SDL host starts.
find_package(SDL2 REQUIRED)
add_library(squarefield_sdl STATIC src/hosts/sdl/sdl_host.cpp src/hosts/sdl/sdl_layout.cpp src/hosts/sdl/sdl_present.cpp
                                   src/hosts/sdl/sdl_library.cpp
                                   src/hosts/sdl/x11_link.cpp)
target_include_directories(squarefield_sdl SYSTEM PUBLIC ${SDL2_INCLUDE_DIRS})
target_link_libraries(squarefield_sdl PUBLIC squarefield_framebuffer ${CMAKE_DL_LIBS})
# Its line in the host table, and the command line's options for another
# program's window and the screensaver mode (X11's and Wayland's).
target_compile_definitions(squarefield_sdl PUBLIC SQUAREFIELD_HAS_SDL SQUAREFIELD_LINUX_DESKTOP_OPTIONS)
target_link_libraries(squarefield_hosts PUBLIC squarefield_sdl)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(cmake/HostWayland.cmake)
  target_link_libraries(squarefield_hosts PUBLIC squarefield_wayland)
endif()
