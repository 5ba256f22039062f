# Build policy for the whole suite, in one place.

option(SUITE_WERROR "Treat compiler warnings as errors" OFF)

add_library(suite_warnings INTERFACE)
target_compile_options(suite_warnings INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<BOOL:${SUITE_WERROR}>:-Werror>)

option(SUITE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(suite_sanitizers INTERFACE)
if(SUITE_SANITIZE)
  # Every undefined behaviour stops the program, so that a test sees it.
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(suite_sanitizers INTERFACE ${sanitize_flags})
  target_link_options(suite_sanitizers INTERFACE ${sanitize_flags})
endif()

# suite_target_defaults(target): C++17, the suite's warnings, the sanitizers when on.
function(suite_target_defaults target)
  target_compile_features(${target} PRIVATE cxx_std_17)
  target_link_libraries(${target} PRIVATE suite_warnings suite_sanitizers)
  get_target_property(type ${target} TYPE)
  if(SUITE_SANITIZE AND type STREQUAL "EXECUTABLE")
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/sanitizer_options.cpp)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/cmake/sanitizer_options.cpp APPEND PROPERTY
      COMPILE_DEFINITIONS SUITE_LSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/lsan.supp")
  endif()
endfunction()

include(GNUInstallDirs)

# program_sources(VARIABLE name): a program's own sources, the .cpp files in
# its folder (main.cpp and the units beside it). What all programs share is
# the suite_common library.
function(program_sources variable name)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp)
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()

# The picture types a file manager may offer to the programs: those the
# image library reads on every supported release (tests/desktop_test.cpp
# tries each).
set(SUITE_MIME_TYPES "image/png;image/jpeg;image/bmp;image/tiff;image/webp;image/x-portable-anymap;\
image/x-portable-bitmap;image/x-portable-graymap;image/x-portable-pixmap;image/x-sun-raster;\
image/vnd.radiance;image/jp2;")

# suite_program(name PICTURES file... WINDOWS title... [SLIDER maximum]
# [WINDOWS_BEFORE_WORK] [DESKTOP name comment]): a program of the suite, built
# from its folder and installed with its manual page man/name.1. PICTURES are
# the demo pictures it is shown on, one for each picture it takes; WINDOWS its
# window titles in the order it makes them; WINDOWS_BEFORE_WORK when they come
# up before its work; DESKTOP the name and comment of its desktop entry, which
# a file manager offers for pictures (one-picture programs only).
function(suite_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "WINDOWS_BEFORE_WORK" "SLIDER" "PICTURES;WINDOWS;DESKTOP")
  program_sources(sources ${name})
  add_executable(${name} ${sources})
  suite_target_defaults(${name})
  target_link_libraries(${name} PRIVATE suite_common suite_screen
    opencv_core opencv_imgproc opencv_imgcodecs opencv_highgui)
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES man/${name}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(arg_DESKTOP)
    list(GET arg_DESKTOP 0 desktop_name)
    list(GET arg_DESKTOP 1 desktop_comment)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/program.desktop.in ${PROJECT_BINARY_DIR}/desktop/${name}.desktop
      @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/desktop/${name}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  endif()

  if(NOT arg_SLIDER)
    set(arg_SLIDER 0)
  endif()
  set_property(GLOBAL APPEND PROPERTY suite_programs ${name})
  set_property(GLOBAL PROPERTY suite_${name}_pictures ${arg_PICTURES})
  set_property(GLOBAL PROPERTY suite_${name}_windows ${arg_WINDOWS})
  set_property(GLOBAL PROPERTY suite_${name}_slider ${arg_SLIDER})
  set_property(GLOBAL PROPERTY suite_${name}_early ${arg_WINDOWS_BEFORE_WORK})
endfunction()

# suite_write_program_table(): the programs declared so far, written into the
# build folder for everything else that needs them: programs.hpp for the tests
# and the benchmark, programs.sh for the scripts. Sets suite_programs.
function(suite_write_program_table)
  get_property(programs GLOBAL PROPERTY suite_programs)
  set(rows "")
  set(shell_pictures "")
  set(shell_windows "")
  foreach(name ${programs})
    get_property(pictures GLOBAL PROPERTY suite_${name}_pictures)
    get_property(windows GLOBAL PROPERTY suite_${name}_windows)
    get_property(slider GLOBAL PROPERTY suite_${name}_slider)
    get_property(early GLOBAL PROPERTY suite_${name}_early)
    if(early)
      set(early true)
    else()
      set(early false)
    endif()
    list(JOIN pictures "\", \"" picture_list)
    list(JOIN windows "\", \"" window_list)
    string(APPEND rows "    {\"${name}\", {\"${picture_list}\"}, {\"${window_list}\"}, ${slider}, ${early}},\n")
    list(JOIN pictures " " picture_words)
    list(JOIN windows "|" window_words)
    string(APPEND shell_pictures " [${name}]=\"${picture_words}\"")
    string(APPEND shell_windows " [${name}]=\"${window_words}\"")
  endforeach()
  list(JOIN programs " " program_words)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/programs.hpp CONTENT [[
// The suite's programs, written by CMake from the list in CMakeLists.txt.
#pragma once

#include <string>
#include <vector>

namespace suite {

struct Program {
    std::string name;
    std::vector<std::string> pictures; // demo pictures, one for each picture it takes
    std::vector<std::string> windows;  // window titles, in the order it makes them
    int slider_maximum;                // 0: no slider
    bool windows_before_work;          // its windows come up before its work
};

inline const std::vector<Program> programs{
@rows@};

} // namespace suite
]] @ONLY)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/programs.sh CONTENT [[
# The suite's programs, written by CMake from the list in CMakeLists.txt; sourced.
programs=(@program_words@)
# Demo pictures, in the order the program takes them.
declare -A program_pictures=(@shell_pictures@ )
# Window titles, separated by |.
declare -A program_windows=(@shell_windows@ )
]] @ONLY)
  add_library(suite_program_table INTERFACE)
  target_include_directories(suite_program_table INTERFACE ${PROJECT_BINARY_DIR})
  set(suite_programs ${programs} PARENT_SCOPE)
endfunction()
