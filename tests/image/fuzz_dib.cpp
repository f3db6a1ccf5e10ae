// Fuzz entry: a clipboard/scanner block (40-byte header, palette, bits) into
// the record, then every operation on whatever was accepted.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "DibImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 40)
    return 0;
  DibInfoHeader h;
  std::memcpy(&h, data, 40);
  size_t paletteSize = h.biBitCount <= 8 && h.biBitCount > 0 ? (size_t)4 << (h.biBitCount & 15) : 0;
  if (paletteSize > size - 40)
    paletteSize = size - 40;
  const uint8_t *palette = data + 40, *bits = palette + paletteSize;
  size_t bitsSize = size - 40 - paletteSize;
  CDibImage im;
  if (!im.SetFromDib(data, 40, palette, paletteSize, bits, bitsSize, DIB_HEADER_INFO))
    return 0;
  CDibImage copy;
  copy.CopyFrom(im);
  djvu_pixel_image pix;
  unsigned char *converted = nullptr;
  im.FillPixelImage(&pix, &converted);
  std::free(converted);
  if (djvu_run_image *runs = im.MakeRuns())
    djvu_run_image_free(runs);
  im.RotateLeft();
  im.Rotate180();
  im.ClearRect(0, 0, im.m_nWidth / 2, im.m_nHeight / 2);
  im.Paste(copy, 0, 0, nullptr, 0);
  im.Negative();
  im.InvertGrey();
  im.Resample(im.m_nWidth / 2 + 1, im.m_nHeight * 2 > 64 ? 64 : im.m_nHeight * 2, h.biClrImportant % 3);
  im.Crop(0, 0, im.m_nWidth - 1, 0);
  im.ConvertToGray();
  copy.FlipRows(0);
  copy.ApplyOrientation((int)(h.biClrUsed & 7));
  return 0;
}
