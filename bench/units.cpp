// The work done once and each move's, timed in this process against its
// reference with Google Benchmark: repetitions in random interleaving, so
// that a slow spell of the machine falls on both sides alike.
//   bench_units PICTURE TEMPLATE REPETITIONS
// prints "NAME MEDIAN_MS" for each benchmark registered below, a time for one
// run of its work.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <libheif/heif.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "edges.hpp"
#include "heif_files.hpp"
#include "heif_picture.hpp"
#include "scoring.hpp"

namespace {

cv::Mat picture;
cv::Mat templ;
cv::Mat grey;
std::string heic; // the picture as a phone saves it

void correlation(benchmark::State& state, scoring::Path path, int threads)
{
    cv::setNumThreads(threads);
    for (auto _ : state) {
        scoring::Basis basis = scoring::prepare(picture, templ, path);
        benchmark::DoNotOptimize(basis.correlation.data);
    }
    cv::setNumThreads(-1);
}

// A chain of dependent multiplications and additions: no memory traffic. Out
// of line, so that the compiler cannot run several tasks' chains in one
// vector when one thread has them all.
[[gnu::noinline]] double chain(int start)
{
    double value = start;
    for (int step = 0; step < 50'000'000; ++step) {
        value = value * 0.999999 + 1e-6;
    }
    return value;
}

// What this machine's cores give: the same arithmetic in as many equal tasks
// as the correlation has on the 12 MP picture.
void spin(benchmark::State& state, int threads)
{
    cv::setNumThreads(threads);
    std::vector<double> results(12);
    for (auto _ : state) {
        cv::parallel_for_(cv::Range(0, int(results.size())), [&](const cv::Range& range) {
            for (int task = range.start; task < range.end; ++task) {
                results[size_t(task)] = chain(task);
            }
        });
        benchmark::DoNotOptimize(results.data());
    }
    cv::setNumThreads(-1);
}

// patch_finder's moves, to measures 3, 5 and 1 in turn: one pass to rescale
// and search with the extremes found while scoring, or the library's
// rescaling and search, each a pass of its own; scored in lanes where the
// processor can, or one placement at a time.
void patch_finder_move(benchmark::State& state, bool separate_passes, bool lanes = true)
{
    scoring::Basis basis = scoring::prepare(picture, templ);
    basis.lanes = lanes;
    const int methods[] = {cv::TM_CCORR_NORMED, cv::TM_CCOEFF_NORMED, cv::TM_SQDIFF_NORMED};
    cv::Mat scores;
    int move = 0;
    for (auto _ : state) {
        const int method = methods[move++ % 3];
        if (separate_passes) {
            scoring::raw_scores(basis, method, scores);
            benchmark::DoNotOptimize(scoring::library_located(scores));
        } else {
            benchmark::DoNotOptimize(scoring::normalized_scores(basis, method, scores));
        }
    }
}

// edge_tuner's moves, to thresholds 20, 50, 100 and 0 in turn, on the
// picture or on blurred noise (a third of its pixels candidates): joining
// the kept candidates and colouring where they change, or the library's
// blur, Canny, clearing and masked copy.
void edge_tuner_move(benchmark::State& state, bool library, bool busy)
{
    cv::Mat colours = picture;
    if (busy) {
        colours = cv::Mat(picture.size(), picture.type());
        cv::RNG(9).fill(colours, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(colours, colours, cv::Size(0, 0), 1.5);
    }
    cv::Mat grey_colours;
    cv::cvtColor(colours, grey_colours, cv::COLOR_BGR2GRAY);
    edges::Candidates candidates = edges::prepare(grey_colours);
    const int thresholds[] = {20, 50, 100, 0};
    cv::Mat edge_map;
    // As after the first display: the output there, and at threshold 0.
    cv::Mat output;
    edges::colour_edges(candidates, 0, colours, output);
    int move = 0;
    for (auto _ : state) {
        const int lower = thresholds[move++ % 4];
        if (library) {
            cv::blur(grey_colours, edge_map, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
            cv::Canny(edge_map, edge_map, double(lower), double(lower * 3), 3, false);
            output.create(colours.size(), colours.type());
            output = cv::Scalar(0, 0, 0, 0);
            colours.copyTo(output, edge_map);
        } else {
            edges::colour_edges(candidates, lower, colours, output);
        }
        benchmark::DoNotOptimize(output.data);
    }
}

// circle_finder's search, on the picture or on it with 30 rings drawn over
// it: what edge pixels and the centres they vote for cost.
void circle_search(benchmark::State& state, bool rings)
{
    cv::Mat busy = grey.clone();
    cv::RNG random(5);
    for (int ring = 0; rings && ring < 30; ++ring) {
        const cv::Point centre(random.uniform(0, busy.cols), random.uniform(0, busy.rows));
        cv::circle(busy, centre, random.uniform(10, busy.rows / 8), cv::Scalar::all(255 * (ring % 2)), 3);
    }
    cv::GaussianBlur(busy, busy, cv::Size(9, 9), 2, 2, cv::BORDER_DEFAULT);
    std::vector<cv::Vec3f> circles;
    for (auto _ : state) {
        cv::HoughCircles(busy, circles, cv::HOUGH_GRADIENT, 1, std::max(busy.rows / 8, 1), 200, 100, 0, 0);
        benchmark::DoNotOptimize(circles.data());
    }
}

// The least a pass over the picture costs: a copy.
void one_pass(benchmark::State& state)
{
    cv::Mat copy;
    for (auto _ : state) {
        picture.copyTo(copy);
        benchmark::DoNotOptimize(copy.data);
    }
}

// Reading the HEIC: the programs' read, or libheif's own decode to the
// interleaved red, green and blue its tool writes out.
void heif_read(benchmark::State& state, bool ours)
{
    for (auto _ : state) {
        if (ours) {
            cv::Mat read;
            heif_picture::read(heic, read);
            benchmark::DoNotOptimize(read.data);
            continue;
        }
        heif_context* context = heif_context_alloc();
        heif_image_handle* handle = nullptr;
        heif_image* image = nullptr;
        heif_context_read_from_file(context, heic.c_str(), nullptr);
        heif_context_get_primary_image_handle(context, &handle);
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
        benchmark::DoNotOptimize(image);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
}

// Prints the median of each benchmark's repetitions, and nothing else.
class Medians : public benchmark::BenchmarkReporter {
  public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                std::printf("%s %.6g\n", run.run_name.function_name.c_str(),
                            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) *
                                1e3);
            }
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_units PICTURE TEMPLATE REPETITIONS\n");
        return 2;
    }
    picture = cv::imread(argv[1], cv::IMREAD_COLOR);
    templ = cv::imread(argv[2], cv::IMREAD_COLOR);
    if (picture.empty() || templ.empty()) {
        return 1;
    }
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    // Written once beside the picture: encoding a photograph takes long.
    heic = std::string(argv[1]) + ".heic";
    if (!std::filesystem::exists(heic)) {
        std::ofstream(heic, std::ios::binary) << heif_files::encode(picture);
    }
    const int all = cv::getNumThreads();

    using scoring::Path;
    const std::vector<std::pair<std::string, std::function<void(benchmark::State&)>>> benchmarks{
        {"correlation/tiles", [](benchmark::State& state) { correlation(state, Path::tiles, -1); }},
        {"correlation/whole_channels",
         [](benchmark::State& state) { correlation(state, Path::whole_channels, -1); }},
        {"correlation/all_threads", [all](benchmark::State& state) { correlation(state, Path::tiles, all); }},
        {"correlation/one_thread", [](benchmark::State& state) { correlation(state, Path::tiles, 1); }},
        {"spin/all_threads", [all](benchmark::State& state) { spin(state, all); }},
        {"spin/one_thread", [](benchmark::State& state) { spin(state, 1); }},
        {"patch_finder_move/one_pass", [](benchmark::State& state) { patch_finder_move(state, false); }},
        {"patch_finder_move/one_at_a_time",
         [](benchmark::State& state) { patch_finder_move(state, false, false); }},
        {"patch_finder_move/separate_passes",
         [](benchmark::State& state) { patch_finder_move(state, true); }},
        {"edge_tuner_move/candidates", [](benchmark::State& state) { edge_tuner_move(state, false, false); }},
        {"edge_tuner_move/library", [](benchmark::State& state) { edge_tuner_move(state, true, false); }},
        {"edge_tuner_busy_move/candidates",
         [](benchmark::State& state) { edge_tuner_move(state, false, true); }},
        {"edge_tuner_busy_move/library", [](benchmark::State& state) { edge_tuner_move(state, true, true); }},
        {"circle_search/rings", [](benchmark::State& state) { circle_search(state, true); }},
        {"circle_search/picture", [](benchmark::State& state) { circle_search(state, false); }},
        {"one_pass", one_pass},
        {"heif/ours", [](benchmark::State& state) { heif_read(state, true); }},
        {"heif/libheif", [](benchmark::State& state) { heif_read(state, false); }},
    };
    for (const auto& [name, body] : benchmarks) {
        benchmark::RegisterBenchmark(name.c_str(), body)->Unit(benchmark::kMillisecond)->UseRealTime();
    }

    std::string repetitions = std::string("--benchmark_repetitions=") + argv[3];
    std::vector<char*> flags{argv[0], repetitions.data(),
                             const_cast<char*>("--benchmark_enable_random_interleaving=true"),
                             const_cast<char*>("--benchmark_report_aggregates_only=true")};
    int count = int(flags.size());
    benchmark::Initialize(&count, flags.data());
    Medians medians;
    benchmark::RunSpecifiedBenchmarks(&medians);
    benchmark::Shutdown();
    return 0;
}
