// Which files the shell marks with the add-on's overlay icon: a ".jpg" file whose tag packet holds at
// least one layer. The rule is a function of the path and the file's content; the shell's
// IShellIconOverlayIdentifier and `vellumar-cli overlay` are thin layers over it.
#pragma once

#include <string>
#include <string_view>

// True when the path has at least 4 characters and ends in exactly ".jpg" (case-sensitive, so
// "photo.JPG" and "photo.jpeg" are not members). Works on 8-bit paths and on the shell's UTF-16 ones.
template <typename Char>
bool HasOverlayExtension(std::basic_string_view<Char> path) {
    constexpr Char kExtension[] = {Char('.'), Char('j'), Char('p'), Char('g')};
    if (path.size() < 4) {
        return false;
    }
    std::basic_string_view<Char> tail = path.substr(path.size() - 4);
    for (size_t i = 0; i < 4; ++i) {
        if (tail[i] != kExtension[i]) {
            return false;
        }
    }
    return true;
}

// The whole rule for a path in the ANSI code page: the extension, then a fresh ImageTags loaded from the
// file, whatever Load answers, and at least one layer in the packet it leaves. Only the segments before
// the compressed image are read. Any failure (no such file, unreadable, malformed) is false.
bool IsOverlayMember(const std::string& ansiPath);
