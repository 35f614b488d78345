// Resampling of 8-bit pixel images to another size, each axis on its own (so the picture is stretched,
// never cropped). Shrinking averages every source pixel under an output pixel with a triangle filter
// as wide as the scale; enlarging interpolates linearly.
#pragma once

#include <cstdint>

// `source`: `width` x `height` pixels of `channels` bytes, rows top-down, no padding. `target`:
// `targetWidth` x `targetHeight` pixels of the same form.
void ResampleImage(const uint8_t* source, int width, int height, int channels, uint8_t* target,
                   int targetWidth, int targetHeight);
