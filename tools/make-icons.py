#!/usr/bin/env python3
"""Draws the Agent's icons from one set of shapes: a drive on a coloured disc, its disc green
and its light green while the Agent monitors, grey and red while it does not; and a page with
that disc for backup-set files.

Writes, under the given folder (default app/):
  hicolor/scalable/<context>/<name>.svg  the shapes as SVG, laid out as the icon theme is
  hicolor/<n>x<n>/<context>/<name>.png   each size rendered from the shapes themselves, not
                                         scaled down from a large bitmap
  Icons/active.ico, Icons/deactive.ico   the window icons, every size in one file

The outputs are committed, so a build needs no SVG renderer. Change the shapes here and run
the script again; never edit the SVGs or PNGs by hand. Standard library only."""
import math
import os
import struct
import sys
import zlib

VIEW = 256  # the shapes' coordinate space; a size-n rendering scales it by n / VIEW
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
ICO_SIZES = (16, 24, 32, 48, 64, 128, 256)

# A look: the disc's rim, the disc and the drive's light.
ACTIVE = ((22, 92, 46), ((64, 178, 98), (30, 120, 62)), (100, 236, 130))
INACTIVE = ((84, 84, 90), ((156, 156, 162), (104, 104, 110)), (232, 52, 52))


# A shape is (kind, geometry, fill); a fill is one RGB colour or a (top, bottom) gradient
# across the shape's height.
def circle(cx, cy, r, fill):
    return ("circle", (cx, cy, r), fill)


def rrect(x, y, w, h, rx, fill):
    return ("rrect", (x, y, w, h, rx), fill)


def polygon(points, fill):
    return ("polygon", tuple(points), fill)


def drive(cx, cy, scale, light):
    """A drive body centred on (cx, cy), drawn at scale 1 for the 256-unit application icon."""
    w, h = 156 * scale, 76 * scale
    x, y = cx - w / 2, cy - h / 2
    return [
        rrect(x, y, w, h, 14 * scale, ((252, 252, 252), (214, 216, 222))),
        rrect(x + 16 * scale, y + h - 24 * scale, 78 * scale, 8 * scale, 4 * scale,
              (150, 152, 160)),
        circle(x + w - 30 * scale, y + h - 20 * scale, 14 * scale, light),
    ]


def badge(cx, cy, r, look):
    rim, disc, light = look
    s = r / 120
    return [circle(cx, cy, r, rim), circle(cx, cy, r - 7 * s, disc)] + drive(cx, cy, s, light)


def page():
    fold = 58
    outline = [(44, 8), (166 + 6, 8), (222, 58 - 6), (222, 248), (44, 248)]
    sheet = [(52, 16), (166, 16), (214, 16 + fold - 10), (214, 240), (52, 240)]
    lines = [rrect(74, 46 + 24 * i, w, 10, 5, (178, 182, 192)) for i, w in enumerate((72, 104, 88))]
    return ([polygon(outline, (146, 148, 156)),
             polygon(sheet, ((255, 255, 255), (232, 234, 238))),
             polygon([(166, 16), (166, 64), (214, 64)], (200, 202, 210))]
            + lines + badge(150, 172, 64, ACTIVE))


ICONS = {
    ("apps", "fwbagent"): badge(128, 128, 120, ACTIVE),
    ("apps", "fwbagent-active"): badge(128, 128, 120, ACTIVE),
    ("apps", "fwbagent-inactive"): badge(128, 128, 120, INACTIVE),
    ("mimetypes", "application-x-fwb-backup-set"): page(),
}


def bounds(shape):
    kind, g, _ = shape
    if kind == "circle":
        return g[1] - g[2], g[1] + g[2]
    if kind == "rrect":
        return g[1], g[1] + g[3]
    ys = [p[1] for p in g]
    return min(ys), max(ys)


