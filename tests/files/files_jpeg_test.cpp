// JPEG reader and writer: the corpus against ImageMagick, the density and
// parameter rules, dithered decoding, failures while writing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

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

// A 24-bit test picture: smooth gradients (JPEG keeps them well).
void Gradient(CDibImage &img, int w, int h)
{
  ASSERT_EQ(img.CreateBlock(w, h, 24, DIB_ROWS_BOTTOMUP), 1);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
    {
      unsigned char *p = img.Row(y) + 3 * x;
      p[0] = (unsigned char)(x * 255 / (w - 1));
      p[1] = (unsigned char)(y * 255 / (h - 1));
      p[2] = 128;
    }
}

} // namespace

TEST(Jpeg, CorpusMatchesImageMagick)
{
  auto files = CorpusFiles("jpeg", {".jpg"});
  if (files.empty())
    FAIL() << "corpus data missing";
  for (const auto &f : files)
  {
    SCOPED_TRACE(Base(f));
    CDibImage img;
    ASSERT_EQ(img.LoadJpeg(f.c_str(), 24, 0, 5), 1) << g_szLastImageError;
    EXPECT_EQ(img.m_nRowOrder, 3);
    EXPECT_EQ(img.m_nResolutionUnit, 0);
    Rgb ours = RecordRgb(img);
    Rgb ref = MagickRgb(f);
    ASSERT_TRUE(ref.ok());
    // Same libjpeg underneath: equal but for the CMYK conversion rounding.
    EXPECT_GE(MaxDiff(ours, ref), 0);
    EXPECT_LE(MaxDiff(ours, ref), Base(f).find("cmyk") != std::string::npos ? 2 : 0);
  }
}

TEST(Jpeg, MetadataAndDensity)
{
  std::string dir = Corpus("jpeg");
  if (dir.empty())
    FAIL() << "corpus data missing";
  CDibImage img;
  ASSERT_EQ(img.LoadJpeg((dir + "/grey-camera-restart.jpg").c_str(), 24, 0, 5), 1);
  EXPECT_EQ(img.m_nBitsPerPixel, 8);
  EXPECT_EQ(img.m_bGrey, 1);
  EXPECT_EQ(img.m_nPhotometric, 1);
  EXPECT_EQ(img.m_nXDpi, 71); // 28 per cm
  EXPECT_EQ(img.Header()->biXPelsPerMeter, 2800);
  ASSERT_EQ(img.LoadJpeg((dir + "/photo-coffee-progressive-300dpi.jpg").c_str(), 24, 0, 5), 1);
  EXPECT_EQ(img.m_nXDpi, 300);
  EXPECT_EQ(img.m_nYDpi, 300);
  EXPECT_EQ(img.Header()->biXPelsPerMeter, 11811);
  EXPECT_EQ(img.m_nBitsPerPixel, 24);
  EXPECT_EQ(img.m_nPhotometric, 2);

  // Written density: inch -> unit 1, cm -> unit 2, none -> 0 (reads as 0).
  std::string out = Scratch("jpeg-density") + "/d.jpg";
  struct
  {
    int unit, dpi, wantDpi;
  } cases[] = {{2, 300, 300}, {3, 118, 300}, {0, 300, 0}, {2, 1, 0}, {2, 0, 0}};
  for (auto &c : cases)
  {
    CDibImage src;
    Gradient(src, 16, 16);
    src.m_nResolutionUnit = c.unit;
    src.m_nXDpi = src.m_nYDpi = c.dpi;
    ASSERT_EQ(src.SaveJpeg(out.c_str(), 75, 0, 0, 0, ""), 1);
    std::string bytes = ReadFile(out);
    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(bytes.substr(6, 4), "JFIF");
    int unitByte = (uint8_t)bytes[13];
    int density = (uint8_t)bytes[14] << 8 | (uint8_t)bytes[15];
    if (c.dpi > 1)
    {
      EXPECT_EQ(unitByte, c.unit == 2 ? 1 : c.unit == 3 ? 2 : 0);
      EXPECT_EQ(density, c.dpi);
    }
    else
    {
      EXPECT_EQ(unitByte, 0); // libjpeg's default header: 1:1 aspect
      EXPECT_EQ(density, 1);
    }
    CDibImage back;
    ASSERT_EQ(back.LoadJpeg(out.c_str(), 24, 0, 5), 1);
    EXPECT_EQ(back.m_nXDpi, c.wantDpi) << c.unit << " " << c.dpi;
  }
}

