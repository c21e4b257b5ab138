# The WebAssembly host (Debian's emscripten): the program on a page's canvas,
# and, from the same build under node, --headless with its outputs.
add_library(squarefield_web STATIC src/platform/web/web_host.cpp)
target_link_libraries(squarefield_web PUBLIC squarefield_framebuffer)
target_link_options(squarefield_web INTERFACE "SHELL:--js-library ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/web/web_library.js")
set_property(TARGET squarefield_web APPEND PROPERTY INTERFACE_LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/web/web_library.js)
target_link_libraries(squarefield PRIVATE squarefield_web)
# Asyncify lets the program's blocking loop yield to the browser in DoEvents;
# exceptions carry the runtime's error; NODEFS gives node runs the real files.
target_link_options(squarefield PRIVATE -fexceptions -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sEXIT_RUNTIME=1
                    -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web,node -sFORCE_FILESYSTEM=1 -lnodefs.js
                    -sINITIAL_MEMORY=33554432)

# The page's own program: the same core, shell and host, without the command
# line and the node file system, optimised for size (what a visitor downloads).
add_executable(squarefield_page src/cli/page_main.cpp)
set_target_properties(squarefield_page PROPERTIES OUTPUT_NAME page)
target_link_libraries(squarefield_page PRIVATE squarefield_shell squarefield_values squarefield_web)
target_link_options(squarefield_page PRIVATE -Oz -fexceptions -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sEXIT_RUNTIME=1
                    -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web -sFILESYSTEM=0 -sINITIAL_MEMORY=33554432)
