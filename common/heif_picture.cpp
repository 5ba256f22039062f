#include "heif_picture.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include <libheif/heif.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "address_space.hpp"

namespace heif_picture {
namespace {

// The library's own limits for the pictures it decodes (imgcodecs'
// CV_IO_MAX_IMAGE_WIDTH, _HEIGHT and _PIXELS), refused before any decoding.
constexpr int64_t most_side = int64_t(1) << 20;
constexpr int64_t most_pixels = int64_t(1) << 30;

// An open file, closed on every way out.
struct File {
    int descriptor = -1;
    int64_t size = 0;
    int64_t position = 0;
    ~File()
    {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
};

// libheif reads through this, from the file opened and checked here: what
// it reads is what was checked, whatever happens to the name meanwhile.
int64_t get_position(void* file)
{
    return static_cast<File*>(file)->position;
}

int read_bytes(void* data, size_t size, void* opened)
{
    File& file = *static_cast<File*>(opened);
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = pread(file.descriptor, bytes, size, file.position);
        if (got <= 0) {
            return 1;
        }
        bytes += got;
        size -= size_t(got);
        file.position += got;
    }
    return 0;
}

int seek(int64_t position, void* file)
{
    static_cast<File*>(file)->position = position;
    return 0;
}

heif_reader_grow_status wait_for_file_size(int64_t size, void* file)
{
    return size <= static_cast<File*>(file)->size ? heif_reader_grow_status_size_reached
                                                  : heif_reader_grow_status_size_beyond_eof;
}

heif_reader file_reader()
{
    heif_reader reader{};
    reader.reader_api_version = 1;
    reader.get_position = get_position;
    reader.read = read_bytes;
    reader.seek = seek;
    reader.wait_for_file_size = wait_for_file_size;
    return reader;
}

// Whether libheif answered; running out of memory is not a picture's fault,
// but its own limits (said as a memory error) are.
bool fine(const heif_error& error)
{
    if (error.code == heif_error_Memory_allocation_error &&
        error.subcode != heif_suberror_Security_limit_exceeded) {
        throw std::bad_alloc();
    }
    return error.code == heif_error_Ok;
}

// What libheif could not do, and said as something else than memory (a
// decoder plug-in not loaded, a conversion not allocated): with no room left
// for what it was asked, that was running out of memory, thrown; else the
// file is unreadable.
constexpr size_t plug_in_bytes = size_t(64) << 20;
bool unreadable(size_t asked_bytes)
{
    common::make_sure_of_room(asked_bytes);
    return false;
}

// A regular file whose first box says it is a HEIF container.
bool open_container(const std::string& path, File& file)
{
    file.descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status = {};
    if (file.descriptor < 0 || fstat(file.descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    file.size = status.st_size;
    // Its brands, asked here: libheif, asked anything, may first load its
    // plug-ins, which no other picture needs.
    char start[64];
    const ssize_t got = pread(file.descriptor, start, sizeof start, 0);
    if (got < 16 || std::string(start + 4, 4) != "ftyp") {
        return false;
    }
    // The brands of the ftyp box alone, not the boxes after it.
    const size_t box = size_t(uint8_t(start[0])) << 24 | size_t(uint8_t(start[1])) << 16 |
                       size_t(uint8_t(start[2])) << 8 | size_t(uint8_t(start[3]));
    if (box < 16) {
        return false;
    }
    const std::string brands(start + 8, std::min(size_t(got), box) - 8);
    for (size_t at = 0; at + 4 <= brands.size(); at += at == 0 ? 8 : 4) {
        for (const char* brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs", "mif1",
                                  "mif2", "msf1", "avif", "avis"}) {
            if (brands.compare(at, 4, brand) == 0) {
                return true;
            }
        }
    }
    return false;
}

// The decoded picture, interleaved red-green-blue, as 8-bit blue-green-red.
void to_blue_green_red(const heif_image* image, int bits, cv::Mat& picture)
{
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (plane == nullptr || width <= 0 || height <= 0) {
        return;
    }
    if (bits <= 8) {
        const cv::Mat red_green_blue(height, width, CV_8UC3, const_cast<uint8_t*>(plane), size_t(stride));
        cv::cvtColor(red_green_blue, picture, cv::COLOR_RGB2BGR);
        return;
    }
    // Samples in 16 bits, in the machine's order: their top 8 bits, as
    // imread keeps of a 16-bit PNG, in one pass.
    picture.create(height, width, CV_8UC3);
    const int shift = bits - 8;
    cv::parallel_for_(cv::Range(0, height), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const auto* in = reinterpret_cast<const uint16_t*>(plane + size_t(y) * size_t(stride));
            auto* out = picture.ptr<uint8_t>(y);
            for (int x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = uint8_t(in[2] >> shift);
                out[1] = uint8_t(in[1] >> shift);
                out[2] = uint8_t(in[0] >> shift);
            }
        }
    });
}

// Standard error set aside for as long as it lives.
class StandardErrorAside {
  public:
    StandardErrorAside()
    {
        std::fflush(stderr);
        if (kept_ >= 0 && nowhere_ >= 0) {
            dup2(nowhere_, STDERR_FILENO);
        }
    }
    ~StandardErrorAside()
    {
        std::fflush(stderr);
        if (kept_ >= 0 && nowhere_ >= 0) {
            dup2(kept_, STDERR_FILENO);
        }
        for (const int descriptor : {kept_, nowhere_}) {
            if (descriptor >= 0) {
                close(descriptor);
            }
        }
    }
    StandardErrorAside(const StandardErrorAside&) = delete;
    StandardErrorAside& operator=(const StandardErrorAside&) = delete;