TEST(Jpeg, WriterParameters)
{
  std::string dir = Scratch("jpeg-params");
  CDibImage img;
  Gradient(img, 64, 48);
  auto save = [&](const char *name, int q, int smooth, int opt, int dct, const char *comment)
  {
    std::string p = dir + "/" + name;
    EXPECT_EQ(img.SaveJpeg(p.c_str(), q, smooth, opt, dct, comment), 1) << g_szLastImageError;
    return ReadFile(p);
  };
  std::string q75 = save("q75.jpg", 75, 0, 0, 0, "");
  EXPECT_EQ(save("q120.jpg", 120, 0, 0, 0, ""), q75); // out of range: 75
  EXPECT_EQ(save("qm1.jpg", -1, 0, 0, 0, ""), q75);
  EXPECT_EQ(save("s150.jpg", 75, 150, 0, 0, ""), q75); // out of range: 0
  EXPECT_NE(save("q20.jpg", 20, 0, 0, 0, ""), q75);
  EXPECT_NE(save("s50.jpg", 75, 50, 0, 0, ""), q75);
  EXPECT_LT(save("opt.jpg", 75, 0, 1, 0, "").size(), q75.size());
  for (int dct : {1, 2})
  {
    std::string d = save("dct.jpg", 75, 0, 0, dct, "");
    CDibImage back;
    ASSERT_EQ(back.LoadJpeg((dir + "/dct.jpg").c_str(), 24, dct, 5), 1);
    EXPECT_LT(MeanDiff(RecordRgb(back), RecordRgb(img)), 2.0);
  }
  // The comment goes into a COM marker.
  std::string c = save("comment.jpg", 75, 0, 0, 0, "Made by Vellum");
  std::string marker = std::string("\xFF\xFE\x00\x10", 4) + "Made by Vellum";
  EXPECT_NE(c.find(marker), std::string::npos);
  // Top-down rows are written the right way up (the record turns bottom-up).
  ASSERT_EQ(img.FlipRows(0), 1);
  ASSERT_EQ(img.m_nRowOrder, 4);
  save("topdown.jpg", 90, 0, 0, 0, "");
  EXPECT_EQ(img.m_nRowOrder, 3);
  CDibImage back;
  ASSERT_EQ(back.LoadJpeg((dir + "/topdown.jpg").c_str(), 24, 0, 5), 1);
  EXPECT_LT(MeanDiff(RecordRgb(back), RecordRgb(img)), 1.5);
}

TEST(Jpeg, RoundTripOverCorpusWithinTolerance)
{
  // Every corpus picture of 4, 8 or 24 bits saved at quality 95 decodes
  // exactly as the same pixels compressed by libjpeg's own cjpeg with the
  // same settings, ImageMagick reads our file exactly as we do, and the
  // mean error stays below 16 levels (detailed colour crops lose most to
  // 4:2:0 chroma subsampling; dithered palette art, which JPEG cannot keep,
  // below 40).
  std::string dir = Scratch("jpeg-roundtrip");
  std::vector<std::string> files = CorpusFiles("jpeg", {".jpg"});
  for (auto &f : CorpusFiles("bmp", {".bmp"}))
    files.push_back(f);
  for (auto &f : CorpusFiles("pnm", {".pgm", ".ppm", ".pbm"}))
    files.push_back(f);
  if (files.empty())
    FAIL() << "corpus data missing";
  int compared = 0;
  for (const auto &f : files)
  {
    SCOPED_TRACE(Base(f));
    CDibImage img;
    std::string ext = fs::path(f).extension().string();
    int ok = ext == ".jpg"   ? img.LoadJpeg(f.c_str(), 24, 0, 5)
             : ext == ".bmp" ? img.LoadBmp(f.c_str(), 5)
                             : img.LoadPnm(f.c_str(), 5);
    if (!ok || img.m_nBitsPerPixel == 1 || img.m_nWidth * img.m_nHeight > 3000000)
      continue;
    Rgb before = RecordRgb(img);
    bool grey = img.m_nBitsPerPixel == 8 && img.m_bGrey;
    std::string out = dir + "/out.jpg";
    ASSERT_EQ(img.SaveJpeg(out.c_str(), 95, 0, 1, 0, "test"), 1) << g_szLastImageError;
    CDibImage back;
    ASSERT_EQ(back.LoadJpeg(out.c_str(), 24, 0, 5), 1);
    Rgb after = RecordRgb(back);
    ASSERT_EQ(after.width, before.width);
    ASSERT_EQ(after.height, before.height);
    bool photo = img.m_nBitsPerPixel == 24 || grey;
    EXPECT_LT(MeanDiff(after, before), photo ? 16.0 : 40.0);
    EXPECT_EQ(MaxDiff(MagickRgb(out), after), 0);

    // The same pixels through cjpeg.
    std::string pnm = dir + (grey ? "/in.pgm" : "/in.ppm");
    std::string head = (grey ? "P5\n" : "P6\n") + std::to_string(before.width) + " " +
                       std::to_string(before.height) + "\n255\n";
    std::string body;
    for (size_t i = 0; i < before.px.size(); i += grey ? 3 : 1)
      body += (char)before.px[i];
    WriteFile(pnm, head + body);
    std::string cjpeg;
    if (!files_test::Run("cjpeg -quality 95 -optimize -dct int '" + pnm + "' > " + dir + "/ref.jpg", cjpeg))
      continue;
    CDibImage ref;
    ASSERT_EQ(ref.LoadJpeg((dir + "/ref.jpg").c_str(), 24, 0, 5), 1);
    EXPECT_EQ(MaxDiff(RecordRgb(ref), after), 0);
    compared++;
  }
  EXPECT_GT(compared, 30);
}

