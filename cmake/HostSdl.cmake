# The SDL2 desktop host (Debian: libsdl2-dev).
find_package(SDL2 REQUIRED)
add_library(squarefield_sdl STATIC src/platform/sdl/sdl_host.cpp src/platform/sdl/sdl_run.cpp)
target_link_libraries(squarefield_sdl PUBLIC squarefield_core SDL2::SDL2)
target_link_libraries(squarefield PRIVATE squarefield_sdl)