  private:
    const int kept_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const int nowhere_ = open("/dev/null", O_WRONLY | O_CLOEXEC);
};

bool started()
{
    const StandardErrorAside aside;
    // The library makes its codec list on first use, and on some releases
    // that starts GDAL's drivers, its HEIF one starting libheif.
    cv::haveImageWriter(".png");
    return heif_init(nullptr).code == heif_error_Ok;
}

} // namespace

bool start()
{
    static const bool done = started();
    return done;
}

bool read(const std::string& path, cv::Mat& picture)
{
    picture.release();
    File file;
    if (!open_container(path, file)) {
        return false;
    }
    if (!start()) {
        return unreadable(plug_in_bytes);
    }
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    if (!context) {
        throw std::bad_alloc();
    }
    heif_context_set_maximum_image_size_limit(context.get(), int(most_side));
    const heif_reader reader = file_reader();
    heif_image_handle* primary = nullptr;
    if (!fine(heif_context_read_from_reader(context.get(), &reader, &file, nullptr)) ||
        !fine(heif_context_get_primary_image_handle(context.get(), &primary))) {
        return unreadable(plug_in_bytes);
    }
    const std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        primary, heif_image_handle_release);
    const int64_t width = heif_image_handle_get_width(primary);
    const int64_t height = heif_image_handle_get_height(primary);
    if (width <= 0 || height <= 0 || width > most_side || height > most_side ||
        width * height > most_pixels) {
        return false;
    }
    // The decoder's own thread ends the process on an allocation it cannot
    // have, and libheif says some failures to get memory as other errors:
    // what a decode takes (its planes and frames, red-green-blue, ours) must
    // be there before it starts.
    const int64_t sample_bytes = heif_image_handle_get_luma_bits_per_pixel(primary) > 8 ? 2 : 1;
    const size_t decode_bytes = size_t(width * height * (9 * sample_bytes + 3));
    common::make_sure_of_room(decode_bytes);
    const uint16_t one = 1;
    const bool little_endian = *reinterpret_cast<const uint8_t*>(&one) == 1;
    const heif_chroma chroma = heif_image_handle_get_luma_bits_per_pixel(primary) <= 8
                                   ? heif_chroma_interleaved_RGB
                               : little_endian ? heif_chroma_interleaved_RRGGBB_LE
                                               : heif_chroma_interleaved_RRGGBB_BE;
    heif_image* decoded = nullptr;
    if (!fine(heif_decode_image(primary, &decoded, heif_colorspace_RGB, chroma, nullptr))) {
        return unreadable(decode_bytes + plug_in_bytes);
    }
    const std::unique_ptr<heif_image, decltype(&heif_image_release)> image(decoded, heif_image_release);
    to_blue_green_red(decoded, heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved),
                      picture);
    return !picture.empty();
}

} // namespace heif_picture
