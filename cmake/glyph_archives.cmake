# The login window's font archives: one picture per character code, rendered at build time
# from Debian's fonts-dejavu-core with Pillow (tools/art/render_glyph_archive.py) at 1x and
# "@2x", and packed with `hearthtool efires pack` next to the widget archives:
#
#   Lucida13.efires        dark text, for the window's plain background
#   Lucida13White.efires   white text, for a background picture
#
# HEARTH_GLYPH_ARCHIVE_<NAME> holds each archive's path; the target glyph-archives builds
# both with the default build. docs/resource-archives.md lists the pictures.
set(HEARTH_GLYPH_FONT /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf CACHE FILEPATH
    "The font of the glyph archives (Debian's fonts-dejavu-core)")
if(NOT EXISTS ${HEARTH_GLYPH_FONT})
  message(FATAL_ERROR "${HEARTH_GLYPH_FONT} is missing: the glyph archives need Debian's fonts-dejavu-core (scripts/setup installs it)")
endif()

set(glyph_outputs "")
# NAME and text colour; 13 px text in pictures 17 px high (34 at 2x), the password field's height.
foreach(archive "Lucida13:262626" "Lucida13White:FFFFFF")
  string(REPLACE ":" ";" parts ${archive})
  list(GET parts 0 name)
  list(GET parts 1 color)
  set(out ${HEARTH_UI_ARCHIVE_DIR}/${name}.efires)
  set(work ${CMAKE_BINARY_DIR}/glyph-archives/${name})
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/tools/art/render_glyph_archive.py
            --hearthtool $<TARGET_FILE:hearthtool> --font ${HEARTH_GLYPH_FONT} --size 13 --height 17
            --color ${color} --work ${work} --out ${out}
    DEPENDS ${HEARTH_GLYPH_FONT} ${CMAKE_SOURCE_DIR}/tools/art/render_glyph_archive.py hearthtool
    COMMENT "Rendering and packing the ${name} glyphs"
    VERBATIM)
  list(APPEND glyph_outputs ${out})
  set(HEARTH_GLYPH_ARCHIVE_${name} ${out})
endforeach()
add_custom_target(glyph-archives ALL DEPENDS ${glyph_outputs})
