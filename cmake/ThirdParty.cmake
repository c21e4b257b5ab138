# Header-only libraries from Debian's archive (CLI11, stb_image_write). A cross
# build cannot search the host's /usr/include wholesale, so each library's own
# folder is linked into the build tree and only that is put on the path.
set(thirdparty_dir "${CMAKE_BINARY_DIR}/thirdparty-include")
file(MAKE_DIRECTORY "${thirdparty_dir}")

function(squarefield_header_dir name source)
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "${source} not found: install ${ARGN}")
  endif()
  if(NOT EXISTS "${thirdparty_dir}/${name}")
    file(CREATE_LINK "${source}" "${thirdparty_dir}/${name}" SYMBOLIC)
  endif()
endfunction()

squarefield_header_dir(CLI /usr/include/CLI libcli11-dev)
squarefield_header_dir(stb_image_write.h /usr/include/stb/stb_image_write.h libstb-dev)

add_library(squarefield_thirdparty INTERFACE)
target_include_directories(squarefield_thirdparty SYSTEM INTERFACE "${thirdparty_dir}")