def inside(shape, x, y):
    kind, g, _ = shape
    if kind == "circle":
        return (x - g[0]) ** 2 + (y - g[1]) ** 2 <= g[2] ** 2
    if kind == "rrect":
        rx0, ry0, w, h, r = g
        if not (rx0 <= x <= rx0 + w and ry0 <= y <= ry0 + h):
            return False
        dx = max(rx0 + r - x, x - (rx0 + w - r), 0)
        dy = max(ry0 + r - y, y - (ry0 + h - r), 0)
        return dx * dx + dy * dy <= r * r
    hit = False
    for (x1, y1), (x2, y2) in zip(g, g[1:] + g[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def colour(shape, y):
    fill = shape[2]
    if isinstance(fill[0], int):
        return fill
    top, bottom = bounds(shape)
    t = min(max((y - top) / (bottom - top), 0.0), 1.0)
    return tuple(fill[0][i] + (fill[1][i] - fill[0][i]) * t for i in range(3))


def render(shapes, size):
    """Straight-alpha RGBA rows; each pixel averages a grid of samples painted back to front."""
    ss = 8 if size <= 64 else 4
    k = VIEW / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                y = (py + (sy + 0.5) / ss) * k
                for sx in range(ss):
                    x = (px + (sx + 0.5) / ss) * k
                    for shape in reversed(shapes):
                        if inside(shape, x, y):
                            c = colour(shape, y)
                            acc[0] += c[0]
                            acc[1] += c[1]
                            acc[2] += c[2]
                            acc[3] += 1
                            break
            n = acc[3]
            row.append((round(acc[0] / n), round(acc[1] / n), round(acc[2] / n),
                        round(255 * n / (ss * ss))) if n else (0, 0, 0, 0))
        rows.append(row)
    return rows


def svg(shapes):
    defs, body = [], []
    for i, (kind, g, fill) in enumerate(shapes):
        if isinstance(fill[0], int):
            paint = "#%02x%02x%02x" % fill
        else:
            defs.append('<linearGradient id="g%d" x1="0" y1="0" x2="0" y2="1">'
                        '<stop offset="0" stop-color="#%02x%02x%02x"/>'
                        '<stop offset="1" stop-color="#%02x%02x%02x"/></linearGradient>'
                        % ((i,) + fill[0] + fill[1]))
            paint = "url(#g%d)" % i
        f = lambda v: ("%.2f" % v).rstrip("0").rstrip(".")
        if kind == "circle":
            body.append('<circle cx="%s" cy="%s" r="%s" fill="%s"/>'
                        % (f(g[0]), f(g[1]), f(g[2]), paint))
        elif kind == "rrect":
            body.append('<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>'
                        % (f(g[0]), f(g[1]), f(g[2]), f(g[3]), f(g[4]), paint))
        else:
            points = " ".join("%s,%s" % (f(x), f(y)) for x, y in g)
            body.append('<polygon points="%s" fill="%s"/>' % (points, paint))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
            % (VIEW, VIEW, VIEW, VIEW)
            + ("<defs>%s</defs>\n" % "".join(defs) if defs else "")
            + "\n".join(body) + "\n</svg>\n")


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
    """Bitmaps up to 64 px, as old readers want; larger ones as PNG, as Windows Vista began."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for pixels in images:
        size = len(pixels)
        blob = dib(pixels) if size <= 64 else png(pixels)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        data += blob
    return head + entries + data


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w" if isinstance(data, str) else "wb") as f:
        f.write(data)


def main(folder):
    theme = os.path.join(folder, "hicolor")
    rendered = {}
    for (context, name), shapes in ICONS.items():
        write(os.path.join(theme, "scalable", context, name + ".svg"), svg(shapes))
        for size in SIZES:
            rendered[name, size] = render(shapes, size)
            write(os.path.join(theme, "%dx%d" % (size, size), context, name + ".png"),
                  png(rendered[name, size]))
    for ico_name, name in (("active", "fwbagent-active"), ("deactive", "fwbagent-inactive")):
        write(os.path.join(folder, "Icons", ico_name + ".ico"),
              ico([rendered[name, size] for size in ICO_SIZES]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app")
