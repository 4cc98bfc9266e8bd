# Draws the clock icon and About bitmap; the outputs are committed so the build needs no python.
import math
import os
import struct

# Standard 16-colour VGA palette (RGB), so the 4-bit icon and the BMP share colours.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
           (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
           (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
           (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, SILVER, GREY, RED, WHITE = 0, 7, 8, 9, 15
CLEAR = None  # outside the face: transparent on the icon, ground on the bitmap


def seg_dist(px, py, ax, ay, bx, by):
    # Distance from a pixel centre to segment AB; thickness test for hands and marks.
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def clock(w, h, c, radius, rim, marks, hands, hub, shadow=0):
    """Return rows (top first) of palette indices or CLEAR.

    marks: list of (hour, inner radius, outer radius, width).
    hands: list of (colour, clock angle in degrees, length, width), drawn in order.
    """
    # Centre on a pixel centre: an odd-width face puts the 12/3/6/9 marks on whole pixels.
    cx, cy = c + 0.5, c + 0.5
    img = [[CLEAR] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - cx, py - cy)
            if shadow and math.hypot(px - cx - shadow, py - cy - shadow) <= radius:
                img[y][x] = GREY
            if d <= radius:
                img[y][x] = BLACK if d > radius - rim else WHITE

    def line(colour, ang, r0, r1, width):
        a = math.radians(ang)
        sx, sy = math.sin(a), -math.cos(a)
        ax, ay, bx, by = cx + sx * r0, cy + sy * r0, cx + sx * r1, cy + sy * r1
        if width <= 1:
            # One-pixel lines: step along the major axis so the line stays single and unbroken.
            steps = max(1, round(max(abs(bx - ax), abs(by - ay))))
            for i in range(steps + 1):
                # Round off float noise first so mirrored marks land on mirrored pixels.
                x = int(round(ax + (bx - ax) * i / steps, 6))
                img[int(round(ay + (by - ay) * i / steps, 6))][x] = colour
            return
        for y in range(h):
            for x in range(w):
                if seg_dist(x + 0.5, y + 0.5, ax, ay, bx, by) <= width / 2:
                    img[y][x] = colour

    for hour, r0, r1, width in marks:
        line(BLACK, hour * 30, r0, r1, width)
    for colour, ang, length, width in hands:
        line(colour, ang, 0, length, width)
    line(BLACK, 0, 0, 0.001, hub * 2)  # hub: a round dot over the hand roots
    return img


# Both black hands in the upper left, red second hand upper right; 296.6 and 341.6 degrees
# are 2:1 and 1:3 slopes, which stay clean at small sizes.
ICON32 = clock(32, 32, 15, 15.5, 2.6,
               [(hr, 9.0 if hr % 3 == 0 else 10.0, 11.0, 1 if hr % 3 else 1.9) for hr in range(12)],
               [(RED, 45, 11.0, 1), (BLACK, 300, 6.5, 3.0), (BLACK, 341.6, 9.0, 2.0)], 1.5)
ICON16 = clock(16, 16, 7, 7.5, 1.6,
               [(hr, 4.6, 5.0, 1) for hr in (0, 3, 6, 9)],
               [(RED, 45, 4.2, 1), (BLACK, 296.6, 3.2, 1.5), (BLACK, 341.6, 4.2, 1)], 0.6)
ABOUT = clock(44, 45, 20, 19.5, 3.0,
              [(hr, 12.0 if hr % 3 == 0 else 12.5, 14.0, 1 if hr % 3 else 2.9) for hr in range(12)],
              [(RED, 45, 14.5, 1), (BLACK, 300, 8.5, 3.0), (BLACK, 341.6, 11.5, 2.2)], 2.0,
              shadow=2.5)


def icon_image(img):
    # 4-bit XOR bitmap plus 1-bit AND mask, both bottom-up with rows padded to 4 bytes.
    n = len(img)
    xor, mask = bytearray(), bytearray()
    for row in reversed(img):
        idx = [BLACK if p is CLEAR else p for p in row]
        line = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, n, 2))
        xor += line + bytes(-len(line) % 4)
        bits = 0
        for p in row:
            bits = (bits << 1) | (p is CLEAR)
        line = bits.to_bytes(n // 8, 'big')
        mask += line + bytes(-len(line) % 4)
    pal = b''.join(struct.pack('<4B', b, g, r, 0) for r, g, b in PALETTE)
    head = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return head + pal + bytes(xor) + bytes(mask)


def write_ico(path, images):
    blobs = [icon_image(img) for img in images]
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for img, blob in zip(images, blobs):
        out += struct.pack('<BBBBHHII', len(img), len(img), 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(blobs))


def write_bmp(path, img):
    # 24-bit bottom-up BI_RGB; 2834 pixels per metre is 72 dpi.
    w, h = len(img[0]), len(img)
    data = bytearray()
    for row in reversed(img):
        line = b''.join(bytes(reversed(PALETTE[SILVER if p is CLEAR else p])) for p in row)
        data += line + bytes(-len(line) % 4)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2834, 2834, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
    with open(path, 'wb') as f:
        f.write(head + info + bytes(data))


if __name__ == '__main__':
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    write_ico(os.path.join(res, 'velmora.ico'), [ICON32, ICON16])
    write_bmp(os.path.join(res, 'about.bmp'), ABOUT)
