// What the benchmark's tables share: its pictures, how a program is run on
// one, and how figures and rows are printed.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "programs.hpp"

namespace bench {

extern const std::string bench_dir;
extern const std::string programs_dir;
// Preloads the shim that times a real program (shim.cpp).
extern const std::string shim;

// A benchmark picture and its template, drawn by our own code.
struct Picture {
    cv::Size size;
    std::string path;
    std::string templ;
    std::string megapixels;
    int runs;
};

// Draws the picture and its template (1 % of its area) unless already there.
Picture picture(int cols, int rows, int runs);

// The name as a C string: GCC 14 takes a reference returned from a
// temporary std::string argument for a dangling one.
const suite::Program& program_named(const char* name);
// The shim's BENCH_MOVES for the slider positions given: "3,5,1".
std::string moves(const std::vector<int>& positions);

// The program's command line on a picture: with its template if it takes two.
std::vector<std::string> on(const std::string& binary, const suite::Program& program, const Picture& with);

// A figure: three significant digits or so.
std::string number(double value);
// value / base, or "–" when either is missing.
std::string ratio(double value, double base);
void print_row(const std::vector<std::string>& cells);
void print_heading(const std::string& caption, const std::vector<std::string>& columns);

} // namespace bench
