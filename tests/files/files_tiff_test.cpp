// TIFF reader: the corpus against ImageMagick, pages, the tag rules, and
// hand-made pages for the edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include <tiffio.h>

#include "DibImage.h"
#include "FilesTestUtil.h"

using namespace files_test;
namespace fs = std::filesystem;

namespace
{

std::string Base(const std::string &path)
{
  return fs::path(path).filename().string();
}

// Writes a one-page TIFF whose tags are set by `tags`; rows are `rows`
// (height rows of rowBytes each, or written as one raw strip when raw).
struct Page
{
  uint32_t width = 1, height = 1;
  std::function<void(TIFF *)> tags;
  std::string data; // the strip, exactly as stored
};

std::string WriteTiff(const std::string &path, const std::vector<Page> &pages)
{
  TIFF *t = TIFFOpen(path.c_str(), "w");
  if (!t)
    return "";
  for (const Page &p : pages)
  {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.height);
    p.tags(t);
    TIFFWriteRawStrip(t, 0, (void *)p.data.data(), (tmsize_t)p.data.size());
    TIFFWriteDirectory(t);
  }
  TIFFClose(t);
  return path;
}

void Grey8(TIFF *t)
{
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
}

} // namespace

TEST(Tiff, CorpusMatchesImageMagick)
{
  auto files = CorpusFiles("tiff", {".tif"});
  if (files.empty())
    FAIL() << "corpus data missing";
  for (const auto &f : files)
  {
    CDibImage first;
    ASSERT_EQ(first.LoadTiff(f.c_str(), 0, 5), 1) << Base(f) << ": " << g_szLastImageError;
    // The page count is ImageMagick's frame count (a chain that loops back
    // counts the pages before the loop for both).
    std::string frames;
    ASSERT_TRUE(files_test::Run("identify -format '%n\\n' '" + f + "' 2>/dev/null | head -n 1", frames));
    EXPECT_EQ(first.m_nPageCount, std::atoi(frames.c_str())) << Base(f);
    for (int page = 0; page < first.m_nPageCount; page++)
    {
      SCOPED_TRACE(Base(f) + " page " + std::to_string(page));
      CDibImage img;
      ASSERT_EQ(img.LoadTiff(f.c_str(), page, 5), 1) << g_szLastImageError;
      EXPECT_EQ(img.m_nPageCount, first.m_nPageCount);
      EXPECT_EQ(img.m_nPageIndex, page);
      int b = img.m_nBitsPerPixel;
      EXPECT_TRUE(b == 1 || b == 4 || b == 8 || b == 24);
      Rgb ours = RecordRgb(img);
      bool cmyk = Base(f).find("cmyk") != std::string::npos;
      if (cmyk)
      {
        // The CMYK rule is additive (each channel 255 - (ink + black)):
        // check it on ImageMagick's raw CMYK samples.
        std::string raw;
        ASSERT_TRUE(files_test::Run("convert '" + f + "' -depth 8 cmyk:- 2>/dev/null", raw));
        ASSERT_EQ(raw.size(), (size_t)img.m_nWidth * img.m_nHeight * 4);
        int worst = 0;
        for (size_t i = 0; i < (size_t)img.m_nWidth * img.m_nHeight; i++)
          for (int c = 0; c < 3; c++)
          {
            int sum = (uint8_t)raw[4 * i + c] + (uint8_t)raw[4 * i + 3];
            int want = sum >= 256 ? 0 : 255 - sum;
            worst = std::max(worst, std::abs(want - ours.px[3 * i + c]));
          }
        // JPEG-compressed CMYK: two decoders' IDCTs may differ slightly.
        EXPECT_LE(worst, Base(f).find("jpeg") != std::string::npos ? 4 : 0);
        continue;
      }
      // ImageMagick leaves old-style JPEG in YCbCr (libtiff's own RGBA tool
      // is the reference there) and changes the levels of grey + alpha
      // pages (there the reference is the first plane as tiffcp
      // decompresses it).
      Rgb ref;
      if (Base(f) == "grey-alpha-packbits.tif")
      {
        std::string raw = Scratch("tiff-ref") + "/raw.tif", out;
        ASSERT_TRUE(files_test::Run("tiffcp -c none '" + f + "' " + raw + " 2>/dev/null", out));
        TIFF *t = TIFFOpen(raw.c_str(), "r");
        ASSERT_NE(t, nullptr);
        std::vector<uint8_t> plane((size_t)img.m_nWidth * img.m_nHeight);
        ASSERT_EQ(TIFFReadRawStrip(t, 0, plane.data(), (tmsize_t)plane.size()), (tmsize_t)plane.size());
        TIFFClose(t);
        ref.width = img.m_nWidth;
        ref.height = img.m_nHeight;
        for (uint8_t v : plane)
          ref.px.insert(ref.px.end(), {v, v, v});
      }
      else if (Base(f) == "ycbcr-oldjpeg.tif")
      {
        std::string rgba = Scratch("tiff-ref") + "/rgba.tif";
        std::string out;
        ASSERT_TRUE(files_test::Run("tiff2rgba '" + f + "' " + rgba + " 2>/dev/null", out));
        ASSERT_TRUE(files_test::Run("convert " + rgba + " -alpha off -depth 8 ppm:-", out));
        ref = ParsePnm(out);
      }
      else
        ref = MagickRgb(f, page);
      ASSERT_TRUE(ref.ok());
      bool lossy = Base(f).find("jpeg") != std::string::npos;
      // 16-bit samples and 16-bit colour maps: rounding may differ by one.
      bool sixteen = img.m_nSourceBitsPerPixel == 16 || img.m_nSourceBitsPerPixel == 48 ||
                     img.m_nPhotometric == DIB_PHOTOMETRIC_PALETTE;
      if (lossy)
      {
        EXPECT_GE(MaxDiff(ours, ref), 0);
        EXPECT_LT(MeanDiff(ours, ref), 1.5);
      }
      else
        EXPECT_LE(MaxDiff(ours, ref), sixteen ? 1 : 0);
    }
  }
}

