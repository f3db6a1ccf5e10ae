// PNG reader and writer: every PNG of the corpus against ImageMagick, what
// each colour type and depth becomes, damaged files, and written files read
// back by ImageMagick (libpng) with their depth, colour type and pHYs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "DibImage.h"
#include "FilesTestUtil.h"

using namespace files_test;
namespace fs = std::filesystem;

namespace
{

// ImageMagick's decoding flattened on white, 8 bits per sample: the
// reference for what the reader must produce, alpha and 16-bit files too.
Rgb MagickFlattened(const std::string &path)
{
  std::string out;
  if (!Run("convert '" + path + "' -background white -flatten -depth 8 ppm:- 2>/dev/null", out))
    return Rgb();
  return ParsePnm(out);
}

struct PngHeader
{
  int width = 0, height = 0, depth = 0, colourType = -1, interlace = -1;
  bool hasPhys = false;
  uint32_t xppm = 0, yppm = 0;
  int unit = -1;
  int paletteEntries = 0;
};

uint32_t Be32(const std::string &s, size_t at)
{
  return (uint32_t)(uint8_t)s[at] << 24 | (uint32_t)(uint8_t)s[at + 1] << 16 |
         (uint32_t)(uint8_t)s[at + 2] << 8 | (uint8_t)s[at + 3];
}

// The chunks of a PNG file read straight from its bytes (not through
// libpng).
PngHeader ParseChunks(const std::string &bytes)
{
  PngHeader h;
  if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
    return h;
  for (size_t at = 8; at + 8 <= bytes.size();)
  {
    const uint32_t n = Be32(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    const size_t body = at + 8;
    if (body + n > bytes.size())
      break;
    if (type == "IHDR" && n == 13)
    {
      h.width = (int)Be32(bytes, body);
      h.height = (int)Be32(bytes, body + 4);
      h.depth = (uint8_t)bytes[body + 8];
      h.colourType = (uint8_t)bytes[body + 9];
      h.interlace = (uint8_t)bytes[body + 12];
    }
    else if (type == "pHYs" && n == 9)
    {
      h.hasPhys = true;
      h.xppm = Be32(bytes, body);
      h.yppm = Be32(bytes, body + 4);
      h.unit = (uint8_t)bytes[body + 8];
    }
    else if (type == "PLTE")
      h.paletteEntries = (int)(n / 3);
    at = body + n + 4;
  }
  return h;
}

std::vector<std::string> CorpusPngs()
{
  std::vector<std::string> all;
  for (const char *folder : {"page", "photo", "scan", "png"})
  {
    auto files = CorpusFiles(folder, {".png"});
    all.insert(all.end(), files.begin(), files.end());
  }
  return all;
}

std::string Base(const std::string &path)
{
  return fs::path(path).filename().string();
}

} // namespace

TEST(Png, CorpusMatchesImageMagick)
{
  const auto files = CorpusPngs();
  // 14 pages and photos plus the files of every colour type in png/.
  ASSERT_GE(files.size(), 36u) << "corpus data missing";
  for (const auto &f : files)
  {
    SCOPED_TRACE(Base(f));
    CDibImage img;
    ASSERT_EQ(img.LoadPng(f.c_str(), DIB_HEADER_INFO), 1) << g_szLastImageError;
    const Rgb ref = MagickFlattened(f);
    ASSERT_TRUE(ref.ok());
    // 8-bit samples without alpha are exact; composing alpha and reducing
    // 16-bit samples round differently in ImageMagick by one level at most.
    const PngHeader h = ParseChunks(ReadFile(f));
    const bool rounded = h.depth == 16 || h.colourType == 4 || h.colourType == 6;
    const int diff = MaxDiff(RecordRgb(img), ref);
    EXPECT_GE(diff, 0);
    EXPECT_LE(diff, rounded ? 1 : 0);
  }
}

TEST(Png, WhatEachKindBecomes)
{
  const struct
  {
    const char *file;
    int bits, grey, xdpi, ydpi;
  } cases[] = {
      {"png/grey1-300dpi.png", 1, 0, 300, 300},
      {"png/grey1-interlaced.png", 1, 0, 0, 0},
      {"png/grey2.png", 8, 1, 0, 0},
      {"png/grey4.png", 8, 1, 0, 0},
      {"png/grey8-72dpi.png", 8, 1, 72, 72},
      {"png/grey8-nonsquare.png", 8, 1, 0, 0}, // no unit: no dpi
      {"png/grey8-trns.png", 8, 1, 0, 0},
      {"png/grey16.png", 8, 1, 0, 0},
      {"png/greyalpha8.png", 8, 1, 0, 0},
      {"png/greyalpha16.png", 8, 1, 0, 0},
      {"png/palette1.png", 1, 0, 0, 0},
      {"png/palette2.png", 4, 0, 0, 0},
      {"png/palette4.png", 4, 0, 0, 0},
      {"png/palette4-interlaced.png", 4, 0, 0, 0},
      {"png/palette8.png", 8, 0, 0, 0},
      {"png/palette8-trns.png", 24, 0, 0, 0},
      {"png/rgb8-300dpi.png", 24, 0, 300, 300},
      {"png/rgb16.png", 24, 0, 0, 0},
      {"png/rgba8.png", 24, 0, 0, 0},
      {"png/rgba16-interlaced.png", 24, 0, 0, 0},
      {"photo/camera-grey-512.png", 8, 1, 72, 72},
      {"photo/coffee-600x400.png", 24, 0, 96, 96},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.file);
    const std::string path = Corpus(c.file);
    ASSERT_FALSE(path.empty());
    CDibImage img;
    ASSERT_EQ(img.LoadPng(path.c_str(), DIB_HEADER_INFO), 1) << g_szLastImageError;
    EXPECT_EQ(img.m_nBitsPerPixel, c.bits);
    EXPECT_EQ(img.m_bGrey, c.grey);
    EXPECT_EQ(img.m_nXDpi, c.xdpi);
    EXPECT_EQ(img.m_nYDpi, c.ydpi);
    EXPECT_EQ(img.m_nPageCount, 1);
    EXPECT_EQ(img.m_pDocument, nullptr);
    // The stored header carries the file's pixels per metre.
    if (c.xdpi == 300)
    {
      EXPECT_EQ(img.Header()->biXPelsPerMeter, 11811);
    }
  }
}

