// Helpers shared by the image record's source files (not for callers).
#ifndef VELLUM_IMAGE_DIBIMAGEINTERNAL_H
#define VELLUM_IMAGE_DIBIMAGEINTERNAL_H

#include <cstddef>
#include <cstdint>

class CDibImage;

// Frees a decoded page handle, and a DjVu document handle; installed by
// OpenDjVu.
extern void (*g_pfnFreeImageDocument)(void *document);
extern void (*g_pfnFreeImageBook)(void *book);

// Reference counting of decoded pages and documents shared between records
// (CopyFrom). Share adds a reference (false when out of memory); Release
// drops one and frees the handle with the last, through freeFn (null: the
// page routine). Null handles are ignored.
bool ShareImageDocument(void *document);
void ReleaseImageDocument(void *document, void (*freeFn)(void *) = nullptr);

// Layout of a packed DIB block of the given size and depth.
struct DibLayout
{
  int32_t stride;
  int32_t palette; // bytes
  int32_t pixels;  // stride * height
  size_t total;    // 40 + palette + pixels
};

// False when the size or depth is invalid or the block would not fit in
// 31 bits.
bool ComputeDibLayout(int width, int height, int bits, DibLayout &layout);

// Gives the record a new block laid out for width x height x bits (the old
// block is freed) and updates the layout fields and the stored header's
// width, height, bit count and image size. Metadata fields stay.
void AdoptDibBlock(CDibImage &image, unsigned char *block, int width, int height, int bits,
                   const DibLayout &layout);

// Palette index of pixel x of a 1, 4 or 8-bit row.
inline unsigned GetIndex(const unsigned char *row, int x, int bits)
{
  switch (bits)
  {
  case 1:
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
  case 4:
    return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
  default:
    return row[x];
  }
}

inline void SetIndex(unsigned char *row, int x, int bits, unsigned v)
{
  switch (bits)
  {
  case 1:
  {
    unsigned char mask = (unsigned char)(0x80 >> (x & 7));
    if (v & 1)
      row[x >> 3] |= mask;
    else
      row[x >> 3] &= (unsigned char)~mask;
    break;
  }
  case 4:
    if (x & 1)
      row[x >> 1] = (unsigned char)((row[x >> 1] & 0xF0) | (v & 0x0F));
    else
      row[x >> 1] = (unsigned char)((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
    break;
  default:
    row[x] = (unsigned char)v;
    break;
  }
}

// Copies pixel sx of src to pixel dx of dst (same depth, any of 1, 4, 8, 24).
inline void CopyPixel(unsigned char *dst, int dx, const unsigned char *src, int sx, int bits)
{
  if (bits == 24)
  {
    dst[3 * dx] = src[3 * sx];
    dst[3 * dx + 1] = src[3 * sx + 1];
    dst[3 * dx + 2] = src[3 * sx + 2];
  }
  else
    SetIndex(dst, dx, bits, GetIndex(src, sx, bits));
}

#endif