TEST(Tiff, CorpusMetadata)
{
  std::string dir = Corpus("tiff");
  if (dir.empty())
    FAIL() << "corpus data missing";
  struct
  {
    const char *file;
    int page, pages, bits, xdpi, ydpi, photometric, grey;
  } cases[] = {
      {"text-fax-g3-204x98dpi.tif", 0, 1, 1, 204, 98, 0, 0},
      {"multipage-g4-3p-400dpi.tif", 2, 3, 1, 400, 400, 0, 0},
      {"multipage-mixed-3p.tif", 1, 3, 8, 150, 150, 1, 1}, // 59.05 per cm
      {"multipage-mixed-3p.tif", 2, 3, 24, 72, 72, 2, 0},
      {"palette-4bit.tif", 0, 1, 4, 0, 0, 3, 0},
      {"palette-8bit.tif", 0, 1, 8, 0, 0, 3, 0},
      {"minisblack-16bit.tif", 0, 1, 8, 0, 0, 1, 1},
      {"grey-alpha-packbits.tif", 0, 1, 8, 300, 300, 1, 1},
      {"two-ifds-1x1.tif", 1, 2, 8, 0, 0, 1, 1},
      // Chains that loop back: the pages before the loop.
      {"ifd-loop-first.tif", 1, 2, 8, 0, 0, 1, 1},
      {"ifd-loop-self.tif", 0, 1, 8, 0, 0, 1, 1},
      {"rgb-tiled-lzw.tif", 0, 1, 24, 300, 300, 2, 0},
      {"photo-cmyk-8bit.tif", 0, 1, 24, 100, 100, 2, 0},
  };
  for (auto &c : cases)
  {
    SCOPED_TRACE(c.file);
    CDibImage img;
    ASSERT_EQ(img.LoadTiff((dir + "/" + c.file).c_str(), c.page, 5), 1) << g_szLastImageError;
    EXPECT_EQ(img.m_nPageCount, c.pages);
    EXPECT_EQ(img.m_nBitsPerPixel, c.bits);
    EXPECT_EQ(img.m_nXDpi, c.xdpi);
    EXPECT_EQ(img.m_nYDpi, c.ydpi);
    EXPECT_EQ(img.m_nPhotometric, c.photometric);
    EXPECT_EQ(img.m_bGrey, c.grey);
    EXPECT_EQ(img.m_nRowOrder, 3);
    EXPECT_EQ(img.Header()->biHeight, img.m_nHeight);
  }
}

