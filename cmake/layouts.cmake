# Keyboard layouts: every layout the login window ships is compiled by hearthtool uchr from
# the XKB symbol files of xkb-data into build/host/layouts/NAME.uchr; the login window's
# default, "loginui_keyboard_layout.uchr", is the US layout. The resource archives are
# packed from these files.
set(HEARTH_LAYOUTS us gb de fr es it se nl jp ru)
set(HEARTH_LAYOUT_DIR "${HEARTH_OUTPUT_ROOT}/host/layouts")
if(TARGET hearthtool)
  set(layout_files)
  foreach(layout ${HEARTH_LAYOUTS})
    set(out "${HEARTH_LAYOUT_DIR}/${layout}.uchr")
    add_custom_command(OUTPUT ${out}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${HEARTH_LAYOUT_DIR}
                       COMMAND hearthtool uchr compile ${layout} ${out}
                       DEPENDS hearthtool
                       COMMENT "Compiling keyboard layout ${layout}")
    list(APPEND layout_files ${out})
  endforeach()
  set(login_layout "${HEARTH_LAYOUT_DIR}/loginui_keyboard_layout.uchr")
  add_custom_command(OUTPUT ${login_layout}
                     COMMAND ${CMAKE_COMMAND} -E copy "${HEARTH_LAYOUT_DIR}/us.uchr" ${login_layout}
                     DEPENDS "${HEARTH_LAYOUT_DIR}/us.uchr")
  add_custom_target(keyboard-layouts ALL DEPENDS ${layout_files} ${login_layout})
endif()
