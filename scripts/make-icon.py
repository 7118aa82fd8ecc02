#!/usr/bin/env python3
"""Draws the application icon (a log page with one highlighted line) at six
sizes and writes it as an .ico for both programs (MURVEX icon 101, Kestrin
icon 128 hold the same images). Run by hand when the design changes; the
.ico files are committed."""
import struct
import zlib

SIZES = [16, 24, 32, 48, 64, 256]


def pixel(x, y, n):
    """RGBA of the pixel at (x, y) of an n x n image."""
    u, v = (x + 0.5) / n, (y + 0.5) / n
    margin, radius = 0.06, 0.14
    # Rounded dark page.
    cx = min(max(u, margin + radius), 1 - margin - radius)
    cy = min(max(v, margin + radius), 1 - margin - radius)
    if (u - cx) ** 2 + (v - cy) ** 2 > radius ** 2:
        return (0, 0, 0, 0)
    row = int((v - 0.18) / 0.16)
    in_line = 0.18 <= v < 0.82 and ((v - 0.18) % 0.16) < 0.09
    if in_line and 0.18 <= u <= 0.82:
        if row == 3:  # the highlighted line: white on magenta
            return (255, 255, 255, 255) if u < 0.72 else (192, 0, 192, 255)
        return (70, 230, 90, 255) if u < 0.30 else (235, 235, 235, 255)
    if row == 3 and 0.18 <= v < 0.82 and 0.12 <= u <= 0.88:
        return (192, 0, 192, 255)
    return (24, 28, 36, 255)


def png(n):
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y, n)) for x in range(n)) for y in range(n))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(n):
    """32-bit DIB with its AND mask, as icons below 256 pixels usually hold."""
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(n)):
        rows.append(b"".join(bytes((b, g, r, a)) for r, g, b, a in (pixel(x, y, n) for x in range(n))))
    mask_row = ((n + 31) // 32) * 4
    return header + b"".join(rows) + b"\0" * mask_row * n


def main():
    images = [png(n) if n == 256 else bmp(n) for n in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    for path in ("MURVEX/res/MURVEX.ico", "Kestrin/res/Kestrin.ico"):
        with open(path, "wb") as f:
            f.write(out)


if __name__ == "__main__":
    main()