TEST(Tiff, MalformedFilesAreRefused)
{
  auto files = CorpusFiles("bad", {".tif"});
  if (files.empty())
    FAIL() << "corpus data missing";
  for (const auto &f : files)
  {
    SCOPED_TRACE(Base(f));
    CDibImage img;
    g_szLastImageError[0] = 0;
    EXPECT_EQ(img.LoadTiff(f.c_str(), 0, 5), 0);
    EXPECT_NE(g_szLastImageError[0], 0);
    EXPECT_TRUE(img.IsEmpty());
  }
  CDibImage img;
  EXPECT_EQ(img.LoadTiff("/no/such/file.tif", 0, 5), 0);
  EXPECT_NE(g_szLastImageError[0], 0);
}

TEST(Tiff, PagesAndSelection)
{
  std::string dir = Scratch("tiff-pages");
  std::vector<Page> pages;
  for (int i = 0; i < 3; i++)
    pages.push_back(Page{1, 1, Grey8, std::string(1, (char)(10 * (i + 1)))});
  std::string f = WriteTiff(dir + "/three.tif", pages);
  for (int want : {0, 1, 2, 5, -1})
  {
    CDibImage img;
    ASSERT_EQ(img.LoadTiff(f.c_str(), want, 5), 1);
    EXPECT_EQ(img.m_nPageCount, 3);
    EXPECT_EQ(img.m_nPageIndex, want); // the requested index, even when absent
    int shown = want >= 0 && want < 3 ? want : 0;
    EXPECT_EQ(img.Row(0)[0], 10 * (shown + 1)) << want;
  }
}

TEST(Tiff, TagRules)
{
  std::string dir = Scratch("tiff-tags");
  auto g4 = [](bool bps, bool spp)
  {
    return [=](TIFF *t)
    {
      if (bps)
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
      if (spp)
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    };
  };
  // An uncompressed 1-bit page without SamplesPerPixel is refused; with it,
  // it loads with the palette of its photometric.
  CDibImage img;
  std::string f = WriteTiff(dir + "/nospp.tif", {Page{8, 1, g4(true, false), "\x0f"}});
  EXPECT_EQ(img.LoadTiff(f.c_str(), 0, 5), 0);
  f = WriteTiff(dir + "/spp.tif", {Page{8, 1, g4(true, true), "\x0f"}});
  ASSERT_EQ(img.LoadTiff(f.c_str(), 0, 5), 1);
  EXPECT_EQ(img.m_nBitsPerPixel, 1);
  EXPECT_EQ(img.Palette()[0].rgbRed, 0);
  EXPECT_EQ(img.Palette()[1].rgbRed, 255);
  EXPECT_EQ(img.Row(0)[0], 0x0f);

  // A Group 4 page without BitsPerSample and SamplesPerPixel: 1-bit with the
  // min-is-white palette. Encoded by libtiff itself.
  {
    std::string path = dir + "/g4.tif";
    TIFF *t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 16);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2);
    unsigned char row0[2] = {0xF0, 0x0F}, row1[2] = {0x00, 0xFF};
    TIFFWriteScanline(t, row0, 0, 0);
    TIFFWriteScanline(t, row1, 1, 0);
    TIFFClose(t);
    ASSERT_EQ(img.LoadTiff(path.c_str(), 0, 5), 1) << g_szLastImageError;
    EXPECT_EQ(img.m_nBitsPerPixel, 1);
    EXPECT_EQ(img.m_nPhotometric, 0);
    EXPECT_EQ(img.Palette()[0].rgbRed, 255);
    EXPECT_EQ(img.Palette()[1].rgbRed, 0);
    EXPECT_EQ(img.Row(1)[0], 0xF0); // top row stored last
    EXPECT_EQ(img.Row(0)[1], 0xFF);
  }

  // Dots per inch and pixels per metre by the unit.
  auto res = [](TIFF *t)
  {
    Grey8(t);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 118.11f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 118.11f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
  };
  f = WriteTiff(dir + "/res.tif", {Page{1, 1, res, "\x01"}});
  ASSERT_EQ(img.LoadTiff(f.c_str(), 0, 5), 1);
  EXPECT_EQ(img.m_nXDpi, 300);
  EXPECT_EQ(img.m_nResolutionUnit, 3);
  EXPECT_EQ(img.Header()->biXPelsPerMeter, 11811);
  EXPECT_EQ(img.m_bGrey, 1);
  EXPECT_EQ(img.m_nPhotometric, 1);
}

