// JPEG byte strings built by hand for the tests: markers and segments as an encoder writes them.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

inline std::string StartOfImage() {
    return std::string("\xFF\xD8", 2);
}

// One marker segment: 0xFF, the code, the big-endian length (counting itself) and the payload.
inline std::string Segment(int marker, std::string_view payload) {
    size_t length = payload.size() + 2;
    std::string bytes;
    bytes += static_cast<char>(0xFF);
    bytes += static_cast<char>(marker);
    bytes += static_cast<char>((length >> 8) & 0xFF);
    bytes += static_cast<char>(length & 0xFF);
    bytes.append(payload);
    return bytes;
}

// A start-of-scan header for one component, as an encoder writes it.
inline std::string StartOfScan() {
    return Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
}

}  // namespace testsupport
