#!/usr/bin/env python3
"""Makes the sample photos in samples/photos/.

ImageMagick's `convert` draws the base images; the tag packets (APP9 segments) and comments (COM
segments) are spliced into the JPEG byte stream right after the start-of-image marker by this script,
the way the suite's editor stores them. Run from anywhere: python3 samples/make_samples.py
"""

import os
import struct
import subprocess
import sys

SUITE_NS = "http://ns.lumenote.example/tags/1.0/"
RDF_NS = "http://www.w3.org/1999/02/22-rdf-syntax-ns#"

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "photos")

APP9 = 0xE9
COM = 0xFE


def base_image(width, height, sky, ground, sun):
    """A small landscape-like picture: a gradient sky, a ground band and a sun."""
    horizon = height * 2 // 3
    args = [
        "convert", "-size", f"{width}x{height}", f"gradient:{sky}",
        "-fill", ground, "-draw", f"rectangle 0,{horizon} {width},{height}",
        "-fill", sun, "-draw", f"circle {width * 3 // 4},{height // 4} {width * 3 // 4 + height // 10},{height // 4}",
        "-strip", "-quality", "75", "-sampling-factor", "2x2", "jpg:-",
    ]
    return subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout


def segment(marker, payload):
    if len(payload) + 2 > 0xFFFF:
        raise ValueError("segment payload too long")
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def splice(jpeg, segments):
    """Inserts the segments right after the start-of-image marker."""
    if jpeg[:2] != b"\xff\xd8":
        raise ValueError("not a JPEG stream")
    return jpeg[:2] + b"".join(segments) + jpeg[2:]


def layer(uid, name, x, y, region=None):
    """One layer element; `region` is (type attribute or None, dict of coordinates)."""
    lines = [f'    <rdf:li nto:UID="{uid}">', f"     <nto:name>{name}</nto:name>",
             f"     <nto:pos_x>{x}</nto:pos_x>", f"     <nto:pos_y>{y}</nto:pos_y>"]
    if region is not None:
        kind, coords = region
        attr = f' nto:region_type="{kind}"' if kind is not None else ""
        lines.append(f"     <nto:region{attr}>")
        for key in ("left", "top", "width", "height"):
            if key in coords:
                lines.append(f"      <nto:region_{key}>{coords[key]}</nto:region_{key}>")
        lines.append("     </nto:region>")
    lines.append("    </rdf:li>")
    return "\n".join(lines)


def packet(layers, size=(320, 240), version=2, cap_text=None, caption_pos=None, extra=""):
    """The packet text as the editor writes it: one description with sizes, layers and caption."""
    lines = [f'<rdf:RDF xmlns:nto="{SUITE_NS}" xmlns:rdf="{RDF_NS}">',
             f' <rdf:Description rdf:about="{SUITE_NS}">',
             f"  <nto:size_x>{size[0]}</nto:size_x>", f"  <nto:size_y>{size[1]}</nto:size_y>",
             f"  <nto:last_size_x>{size[0]}</nto:last_size_x>",
             f"  <nto:last_size_y>{size[1]}</nto:last_size_y>"]
    if layers:
        lines.append('  <nto:layer rdf:parseType="Collection">')
        lines.extend(layers)
        lines.append("  </nto:layer>")
    else:
        lines.append('  <nto:layer rdf:parseType="Collection"/>')
    lines += ["  <nto:caption_x>10</nto:caption_x>", "  <nto:caption_y>10</nto:caption_y>"]
    if caption_pos is not None:
        lines += ["  <nto:caption>", f"   <nto:pos_x>{caption_pos[0]}</nto:pos_x>",
                  f"   <nto:pos_y>{caption_pos[1]}</nto:pos_y>", "  </nto:caption>"]
    if cap_text is not None:
        lines.append(f"  <nto:cap_text>{cap_text}</nto:cap_text>")
    if version is not None:
        lines.append(f"  <nto:version>{version}</nto:version>")
    if extra:
        lines.append(extra)
    lines += [" </rdf:Description>", "</rdf:RDF>"]
    return "\n".join(lines)


