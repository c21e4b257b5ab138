# The SDL2 desktop host (Debian: libsdl2-dev). Built against SDL's headers but
# not linked to it: the library is loaded when the desktop host starts.
find_package(SDL2 REQUIRED)
add_library(squarefield_sdl STATIC src/platform/sdl/sdl_host.cpp src/platform/sdl/sdl_library.cpp
                                   src/platform/sdl/x11_link.cpp)
target_include_directories(squarefield_sdl SYSTEM PUBLIC ${SDL2_INCLUDE_DIRS})
target_link_libraries(squarefield_sdl PUBLIC squarefield_framebuffer ${CMAKE_DL_LIBS})
target_link_libraries(squarefield PRIVATE squarefield_sdl)
