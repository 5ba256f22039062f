#include "tables.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace bench {

const std::string bench_dir = BENCH_DIR;
const std::string programs_dir = PROGRAMS_DIR;
const std::string shim = "LD_PRELOAD=" + bench_dir + "/libbench_shim.so";

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value);
    return text;
}

std::string ratio(double value, double base)
{
    if (base <= 0 || value <= 0) {
        return "–";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value / base);
    return text;
}

void print_row(const std::vector<std::string>& cells)
{
    for (const std::string& cell : cells) {
        std::printf("| %s ", cell.c_str());
    }
    std::printf("|\n");
    std::fflush(stdout);
}

void print_heading(const std::string& caption, const std::vector<std::string>& columns)
{
    std::printf(caption.empty() ? "\n" : "\n%s\n\n", caption.c_str());
    print_row(columns);
    print_row(std::vector<std::string>(columns.size(), "---"));
}

Picture picture(int cols, int rows, int runs)
{
    const std::string folder = bench_dir + "/pictures";
    const std::string size = std::to_string(cols) + "x" + std::to_string(rows);
    const std::string stem = folder + "/bench-" + size;
    const std::string make = std::string(MAKE_PICTURES) + " " + folder + " " + size;
    if (!std::filesystem::exists(stem + ".jpg") && std::system(make.c_str()) != 0) {
        throw std::runtime_error("cannot draw the pictures");
    }
    return {
        {cols, rows}, stem + ".jpg", stem + "-patch.png", number(cols * double(rows) / 1e6) + " MP", runs};
}

const suite::Program& program_named(const char* name)
{
    for (const suite::Program& program : suite::programs) {
        if (program.name == name) {
            return program;
        }
    }
    throw std::logic_error(std::string("no program named ") + name);
}

std::string moves(const std::vector<int>& positions)
{
    std::string said;
    for (const int position : positions) {
        said += (said.empty() ? "" : ",") + std::to_string(position);
    }
    return said;
}

// The program's command line on a picture: with its template if it takes two.
std::vector<std::string> on(const std::string& binary, const suite::Program& program, const Picture& with)
{
    std::vector<std::string> words{binary, with.path};
    if (program.pictures.size() == 2) {
        words.push_back(with.templ);
    }
    return words;
}

} // namespace bench
