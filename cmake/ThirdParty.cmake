# Header-only libraries (CLI11, stb_image_write), found among the build
# machine's headers even by a cross build (Debian: libcli11-dev, libstb-dev). A
# cross build cannot search those headers wholesale, so each library's own
# folder or file is linked into the build tree and only that is put on the path.
set(thirdparty_dir "${CMAKE_BINARY_DIR}/thirdparty-include")
file(MAKE_DIRECTORY "${thirdparty_dir}")

# Links NAME, found as FILE under one of the build machine's include folders
# (or a SUFFIX of one), into the build tree. Usage: squarefield_header NAME FILE SUFFIX PACKAGE
function(squarefield_header name file suffix package)
  string(MAKE_C_IDENTIFIER "SQUAREFIELD_${name}_DIR" variable)
  # (A toolchain may leave the build machine's own folders off its search: they are named too.)
  find_path(${variable} "${file}" PATH_SUFFIXES "${suffix}" PATHS /usr/local/include /usr/include
            NO_CMAKE_FIND_ROOT_PATH DOC "The folder holding ${file} (Debian: ${package})")
  if(NOT ${variable})
    message(FATAL_ERROR "${file} not found: install ${package}, or set ${variable}")
  endif()
  if(NOT EXISTS "${thirdparty_dir}/${name}")
    file(CREATE_LINK "${${variable}}/${name}" "${thirdparty_dir}/${name}" SYMBOLIC)
  endif()
endfunction()

squarefield_header(CLI CLI/CLI.hpp "" libcli11-dev)
squarefield_header(stb_image_write.h stb_image_write.h stb libstb-dev)

add_library(squarefield_thirdparty INTERFACE)
target_include_directories(squarefield_thirdparty SYSTEM INTERFACE "${thirdparty_dir}")
