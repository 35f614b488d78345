#!/usr/bin/env python3
"""Prints the file path of every record of a search index file, one per line (for the GUI checks).

Record layout: u32 path length, path, u32 thumbnail length, thumbnail, u32 caption length, caption,
u32 layer count, then per layer u32 length and name; little-endian, no terminators.
"""
import struct
import sys


def records(data):
    pos = 0

    def text():
        nonlocal pos
        (length,) = struct.unpack_from("<I", data, pos)
        pos += 4
        if pos + length > len(data):
            raise ValueError("record runs past the end of the file")
        value = data[pos:pos + length]
        pos += length
        return value

    while pos < len(data):
        path = text()
        text()  # thumbnail
        text()  # caption
        (layers,) = struct.unpack_from("<I", data, pos)
        pos += 4
        for _ in range(layers):
            text()
        yield path.decode("cp1252", "replace")


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    for path in records(data):
        print(path)


if __name__ == "__main__":
    main()
