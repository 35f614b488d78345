#include "indexer/resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The source pixels and weights that make up each output pixel along one axis.
struct AxisWeights {
    std::vector<int> first;      // first source index per output index
    std::vector<int> count;      // number of source indexes per output index
    std::vector<float> weights;  // `maxTaps` weights per output index
    int maxTaps = 0;
};

AxisWeights ComputeWeights(int sourceSize, int targetSize) {
    AxisWeights axis;
    const double scale = static_cast<double>(sourceSize) / targetSize;
    const double support = std::max(scale, 1.0);  // filter half-width in source pixels
    axis.maxTaps = static_cast<int>(std::ceil(support)) * 2 + 1;
    axis.first.resize(targetSize);
    axis.count.resize(targetSize);
    axis.weights.assign(static_cast<size_t>(targetSize) * axis.maxTaps, 0.0f);
    for (int o = 0; o < targetSize; ++o) {
        const double center = (o + 0.5) * scale - 0.5;
        int low = static_cast<int>(std::floor(center - support)) + 1;
        int high = static_cast<int>(std::ceil(center + support)) - 1;
        low = std::max(low, 0);
        high = std::min(high, sourceSize - 1);
        if (high < low) {
            low = high = std::clamp(static_cast<int>(std::lround(center)), 0, sourceSize - 1);
        }
        high = std::min(high, low + axis.maxTaps - 1);
        double total = 0;
        float* weights = &axis.weights[static_cast<size_t>(o) * axis.maxTaps];
        for (int i = low; i <= high; ++i) {
            const double w = std::max(0.0, 1.0 - std::abs(i - center) / support);
            weights[i - low] = static_cast<float>(w);
            total += w;
        }
        if (total <= 0) {
            weights[0] = 1.0f;
            high = low;
            total = 1;
        }
        for (int i = 0; i <= high - low; ++i) {
            weights[i] = static_cast<float>(weights[i] / total);
        }
        axis.first[o] = low;
        axis.count[o] = high - low + 1;
    }
    return axis;
}

}  // namespace

void ResampleImage(const uint8_t* source, int width, int height, int channels, uint8_t* target,
                   int targetWidth, int targetHeight) {
    if (width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0 || channels <= 0) {
        return;
    }
    const AxisWeights horizontal = ComputeWeights(width, targetWidth);
    const AxisWeights vertical = ComputeWeights(height, targetHeight);
    // Horizontal pass over every source row into floats, then the vertical pass into bytes.
    const size_t rowFloats = static_cast<size_t>(targetWidth) * channels;
    std::vector<float> rows(rowFloats * height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = source + static_cast<size_t>(y) * width * channels;
        float* out = &rows[rowFloats * y];
        for (int x = 0; x < targetWidth; ++x) {
            const float* weights = &horizontal.weights[static_cast<size_t>(x) * horizontal.maxTaps];
            const uint8_t* pixel = in + static_cast<size_t>(horizontal.first[x]) * channels;
            for (int c = 0; c < channels; ++c) {
                float sum = 0;
                for (int t = 0; t < horizontal.count[x]; ++t) {
                    sum += weights[t] * static_cast<float>(pixel[t * channels + c]);
                }
                out[x * channels + c] = sum;
            }
        }
    }
    for (int y = 0; y < targetHeight; ++y) {
        const float* weights = &vertical.weights[static_cast<size_t>(y) * vertical.maxTaps];
        uint8_t* out = target + static_cast<size_t>(y) * targetWidth * channels;
        for (size_t i = 0; i < rowFloats; ++i) {
            float sum = 0;
            for (int t = 0; t < vertical.count[y]; ++t) {
                sum += weights[t] * rows[rowFloats * (vertical.first[y] + t) + i];
            }
            out[i] = static_cast<uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
        }
    }
}
