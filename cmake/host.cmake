# Host build: the firmware sources as a library, the test firmware, unit tests,
# host tools, benchmarks and fuzz targets.
include(CTest)
include(${CMAKE_SOURCE_DIR}/cmake/sources.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/art.cmake)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${HEARTH_OUTPUT_ROOT}/host")

option(HEARTH_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(HEARTH_FUZZ "Build the libFuzzer targets (clang only)" OFF)
option(HEARTH_BENCH "Build the benchmark program" OFF)
set(HEARTH_UEFI_OUT "${HEARTH_OUTPUT_ROOT}/uefi" CACHE PATH "Where the EFI images are (for firmware scenarios)")

add_compile_options(-Wall -Wextra -Wno-unused-parameter -fno-strict-aliasing)
if(HEARTH_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(HEARTH_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

include_directories(${CMAKE_SOURCE_DIR})
# stb_image.h (Debian's libstb-dev): the platform loader's PNG decoder, compiled into its tests.
find_path(STB_IMAGE_DIR stb_image.h PATH_SUFFIXES stb)
if(STB_IMAGE_DIR)
  include_directories(SYSTEM ${STB_IMAGE_DIR})
endif()

# The firmware code, built for the host; hardware access goes to the fake.
hearth_collect_firmware_sources(HEARTH_CORE_SOURCES)
file(GLOB HEARTH_HW_FAKE CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/hw/fake/*.cpp)
add_library(hearth_core STATIC ${HEARTH_CORE_SOURCES} ${HEARTH_HW_FAKE} ${HEARTH_EMBEDDED_PICTURES})
add_dependencies(hearth_core embedded-pictures)
target_compile_definitions(hearth_core PUBLIC HEARTH_HOST=1)

# The in-process test firmware.
file(GLOB_RECURSE HEARTH_TESTFW CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testfw/*.cpp)
add_library(hearth_testfw STATIC ${HEARTH_TESTFW})
target_link_libraries(hearth_testfw PUBLIC hearth_core)

# What the tools, tests and benchmarks are built with (scripts/setup installs them). A
# machine without them fails here instead of building green without tests.
find_package(OpenSSL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(NOT HEARTH_FUZZ)
  find_package(GTest REQUIRED)
endif()
if(HEARTH_BENCH)
  find_package(benchmark REQUIRED)
  find_library(LZ4_LIBRARY lz4 REQUIRED)
endif()

# Host-only helpers shared by tools, tests and benchmarks (encoders, writers, decoders).
file(GLOB_RECURSE HEARTH_HOSTLIB CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/lib/*.cpp)
add_library(hearth_hostlib STATIC ${HEARTH_HOSTLIB})
target_link_libraries(hearth_hostlib PUBLIC hearth_core OpenSSL::Crypto)
target_link_libraries(hearth_testfw PUBLIC hearth_hostlib)
# The LZVN encoder's optimal parse prices every position: unoptimised it would take most of
# the tests' time. Optimised, it keeps the sanitizers.
set_source_files_properties(${CMAKE_SOURCE_DIR}/tools/lib/lzvn_encode.cpp PROPERTIES COMPILE_OPTIONS -O2)
# The keyboard-layout compiler reads XKB keymaps through libxkbcommon.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
target_link_libraries(hearth_hostlib PUBLIC PkgConfig::XKBCOMMON)

# fuzz/fuzz_NAME_PART.cpp is the target fuzz-NAME-PART.
function(hearth_fuzz_name src out)
  get_filename_component(stem ${src} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" name ${stem})
  string(REPLACE "_" "-" name ${name})
  set(${out} ${name} PARENT_SCOPE)
endfunction()
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)


# Unit tests: one program per folder below tests/, named test-FOLDER.
if(NOT HEARTH_FUZZ)
  file(GLOB test_dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*)
  foreach(dir ${test_dirs})
    if(NOT IS_DIRECTORY ${dir})
      continue()
    endif()
    get_filename_component(name ${dir} NAME)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(NOT srcs)
      continue()
    endif()
    add_executable(test-${name} ${srcs} ${CMAKE_SOURCE_DIR}/tests/test_main.cpp)
    target_link_libraries(test-${name} PRIVATE hearth_testfw GTest::gtest OpenSSL::Crypto ZLIB::ZLIB)
    add_test(NAME unit-${name} COMMAND test-${name})
    # 77: nothing failed, something skipped (tests/test_main.cpp).
    set_tests_properties(unit-${name} PROPERTIES LABELS unit SKIP_RETURN_CODE 77)
  endforeach()

  # The include check: every firmware folder includes only downwards.
  add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check-layers ${CMAKE_SOURCE_DIR})
  set_tests_properties(layers PROPERTIES LABELS "layers;unit")

  # hearthtool: every subcommand is one file that registers itself.
  file(GLOB HEARTHTOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/hearthtool/*.cpp)
  list(FILTER HEARTHTOOL_SOURCES EXCLUDE REGEX "/render_scenes_[^/]*\\.cpp$")
  add_executable(hearthtool ${HEARTHTOOL_SOURCES})
  # hearth's code runs on the host's services (tools/lib/host_services.h), never on the test
  # firmware; `hearthtool render` runs hearth-render, which does.
  target_link_libraries(hearthtool PRIVATE hearth_core hearth_hostlib)
  file(GLOB HEARTH_RENDER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/render/*.cpp
       ${CMAKE_SOURCE_DIR}/tools/hearthtool/render_scenes_*.cpp)
  add_executable(hearth-render ${HEARTH_RENDER_SOURCES})
  target_link_libraries(hearth-render PRIVATE hearth_testfw hearth_core hearth_hostlib)
  add_dependencies(hearthtool hearth-render)
  add_test(NAME hearthtool-links-no-test-firmware
           COMMAND sh -c "n=$(nm -C \"$0\" | grep -c TestFirmware); [ \"$n\" = 0 ] || { echo \"hearthtool has $n TestFirmware symbols\"; exit 1; }"
                   $<TARGET_FILE:hearthtool>)
  # Without its sibling, hearthtool render says so (exit 127) instead of failing quietly.
  add_test(NAME hearthtool-render-without-renderer
           COMMAND sh -c "d=$(mktemp -d) && cp \"$0\" \"$d/\" && out=$(\"$d/hearthtool\" render --list 2>&1); rc=$?; rm -rf \"$d\"; echo \"$out\"; [ $rc = 127 ] && echo \"$out\" | grep -q 'hearth-render is missing'"
                   $<TARGET_FILE:hearthtool>)
  set_tests_properties(hearthtool-links-no-test-firmware hearthtool-render-without-renderer PROPERTIES LABELS unit)

  # The widgets' pictures, rendered from art/ui/ into build/host/ui/NAME.efires.
  include(${CMAKE_SOURCE_DIR}/cmake/ui_archives.cmake)
  file(GLOB ui_battery_art CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/art/ui/battery/*.svg)
  file(GLOB ui_button_art CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/art/ui/buttons/*.svg)
  file(GLOB ui_tile_art CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/art/ui/tiles/*.svg)
  hearth_ui_archive(NAME battery SOURCES ${ui_battery_art})
  hearth_ui_archive(NAME buttons SOURCES ${ui_button_art})
  hearth_ui_archive(NAME tiles SOURCES ${ui_tile_art})
  file(GLOB ui_carousel_art CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/art/ui/carousel/*.svg)
  hearth_ui_archive(NAME carousel SOURCES ${ui_carousel_art})
  hearth_flag_picker_archive()
  # The font archives of the login window's text (Lucida13, Lucida13White).
  include(${CMAKE_SOURCE_DIR}/cmake/glyph_archives.cmake)
  # Every picture the battery monitor can ask for is in its archive, at both scales.
  add_test(NAME ui-archive-battery-names
           COMMAND sh -c "list=$(\"$0\" efires list \"$1\") || exit 1; for n in missing warning charging_0 charging_57 charging_100 discharging_0 discharging_100; do for s in '' @2x; do echo \"$list\" | grep -q \"^battery_$n$s.png \" || { echo \"missing battery_$n$s.png\"; exit 1; }; done; done"
                   $<TARGET_FILE:hearthtool> ${HEARTH_UI_ARCHIVE_battery})
  set_tests_properties(ui-archive-battery-names PROPERTIES LABELS unit)
  # hearthtool render against the stored reference pictures, exact pixels.
  add_test(NAME render-references
           COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/render-references
                   --hearthtool $<TARGET_FILE:hearthtool> --archives ${HEARTH_UI_ARCHIVE_DIR})
  set_tests_properties(render-references PROPERTIES LABELS unit)
  # The scenarios' screenshot judge on made-up screens.
  add_test(NAME pixel-check COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/scenarios/harness/pixel_check_test.py)
  set_tests_properties(pixel-check PROPERTIES LABELS unit)
  # The scenarios' reader of OVMF's variable store on made-up stores.
  add_test(NAME firmware-vars COMMAND ${HEARTH_ART_PYTHON} ${CMAKE_SOURCE_DIR}/scenarios/harness/firmware_vars_test.py)
  set_tests_properties(firmware-vars PROPERTIES LABELS unit)
endif()

# The keyboard layouts the login window loads, compiled from xkb-data.
include(${CMAKE_SOURCE_DIR}/cmake/layouts.cmake)
if(TARGET test-ui)
  target_compile_definitions(test-ui PRIVATE HEARTH_TEST_LAYOUT_DIR="${HEARTH_LAYOUT_DIR}")
  add_dependencies(test-ui keyboard-layouts)
  # The flag picker's test reads the archive the build makes.
  target_compile_definitions(test-ui PRIVATE HEARTH_TEST_UI_ARCHIVE_DIR="${HEARTH_UI_ARCHIVE_DIR}")
  add_dependencies(test-ui ui-archive-flag_picker)
endif()

# The key-file tests run hearthtool wipekey end to end.
if(TARGET test-fde AND TARGET hearthtool)
  add_dependencies(test-fde hearthtool)
endif()
# The password field draws glyphs from the built font archive.
if(TARGET test-ui AND TARGET glyph-archives)
  target_compile_definitions(test-ui PRIVATE HEARTH_TEST_GLYPH_ARCHIVE="${HEARTH_GLYPH_ARCHIVE_Lucida13}")
  add_dependencies(test-ui glyph-archives)
endif()
# The archive tool's tests run the tool itself.
if(TARGET test-ui AND TARGET hearthtool)
  add_dependencies(test-ui hearthtool)
endif()
if(TARGET test-hibernate AND TARGET hearthtool)
  add_dependencies(test-hibernate hearthtool)
endif()

# Benchmarks: one program, each file adds its benchmarks and comparisons.
if(HEARTH_BENCH)
  file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
  add_executable(hearth-bench ${BENCH_SOURCES})
  target_link_libraries(hearth-bench PRIVATE hearth_testfw benchmark::benchmark OpenSSL::Crypto ZLIB::ZLIB
                        ${LZ4_LIBRARY})
  # The drawing layer's peers: pixman (compositing) and stb_image_resize (header only).
  find_library(PIXMAN_LIBRARY pixman-1 REQUIRED)
  find_path(PIXMAN_INCLUDE_DIR pixman.h PATH_SUFFIXES pixman-1 REQUIRED)
  target_include_directories(hearth-bench PRIVATE ${PIXMAN_INCLUDE_DIR})
  target_link_libraries(hearth-bench PRIVATE ${PIXMAN_LIBRARY})
endif()

# Fuzz targets: build/fuzz/fuzz-NAME.
if(HEARTH_FUZZ)
  foreach(src ${FUZZ_SOURCES})
    hearth_fuzz_name(${src} name)
    add_executable(fuzz-${name} ${src})
    target_link_libraries(fuzz-${name} PRIVATE hearth_testfw)
    target_link_options(fuzz-${name} PRIVATE -fsanitize=fuzzer)
    if(name MATCHES "^delve-")
      # delve's parsers are host code outside the firmware library.
      target_sources(fuzz-${name} PRIVATE ${CMAKE_SOURCE_DIR}/tools/delve/plist_reader.cpp
                     ${CMAKE_SOURCE_DIR}/tools/delve/imgsrc_info.cpp ${CMAKE_SOURCE_DIR}/tools/delve/result_codes.cpp)
    endif()
    set_target_properties(fuzz-${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${HEARTH_OUTPUT_ROOT}/fuzz")
  endforeach()
endif()

# Fuzz smoke runs: every target for a short bounded time over its seed corpus, from the
# clang build in HEARTH_FUZZ_OUT. A crash, leak or sanitizer report fails the test.
set(HEARTH_FUZZ_OUT "" CACHE PATH "Where the fuzz targets are built (enables the smoke runs)")
set(HEARTH_FUZZ_SECONDS 20 CACHE STRING "Seconds per fuzz smoke run")
if(HEARTH_FUZZ_OUT AND NOT HEARTH_FUZZ)
  foreach(src ${FUZZ_SOURCES})
    hearth_fuzz_name(${src} name)
    set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    set(seeds "")
    if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
      set(seeds "'${CMAKE_SOURCE_DIR}/fuzz/corpus/${name}'")
    endif()
    add_test(NAME fuzz-${name}
             COMMAND sh -c "mkdir -p '${corpus}' && exec '${HEARTH_FUZZ_OUT}/fuzz-${name}' -max_total_time=${HEARTH_FUZZ_SECONDS} -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 '${corpus}' ${seeds}")
    set_tests_properties(fuzz-${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  endforeach()
endif()

if(NOT HEARTH_FUZZ)
  # Host programs with their own build descriptions.
  add_subdirectory(tools/delve)
  add_subdirectory(tools/launcher)
  # Firmware scenarios under QEMU + OVMF.
  add_subdirectory(scenarios)
  # The probe kernel: a small 32-bit program in a 64-bit Mach-O that checks the hand-off.
  add_subdirectory(probe)
  add_dependencies(test-kernel probe-kernel)
endif()

# The login window's archives: pictures, sounds and the test users' pictures.
if(TARGET hearthtool)
  include(${CMAKE_SOURCE_DIR}/cmake/login_archives.cmake)
endif()
