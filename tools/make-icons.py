#!/usr/bin/env python3
"""Draws the Agent's window and tray icons: a drive on a coloured disc, its light green while
the Agent monitors and red while it does not. Writes app/Icons/*.ico (16, 32 and 48 px), the
two tray images and the 48 px application-menu icon as PNG. Standard library only."""
import math
import os
import struct
import sys
import zlib

SS = 4  # supersampling per axis


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(4))


def draw(size, disc, light):
    n = size * SS
    r = n / 2
    px = []
    for y in range(n):
        row = []
        for x in range(n):
            cx, cy = x + 0.5 - r, y + 0.5 - r
            d = math.hypot(cx, cy)
            col = (0, 0, 0, 0)
            if d <= r - 0.5 * SS:
                shade = 1.0 - 0.25 * (cy / r + 1) / 2
                col = (disc[0] * shade, disc[1] * shade, disc[2] * shade, 255)
            # the drive body
            bx, by, bw, bh = -0.55 * r, -0.22 * r, 1.10 * r, 0.50 * r
            if bx <= cx <= bx + bw and by <= cy <= by + bh and d <= r - 0.5 * SS:
                col = (245, 245, 245, 255)
                if cy >= by + bh * 0.62:
                    col = (205, 205, 210, 255)
                # the light
                lx, ly = bx + bw * 0.80, by + bh * 0.32
                if math.hypot(cx - lx, cy - ly) <= 0.10 * r:
                    col = light + (255,)
            row.append(col)
        px.append(row)
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0] * 4
            for sy in range(SS):
                for sx in range(SS):
                    c = px[y * SS + sy][x * SS + sx]
                    a = c[3]
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            a = acc[3] / (SS * SS)
            if acc[3]:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                            round(acc[2] / acc[3]), round(a)))
            else:
                row.append((0, 0, 0, 0))
        out.append(row)
    return out


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def ico(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for pixels in images:
        blob = dib(pixels)
        size = len(pixels)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        data += blob
    return head + entries + data


def main(folder):
    os.makedirs(folder, exist_ok=True)
    looks = {"active": ((46, 150, 80), (90, 230, 120)), "deactive": ((130, 130, 135), (220, 50, 50))}
    for name, (disc, light) in looks.items():
        with open(os.path.join(folder, name + ".ico"), "wb") as f:
            f.write(ico([draw(s, disc + (255,), light) for s in (16, 32, 48)]))
        with open(os.path.join(folder, "tray-" + name + ".png"), "wb") as f:
            f.write(png(draw(32, disc + (255,), light)))
    # The application-menu icon is the active look.
    disc, light = looks["active"]
    with open(os.path.join(folder, "fwbagent.png"), "wb") as f:
        f.write(png(draw(48, disc + (255,), light)))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/Icons")
