# Draws the program icon (a teal disc with a white check mark) at 16, 32 and
# 48 pixels as 32-bit bitmaps and at 256 pixels as a PNG, the form Windows
# takes for that size, into one ICO: python3 make_icon.py sumvane.ico
import struct, math, sys, zlib

def pixel(size, x, y):
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    px, py = x + 0.5, y + 0.5
    # coverage by 4x4 supersampling
    cov_disc = 0; cov_check = 0
    for sx in range(4):
        for sy in range(4):
            qx = x + (sx + 0.5) / 4; qy = y + (sy + 0.5) / 4
            d = math.hypot(qx - size / 2, qy - size / 2)
            if d <= size / 2 - 0.25: cov_disc += 1
            # check mark: two thick segments in unit coordinates
            u, v = qx / size, qy / size
            def seg(ax, ay, bx, by):
                dx, dy = bx - ax, by - ay
                t = max(0, min(1, ((u - ax) * dx + (v - ay) * dy) / (dx * dx + dy * dy)))
                return math.hypot(u - (ax + t * dx), v - (ay + t * dy))
            w = 0.085
            if seg(0.27, 0.52, 0.44, 0.69) <= w or seg(0.44, 0.69, 0.74, 0.33) <= w: cov_check += 1
    a = cov_disc / 16.0
    k = cov_check / 16.0
    base = (0x1f, 0x7a, 0x8c)
    rgb = tuple(int(base[i] * (1 - k) + 255 * k) for i in range(3))
    return rgb, int(round(a * 255))

def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b''
        for x in range(size):
            (r, g, b), a = pixel(size, x, y)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b''.join(rows)
    mask_row = ((size + 31) // 32) * 4
    andmask = b'\0' * (mask_row * size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask

def png(size):
    rows = []
    for y in range(size):  # top-down, each row after filter type 0
        row = b'\0'
        for x in range(size):
            (r, g, b), a = pixel(size, x, y)
            row += bytes((r, g, b, a))
        rows.append(row)
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) +
            chunk(b'IEND', b''))

sizes = [16, 32, 48, 256]
images = [png(s) if s == 256 else image(s) for s in sizes]
out = struct.pack('<HHH', 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
for s, img in zip(sizes, images):
    # A width or height of 256 is written as 0.
    out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
    offset += len(img)
out += b''.join(images)
open(sys.argv[1], 'wb').write(out)
