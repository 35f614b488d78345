// The JSON object that describes the tags of one JPEG, as "vellumar-cli tags" prints it and the
// server's tags answer carries it.
#pragma once

#include <cstdint>
#include <string>

class ImageTags;

// One JSON object (no line end): file, loaded, size, display, caption, layerCount, layers, packet.
// `file` and the texts of the tags are in the active code page.
std::string TagsJson(const std::string& file, bool loaded, const ImageTags& tags);

// "WIDTHxHEIGHT" (or with a capital X), each a decimal number of at most 9 digits.
bool ParseDisplaySize(const std::string& text, int32_t& width, int32_t& height);