def app9(text, encoding="utf-8"):
    # The editor ends the packet with a zero byte inside the segment.
    return segment(APP9, text.encode(encoding) + b"\0")


def comment(text):
    return segment(COM, text.encode("ascii"))


GD_CREATOR = "CREATOR: gd-jpeg v1.0 (using IJG JPEG v62), default quality\n"


def samples():
    """(file name, base image arguments, segments) for every sample photo."""
    blue = ("skyblue-navy", "darkgreen", "gold")
    dusk = ("orange-purple", "sienna", "lightyellow")
    grey = ("white-gray40", "gray20", "white")
    teal = ("paleturquoise-teal", "olivedrab", "orange")
    return [
        ("no_packet.jpg", blue, []),
        ("no_packet_comment.jpg", dusk, [comment("Harbour at dawn")]),
        ("no_packet_gd_creator.jpg", grey, [comment(GD_CREATOR)]),
        ("gd_creator_inside_comment.jpg", grey, [comment("Resized. " + GD_CREATOR + "Uploaded.")]),
        ("packet_legacy_cp1252.jpg", dusk, [app9(packet(
            [layer(1, "Caf\u00e9", 40, 60), layer(2, "Cr\u00e8me &amp; jam", 200, 150)],
            version=None, cap_text="Dessert \u00e0 la plage"), encoding="cp1252")]),
        ("packet_v2_utf8_escapes.jpg", teal, [app9(packet(
            [layer(1, "Caf\u00e9", 40, 60), layer(2, "a&lt;br&gt;b", 80, 90),
             layer(3, "Tom &amp; Jerry", 120, 100), layer(4, "C:&#092;photos", 160, 110),
             layer(5, "&quot;Quoted&quot; &apos;name&apos;", 200, 120), layer(6, "x&y", 240, 130)],
            cap_text="Line one&lt;br&gt;line two"))]),
        ("packet_regions.jpg", blue, [app9(packet([
            layer(1, "Boat", 50, 120, ("rect", {"left": 30, "top": 100, "width": 60, "height": 40})),
            layer(2, "Buoy", 150, 140, ("RECT", {"left": 140, "top": 130, "width": 20, "height": 22})),
            layer(3, "Cloud", 100, 30, ("ellipse", {"left": 60, "top": 10, "width": 90, "height": 40})),
            layer(4, "Gull", 260, 40, (None, {"left": 250, "top": 30, "width": 16, "height": 10})),
            layer(5, "Pier", 300, 200),
        ]))]),
        ("packet_caption_element.jpg", teal, [comment("A comment the packet caption wins over"), app9(packet(
            [layer(1, "Jetty", 160, 170)], cap_text="Evening &amp; calm water", caption_pos=(24, 200)))]),
        ("packet_empty_layers.jpg", grey, [app9(packet([], cap_text="Nothing tagged yet"))]),
        ("packet_search_words.jpg", blue, [app9(packet(
            [layer(1, "Grandma", 70, 150), layer(2, "Lighthouse", 250, 80)],
            cap_text="Summer at the lake", caption_pos=(12, 220)))]),
        ("packet_not_xml.jpg", dusk, [comment("Packet written by a broken tool"),
                                      app9("this is not a tag packet")]),
        ("packet_missing_size.jpg", grey, [app9(packet([layer(1, "Lost", 10, 10)]).replace(
            "  <nto:size_x>320</nto:size_x>\n", ""))]),
    ]


def main():
    os.makedirs(OUT, exist_ok=True)
    total = 0
    for name, colours, segments in samples():
        data = splice(base_image(320, 240, *colours), segments)
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
        total += len(data)
        print(f"{name}: {len(data)} bytes")
    print(f"{total} bytes in all")
    return 0


if __name__ == "__main__":
    sys.exit(main())
