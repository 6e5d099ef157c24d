// Tile-parallel rendering of a swatch: every pixel is shaded from its own
// coordinates alone and its sub-samples are summed in a fixed order, so the
// image has the same bits whatever the thread count or tile schedule.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include "host/mi_types.h"
#include "tools/swatch/image.h"

namespace vek::swatch {

// The swatch: a width x height raster laid over the rectangle [x0, x1] x [y0, y1]
// of the z = 0 plane, y upwards (row 0 is the top edge at y1). Texture space 0
// is the swatch's own u, v in [0, 1], with w = 0.
struct Swatch {
    int width = 128;
    int height = 128;
    double x0 = 0.0, y0 = 0.0, x1 = 1.0, y1 = 1.0;
    int samples = 1;  // per axis: samples x samples sub-pixel points on a regular grid
};

constexpr int tile_size = 16;

// Where one sub-sample of a pixel lands: its texture u, v and its point in the plane.
struct SamplePoint {
    miVector uvw;
    miVector point;
};

inline SamplePoint sample_point(const Swatch &s, int px, int py, int sx, int sy) {
    const double n = s.samples;
    const double u = (px + (sx + 0.5) / n) / s.width;
    const double v = 1.0 - (py + (sy + 0.5) / n) / s.height;
    SamplePoint p;
    p.uvw = {static_cast<float>(u), static_cast<float>(v), 0.0f};
    p.point = {static_cast<float>(s.x0 + u * (s.x1 - s.x0)), static_cast<float>(s.y0 + v * (s.y1 - s.y0)), 0.0f};
    return p;
}

// Reports how far a render is, on standard error, once it has run for a while.
class Progress {
public:
    explicit Progress(bool enabled, int total) : enabled_(enabled), total_(total) {}
    void tile_done() {
        const int done = ++done_;
        // The last tile is reported by finish(), which ends the line.
        if (!enabled_ || done >= total_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - start_ < std::chrono::seconds(1)) return;
        std::lock_guard<std::mutex> lock(print_);
        if (now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        printed_ = true;
        std::fprintf(stderr, "\rrendering: %3d%% (%d/%d tiles)", done * 100 / total_, done, total_);
        std::fflush(stderr);
    }
    void finish() {
        if (printed_) std::fprintf(stderr, "\rrendering: 100%% (%d/%d tiles)\n", total_, total_);
    }

private:
    bool enabled_;
    int total_;
    std::atomic<int> done_{0};
    std::mutex print_;
    bool printed_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_{};
};

// Renders with one Context per worker thread, made by `make_context` before its
// first tile. Context::shade(const SamplePoint &, float *out) writes the image's
// channels for one sub-sample; it must not allocate or lock.
template <typename Context>
Image render(const Swatch &s, std::vector<std::string> channels, int threads,
             const std::function<Context()> &make_context, bool show_progress = false) {
    Image image(s.width, s.height, std::move(channels));
    const int n_channels = static_cast<int>(image.channel_count());
    const int tiles_x = (s.width + tile_size - 1) / tile_size;
    const int tiles_y = (s.height + tile_size - 1) / tile_size;
    const int tiles = tiles_x * tiles_y;
    Progress progress(show_progress, tiles);
    tbb::enumerable_thread_specific<Context> contexts(make_context);
    // Sub-sample sums live per thread too, so the per-sample path never allocates.
    tbb::enumerable_thread_specific<std::vector<double>> sums{std::vector<double>(n_channels)};
    tbb::enumerable_thread_specific<std::vector<float>> samples{std::vector<float>(n_channels)};

    auto shade_tile = [&](int tile) {
        Context &ctx = contexts.local();
        double *sum = sums.local().data();
        float *one = samples.local().data();
        const int tx = tile % tiles_x, ty = tile / tiles_x;
        const int xe = std::min(s.width, (tx + 1) * tile_size), ye = std::min(s.height, (ty + 1) * tile_size);
        for (int y = ty * tile_size; y < ye; ++y)
            for (int x = tx * tile_size; x < xe; ++x) {
                float *out = image.at(x, y);
                if (s.samples == 1) {
                    ctx.shade(sample_point(s, x, y, 0, 0), out);
                    continue;
                }
                for (int c = 0; c < n_channels; ++c) sum[c] = 0.0;
                for (int sy = 0; sy < s.samples; ++sy)
                    for (int sx = 0; sx < s.samples; ++sx) {
                        ctx.shade(sample_point(s, x, y, sx, sy), one);
                        for (int c = 0; c < n_channels; ++c) sum[c] += one[c];
                    }
                const double count = static_cast<double>(s.samples) * s.samples;
                for (int c = 0; c < n_channels; ++c) out[c] = static_cast<float>(sum[c] / count);
            }
        progress.tile_done();
    };

    tbb::task_arena arena(threads > 0 ? threads : tbb::task_arena::automatic);
    arena.execute([&] {
        tbb::parallel_for(
            tbb::blocked_range<int>(0, tiles, 1),
            [&](const tbb::blocked_range<int> &r) {
                for (int t = r.begin(); t != r.end(); ++t) shade_tile(t);
            },
            tbb::simple_partitioner());
    });
    progress.finish();
    return image;
}

}  // namespace vek::swatch
