# Firmware build: hearth.efi and the platform loader BOOTX64.EFI.
include(${CMAKE_SOURCE_DIR}/cmake/sources.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/art.cmake)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${HEARTH_OUTPUT_ROOT}/uefi")

# Freestanding: no exceptions, no RTTI, no runtime library. SSE is allowed (the entry shim
# hw/x86/image_entry.cpp enables it where the firmware did not) but nothing newer unless a
# function asks for it by target attribute.
set(HEARTH_EFI_FLAGS
    --target=x86_64-unknown-windows -ffreestanding -fno-exceptions -fno-rtti -fno-stack-protector -fno-threadsafe-statics
    -fno-builtin -mno-stack-arg-probe -fshort-wchar -mno-red-zone -O2 -g0
    -Wall -Wextra -Wno-unused-parameter -fno-strict-aliasing)
# Link with lld-link directly: the image needs nothing from a C runtime.
find_program(LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
set(CMAKE_CXX_LINK_EXECUTABLE
    "${LLD_LINK} /nologo /subsystem:efi_application /entry:HwImageEntry /nodefaultlib /debug:none /out:<TARGET> <LINK_FLAGS> <OBJECTS> <LINK_LIBRARIES>")

function(hearth_efi_image target)
  target_compile_options(${target} PRIVATE ${HEARTH_EFI_FLAGS})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(${target} PROPERTIES SUFFIX ".efi")
endfunction()

hearth_collect_firmware_sources(HEARTH_SOURCES)
file(GLOB HEARTH_HW_X86 CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/hw/x86/*.cpp)
add_executable(hearth ${HEARTH_SOURCES} ${HEARTH_HW_X86} ${HEARTH_EMBEDDED_PICTURES})
add_dependencies(hearth embedded-pictures)
hearth_efi_image(hearth)

# The input probe: the login toolkit's input events on real firmware, logged on the serial
# port (scenarios put it where hearth would be). Everything hearth has but its stages.
file(GLOB UIPROBE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/uiprobe/*.cpp)
set(UIPROBE_FIRMWARE_SOURCES ${HEARTH_SOURCES})
list(FILTER UIPROBE_FIRMWARE_SOURCES EXCLUDE REGEX "/boot/[^/]*$")
add_executable(ui-probe ${UIPROBE_SOURCES} ${UIPROBE_FIRMWARE_SOURCES} ${HEARTH_HW_X86} ${HEARTH_EMBEDDED_PICTURES})
add_dependencies(ui-probe embedded-pictures)
hearth_efi_image(ui-probe)

# The platform loader: stands in for the maker's firmware protocols on generic firmware.
file(GLOB_RECURSE PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/*.cpp)
# It shares the bottom layers with hearth: helpers, text output and the tracked pool.
add_executable(BOOTX64 ${PLATFORM_SOURCES}
               ${CMAKE_SOURCE_DIR}/lib/mem.cpp ${CMAKE_SOURCE_DIR}/lib/string.cpp
               ${CMAKE_SOURCE_DIR}/lib/freestanding.cpp ${CMAKE_SOURCE_DIR}/efi/globals.cpp
               ${CMAKE_SOURCE_DIR}/output/ascii_format.cpp ${CMAKE_SOURCE_DIR}/output/console.cpp
               ${CMAKE_SOURCE_DIR}/output/serial.cpp ${CMAKE_SOURCE_DIR}/output/error_report.cpp
               ${CMAKE_SOURCE_DIR}/output/unicode_format.cpp ${CMAKE_SOURCE_DIR}/diag/device_path_text.cpp
               ${CMAKE_SOURCE_DIR}/diag/device_path_build.cpp
               ${CMAKE_SOURCE_DIR}/memory/allocation_tags.cpp
               ${HEARTH_HW_X86})
hearth_efi_image(BOOTX64)
# The PNG decoder of the image-codec stand-in finds its few C library declarations in
# platform/freestanding_include; stb_image.h comes from Debian's libstb-dev.
find_path(STB_IMAGE_DIR stb_image.h PATHS /usr/include/stb /usr/local/include/stb NO_CMAKE_FIND_ROOT_PATH REQUIRED)
target_include_directories(BOOTX64 PRIVATE ${CMAKE_SOURCE_DIR}/platform/freestanding_include ${STB_IMAGE_DIR})
set_target_properties(BOOTX64 PROPERTIES SUFFIX ".EFI")
