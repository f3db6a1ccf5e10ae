// Packing scanned frames into a device-independent bitmap (no SANE here:
// the scanner layer with and without SANE both use it).
#include "Scanner.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vellum
{

namespace
{

void Put16(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t DpiToPpm(int dpi)
{
  return dpi > 0 ? static_cast<int32_t>(std::floor(dpi * 100 * 0.39370078740157477)) : 0;
}

// Sample of channel c (0 for grey) at pixel x of one frame line, as 0..255.
// 1-bit grey samples are ink (set = black); 1-bit colour samples are light.
inline uint8_t Sample(const uint8_t *line, int depth, int channels, int x, int c, bool inkBits)
{
  const int64_t i = static_cast<int64_t>(x) * channels + c;
  switch (depth)
  {
  case 1:
  {
    const bool set = (line[i >> 3] >> (7 - (i & 7))) & 1;
    return (set != inkBits) ? 255 : 0;
  }
  case 16:
  {
    const uint16_t v = static_cast<uint16_t>(line[2 * i] | (line[2 * i + 1] << 8)); // host order (x86)
    return static_cast<uint8_t>(v >> 8);
  }
  default:
    return line[i];
  }
}

bool FrameValid(const ScanFrame &f, int channels, std::string *error)
{
  if (f.depth != 1 && f.depth != 8 && f.depth != 16)
  {
    *error = "Unsupported scan depth " + std::to_string(f.depth);
    return false;
  }
  if (f.pixelsPerLine <= 0 || f.lines <= 0 || f.bytesPerLine <= 0)
  {
    *error = "Empty scan frame";
    return false;
  }
  const int64_t needBits = static_cast<int64_t>(f.pixelsPerLine) * channels * f.depth;
  if (static_cast<int64_t>(f.bytesPerLine) * 8 < needBits)
  {
    *error = "Scan line shorter than its pixels";
    return false;
  }
  if (static_cast<int64_t>(f.data.size()) < static_cast<int64_t>(f.bytesPerLine) * f.lines)
  {
    *error = "Scan frame shorter than its lines";
    return false;
  }
  return true;
}

} // namespace

std::vector<uint8_t> PackFramesToDib(const std::vector<ScanFrame> &frames, int xdpi, int ydpi,
                                     std::string *error)
{
  std::string dummy;
  if (!error)
    error = &dummy;
  std::vector<uint8_t> dib;
  if (frames.empty())
  {
    *error = "No scan data";
    return dib;
  }

  // Which frame carries which channel.
  const ScanFrame *gray = nullptr, *rgb = nullptr, *plane[3] = {nullptr, nullptr, nullptr};
  for (const ScanFrame &f : frames)
  {
    switch (f.format)
    {
    case kFrameGray:
      gray = &f;
      break;
    case kFrameRgb:
      rgb = &f;
      break;
    case kFrameRed:
    case kFrameGreen:
    case kFrameBlue:
      plane[f.format - kFrameRed] = &f;
      break;
    default:
      *error = "Unknown scan frame format";
      return dib;
    }
  }
  int width, height, bits;
  if (frames.size() == 1 && gray)
  {
    if (!FrameValid(*gray, 1, error))
      return dib;
    width = gray->pixelsPerLine;
    height = gray->lines;
    bits = gray->depth == 1 ? 1 : 8;
  }
  else if (frames.size() == 1 && rgb)
  {
    if (!FrameValid(*rgb, 3, error))
      return dib;
    width = rgb->pixelsPerLine;
    height = rgb->lines;
    bits = 24;
  }
  else if (frames.size() == 3 && plane[0] && plane[1] && plane[2])
  {
    for (const ScanFrame *p : plane)
      if (!FrameValid(*p, 1, error))
        return dib;
    if (plane[1]->pixelsPerLine != plane[0]->pixelsPerLine ||
        plane[2]->pixelsPerLine != plane[0]->pixelsPerLine)
    {
      *error = "Scan passes differ in width";
      return dib;
    }
    width = plane[0]->pixelsPerLine;
    height = std::min({plane[0]->lines, plane[1]->lines, plane[2]->lines});
    bits = 24;
  }
  else
  {
    *error = "Incomplete set of scan frames";
    return dib;
  }

  const int64_t stride = ((static_cast<int64_t>(bits) * width + 31) / 32) * 4;
  const int64_t palette = bits <= 8 ? 4 * (int64_t{1} << bits) : 0;
  const int64_t pixels = stride * height;
  if (pixels > kMaxScanBytes || pixels > INT32_MAX - 40 - palette)
  {
    *error = "Scanned image too large";
    return dib;
  }
  dib.assign(static_cast<size_t>(40 + palette + pixels), 0);
  Put32(dib, 0, 40);
  Put32(dib, 4, static_cast<uint32_t>(width));
  Put32(dib, 8, static_cast<uint32_t>(height)); // positive: bottom-up rows
  Put16(dib, 12, 1);
  Put16(dib, 14, static_cast<uint32_t>(bits));
  Put32(dib, 20, static_cast<uint32_t>(pixels));
  Put32(dib, 24, static_cast<uint32_t>(DpiToPpm(xdpi)));
  Put32(dib, 28, static_cast<uint32_t>(DpiToPpm(ydpi > 0 ? ydpi : xdpi)));
  uint8_t *pal = dib.data() + 40;
  if (bits == 1)
  {
    pal[4] = pal[5] = pal[6] = 255; // 0 black, 1 white
  }
  else if (bits == 8)
  {
    for (int i = 0; i < 256; ++i)
      pal[4 * i] = pal[4 * i + 1] = pal[4 * i + 2] = static_cast<uint8_t>(i);
  }
  uint8_t *rows = pal + palette;

  for (int y = 0; y < height; ++y)
  {
    uint8_t *out = rows + (height - 1 - y) * stride;
    if (bits == 1)
    {
      // SANE line art: set bits are black; ours: set bits are white.
      const uint8_t *line = gray->data.data() + static_cast<size_t>(y) * gray->bytesPerLine;
      const int bytes = (width + 7) / 8;
      for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(~line[i]);
      if (width % 8)
        out[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
    }
    else if (bits == 8)
    {
      const uint8_t *line = gray->data.data() + static_cast<size_t>(y) * gray->bytesPerLine;
      for (int x = 0; x < width; ++x)
        out[x] = Sample(line, gray->depth, 1, x, 0, true);
    }
    else if (rgb)
    {
      const uint8_t *line = rgb->data.data() + static_cast<size_t>(y) * rgb->bytesPerLine;
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
          out[3 * x + 2 - c] = Sample(line, rgb->depth, 3, x, c, false);
    }
    else
    {
      for (int c = 0; c < 3; ++c)
      {
        const ScanFrame &f = *plane[c];
        const uint8_t *line = f.data.data() + static_cast<size_t>(y) * f.bytesPerLine;
        for (int x = 0; x < width; ++x)
          out[3 * x + 2 - c] = Sample(line, f.depth, 1, x, 0, false);
      }
    }
  }
  return dib;
}

} // namespace vellum
