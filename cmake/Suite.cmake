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
image/vnd.radiance;image/jp2;image/heif;image/heic;image/avif;")

include(${CMAKE_CURRENT_LIST_DIR}/ProgramTable.cmake)

# suite_program(name ...): a program of the suite (its table entry: see
# suite_record_program), built from its folder and installed with its manual
# page man/name.1 and, given DESKTOP, its desktop entry.
function(suite_program name)
  suite_record_program(${name} ${ARGN})
  # As the table read it: parsed again here, DESKTOP would run on into the
  # words that follow it.
  get_property(desktop GLOBAL PROPERTY suite_${name}_DESKTOP)
  program_sources(sources ${name})
  add_executable(${name} ${sources})
  suite_target_defaults(${name})
  target_link_libraries(${name} PRIVATE suite_common suite_screen
    opencv_core opencv_imgproc opencv_imgcodecs opencv_highgui)
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES man/${name}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(desktop)
    list(GET desktop 0 desktop_name)
    list(GET desktop 1 desktop_comment)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/program.desktop.in ${PROJECT_BINARY_DIR}/desktop/${name}.desktop
      @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/desktop/${name}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  endif()
endfunction()

# suite_write_program_table(): the programs declared so far, written into the
# build folder (suite_write_program_files), and a target whose users include
# programs.hpp. Sets suite_programs.
function(suite_write_program_table)
  suite_write_program_files(${PROJECT_BINARY_DIR})
  add_library(suite_program_table INTERFACE)
  target_include_directories(suite_program_table INTERFACE ${PROJECT_BINARY_DIR})
  get_property(programs GLOBAL PROPERTY suite_programs)
  set(suite_programs ${programs} PARENT_SCOPE)
endfunction()
