#!/usr/bin/env python3
# Re-codes a 4-bit BMP as RLE4 the way ImageMagick codes RLE8: every row is
# coded to its padded length (the padding as pixels of index 0 before the
# end-of-line), runs of one index as encoded runs, other stretches as
# absolute runs. Usage: rle4.py IN.bmp OUT.bmp
import struct, sys
d = open(sys.argv[1], 'rb').read()
off = struct.unpack('<I', d[10:14])[0]
hs = struct.unpack('<I', d[14:18])[0]
w, h, planes, bpp = struct.unpack('<iiHH', d[18:30])
assert bpp == 4 and hs == 40 and h > 0
stride = (w * 4 + 31) // 32 * 4
out = bytearray()
for r in range(h):
    row = d[off + r * stride: off + (r + 1) * stride]
    px = []
    for b in row:
        px += [b >> 4, b & 15]
    i = 0
    while i < len(px):
        j = i
        while j < len(px) and px[j] == px[i] and j - i < 255:
            j += 1
        if j - i >= 3 or j == len(px):
            out += bytes([j - i, px[i] << 4 | px[i]])
            i = j
            continue
        # absolute run up to the next run of 3 (at least 3 pixels)
        k = i
        while k < len(px) and k - i < 254:
            if k + 2 < len(px) and px[k] == px[k + 1] == px[k + 2]:
                break
            k += 1
        n = k - i
        if n < 3:
            for p in px[i:k]:
                out += bytes([1, p << 4])
            i = k
            continue
        data = bytearray()
        for q in range(0, n, 2):
            a = px[i + q]
            b = px[i + q + 1] if q + 1 < n else 0
            data.append(a << 4 | b)
        if len(data) & 1:
            data.append(0)
        out += bytes([0, n]) + data
        i = k
    out += b'\0\0'
out += b'\0\1'
pal = d[54:off]
head = bytearray(d[:54])
struct.pack_into('<I', head, 2, 54 + len(pal) + len(out))
struct.pack_into('<I', head, 10, 54 + len(pal))
struct.pack_into('<II', head, 30, 2, len(out))
open(sys.argv[2], 'wb').write(bytes(head) + pal + bytes(out))
