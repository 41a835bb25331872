# Resource archives of the login widgets' pictures, rendered from SVG sources at build time:
#
#   hearth_ui_archive(NAME battery SOURCES art/ui/battery/*.svg ...)
#
# renders every source at 1x and "@2x" (tools/art/render_ui_archive.py: rsvg-convert and
# Pillow; STEM.levels.svg templates give STEM_0 .. STEM_100) and packs the pictures with
# `hearthtool efires pack` into build/host/ui/NAME.efires. The target ui-archive-NAME builds
# it with the default build; HEARTH_UI_ARCHIVE_<NAME> holds the path afterwards.
set(HEARTH_UI_ARCHIVE_DIR "${HEARTH_OUTPUT_ROOT}/host/ui" CACHE PATH "Where the widget archives are written")
set(HEARTH_ART_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with Pillow (Debian's python3-pil)")

function(hearth_ui_archive)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "hearth_ui_archive needs NAME and SOURCES")
  endif()
  set(sources "")
  foreach(source ${ARG_SOURCES})
    if(NOT IS_ABSOLUTE ${source})
      set(source ${CMAKE_SOURCE_DIR}/${source})
    endif()
    list(APPEND sources ${source})
  endforeach()
  set(out ${HEARTH_UI_ARCHIVE_DIR}/${ARG_NAME}.efires)
  set(work ${CMAKE_BINARY_DIR}/ui-archives/${ARG_NAME})
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/tools/art/render_ui_archive.py
            --hearthtool $<TARGET_FILE:hearthtool> --work ${work} --out ${out} ${sources}
    DEPENDS ${sources} ${CMAKE_SOURCE_DIR}/tools/art/render_ui_archive.py hearthtool
    COMMENT "Rendering and packing the ${ARG_NAME} widget pictures"
    VERBATIM)
  add_custom_target(ui-archive-${ARG_NAME} ALL DEPENDS ${out})
  set(HEARTH_UI_ARCHIVE_${ARG_NAME} ${out} PARENT_SCOPE)
endfunction()

# The flag picker's archive, build/host/ui/flag_picker.efires: every layout of
# art/ui/flags/layouts.txt as menu rows and button pictures with its flag from Debian's
# iso-flags-svg, its key map compiled from xkb-data, the "others" row, the menu's shared
# pictures from art/ui/menu/ and the archive identifier (tools/art/render_flag_picker.py).
# HEARTH_UI_ARCHIVE_flag_picker holds the path afterwards.
find_path(HEARTH_ISO_FLAGS_DIR us.svg PATHS /usr/share/iso-flags-svg/country-4x3 NO_DEFAULT_PATH)
if(NOT HEARTH_ISO_FLAGS_DIR)
  message(FATAL_ERROR "The flag picker's flags come from Debian's iso-flags-svg (/usr/share/iso-flags-svg); "
                      "scripts/setup installs it")
endif()

function(hearth_flag_picker_archive)
  set(flags_dir ${CMAKE_SOURCE_DIR}/art/ui/flags)
  file(GLOB flag_sources CONFIGURE_DEPENDS ${flags_dir}/*.svg)
  file(GLOB menu_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/art/ui/menu/*.svg)
  set(out ${HEARTH_UI_ARCHIVE_DIR}/flag_picker.efires)
  set(work ${CMAKE_BINARY_DIR}/ui-archives/flag_picker)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/tools/art/render_flag_picker.py
            --hearthtool $<TARGET_FILE:hearthtool> --work ${work} --out ${out}
            --layouts ${flags_dir}/layouts.txt --templates ${flags_dir} --flags ${HEARTH_ISO_FLAGS_DIR}
            ${menu_sources}
    DEPENDS ${flags_dir}/layouts.txt ${flag_sources} ${menu_sources} ${CMAKE_SOURCE_DIR}/tools/art/render_flag_picker.py
            ${CMAKE_SOURCE_DIR}/tools/art/render_ui_archive.py hearthtool
    COMMENT "Rendering the flag picker's flags and menus, compiling its key maps"
    VERBATIM)
  add_custom_target(ui-archive-flag_picker ALL DEPENDS ${out})
  set(HEARTH_UI_ARCHIVE_flag_picker ${out} PARENT_SCOPE)
endfunction()
