#!/usr/bin/env python3
"""Builds the macOS application icon, Pelmora_mac/Pelmora.icns, from the
Linux program's scalable icon linux/packaging/pelmora.svg (the project's own
drawing). Each size is rendered with rsvg-convert (librsvg2-bin) and stored
as PNG in the icon container: a header 'icns' and the total length, then per
image a four-letter type, its length with the 8-byte element header, and
the PNG data; lengths are big-endian.

Usage: tools/make_mac_icon.py [svg] [icns]"""
import os
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Element type and pixel size; the @2x types hold twice the named size.
ELEMENTS = [
    (b"icp4", 16), (b"icp5", 32), (b"icp6", 64), (b"ic07", 128), (b"ic08", 256),
    (b"ic09", 512), (b"ic10", 1024), (b"ic11", 32), (b"ic12", 64), (b"ic13", 256), (b"ic14", 512),
]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def render(svg, size, directory):
    out = os.path.join(directory, f"{size}.png")
    if not os.path.exists(out):
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", out, svg], check=True)
    with open(out, "rb") as f:
        data = f.read()
    if not data.startswith(PNG_SIGNATURE):
        sys.exit(f"make_mac_icon: rsvg-convert gave no PNG for {size} px")
    width, height = struct.unpack(">II", data[16:24])
    if (width, height) != (size, size):
        sys.exit(f"make_mac_icon: {size} px rendered as {width} x {height}")
    return data


def main():
    svg = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "linux", "packaging", "pelmora.svg")
    icns = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "Pelmora_mac", "Pelmora.icns")
    body = b""
    with tempfile.TemporaryDirectory() as directory:
        for kind, size in ELEMENTS:
            png = render(svg, size, directory)
            body += kind + struct.pack(">I", len(png) + 8) + png
    with open(icns, "wb") as f:
        f.write(b"icns" + struct.pack(">I", len(body) + 8) + body)
    print(f"{icns}: {len(body) + 8} bytes, {len(ELEMENTS)} images")


if __name__ == "__main__":
    main()
