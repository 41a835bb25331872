# The login window's archives, rendered from art/login/ at build time into build/host/ui/
# (docs/login-artwork.md):
#   loginui.efires         the window's pictures and its default key map
#   tarnLogo.efires        the logo, from art/logo.svg
#   unknown_userUI.efires, disk_passwordUI.efires, guest_userUI.efires   special tiles
#   user_NAME.efires       the users' picture archives ("EFILoginGraphics") of the demo and
#                          test volumes
#   sound.efires           the spoken cues, made with espeak-ng
set(login_art ${CMAKE_SOURCE_DIR}/art/login)
file(GLOB login_templates CONFIGURE_DEPENDS ${login_art}/templates/*.svg)
file(GLOB loginui_art CONFIGURE_DEPENDS ${login_art}/loginui/*.svg)

# hearth_ui_archive follows each source; the templates the fills name are followed here.
function(hearth_login_archive name)
  hearth_ui_archive(NAME ${name} SOURCES ${ARGN})
  add_custom_command(OUTPUT ${HEARTH_UI_ARCHIVE_${name}} DEPENDS ${login_templates} ${CMAKE_SOURCE_DIR}/art/logo.svg
                     ${CMAKE_SOURCE_DIR}/art/logo-black.css APPEND)
  set(HEARTH_UI_ARCHIVE_${name} ${HEARTH_UI_ARCHIVE_${name}} PARENT_SCOPE)
endfunction()

# The system preferences: the input menu shown, guests hidden, the owner's message ribbon;
# kept inside loginui.efires and beside it. loginui_guests.efires is loginui.efires with
# guests shown (its preferences.efires comes first in a merge, so it wins the lookup).
hearth_login_archive(preferences ${login_art}/preferences/preferences.fills
                     ${login_art}/preferences/preferences_isIMEnabled.int32
                     ${login_art}/preferences/preferences_showGuest.int32)
hearth_login_archive(preferences_guests ${login_art}/preferences/preferences.fills
                     ${login_art}/preferences/preferences_isIMEnabled.int32
                     ${login_art}/preferences/guests/preferences_showGuest.int32)
hearth_login_archive(loginui ${loginui_art} ${login_art}/loginui/loginui.fills
                     ${HEARTH_LAYOUT_DIR}/loginui_keyboard_layout.uchr ${HEARTH_UI_ARCHIVE_preferences})
set(guest_wrapper ${CMAKE_BINARY_DIR}/ui-archives/preferences_guests_wrapper.efires)
add_custom_command(
  OUTPUT ${HEARTH_UI_ARCHIVE_DIR}/loginui_guests.efires
  COMMAND hearthtool efires pack ${guest_wrapper} preferences.efires=${HEARTH_UI_ARCHIVE_preferences_guests}
  COMMAND hearthtool efires merge ${guest_wrapper} ${HEARTH_UI_ARCHIVE_loginui} -o ${HEARTH_UI_ARCHIVE_DIR}/loginui_guests.efires
  DEPENDS ${HEARTH_UI_ARCHIVE_loginui} ${HEARTH_UI_ARCHIVE_preferences_guests} hearthtool
  COMMENT "Making loginui_guests.efires"
  VERBATIM)
add_custom_target(ui-archive-loginui_guests ALL DEPENDS ${HEARTH_UI_ARCHIVE_DIR}/loginui_guests.efires)
# An archive made from another target's output waits for that target: otherwise make runs the
# other target's command a second time, into the same work folder, in parallel.
add_dependencies(ui-archive-loginui ui-archive-preferences keyboard-layouts)
add_dependencies(ui-archive-loginui_guests ui-archive-loginui ui-archive-preferences_guests)
hearth_login_archive(tarnLogo ${login_art}/tarnLogo.fills)
hearth_login_archive(unknown_userUI ${login_art}/unknown_user.fills)
hearth_login_archive(disk_passwordUI ${login_art}/disk_password.fills)
hearth_login_archive(guest_userUI ${login_art}/guest_user.fills)
file(GLOB login_users CONFIGURE_DEPENDS ${login_art}/users/*.fills)
foreach(user ${login_users})
  get_filename_component(stem ${user} NAME_WE)
  hearth_login_archive(user_${stem} ${user})
endforeach()

set(HEARTH_SOUND_ARCHIVE ${HEARTH_UI_ARCHIVE_DIR}/sound.efires)
add_custom_command(
  OUTPUT ${HEARTH_SOUND_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/ui-archives/sound
  COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/tools/art/make_sounds.py --cues ${login_art}/sound/cues.txt
          --hearthtool $<TARGET_FILE:hearthtool> --work ${CMAKE_BINARY_DIR}/ui-archives/sound
          --out ${HEARTH_SOUND_ARCHIVE}
  DEPENDS ${login_art}/sound/cues.txt ${CMAKE_SOURCE_DIR}/tools/art/make_sounds.py hearthtool
  COMMENT "Speaking and packing the login window's cues"
  VERBATIM)
add_custom_target(ui-archive-sound ALL DEPENDS ${HEARTH_SOUND_ARCHIVE})

# Every picture the login window and its entry ask for is in the archives, at both scales,
# and the six cues are in sound.efires.
add_test(NAME login-archive-names
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check-login-archives
                 --hearthtool $<TARGET_FILE:hearthtool> --archives ${HEARTH_UI_ARCHIVE_DIR})
set_tests_properties(login-archive-names PROPERTIES LABELS unit)
