#include "tools/swatch/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <png.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>

namespace vek::swatch {

namespace fs = std::filesystem;

int Image::find(const std::string &name) const {
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (channels[i] == name) return static_cast<int>(i);
    return -1;
}

namespace {

// A temporary name beside the target, so the final rename stays on one file system.
std::string temporary_beside(const std::string &path) {
    return path + ".partial";
}

// Runs `write` on a temporary file and renames it to `path` only when it succeeded.
template <typename Write>
void write_atomically(const std::string &path, Write write) {
    const std::string tmp = temporary_beside(path);
    try {
        write(tmp);
    } catch (...) {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        throw;
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) {
        fs::remove(tmp, ec);
        throw ImageError("cannot write " + path + ": " + ec.message());
    }
}

}  // namespace

void write_exr(const std::string &path, const Image &image) {
    if (image.width <= 0 || image.height <= 0 || image.channels.empty())
        throw ImageError("cannot write " + path + ": empty image");
    write_atomically(path, [&](const std::string &tmp) {
        try {
            Imf::Header header(image.width, image.height);
            for (const std::string &name : image.channels) header.channels().insert(name, Imf::Channel(Imf::FLOAT));
            const std::size_t n = image.channel_count();
            const std::size_t xstride = sizeof(float) * n;
            const std::size_t ystride = xstride * image.width;
            Imf::FrameBuffer frame;
            for (std::size_t c = 0; c < n; ++c)
                frame.insert(image.channels[c],
                             Imf::Slice(Imf::FLOAT, (char *)(image.pixels.data() + c), xstride, ystride));
            Imf::OutputFile file(tmp.c_str(), header);
            file.setFrameBuffer(frame);
            file.writePixels(image.height);
        } catch (const std::exception &e) {
            throw ImageError("cannot write " + path + ": " + e.what());
        }
    });
}

Image read_exr(const std::string &path) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i dw = file.header().dataWindow();
        const int w = dw.max.x - dw.min.x + 1;
        const int h = dw.max.y - dw.min.y + 1;
        std::vector<std::string> names;
        for (auto it = file.header().channels().begin(); it != file.header().channels().end(); ++it)
            names.push_back(it.name());
        Image image(w, h, names);
        const std::size_t n = names.size();
        const std::size_t xstride = sizeof(float) * n;
        const std::size_t ystride = xstride * w;
        Imf::FrameBuffer frame;
        char *base = (char *)image.pixels.data() - (dw.min.x * xstride + dw.min.y * ystride);
        for (std::size_t c = 0; c < n; ++c)
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, base + c * sizeof(float), xstride, ystride));
        file.setFrameBuffer(frame);
        file.readPixels(dw.min.y, dw.max.y);
        return image;
    } catch (const std::exception &e) {
        throw ImageError("cannot read " + path + ": " + e.what());
    }
}

unsigned char encode_srgb8(float linear) {
    if (!(linear > 0.0f)) return 0;  // also NaN
    if (linear >= 1.0f) return 255;
    const double c = linear;
    const double e = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
    return static_cast<unsigned char>(std::lround(std::clamp(e, 0.0, 1.0) * 255.0));
}

unsigned char encode_linear8(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<unsigned char>(std::lround(static_cast<double>(value) * 255.0));
}

Image select_channels(const Image &image, const std::vector<std::string> &names) {
    Image out(image.width, image.height, names);
    std::vector<int> from;
    for (const std::string &name : names) {
        const int i = image.find(name);
        if (i < 0) throw ImageError("no channel " + name);
        from.push_back(i);
    }
    const std::size_t n = image.channel_count();
    const std::size_t m = from.size();
    // Row by row on every core: a render's last step, a plain copy, so the
    // bits do not depend on who copies which row.
    tbb::parallel_for(tbb::blocked_range<int>(0, image.height), [&](const tbb::blocked_range<int> &rows) {
        for (int y = rows.begin(); y != rows.end(); ++y)
            for (std::size_t p = static_cast<std::size_t>(y) * image.width, e = p + image.width; p < e; ++p)
                for (std::size_t c = 0; c < m; ++c) out.pixels[p * m + c] = image.pixels[p * n + from[c]];
    });
    return out;
}

namespace {

struct PngLayout {
    int r = -1, g = -1, b = -1, a = -1;
    int grey = -1;
};

PngLayout png_layout(const Image &image, const std::string &layer) {
    const std::string prefix = layer.empty() ? "" : layer + ".";
    PngLayout l;
    l.r = image.find(prefix + "R");
    l.g = image.find(prefix + "G");
    l.b = image.find(prefix + "B");
    l.a = image.find(prefix + "A");
    if (l.r >= 0 && l.g >= 0 && l.b >= 0) return l;
    // A vector shows its x, y, z as red, green, blue.
    l.r = image.find(prefix + "X");
    l.g = image.find(prefix + "Y");
    l.b = image.find(prefix + "Z");
    l.a = -1;
    if (l.r >= 0 && l.g >= 0 && l.b >= 0) return l;
    l = PngLayout{};
    if (!layer.empty()) l.grey = image.find(layer);
    else if (image.channel_count() == 1) l.grey = 0;
    if (l.grey < 0) throw ImageError("no channel or layer '" + layer + "' to show");
    return l;
}

}  // namespace

void write_png(const std::string &path, const Image &image, const std::string &layer) {
    const PngLayout l = png_layout(image, layer);
    const bool grey = l.grey >= 0;
    const bool alpha = !grey && l.a >= 0;
    const int per_pixel = grey ? 1 : alpha ? 4 : 3;
    std::vector<unsigned char> rows(static_cast<std::size_t>(image.width) * image.height * per_pixel);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const float *px = image.at(x, y);
            unsigned char *out = &rows[(static_cast<std::size_t>(y) * image.width + x) * per_pixel];
            if (grey) {
                out[0] = encode_srgb8(px[l.grey]);
                continue;
            }
            out[0] = encode_srgb8(px[l.r]);
            out[1] = encode_srgb8(px[l.g]);
            out[2] = encode_srgb8(px[l.b]);
            if (alpha) out[3] = encode_linear8(px[l.a]);
        }
    write_atomically(path, [&](const std::string &tmp) {
        std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(tmp.c_str(), "wb"), &std::fclose);
        if (!file) throw ImageError("cannot write " + path);
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        if (!info) {
            png_destroy_write_struct(&png, nullptr);
            throw ImageError("cannot write " + path + ": out of memory");
        }
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            throw ImageError("cannot write " + path);
        }
        png_init_io(png, file.get());
        png_set_IHDR(png, info, image.width, image.height, 8,
                     grey ? PNG_COLOR_TYPE_GRAY : alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
        png_write_info(png, info);
        for (int y = 0; y < image.height; ++y)
            png_write_row(png, &rows[static_cast<std::size_t>(y) * image.width * per_pixel]);
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        if (std::fflush(file.get()) != 0) throw ImageError("cannot write " + path);
    });
}

}  // namespace vek::swatch
