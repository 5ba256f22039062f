# The program table: what every part of the suite knows of each program,
# recorded from programs.cmake and written out for the rest. Usable in script
# mode too (cmake/write_program_table.cmake), where nothing is built.

# suite_record_program(name PICTURES file... WINDOWS title... [SLIDER maximum]
# [USAGE line] [DESKTOP name comment]
# [BENCH_MOVES position...] [BENCH_TOOL argument...]): PICTURES are the demo
# pictures it is shown on, one for each picture it takes; WINDOWS its window
# titles in the order it makes them; USAGE the line it prints when it has no picture to show;
# DESKTOP the name and comment of its desktop entry, which a file manager
# offers for pictures (one-picture programs only); BENCH_MOVES the slider
# positions the benchmark times, and BENCH_TOOL the arguments of ImageMagick's
# convert for the same operation.
function(suite_record_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SLIDER;USAGE"
    "PICTURES;WINDOWS;DESKTOP;BENCH_MOVES;BENCH_TOOL")
  if(NOT arg_SLIDER)
    set(arg_SLIDER 0)
  endif()
  set_property(GLOBAL APPEND PROPERTY suite_programs ${name})
  foreach(fact PICTURES WINDOWS SLIDER USAGE DESKTOP BENCH_MOVES BENCH_TOOL)
    set_property(GLOBAL PROPERTY suite_${name}_${fact} "${arg_${fact}}")
  endforeach()
endfunction()

# A text as a C++ string literal, or as a shell word in double quotes.
function(suite_cpp_string variable text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  set(${variable} "\"${text}\"" PARENT_SCOPE)
endfunction()
function(suite_shell_string variable text)
  string(REGEX REPLACE "([\\\"$`])" "\\\\\\1" text "${text}")
  set(${variable} "\"${text}\"" PARENT_SCOPE)
endfunction()

# A list as the items of a C++ initializer: "a", "b".
function(suite_quoted variable)
  set(items "")
  foreach(item ${ARGN})
    suite_cpp_string(quoted "${item}")
    list(APPEND items "${quoted}")
  endforeach()
  list(JOIN items ", " joined)
  set(${variable} "${joined}" PARENT_SCOPE)
endfunction()

# suite_write_program_files(folder): programs.hpp (the tests, the benchmark)
# and programs.sh (the scripts, the autopkgtest) into the folder.
function(suite_write_program_files folder)
  get_property(programs GLOBAL PROPERTY suite_programs)
  set(rows "")
  set(shell "")
  foreach(name ${programs})
    foreach(fact PICTURES WINDOWS SLIDER USAGE DESKTOP BENCH_MOVES BENCH_TOOL)
      get_property(${fact} GLOBAL PROPERTY suite_${name}_${fact})
    endforeach()
    if(DESKTOP)
      set(desktop true)
    else()
      set(desktop false)
    endif()
    suite_quoted(picture_list ${PICTURES})
    suite_quoted(window_list ${WINDOWS})
    suite_quoted(tool_list ${BENCH_TOOL})
    list(JOIN BENCH_MOVES ", " move_list)
    suite_cpp_string(usage "${USAGE}")
    string(APPEND rows "    {\"${name}\", {${picture_list}}, {${window_list}}, ${SLIDER}, ${usage}, "
      "${desktop}, {${move_list}}, {${tool_list}}},\n")
    list(JOIN PICTURES " " picture_words)
    list(JOIN WINDOWS "|" window_words)
    suite_shell_string(picture_words "${picture_words}")
    suite_shell_string(window_words "${window_words}")
    string(APPEND shell "program_pictures[${name}]=${picture_words}\n"
      "program_windows[${name}]=${window_words}\n"
      "program_desktop[${name}]=${desktop}\n")
  endforeach()
  list(JOIN programs " " program_words)
  file(CONFIGURE OUTPUT ${folder}/programs.hpp CONTENT [[
// The suite's programs, written by CMake from programs.cmake.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace suite {

struct Program {
    std::string name;
    std::vector<std::string> pictures;   // demo pictures, one for each picture it takes
    std::vector<std::string> windows;    // window titles, in the order it makes them
    int slider_maximum;                  // 0: no slider
    std::string usage;                   // what it prints when it has no picture to show, if anything
    bool desktop_entry;                  // a file manager offers it for pictures
    std::vector<int> bench_moves;        // slider positions the benchmark times
    std::vector<std::string> bench_tool; // ImageMagick's convert arguments for the same operation
};

inline const std::vector<Program> programs{
@rows@};

// What the program prints on standard output when it has no picture to show.
inline std::string usage_output(const Program& program)
{
    return program.usage.empty() ? "" : program.usage + "\n";
}

// A program is named by its name in test names and messages.
inline void PrintTo(const Program& program, std::ostream* out)
{
    *out << program.name;
}

} // namespace suite
]] @ONLY)
  file(CONFIGURE OUTPUT ${folder}/programs.sh CONTENT [[
# The suite's programs, written by CMake from programs.cmake; sourced.
programs=(@program_words@)
# Demo pictures, in the order the program takes them; window titles,
# separated by |; whether it has a desktop entry.
declare -A program_pictures program_windows program_desktop
@shell@]] @ONLY)
endfunction()
