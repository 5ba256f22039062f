#include "heif_files.hpp"

#include <stdexcept>

#include <libheif/heif.h>
#include <opencv2/imgproc.hpp>

namespace heif_files {

std::string encode(const cv::Mat& picture, bool avif, int orientation)
{
    const int bits = picture.depth() == CV_16U ? 10 : 8;
    const bool alpha = picture.channels() == 4;
    const heif_chroma chroma = bits > 8 ? heif_chroma_interleaved_RRGGBB_LE
                               : alpha  ? heif_chroma_interleaved_RGBA
                                        : heif_chroma_interleaved_RGB;
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_encoding_options* options = heif_encoding_options_alloc();
    const auto check = [](const heif_error& error) {
        if (error.code != heif_error_Ok) {
            throw std::runtime_error(std::string("libheif: ") + error.message);
        }
    };
    check(heif_context_get_encoder_for_format(context, avif ? heif_compression_AV1 : heif_compression_HEVC,
                                              &encoder));
    heif_encoder_set_lossy_quality(encoder, 90);
    // As phones write them, and what this release's AV1 encoder takes at 10 bits.
    check(heif_encoder_set_parameter(encoder, "chroma", "420"));
    check(heif_image_create(picture.cols, picture.rows, heif_colorspace_RGB, chroma, &image));
    check(heif_image_add_plane(image, heif_channel_interleaved, picture.cols, picture.rows, bits));
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    cv::Mat rgb(picture.size(), picture.type(), plane, size_t(stride));
    cv::cvtColor(picture, rgb, alpha ? cv::COLOR_BGRA2RGBA : cv::COLOR_BGR2RGB);
    options->image_orientation = heif_orientation(orientation);
    check(heif_context_encode_image(context, image, encoder, options, nullptr));
    std::string bytes;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* into) {
                           static_cast<std::string*>(into)->append(static_cast<const char*>(data), size);
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    check(heif_context_write(context, &writer, &bytes));
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return bytes;
}

} // namespace heif_files