TEST(Png, DamagedFilesAreRefusedCleanly)
{
  const struct
  {
    const char *file;
    const char *message; // part of the reason kept
  } cases[] = {
      {"bad/png-truncated.png", "truncated"},
      {"bad/png-badcrc.png", "PNG: "}, // the damaged data fails before its CRC is checked
      {"bad/png-badihdr.png", "IHDR"},
      {"bad/png-huge-declared.png", "Image too large"},
      {"bmp/pal8.bmp", "not a PNG file"},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.file);
    const std::string path = Corpus(c.file);
    ASSERT_FALSE(path.empty());
    CDibImage img;
    // A record that held a picture is emptied, not half-filled.
    ASSERT_EQ(img.CreateBlock(8, 8, 24, DIB_ROWS_BOTTOMUP), 1);
    EXPECT_EQ(img.LoadPng(path.c_str(), DIB_HEADER_INFO), 0);
    EXPECT_TRUE(img.IsEmpty());
    EXPECT_EQ(img.m_nWidth, 0);
    EXPECT_NE(std::strstr(g_szLastImageError, c.message), nullptr) << g_szLastImageError;
  }
  CDibImage img;
  EXPECT_EQ(img.LoadPng("/no/such/file.png", DIB_HEADER_INFO), 0);
  EXPECT_NE(std::strstr(g_szLastImageError, "Cannot open"), nullptr) << g_szLastImageError;
}

