# Collects the firmware sources of the listed folders. Host-only and
# firmware-only leaves (hw/) are added by the build that needs them.
function(hearth_collect_firmware_sources out)
  set(files)
  foreach(dir ${HEARTH_FIRMWARE_DIRS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
         "${CMAKE_SOURCE_DIR}/${dir}/*.cpp" "${CMAKE_SOURCE_DIR}/${dir}/*.S")
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()
