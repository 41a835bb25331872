# The embedded pictures: the SVG sources in art/ are drawn at their exact sizes, reduced to
# their colour counts (tools/art/render_pictures.py, with rsvg-convert and Pillow) and
# compressed with hearth's own encoders into records (tools/art/pack_pictures, built with the
# host compiler also in the firmware build). Sets HEARTH_EMBEDDED_PICTURES to the generated
# source, which the build that includes this adds to its firmware code; each target that
# does also depends on the target embedded-pictures.
set(HEARTH_ART_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with Pillow (Debian's python3-pil)")
find_program(HEARTH_RSVG_CONVERT rsvg-convert)
if(NOT HEARTH_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert not found: the artwork needs Debian's librsvg2-bin (scripts/setup installs it)")
endif()
execute_process(COMMAND ${HEARTH_ART_PYTHON} -c "import PIL" RESULT_VARIABLE hearth_pil_missing OUTPUT_QUIET ERROR_QUIET)
if(hearth_pil_missing)
  message(FATAL_ERROR "${HEARTH_ART_PYTHON} cannot import PIL: the artwork needs Debian's python3-pil (scripts/setup installs it)")
endif()
# The packer runs during the build, so it is built for the build machine even when the
# firmware compiler targets UEFI.
find_program(HEARTH_HOST_CXX NAMES c++ g++ clang++)
if(NOT HEARTH_HOST_CXX)
  message(FATAL_ERROR "no host C++ compiler for tools/art/pack_pictures")
endif()

set(art_dir ${CMAKE_BINARY_DIR}/art)
set(pack_sources
    ${CMAKE_SOURCE_DIR}/tools/art/pack_pictures.cpp
    ${CMAKE_SOURCE_DIR}/tools/lib/lzss_encode.cpp ${CMAKE_SOURCE_DIR}/tools/lib/lzvn_encode.cpp
    ${CMAKE_SOURCE_DIR}/kernel/lzss.cpp ${CMAKE_SOURCE_DIR}/kernel/lzvn.cpp ${CMAKE_SOURCE_DIR}/lib/mem.cpp)
file(GLOB pack_headers CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/tools/lib/lz*_encode.h ${CMAKE_SOURCE_DIR}/kernel/lz*.h ${CMAKE_SOURCE_DIR}/lib/mem.h)
add_custom_command(
  OUTPUT ${art_dir}/pack_pictures
  COMMAND ${CMAKE_COMMAND} -E make_directory ${art_dir}
  COMMAND ${HEARTH_HOST_CXX} -std=c++20 -O2 -I${CMAKE_SOURCE_DIR} -o ${art_dir}/pack_pictures ${pack_sources}
  DEPENDS ${pack_sources} ${pack_headers}
  COMMENT "Building the picture packer for the build machine"
  VERBATIM)

file(GLOB art_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/art/*.svg ${CMAKE_SOURCE_DIR}/art/*.css)
add_custom_command(
  OUTPUT ${art_dir}/embedded_pictures.cpp
  COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/tools/art/render_pictures.py
          --art ${CMAKE_SOURCE_DIR}/art --out ${art_dir}/planes
  COMMAND ${art_dir}/pack_pictures ${art_dir}/planes ${art_dir}/embedded_pictures.cpp
  DEPENDS ${art_sources} ${CMAKE_SOURCE_DIR}/tools/art/render_pictures.py ${art_dir}/pack_pictures
          ${CMAKE_SOURCE_DIR}/graphics/embedded_picture.h
  COMMENT "Rendering and packing the embedded pictures"
  VERBATIM)

# Every target that compiles the generated source depends on this one, so that a parallel
# build runs the rule once instead of once per target into the same file.
add_custom_target(embedded-pictures DEPENDS ${art_dir}/embedded_pictures.cpp)
set(HEARTH_EMBEDDED_PICTURES ${art_dir}/embedded_pictures.cpp)
