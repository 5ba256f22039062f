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

# program_sources(VARIABLE name): a program's sources, the .cpp files in its
# folder (main.cpp and the units beside it).
function(program_sources variable name)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp)
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()

# add_program(name): the program built from its folder, installed with its
# manual page man/name.1.
function(add_program name)
  program_sources(sources ${name})
  add_executable(${name} ${sources})
  suite_target_defaults(${name})
  target_link_libraries(${name} PRIVATE
    opencv_core opencv_imgproc opencv_imgcodecs opencv_highgui)
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES man/${name}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
