# Build policy for the whole suite, in one place.

option(SUITE_WERROR "Treat compiler warnings as errors" OFF)

add_library(suite_warnings INTERFACE)
target_compile_options(suite_warnings INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<BOOL:${SUITE_WERROR}>:-Werror>)

# suite_target_defaults(target): C++17 and the suite's warnings.
function(suite_target_defaults target)
  target_compile_features(${target} PRIVATE cxx_std_17)
  target_link_libraries(${target} PRIVATE suite_warnings)
endfunction()

# add_program(name): the program built from name/main.cpp.
function(add_program name)
  add_executable(${name} ${name}/main.cpp)
  suite_target_defaults(${name})
  target_link_libraries(${name} PRIVATE
    opencv_core opencv_imgproc opencv_imgcodecs opencv_highgui)
endfunction()
