#!/usr/bin/env python3
"""Draws the configuration program's artwork: the application icon (16x16 and
32x32, 24-bit colour with a transparency mask) and the 221x44 banner of the
dialog's white header band. ImageMagick renders the pictures; this script packs
them into the Windows formats itself so that the colour depth is exactly 24 bits.

The generated files are committed beside this script; run it again only to
change the artwork:  python3 config/art/make-art.py
"""
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
KEY = (255, 0, 255)  # background colour that becomes transparent in the icon

NAVY = "#1F3A68"
STEEL = "#3B6EA8"
PALE = "#DDE8F5"
PAPER = "#FFFFFF"
GOLD = "#E0A526"


def render(size, draw, background, antialias=True, canvas=None):
    """Runs ImageMagick and returns the picture as rows of (r, g, b), top row first.
    A smaller canvas is drawn on and then widened on its left to the full size."""
    width, height = size
    canvas_width, canvas_height = canvas or size
    cmd = ["convert", "-size", f"{canvas_width}x{canvas_height}", f"xc:{background}"]
    if not antialias:
        cmd.append("+antialias")
    cmd += draw + ["-background", background, "-gravity", "east", "-extent", f"{width}x{height}"]
    cmd += ["-depth", "8", "rgb:-"]
    raw = subprocess.run(cmd, check=True, stdout=subprocess.PIPE).stdout
    assert len(raw) == width * height * 3, "unexpected picture size"
    return [[tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)]


def dib_rows(rows):
    """24-bit BGR rows, bottom row first, each padded to a multiple of 4 bytes."""
    out = b""
    for row in reversed(rows):
        line = b"".join(bytes((b, g, r)) for r, g, b in row)
        out += line + b"\0" * (-len(line) % 4)
    return out


def mask_rows(rows):
    """1-bit AND mask: set where the icon is transparent, rows padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        bits = 0
        line = bytearray()
        for x, pixel in enumerate(row):
            bits = (bits << 1) | (pixel == KEY)
            if x % 8 == 7:
                line.append(bits)
                bits = 0
        if len(row) % 8:
            line.append(bits << (8 - len(row) % 8))
        out += bytes(line) + b"\0" * (-len(line) % 4)
    return out


def bitmap_info(width, height):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, 0, 0, 0, 0, 0)


def write_bmp(path, rows):
    pixels = dib_rows(rows)
    info = bitmap_info(len(rows[0]), len(rows))
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def write_ico(path, images):
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        # Transparent pixels are black in the colour part so the mask works on any background.
        colour = [[(0, 0, 0) if p == KEY else p for p in row] for row in rows]
        blob = bitmap_info(size, size * 2) + dib_rows(colour) + mask_rows(rows)
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(blob), offset)
        blobs += blob
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


def icon_32():
    # A letter dropping into an archive tray.
    return render((32, 32), [
        "-fill", STEEL, "-stroke", NAVY, "-draw", "polygon 2,17 8,17 11,21 20,21 23,17 29,17 29,29 2,29",
        "-fill", PAPER, "-stroke", NAVY, "-draw", "rectangle 7,3 24,16",
        "-fill", "none", "-stroke", NAVY, "-draw", "polyline 7,3 15,10 16,10 24,3",
        "-fill", GOLD, "-stroke", GOLD, "-draw", "rectangle 12,19 19,19",
        "-fill", PALE, "-stroke", PALE, "-draw", "line 4,27 27,27",
    ], "rgb(255,0,255)", antialias=False)


def icon_16():
    return render((16, 16), [
        "-fill", STEEL, "-stroke", NAVY, "-draw", "polygon 0,8 4,8 5,10 10,10 11,8 15,8 15,15 0,15",
        "-fill", PAPER, "-stroke", NAVY, "-draw", "rectangle 3,1 12,8",
        "-fill", "none", "-stroke", NAVY, "-draw", "polyline 3,1 7,5 8,5 12,1",
    ], "rgb(255,0,255)", antialias=False)


def banner():
    # Sits at the right of the white band, so the drawing keeps to its right edge.
    return render((221, 44), [
        "-fill", PALE, "-stroke", "none", "-draw", "roundrectangle 4,4 40,40 6,6",
        "-fill", STEEL, "-stroke", NAVY, "-strokewidth", "1",
        "-draw", "polygon 8,23 15,23 18,28 26,28 29,23 36,23 36,36 8,36",
        "-fill", PAPER, "-stroke", NAVY, "-draw", "rectangle 13,8 31,21",
        "-fill", "none", "-stroke", NAVY, "-draw", "polyline 13,8 22,15 31,8",
        "-fill", GOLD, "-stroke", "none", "-draw", "rectangle 18,25 26,26",
        "-stroke", "none", "-fill", NAVY, "-font", "DejaVu-Sans-Bold", "-pointsize", "20",
        "-annotate", "+48+24", "Quillstow",
        "-fill", "#5A6B80", "-font", "DejaVu-Sans", "-pointsize", "10",
        "-annotate", "+49+38", "archiving for Outlook",
    ], "white", canvas=(160, 44))


if __name__ == "__main__":
    write_ico(os.path.join(HERE, "qsStowConfig.ico"), [icon_16(), icon_32()])
    write_bmp(os.path.join(HERE, "banner.bmp"), banner())