TEST(Jpeg, OneBitSavesAsGrey)
{
  std::string out = Scratch("jpeg-1bit") + "/b.jpg";
  CDibImage img;
  ASSERT_EQ(img.CreateBlock(16, 8, 1, DIB_ROWS_BOTTOMUP), 1);
  img.Palette()[0] = DibRgbQuad{255, 255, 255, 0};
  img.Palette()[1] = DibRgbQuad{0, 0, 0, 0};
  for (int y = 0; y < 8; y++)
    img.Row(y)[0] = 0xFF; // left 8 pixels black
  ASSERT_EQ(img.SaveJpeg(out.c_str(), 100, 0, 0, 0, ""), 1);
  CDibImage back;
  ASSERT_EQ(back.LoadJpeg(out.c_str(), 24, 0, 5), 1);
  EXPECT_EQ(back.m_nBitsPerPixel, 8);
  EXPECT_EQ(back.m_bGrey, 1);
  EXPECT_LE(back.Row(3)[2], 1);
  EXPECT_GE(back.Row(3)[12], 254);
}

TEST(Jpeg, DitheredDecodeForLowColourDisplays)
{
  std::string f = Corpus("jpeg/photo-coffee-progressive-300dpi.jpg");
  if (f.empty())
    FAIL() << "corpus data missing";
  CDibImage img;
  ASSERT_EQ(img.LoadJpeg(f.c_str(), 16, 0, 5), 1);
  EXPECT_EQ(img.m_nBitsPerPixel, 8);
  EXPECT_EQ(img.m_nPaletteSize, 1024);
  EXPECT_EQ(img.m_nPhotometric, 3);
  EXPECT_EQ(img.m_bGrey, 0);
  CDibImage full;
  ASSERT_EQ(full.LoadJpeg(f.c_str(), 24, 0, 5), 1);
  EXPECT_EQ(full.m_nBitsPerPixel, 24);
  EXPECT_LT(MeanDiff(RecordRgb(img), RecordRgb(full)), 8.0);
  // Grey pages stay grey when dithered.
  std::string g = Corpus("jpeg/grey-camera-restart.jpg");
  ASSERT_EQ(img.LoadJpeg(g.c_str(), 8, 0, 5), 1);
  EXPECT_EQ(img.m_nBitsPerPixel, 8);
  // CMYK pages are converted, never quantised.
  ASSERT_EQ(img.LoadJpeg(Corpus("jpeg/cmyk-100x100.jpg").c_str(), 8, 0, 5), 1);
  EXPECT_EQ(img.m_nBitsPerPixel, 24);
}

TEST(Jpeg, BadFilesAndFailedWrites)
{
  for (const auto &f : CorpusFiles("bad", {".jpg"}))
  {
    SCOPED_TRACE(Base(f));
    CDibImage img;
    g_szLastImageError[0] = 0;
    EXPECT_EQ(img.LoadJpeg(f.c_str(), 24, 0, 5), 0);
    EXPECT_NE(g_szLastImageError[0], 0);
    EXPECT_TRUE(img.IsEmpty());
  }
  std::string dir = Scratch("jpeg-bad");
  for (const auto &f : CorpusFiles("jpeg", {".jpg"}))
  {
    SCOPED_TRACE(Base(f));
    std::string bytes = ReadFile(f);
    for (size_t len : {(size_t)0, (size_t)2, (size_t)100, bytes.size() / 2, bytes.size() - 2})
    {
      WriteFile(dir + "/cut.jpg", bytes.substr(0, len));
      CDibImage img;
      EXPECT_EQ(img.LoadJpeg((dir + "/cut.jpg").c_str(), 24, 0, 5), 0) << len;
      EXPECT_NE(g_szLastImageError[0], 0);
    }
  }
  CDibImage img;
  Gradient(img, 32, 32);
  // A library error while writing (the device is full) fails the save and
  // does not end the process.
  if (fs::exists("/dev/full"))
  {
    g_szLastImageError[0] = 0;
    EXPECT_EQ(img.SaveJpeg("/dev/full", 75, 0, 0, 0, ""), 0);
    EXPECT_NE(g_szLastImageError[0], 0);
  }
  EXPECT_EQ(img.SaveJpeg((dir + "/missing/x.jpg").c_str(), 75, 0, 0, 0, ""), 0);
  EXPECT_FALSE(fs::exists(dir + "/missing/x.jpg"));
  // An existing file survives a failed save.
  WriteFile(dir + "/keep.jpg", "old");
  img.m_nBitsPerPixel = 32;
  EXPECT_EQ(img.SaveJpeg((dir + "/keep.jpg").c_str(), 75, 0, 0, 0, ""), 0);
  EXPECT_EQ(ReadFile(dir + "/keep.jpg"), "old");
}