TEST(Png, WrittenFilesReadBackEqual)
{
  // Records of every depth the program holds, read by the other readers;
  // the PNG each must become.
  const struct
  {
    const char *file;
    int depth, colourType, paletteEntries;
  } cases[] = {
      {"bmp/pal1.bmp", 1, 0, 0},            // black first: 1-bit grey as it is
      {"bmp/pal1wb.bmp", 1, 0, 0},          // white first: the bits are complemented
      {"bmp/pal1bg.bmp", 1, 3, 2},          // two colours: a 1-bit palette
      {"bmp/pal4.bmp", 4, 3, 16},           // 4-bit palette
      {"bmp/pal8.bmp", 8, 3, 256},          // 8-bit palette
      {"bmp/pal8topdown.bmp", 8, 3, 256},   // top-down rows
      {"pnm/minisblack-8bit.pgm", 8, 0, 0}, // grey
      {"bmp/rgb24.bmp", 8, 2, 0},           // blue-green-red rows
      {"png/rgba16-interlaced.png", 8, 2, 0},
      {"png/grey1-300dpi.png", 1, 0, 0},
  };
  const std::string dir = Scratch("png-write");
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.file);
    const std::string path = Corpus(c.file);
    ASSERT_FALSE(path.empty());
    CDibImage img;
    const std::string ext = fs::path(path).extension().string();
    const int loaded = ext == ".bmp"   ? img.LoadBmp(path.c_str(), DIB_HEADER_INFO)
                       : ext == ".pgm" ? img.LoadPnm(path.c_str(), DIB_HEADER_INFO)
                                       : img.LoadPng(path.c_str(), DIB_HEADER_INFO);
    ASSERT_EQ(loaded, 1) << g_szLastImageError;
    img.m_nXDpi = 300;
    img.m_nYDpi = 150;
    const Rgb before = RecordRgb(img);
    const std::string block((const char *)img.m_pBlock, img.BlockSize());

    const std::string out = dir + "/" + fs::path(path).stem().string() + ".png";
    ASSERT_EQ(img.SavePng(out.c_str()), 1) << g_szLastImageError;
    // The record is left as it was.
    EXPECT_EQ(std::string((const char *)img.m_pBlock, img.BlockSize()), block);

    const PngHeader h = ParseChunks(ReadFile(out));
    EXPECT_EQ(h.width, img.m_nWidth);
    EXPECT_EQ(h.height, img.m_nHeight);
    EXPECT_EQ(h.depth, c.depth);
    EXPECT_EQ(h.colourType, c.colourType);
    EXPECT_EQ(h.paletteEntries, c.paletteEntries);
    EXPECT_TRUE(h.hasPhys);
    EXPECT_EQ(h.unit, 1); // metre
    EXPECT_EQ(h.xppm, 11811u);
    EXPECT_EQ(h.yppm, 5906u);

    const Rgb magick = MagickRgb(out);
    ASSERT_TRUE(magick.ok());
    EXPECT_EQ(MaxDiff(magick, before), 0);
    CDibImage back;
    ASSERT_EQ(back.LoadPng(out.c_str(), DIB_HEADER_INFO), 1) << g_szLastImageError;
    EXPECT_EQ(MaxDiff(RecordRgb(back), before), 0);
    EXPECT_EQ(back.m_nXDpi, 300);
    EXPECT_EQ(back.m_nYDpi, 150);
  }

  // No resolution: no pHYs.
  CDibImage plain;
  ASSERT_EQ(plain.CreateBlock(3, 2, 24, DIB_ROWS_TOPDOWN), 1);
  const std::string out = dir + "/plain.png";
  ASSERT_EQ(plain.SavePng(out.c_str()), 1);
  EXPECT_FALSE(ParseChunks(ReadFile(out)).hasPhys);
  // Nothing to write: refused, and the existing file stays.
  CDibImage empty;
  EXPECT_EQ(empty.SavePng(out.c_str()), 0);
  EXPECT_EQ(ParseChunks(ReadFile(out)).width, 3);
}
