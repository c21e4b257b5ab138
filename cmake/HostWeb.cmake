# The WebAssembly host (Debian's emscripten): the program on a page's canvas,
# and, from the same build under node, --headless with its outputs.
add_library(squarefield_web STATIC src/hosts/web/web_host.cpp)
target_link_libraries(squarefield_web PUBLIC squarefield_framebuffer)
target_compile_definitions(squarefield_web PUBLIC SQUAREFIELD_HAS_WEB)
target_link_libraries(squarefield_hosts PUBLIC squarefield_web)
target_link_options(squarefield_web INTERFACE "SHELL:--js-library ${CMAKE_CURRENT_SOURCE_DIR}/src/hosts/web/web_library.js")
set_property(TARGET squarefield_web APPEND PROPERTY INTERFACE_LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/hosts/web/web_library.js)

# The page's own program: the same core, shell and host, without the command
# line and the node file system, optimised for size (what a visitor downloads);
# it runs in the page or in a worker of the page (docs/web/program.js starts it).
add_executable(squarefield_page src/cli/page_main.cpp)
target_link_libraries(squarefield_page PRIVATE squarefield_shell squarefield_values squarefield_report squarefield_hosts)
target_link_options(squarefield_page PRIVATE -Oz -sEXIT_RUNTIME=1 -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web,worker -sFILESYSTEM=0
                    -sINITIAL_MEMORY=33554432)

if(SQUAREFIELD_WEB_WAITS STREQUAL "jspi")
  # page.js: the loop waits by suspending the module (the browser's own
  # stack switching), its waiting calls and main wrapped as it loads. The
  # exports keep their names, so that main can be found.
  set_target_properties(squarefield_page PROPERTIES OUTPUT_NAME page)
  set(suspending ${CMAKE_CURRENT_SOURCE_DIR}/src/hosts/web/suspending.js)
  target_link_options(squarefield_page PRIVATE -fwasm-exceptions -sDECLARE_ASM_MODULE_EXPORTS=0 "SHELL:--pre-js ${suspending}")
  set_property(TARGET squarefield_page APPEND PROPERTY LINK_DEPENDS ${suspending})
  # The command line's build runs under node, whose WebAssembly cannot suspend: built with Asyncify only.
  set_target_properties(squarefield PROPERTIES EXCLUDE_FROM_ALL ON)
else()
  # Asyncify lets the program's blocking loop yield to the browser in DoEvents:
  # every function that may be on the stack while it waits can unwind and rewind.
  set(waits "[\"PageWaitForRefresh\",\"PageWaitForTurn\",\"PageWaitUntilVisible\",\"PageWaitFor\"]")
  # Exceptions carry the runtime's error; NODEFS gives node runs the real files.
  target_link_options(squarefield PRIVATE -fexceptions -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 "-sASYNCIFY_IMPORTS=${waits}"
                      -sEXIT_RUNTIME=1 -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web,node -sFORCE_FILESYSTEM=1 -lnodefs.js
                      -sINITIAL_MEMORY=33554432)
  # page-asyncify.js: for browsers that cannot suspend WebAssembly.
  set_target_properties(squarefield_page PROPERTIES OUTPUT_NAME page-asyncify)
  target_link_options(squarefield_page PRIVATE -fexceptions -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 "-sASYNCIFY_IMPORTS=${waits}")
endif()
