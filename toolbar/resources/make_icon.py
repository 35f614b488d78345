#!/usr/bin/env python3
"""Writes lumenote.ico: the add-on's icon, one 32 x 32 image in the 16 standard colours.

A photograph in a white frame with a yellow caption box over its lower right corner, the box the
add-on lays over tagged pictures. Run it from this folder after changing the picture below; the
icon file is kept in the repository so that the build needs no Python.
"""
import struct
import sys

# The 16 colours of the standard palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# Letters of the picture and their palette entries; '.' is transparent.
COLOURS = {
    'K': 0, 'g': 2, 'o': 3, 'b': 4, 'c': 6, 's': 7, 'd': 8, 'G': 10, 'Y': 11, 'B': 12, 'A': 14, 'W': 15,
}

PICTURE = [
    "................................",
    "................................",
    "KKKKKKKKKKKKKKKKKKKKKKKKKK......",
    "KWWWWWWWWWWWWWWWWWWWWWWWWKd.....",
    "KWWWWWWWWWWWWWWWWWWWWWWWWKd.....",
    "KWWAAAAAAAAAAAAAAAAAAAAWWKd.....",
    "KWWAAAAAAAAAAAAAAAAYYYAWWKd.....",
    "KWWAAAAAAAAAAAAAAAYYYYYWWKd.....",
    "KWWAAAAAAAAAAAAAAAYYYYYWWKd.....",
    "KWWAAAAAAAAAAAAAAAYYYYYWWKd.....",
    "KWWAAAAAAAAAAAAAAAAYYYAWWKd.....",
    "KWWAAAAAAGAAAAAAAAAAAAAWWKd.....",
    "KWWAAAAAGGGAAAAAAAAAAAAWWKd.....",
    "KWWAAAAGGGGGAAAAAAAAAAAWWKd.....",
    "KWWAAAGGGGGGGAAAAAAGAAAWWKd.....",
    "KWWAAGGGGGGGGGAAAAGGGAAWWKd.....",
    "KWWAGGGGGGGGGGGAAGGGGGAWWKd.....",
    "KWWGGGGgggGGGGGGGGGGGGGWWKd.....",
    "KWWGGGgggggGGGGKGGGGGGGWWKd.....",
    "KWWGGgggggggGGKYKGGGGGGWWKd.....",
    "KWWGgggggggggKYYKKKKKKKKKKKKKKK.",
    "KWWggggggggggKYYYYYYYYYYYYYYYYKd",
    "KWWgggggggggKYYYYYYYYYYYYYYYYYKd",
    "KWWWWWWWWWWWKYYKKKKKKKKKKKYYYYKd",
    "KWWWWWWWWWWWKYYYYYYYYYYYYYYYYYKd",
    "KKKKKKKKKKKKKYYKKKKKKKKYYYYYYYKd",
    ".dddddddddddKYYYYYYYYYYYYYYYYYKd",
    "............KYYYYYYYYYYYYYYYYYKd",
    "............KKKKKKKKKKKKKKKKKKKd",
    ".............ddddddddddddddddddd",
    "................................",
    "................................",
]

SIZE = 32


def build_icon():
    assert len(PICTURE) == SIZE and all(len(row) == SIZE for row in PICTURE)
    colour_rows = []
    mask_rows = []
    # Bitmaps in icon files are stored bottom row first.
    for row in reversed(PICTURE):
        nibbles = [COLOURS.get(ch, 0) for ch in row]
        colour_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        bits = 0
        for ch in row:
            bits = (bits << 1) | (1 if ch == '.' else 0)
        mask_rows.append(bits.to_bytes(SIZE // 8, 'big'))
    colours = b''.join(colour_rows)
    mask = b''.join(mask_rows)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    # The height of an icon image counts the colour bitmap and the mask together.
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, len(colours) + len(mask), 0, 0, 16, 0)
    image = header + palette + colours + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    target = sys.argv[1] if len(sys.argv) > 1 else 'lumenote.ico'
    with open(target, 'wb') as out:
        out.write(build_icon())
