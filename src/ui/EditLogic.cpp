#include "EditLogic.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "DocumentNames.h"

namespace vellum
{

const char kMsgSelectionNoMemory[] = "Can't allocate memory for selection!";

namespace
{

// BITMAPINFOHEADER field offsets.
enum
{
  kBiSize = 0,
  kBiWidth = 4,
  kBiHeight = 8,
  kBiPlanes = 12,
  kBiBitCount = 14,
  kBiCompression = 16,
  kBiSizeImage = 20,
  kBiXPels = 24,
  kBiYPels = 28,
  kBiClrUsed = 32,
  kBiClrImportant = 36,
  kInfoHeaderSize = 40,
  kFileHeaderSize = 14
};

uint32_t Get32(const uint8_t *p)
{
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Get16(const uint8_t *p)
{
  return uint16_t(p[0] | p[1] << 8);
}
void Put32(uint8_t *p, uint32_t v)
{
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
void Put16(uint8_t *p, uint16_t v)
{
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// Bytes per row, or -1 when it does not fit 31 bits.
int64_t Stride(int64_t width, int bits)
{
  if (width <= 0 || bits <= 0)
    return -1;
  const int64_t stride = (static_cast<int64_t>(bits) * width + 31) / 32 * 4;
  return stride > INT32_MAX ? -1 : stride;
}

// BITMAPINFOHEADER and its longer successors (V2, V3, V4, V5), which all
// begin with its 40 bytes.
bool KnownHeaderSize(uint32_t size)
{
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

int GetBit(const uint8_t *row, int x)
{
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// A 100 % plan over the whole image, for the RGB conversion.
DrawPlan WholePlan(int width, int height)
{
  DrawPlan plan;
  plan.srcW = plan.dstW = plan.drawnW = width;
  plan.srcH = plan.dstH = plan.drawnH = height;
  plan.unscaled = true;
  plan.empty = width <= 0 || height <= 0;
  return plan;
}

} // namespace

std::string UnsupportedSelectionText(int bits)
{
  char text[80];
  std::snprintf(text, sizeof text, "Selections of %d bit images is not supported", bits);
  return text;
}

int32_t SelectionPixelsPerMeter(int dpi)
{
  // In double, and saturated: dpi * 100 overflows an int for the large
  // resolutions a hostile file may carry.
  const double ppm = std::floor(static_cast<double>(dpi) * 100 * 0.39370078740157477);
  return static_cast<int32_t>(std::max<double>(INT32_MIN, std::min<double>(INT32_MAX, ppm)));
}

SelectionBitmapResult BuildSelectionBitmap(const DibSource &src, const SelRect &rect,
                                           std::vector<uint8_t> &out)
{
  out.clear();
  const DibRows &rows = src.rows;
  const int bits = rows.bitsPerPixel;
  if (bits != 1 && bits != 8 && bits != 24)
    return kSelectionBadDepth;
  if (!DibRowsValid(rows))
    return kSelectionBadRect;
  // The rectangle must lie inside the pixels held; a stale selection of a
  // larger image is refused rather than read past the rows.
  if (rect.left < 0 || rect.top < 0 || rect.right < rect.left || rect.bottom < rect.top ||
      rect.right >= rows.width || rect.bottom >= rows.height)
    return kSelectionBadRect;
  const int width = rect.right - rect.left + 1, height = rect.bottom - rect.top + 1;
  const int64_t stride = Stride(width, bits);
  const int entries = bits <= 8 ? std::min(rows.paletteEntries, 1 << bits) : 0;
  const int64_t table = static_cast<int64_t>(entries) * 4;
  if (stride < 0 || stride * height > INT32_MAX - kInfoHeaderSize - table)
    return kSelectionNoMemory;
  const size_t total = static_cast<size_t>(kInfoHeaderSize + table + stride * height);
  try
  {
    out.assign(total, 0);
  }
  catch (const std::bad_alloc &)
  {
    out.clear();
    return kSelectionNoMemory;
  }

  uint8_t *h = out.data();
  if (src.headerKind == 5 && src.header)
  {
    std::memcpy(h, src.header, kInfoHeaderSize);
    Put32(h + kBiSize, kInfoHeaderSize);
    // A colour count that disagrees with the table copied would make readers
    // look for the rows in the wrong place.
    const uint32_t used = Get32(h + kBiClrUsed);
    if (used != 0 && used != static_cast<uint32_t>(entries))
      Put32(h + kBiClrUsed, bits <= 8 && entries < (1 << bits) ? entries : 0);
  }
  else
  {
    Put32(h + kBiSize, kInfoHeaderSize);
    Put16(h + kBiPlanes, 1);
    Put16(h + kBiBitCount, static_cast<uint16_t>(bits));
    Put32(h + kBiCompression, 0);
    Put32(h + kBiXPels, static_cast<uint32_t>(SelectionPixelsPerMeter(src.xdpi)));
    Put32(h + kBiYPels, static_cast<uint32_t>(SelectionPixelsPerMeter(src.ydpi)));
    Put32(h + kBiClrUsed, bits <= 8 && entries < (1 << bits) ? entries : 0);
    Put32(h + kBiClrImportant, 0);
  }
  Put32(h + kBiWidth, static_cast<uint32_t>(width));
  Put32(h + kBiHeight, static_cast<uint32_t>(height));
  Put32(h + kBiSizeImage, static_cast<uint32_t>(stride * height));
  if (table)
    std::memcpy(h + kInfoHeaderSize, rows.palette, static_cast<size_t>(table));

  uint8_t *dst = h + kInfoHeaderSize + table;
  for (int j = 0; j < height; ++j, dst += stride)
  {
    // Destination row j (bottom-up) is picture row bottom - j.
    const int y = rect.bottom - j;
    const int stored = rows.bottomUp ? rows.height - 1 - y : y;
    const uint8_t *row = rows.pixels + static_cast<size_t>(stored) * rows.stride;
    switch (bits)
    {
    case 1:
      for (int i = 0; i < width; ++i)
        if (GetBit(row, rect.left + i))
          dst[i >> 3] |= uint8_t(0x80 >> (i & 7));
      break;
    case 8:
      std::memcpy(dst, row + rect.left, static_cast<size_t>(width));
      break;
    default:
      if (rows.rgbOrder)
      {
        const uint8_t *p = row + 3 * static_cast<size_t>(rect.left);
        for (int i = 0; i < width; ++i, p += 3)
        {
          dst[3 * i] = p[2];
          dst[3 * i + 1] = p[1];
          dst[3 * i + 2] = p[0];
        }
      }
      else
        std::memcpy(dst, row + 3 * static_cast<size_t>(rect.left), 3 * static_cast<size_t>(width));
    }
  }
  return kSelectionOk;
}

bool SplitDibBlock(const uint8_t *block, size_t size, DibBlockParts *parts)
{
  if (!block || size < kInfoHeaderSize)
    return false;
  const uint32_t headerSize = Get32(block + kBiSize);
  if (!KnownHeaderSize(headerSize) || headerSize > size)
    return false;
  const int32_t width = static_cast<int32_t>(Get32(block + kBiWidth));
  const int32_t height = static_cast<int32_t>(Get32(block + kBiHeight));
  const int bits = Get16(block + kBiBitCount);
  const uint32_t compression = Get32(block + kBiCompression);
  if (width <= 0 || height == 0 || height == INT32_MIN)
    return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return false;
  // Only uncompressed rows (and bit-field masks) have height x stride bytes.
  if (compression != 0 && compression != 3)
    return false;
  int64_t table = DibColorTableSize(bits, compression, Get32(block + kBiClrUsed));
  if (table < 0)
    return false;
  if (compression == 3 && headerSize > kInfoHeaderSize)
    table = 0; // the masks are part of the longer header
  const int64_t stride = Stride(width, bits);
  if (stride < 0)
    return false;
  const int64_t rowsBytes = stride * (height < 0 ? -static_cast<int64_t>(height) : height);
  const int64_t total = static_cast<int64_t>(headerSize) + table + rowsBytes;
  if (total > static_cast<int64_t>(size))
    return false;
  parts->headerSize = headerSize;
  parts->tableOffset = headerSize;
  parts->tableSize = static_cast<size_t>(table);
  parts->bitsOffset = headerSize + static_cast<size_t>(table);
  parts->bitsSize = static_cast<size_t>(rowsBytes);
  return true;
}

std::vector<uint8_t> DibToBmpFile(const std::vector<uint8_t> &dib)
{
  DibBlockParts parts;
  if (!SplitDibBlock(dib.data(), dib.size(), &parts))
    return {};
  const size_t used = parts.bitsOffset + parts.bitsSize;
  if (used > UINT32_MAX - kFileHeaderSize)
    return {};
  std::vector<uint8_t> file(kFileHeaderSize + used, 0);
  file[0] = 'B';
  file[1] = 'M';
  Put32(&file[2], static_cast<uint32_t>(file.size()));
  Put32(&file[10], static_cast<uint32_t>(kFileHeaderSize + parts.bitsOffset));
  std::memcpy(&file[kFileHeaderSize], dib.data(), used);
  return file;
}

std::vector<uint8_t> DibFromClipboardBytes(const uint8_t *data, size_t size)
{
  if (!data)
    return {};
  DibBlockParts parts;
  if (size >= kFileHeaderSize + kInfoHeaderSize && data[0] == 'B' && data[1] == 'M')
  {
    const uint8_t *block = data + kFileHeaderSize;
    const size_t rest = size - kFileHeaderSize;
    const uint32_t offBits = Get32(data + 10);
    // The header and table come first; the rows start where the file header
    // says (a gap is allowed), or right after the table when it says 0.
    const uint32_t headerSize = Get32(block + kBiSize);
    if (!KnownHeaderSize(headerSize) || headerSize > rest)
      return {};
    const int32_t width = static_cast<int32_t>(Get32(block + kBiWidth));
    const int32_t height = static_cast<int32_t>(Get32(block + kBiHeight));
    const int bits = Get16(block + kBiBitCount);
    const uint32_t compression = Get32(block + kBiCompression);
    int64_t table = DibColorTableSize(bits, compression, Get32(block + kBiClrUsed));
    if (compression == 3 && headerSize > kInfoHeaderSize)
      table = 0;
    const int64_t stride = Stride(width, bits);
    if (table < 0 || stride < 0 || height == 0 || height == INT32_MIN || width <= 0)
      return {};
    const int64_t rowsBytes = stride * (height < 0 ? -static_cast<int64_t>(height) : height);
    const int64_t tableEnd = kFileHeaderSize + static_cast<int64_t>(headerSize) + table;
    const int64_t rowsStart = offBits ? static_cast<int64_t>(offBits) : tableEnd;
    if (rowsStart < tableEnd || rowsStart + rowsBytes > static_cast<int64_t>(size))
      return {};
    std::vector<uint8_t> dib(static_cast<size_t>(headerSize + table + rowsBytes));
    std::memcpy(dib.data(), block, static_cast<size_t>(headerSize + table));
    std::memcpy(dib.data() + headerSize + table, data + rowsStart, static_cast<size_t>(rowsBytes));
    return SplitDibBlock(dib.data(), dib.size(), &parts) ? dib : std::vector<uint8_t>();
  }
  if (!SplitDibBlock(data, size, &parts))
    return {};
  return std::vector<uint8_t>(data, data + parts.bitsOffset + parts.bitsSize);
}

bool DibToRgb(const std::vector<uint8_t> &dib, int *width, int *height, std::vector<uint8_t> &rgb)
{
  rgb.clear();
  DibBlockParts parts;
  if (!SplitDibBlock(dib.data(), dib.size(), &parts) || Get32(dib.data() + kBiCompression) != 0)
    return false;
  const int32_t h = static_cast<int32_t>(Get32(dib.data() + kBiHeight));
  DibRows rows;
  rows.width = static_cast<int32_t>(Get32(dib.data() + kBiWidth));
  rows.height = h < 0 ? -h : h;
  rows.bitsPerPixel = Get16(dib.data() + kBiBitCount);
  rows.stride = static_cast<int>(Stride(rows.width, rows.bitsPerPixel));
  rows.bottomUp = h > 0;
  rows.pixels = dib.data() + parts.bitsOffset;
  rows.palette = parts.tableSize ? dib.data() + parts.tableOffset : nullptr;
  rows.paletteEntries = static_cast<int>(parts.tableSize / 4);
  if (rows.bitsPerPixel != 1 && rows.bitsPerPixel != 4 && rows.bitsPerPixel != 8 && rows.bitsPerPixel != 24)
    return false;
  if (static_cast<int64_t>(rows.width) * rows.height * 3 > INT32_MAX)
    return false;
  if (!RenderVisible(rows, WholePlan(rows.width, rows.height), rgb))
    return false;
  *width = rows.width;
  *height = rows.height;
  return true;
}

std::vector<uint8_t> DibFromRgb(int width, int height, const uint8_t *rgb)
{
  const int64_t stride = Stride(width, 24);
  if (!rgb || stride < 0 || height <= 0 || stride * height > INT32_MAX - kInfoHeaderSize)
    return {};
  std::vector<uint8_t> dib(static_cast<size_t>(kInfoHeaderSize + stride * height), 0);
  uint8_t *h = dib.data();
  Put32(h + kBiSize, kInfoHeaderSize);
  Put32(h + kBiWidth, static_cast<uint32_t>(width));
  Put32(h + kBiHeight, static_cast<uint32_t>(height));
  Put16(h + kBiPlanes, 1);
  Put16(h + kBiBitCount, 24);
  Put32(h + kBiSizeImage, static_cast<uint32_t>(stride * height));
  for (int y = 0; y < height; ++y)
  {
    const uint8_t *src = rgb + static_cast<size_t>(y) * width * 3;
    uint8_t *dst = h + kInfoHeaderSize + static_cast<size_t>(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x, src += 3, dst += 3)
    {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
  return dib;
}

int NearestPaletteIndex(const uint8_t *palette, int entries, int r, int g, int b)
{
  int best = 0;
  int64_t bestDistance = INT64_MAX;
  for (int i = 0; palette && i < entries; ++i)
  {
    const int db = palette[4 * i] - b, dg = palette[4 * i + 1] - g, dr = palette[4 * i + 2] - r;
    const int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
    if (d < bestDistance)
    {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

std::vector<int32_t> InsertIndexMap(const uint8_t *imagePalette, int imageEntries, int imageBits,
                                    const uint8_t *insertPalette, int insertEntries, int insertBits)
{
  std::vector<int32_t> map(256, 0);
  if (imageBits > 8 || insertBits > 8 || !imagePalette || !insertPalette)
    return map;
  const int entries = std::min({1 << insertBits, insertEntries, 256});
  const int logical = std::min(imageEntries, 1 << imageBits);
  for (int i = 0; i < entries; ++i)
    map[i] = NearestPaletteIndex(imagePalette, logical, insertPalette[4 * i + 2], insertPalette[4 * i + 1],
                                 insertPalette[4 * i]);
  return map;
}

bool EditCommandEnabled(EditCommand command, const EditState &s)
{
  switch (command)
  {
  case kEditCrop:
    return s.hasImage && s.hasSelection;
  case kEditResize:
  case kEditCut:
  case kEditCopy:
  case kEditClear:
  case kEditSelectTool:
    return s.hasImage;
  case kEditPaste:
  case kEditPasteNew:
  case kEditEmptyClipboard:
    return s.clipboardHasDib;
  }
  return true;
}

} // namespace vellum