TEST(Tiff, PalettesAndCmyk)
{
  std::string dir = Scratch("tiff-palettes");
  CDibImage img;
  for (int wide = 0; wide < 2; wide++)
  {
    auto pal = [wide](TIFF *t)
    {
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
      static uint16_t r[2], g[2], b[2];
      r[0] = 200, g[0] = 100, b[0] = 50;
      r[1] = wide ? 0x1234 : 7, g[1] = 0, b[1] = 0;
      TIFFSetField(t, TIFFTAG_COLORMAP, r, g, b);
    };
    std::string f = WriteTiff(dir + "/pal.tif", {Page{8, 1, pal, "\x80"}});
    ASSERT_EQ(img.LoadTiff(f.c_str(), 0, 5), 1) << g_szLastImageError;
    EXPECT_EQ(img.m_nPhotometric, 3);
    if (wide) // every entry by its high byte
    {
      EXPECT_EQ(img.Palette()[0].rgbRed, 0);
      EXPECT_EQ(img.Palette()[1].rgbRed, 0x12);
    }
    else
    {
      EXPECT_EQ(img.Palette()[0].rgbRed, 200);
      EXPECT_EQ(img.Palette()[0].rgbGreen, 100);
      EXPECT_EQ(img.Palette()[0].rgbBlue, 50);
      EXPECT_EQ(img.Palette()[1].rgbRed, 7);
    }
  }
  // 4-bit grey pages get a grey palette.
  auto grey4 = [](TIFF *t)
  {
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 4);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  };
  std::string f = WriteTiff(dir + "/g4bit.tif", {Page{2, 1, grey4, "\x0f"}});
  ASSERT_EQ(img.LoadTiff(f.c_str(), 0, 5), 1);
  EXPECT_EQ(img.m_nBitsPerPixel, 4);
  Rgb rgb = RecordRgb(img);
  EXPECT_EQ(rgb.px[0], 255);
  EXPECT_EQ(rgb.px[3], 0);
  EXPECT_EQ(img.Palette()[1].rgbGreen, 238);

  // CMYK: (0,0,0,0) white, (0,0,0,255) black, sums past 255 clip to 0;
  // InkSet 2 refused.
  for (int inkset : {1, 2})
  {
    auto cmyk = [inkset](TIFF *t)
    {
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
      TIFFSetField(t, TIFFTAG_INKSET, inkset);
      TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    };
    const char px[] = {0, 0, 0, 0, 0, 0, 0, (char)255, 10, 20, (char)200, 60};
    f = WriteTiff(dir + "/cmyk.tif", {Page{3, 1, cmyk, std::string(px, 12)}});
    ASSERT_EQ(img.LoadTiff(f.c_str(), 0, 5), inkset == 1 ? 1 : 0) << g_szLastImageError;
    if (inkset != 1)
      continue;
    const unsigned char want[] = {255, 255, 255, 0, 0, 0, 0, 175, 185}; // B G R
    for (int i = 0; i < 9; i++)
      EXPECT_EQ(img.Row(0)[i], want[i]) << i;
  }
}

TEST(Tiff, UndecodableRowsAreRefused)
{
  std::string dir = Scratch("tiff-broken");
  // An LZW strip of garbage: libtiff's message, no garbage picture.
  auto lzw = [](TIFF *t)
  {
    Grey8(t);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  };
  std::string f = WriteTiff(dir + "/lzw.tif", {Page{64, 64, lzw, std::string(40, '\xff')}});
  CDibImage img;
  g_szLastImageError[0] = 0;
  EXPECT_EQ(img.LoadTiff(f.c_str(), 0, 5), 0);
  EXPECT_NE(g_szLastImageError[0], 0);
  EXPECT_TRUE(img.IsEmpty());
  // A strip shorter than the page.
  f = WriteTiff(dir + "/short.tif", {Page{64, 64, Grey8, std::string(100, 'x')}});
  EXPECT_EQ(img.LoadTiff(f.c_str(), 0, 5), 0);
  EXPECT_NE(g_szLastImageError[0], 0);
  // Every corpus TIFF cut short is refused or read, never a crash (the
  // sanitizer build checks the reads).
  for (const auto &src : CorpusFiles("tiff", {".tif"}))
  {
    std::string bytes = ReadFile(src);
    std::string cut = dir + "/cut.tif";
    WriteFile(cut, bytes.substr(0, bytes.size() / 3));
    CDibImage c;
    c.LoadTiff(cut.c_str(), 0, 5);
  }
}
