// Saving: DjVu and IW44 writers of the image record checked against
// DjVuLibre's ddjvu and djvudump, SaveImage's dispatch to every writer, the
// directory check, failed saves, and the rules of the save dialog and the
// resolution review.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FilesTestUtil.h"
#include "MessageBox.h"
#include "SaveImage.h"

namespace fs = std::filesystem;
using namespace files_test;

namespace
{

// Message boxes are recorded and answered from a script.
struct Box
{
  std::string text;
  unsigned style;
};
std::vector<Box> g_boxes;
int g_answer = VID_YES;
int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back({text ? text : "", style});
  return (style & VMB_BUTTON_MASK) == VMB_OK ? VID_OK : g_answer;
}

class SaveTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    g_answer = VID_YES;
    m_oldHook = VellumSetMessageBoxHook(RecordBox);
    m_dir = Scratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { VellumSetMessageBoxHook(m_oldHook); }
  std::string Path(const std::string &name) const { return m_dir + "/" + name; }
  std::vector<std::string> Listing() const
  {
    std::vector<std::string> out;
    for (auto &e : fs::directory_iterator(m_dir))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  VellumMessageBoxHook m_oldHook = nullptr;
  std::string m_dir;
};

bool Load(CDibImage &img, const std::string &path)
{
  switch (GetImageFileType(path.c_str()))
  {
  case IMAGE_FILE_BMP:
    return img.LoadBmp(path.c_str(), DIB_HEADER_INFO) == 1;
  case IMAGE_FILE_PNM:
    return img.LoadPnm(path.c_str(), DIB_HEADER_INFO) == 1;
  case IMAGE_FILE_TIFF:
    return img.LoadTiff(path.c_str(), 0, DIB_HEADER_INFO) == 1;
  case IMAGE_FILE_JPEG:
    return img.LoadJpeg(path.c_str(), 24, 0, DIB_HEADER_INFO) == 1;
  default:
    return false;
  }
}

// The FORM kind and chunk ids that djvudump lists ("FORM:DJVU", "INFO"...).
std::vector<std::string> Chunks(const std::string &path)
{
  std::string out;
  std::vector<std::string> ids;
  if (!Run("djvudump '" + path + "' 2>&1", out))
    return ids;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line))
  {
    std::istringstream words(line);
    std::string id;
    if (words >> id)
      ids.push_back(id);
  }
  return ids;
}

const std::vector<std::string> kCompound = {"FORM:DJVU", "INFO", "Sjbz", "BG44",
                                            "FG44",      "BG44", "BG44", "BG44"};
const std::vector<std::string> kMaskOnly = {"FORM:DJVU", "INFO", "Sjbz"};

// ddjvu's full-size rendering as RGB.
Rgb Ddjvu(const std::string &path)
{
  std::string out = path + ".ppm";
  std::string ignored;
  if (!Run("ddjvu -format=ppm '" + path + "' '" + out + "' 2>&1", ignored))
    return Rgb();
  return ParsePnm(ReadFile(out));
}

// The 10 INFO bytes of a FORM:DJVU file (empty when there is none).
std::string InfoBytes(const std::string &file)
{
  size_t at = file.find("INFO");
  if (at == std::string::npos || file.size() < at + 18)
    return std::string();
  return file.substr(at + 8, 10);
}

int InfoWidth(const std::string &info)
{
  return (uint8_t)info[0] << 8 | (uint8_t)info[1];
}
int InfoHeight(const std::string &info)
{
  return (uint8_t)info[2] << 8 | (uint8_t)info[3];
}
int InfoDpi(const std::string &info)
{
  return (uint8_t)info[6] | (uint8_t)info[7] << 8;
}

double Psnr(const Rgb &a, const Rgb &b)
{
  if (a.px.empty() || a.px.size() != b.px.size())
    return 0;
  double se = 0;
  for (size_t i = 0; i < a.px.size(); i++)
  {
    double d = (double)a.px[i] - b.px[i];
    se += d * d;
  }
  if (se == 0)
    return 99;
  return 10 * std::log10(255.0 * 255.0 * a.px.size() / se);
}

// Fraction of pixels whose black/white value differs (at 128).
double BitonalMismatch(const Rgb &a, const Rgb &b)
{
  if (a.px.empty() || a.px.size() != b.px.size())
    return 1;
  size_t bad = 0;
  for (size_t i = 0; i < a.px.size(); i += 3)
    bad += (a.px[i] < 128) != (b.px[i] < 128);
  return (double)bad * 3 / a.px.size();
}

struct Recorder : CSaveProgress
{
  std::vector<std::string> texts;
  std::vector<int> percents;
  int begins = 0, ends = 0;
  void OnSaveProgress(const char *text, int percent) override
  {
    texts.push_back(text);
    percents.push_back(percent);
  }
  void OnSaveBegin() override { begins++; }
  void OnSaveEnd() override { ends++; }
};

bool IsSubsequence(const std::vector<std::string> &want, const std::vector<std::string> &have)
{
  size_t i = 0;
  for (const std::string &s : have)
    if (i < want.size() && s == want[i])
      i++;
  return i == want.size();
}

// ------------------------------------------------------------------ DjVu

// Every depth, as DjVu and IW44, through SaveImage with the default
// settings; decoded by ddjvu and compared with the original. Lossy layers:
// PSNR floor and mean-difference ceiling as stated per row; bitonal
// pictures must come back exactly with "DjvuLossless" (checked below) and
// nearly so here.
struct DepthCase
{
  const char *file;
  int bits;
  bool bitonal;   // mask-only page
  double minPsnr; // compound DjVu, dB (IW44: 4 dB more); bitonal: 0
  // Bitonal: share of pixels that may change under the default (lossy) mask
  // cleaning; dithered pictures lose most.
  double maxMismatch;
};

TEST_F(SaveTest, EveryDepthAsDjVuAndIw44DecodesInDdjvu)
{
  const DepthCase cases[] = {
      {"tiff/miniswhite-1bit.tif", 1, true, 0, 0.06},
      {"bmp/pal1wb.bmp", 1, true, 0, 0.20}, // dithered
      {"pnm/miniswhite-1bit.pbm", 1, true, 0, 0.06},
      {"tiff/palette-4bit.tif", 4, false, 18, 0},
      {"bmp/pal4.bmp", 4, false, 18, 0},
      {"pnm/minisblack-8bit.pgm", 8, false, 22, 0},
      {"tiff/palette-8bit.tif", 8, false, 18, 0},
      {"bmp/pal8.bmp", 8, false, 18, 0},
      {"bmp/pal8topdown.bmp", 8, false, 18, 0},
      {"tiff/rgb-8bit.tif", 24, false, 20, 0},
      {"bmp/photo-night-192x144.bmp", 24, false, 20, 0},
  };
  CVellumSettings settings;
  for (const DepthCase &c : cases)
  {
    SCOPED_TRACE(c.file);
    std::string src = Corpus(c.file);
    if (src.empty())
      FAIL() << "corpus data missing";
    CDibImage img;
    ASSERT_TRUE(Load(img, src));
    ASSERT_EQ(img.m_nBitsPerPixel, c.bits);
    const Rgb original = RecordRgb(img);
    const std::string stem = fs::path(c.file).stem().string();

    std::string djvu = Path(stem + ".djvu");
    Recorder progress;
    ASSERT_EQ(SaveImage(djvu, IMAGE_FILE_DJVU, img, settings, nullptr, &progress), 1) << g_szLastImageError;
    EXPECT_EQ(Chunks(djvu), c.bitonal ? kMaskOnly : kCompound);
    std::string info = InfoBytes(ReadFile(djvu));
    ASSERT_EQ(info.size(), 10u);
    EXPECT_EQ(InfoWidth(info), img.m_nWidth);
    EXPECT_EQ(InfoHeight(info), img.m_nHeight);
    EXPECT_EQ(info[9], 1) << "page must be upright";
    EXPECT_EQ(RecordRgb(img).px, original.px) << "the record's picture must not change";
    Rgb back = Ddjvu(djvu);
    ASSERT_TRUE(back.ok());
    ASSERT_EQ(back.width, original.width);
    ASSERT_EQ(back.height, original.height);
    if (c.bitonal)
      EXPECT_LT(BitonalMismatch(back, original), c.maxMismatch);
    else
      EXPECT_GT(Psnr(back, original), c.minPsnr);
    EXPECT_EQ(progress.begins, 1);
    EXPECT_EQ(progress.ends, 1);
    EXPECT_TRUE(IsSubsequence({"Encoding Mask", "Cleaning Mask", "Encoded document"}, progress.texts));

    std::string iw44 = Path(stem + ".iw44");
    Recorder photo;
    ASSERT_EQ(SaveImage(iw44, IMAGE_FILE_IW44, img, settings, nullptr, &photo), 1) << g_szLastImageError;
    std::vector<std::string> chunks = Chunks(iw44);
    ASSERT_FALSE(chunks.empty());
    if (c.bitonal)
      EXPECT_EQ(chunks, kMaskOnly) << "a black-and-white picture becomes a DjVu page";
    else
    {
      bool grey = c.bits == 8 && img.m_bGrey;
      EXPECT_EQ(chunks[0], grey ? "FORM:BM44" : "FORM:PM44");
      EXPECT_EQ(photo.texts,
                (std::vector<std::string>{"Encode Photo", "Compress Photo", "Compressed Photo"}));
      EXPECT_EQ(photo.percents, (std::vector<int>{0, 50, 100}));
    }
    back = Ddjvu(iw44);
    ASSERT_TRUE(back.ok());
    if (c.bitonal)
      EXPECT_EQ(MaxDiff(back, original), 0) << "the photo path codes black and white losslessly";
    else
      EXPECT_GT(Psnr(back, original), c.minPsnr + 4) << "the photo codec keeps full resolution";
  }
}

// With "DjvuLossless" a bitonal page comes back from ddjvu pixel for pixel,
// whatever the palette order and row order of the record.
TEST_F(SaveTest, LosslessBitonalPagesAreExact)
{
  CVellumSettings settings;
  settings.DjvuLossless = 1;
  for (const char *file : {"tiff/miniswhite-1bit.tif", "bmp/pal1.bmp", "bmp/pal1wb.bmp",
                           "page/text-diagram-bitonal-300dpi.tif", "tiff/text-bitonal-packbits-300dpi.tif"})
  {
    SCOPED_TRACE(file);
    std::string src = Corpus(file);
    if (src.empty())
      FAIL() << "corpus data missing";
    CDibImage img;
    ASSERT_TRUE(Load(img, src));
    ASSERT_EQ(img.m_nBitsPerPixel, 1);
    Rgb original = RecordRgb(img);
    std::string out = Path(fs::path(file).stem().string() + ".djvu");
    ASSERT_EQ(SaveImage(out, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1) << g_szLastImageError;
    EXPECT_EQ(Chunks(out), kMaskOnly);
    Rgb back = Ddjvu(out);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(MaxDiff(back, original), 0);
    std::string info = InfoBytes(ReadFile(out));
    if (img.m_nXDpi > 0)
      EXPECT_EQ(InfoDpi(info), img.m_nXDpi);
    else
      EXPECT_EQ(InfoDpi(info), 300);
  }
}

// A fax page with oblong pixels becomes a page of square pixels at the
// larger resolution (a DjVu page has one resolution).
TEST_F(SaveTest, OblongPixelsAreMadeSquare)
{
  std::string src = Corpus("tiff/text-fax-g3-204x98dpi.tif");
  if (src.empty())
    FAIL() << "corpus data missing";
  CDibImage img;
  ASSERT_TRUE(Load(img, src));
  ASSERT_EQ(img.m_nBitsPerPixel, 1);
  ASSERT_EQ(img.m_nXDpi, 204);
  ASSERT_EQ(img.m_nYDpi, 98);
  CVellumSettings settings;
  settings.DjvuLossless = 1;
  std::string out = Path("fax.djvu");
  ASSERT_EQ(SaveImage(out, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1) << g_szLastImageError;
  EXPECT_EQ(Chunks(out), kMaskOnly);
  std::string info = InfoBytes(ReadFile(out));
  EXPECT_EQ(InfoWidth(info), 1734);
  EXPECT_EQ(InfoHeight(info), 2244); // 1078 * 204 / 98
  EXPECT_EQ(InfoDpi(info), 204);
  EXPECT_EQ(img.m_nHeight, 1078) << "the record keeps its size";
  // Every decoded row is a copy of the source row it stands for.
  Rgb back = Ddjvu(out), original = RecordRgb(img);
  ASSERT_EQ(back.height, 2244);
  size_t bad = 0;
  for (int y = 0; y < back.height; y++)
  {
    int sy = std::min(img.m_nHeight - 1, (int)((y + 0.5) * 98 / 204));
    for (int x = 0; x < back.width; x++)
      bad += (back.px[((size_t)y * back.width + x) * 3] < 128) !=
             (original.px[((size_t)sy * original.width + x) * 3] < 128);
  }
  EXPECT_LT((double)bad / ((double)back.width * back.height), 0.01);
}

// A bitonal page with only one of its resolutions known is saved at that
// one, not refused for resolutions that differ.
TEST_F(SaveTest, OneKnownResolutionStandsForBoth)
{
  for (int known = 0; known < 2; known++)
  {
    SCOPED_TRACE(known);
    CDibImage img;
    ASSERT_EQ(img.CreateBlock(40, 30, 1, DIB_ROWS_BOTTOMUP), 1);
    img.Palette()[1] = DibRgbQuad{255, 255, 255, 0};
    for (int y = 10; y < 20; y++)
      img.Row(y)[1] = 0x3C;
    img.m_nXDpi = known == 0 ? 200 : 0;
    img.m_nYDpi = known == 0 ? 0 : 200;
    std::string out = Path("one-dpi.djvu");
    djvu_encode_params lossless = DJVU_ENCODE_PARAMS_DEFAULTS;
    lossless.flags = DJVU_ENCODE_LOSSLESS;
    ASSERT_EQ(img.SaveDjVu(out.c_str(), -1, 0, nullptr, &lossless), 1) << g_szLastImageError;
    std::string info = InfoBytes(ReadFile(out));
    EXPECT_EQ(InfoWidth(info), 40);
    EXPECT_EQ(InfoHeight(info), 30);
    EXPECT_EQ(InfoDpi(info), 200);
    EXPECT_EQ(MaxDiff(Ddjvu(out), RecordRgb(img)), 0);
  }
  EXPECT_TRUE(g_boxes.empty());
}

// A whole grey 300-dpi text page: compound layout, legible text, and the
// decoded page close to the original.
TEST_F(SaveTest, GreyTextPageAsCompoundDjVu)
{
  std::string png = Corpus("page/text-maths-grey-300dpi.png");
  if (png.empty())
    FAIL() << "corpus data missing";
  std::string pgm = Path("page.pgm"), ignored;
  ASSERT_TRUE(files_test::Run("pngtopnm '" + png + "' > '" + pgm + "'", ignored));
  CDibImage img;
  ASSERT_TRUE(Load(img, pgm));
  img.m_nXDpi = img.m_nYDpi = 300;
  Rgb original = RecordRgb(img);
  std::string out = Path("page.djvu");
  CVellumSettings settings;
  ASSERT_EQ(SaveImage(out, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1) << g_szLastImageError;
  EXPECT_EQ(Chunks(out), kCompound);
  std::string file = ReadFile(out);
  EXPECT_LT(file.size(), 60u * 1024);
  EXPECT_EQ(InfoDpi(InfoBytes(file)), 300);
  Rgb back = Ddjvu(out);
  EXPECT_GT(Psnr(back, original), 20);
  // The text is in the mask: the page's dark pixels are dark after decoding.
  size_t dark = 0, kept = 0;
  for (size_t i = 0; i < original.px.size(); i += 3)
    if (original.px[i] < 64)
    {
      dark++;
      kept += back.px[i] < 128;
    }
  ASSERT_GT(dark, 10000u);
  EXPECT_GT((double)kept / dark, 0.97);
}

TEST_F(SaveTest, TextOnlyAndUpsamplingShapeThePage)
{
  std::string src = Corpus("pnm/minisblack-8bit.pgm");
  if (src.empty())
    FAIL() << "corpus data missing";
  CDibImage img;
  ASSERT_TRUE(Load(img, src));
  img.m_nXDpi = img.m_nYDpi = 150;
  CVellumSettings settings;
  settings.DjvuTextOnly = 1;
  std::string text = Path("text.djvu");
  ASSERT_EQ(SaveImage(text, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1) << g_szLastImageError;
  EXPECT_EQ(Chunks(text), kMaskOnly);
  std::string info = InfoBytes(ReadFile(text));
  EXPECT_EQ(InfoWidth(info), 157);
  EXPECT_EQ(InfoDpi(info), 150);

  // Text only ignores the enlargement; a compound page is enlarged.
  settings.DjvuUpsample = 1;
  ASSERT_EQ(SaveImage(text, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1) << g_szLastImageError;
  EXPECT_EQ(InfoWidth(InfoBytes(ReadFile(text))), 157);
  settings.DjvuTextOnly = 0;
  for (int up : {1, 2, 3})
  {
    settings.DjvuUpsample = up;
    std::string out = Path("up" + std::to_string(up) + ".djvu");
    ASSERT_EQ(SaveImage(out, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1) << g_szLastImageError;
    EXPECT_EQ(Chunks(out), kCompound);
    info = InfoBytes(ReadFile(out));
    EXPECT_EQ(InfoWidth(info), 157 * (up + 1));
    EXPECT_EQ(InfoHeight(info), 151 * (up + 1));
    EXPECT_EQ(InfoDpi(info), 150 * (up + 1));
    EXPECT_EQ(info[9], 1);
  }
}

// A minimum-is-white grey image (descending palette) and a palette image
// with saturated colours keep their look.
TEST_F(SaveTest, GreyMinIsWhiteAndPaletteColoursSurvive)
{
  std::string src = Corpus("pnm/minisblack-8bit.pgm");
  if (src.empty())
    FAIL() << "corpus data missing";
  CDibImage grey;
  ASSERT_TRUE(Load(grey, src));
  ASSERT_TRUE(grey.InvertGrey());
  ASSERT_EQ(grey.m_nPhotometric, DIB_PHOTOMETRIC_MINISWHITE);
  Rgb original = RecordRgb(grey);
  CVellumSettings settings;
  for (int kind : {IMAGE_FILE_DJVU, IMAGE_FILE_IW44})
  {
    std::string out = Path(kind == IMAGE_FILE_DJVU ? "grey.djvu" : "grey.iw44");
    ASSERT_EQ(SaveImage(out, kind, grey, settings, nullptr, nullptr), 1) << g_szLastImageError;
    EXPECT_GT(Psnr(Ddjvu(out), original), 22) << out;
  }
  EXPECT_EQ(RecordRgb(grey).px, original.px);

  // 8-bit palette: left half red, right half blue, a black bar. (Pure
  // 255/0 primaries would be taken for a black-and-white picture by the
  // photo encoder; see PurePrimariesStayColouredInIw44.)
  CDibImage pal;
  ASSERT_TRUE(pal.CreateBlock(96, 64, 8, DIB_ROWS_BOTTOMUP));
  pal.Palette()[0] = {20, 20, 230, 0}; // red
  pal.Palette()[1] = {230, 20, 20, 0}; // blue
  pal.Palette()[2] = {0, 0, 0, 0};     // black
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 96; x++)
      pal.Row(y)[x] = (unsigned char)(y >= 28 && y < 36 ? 2 : x < 48 ? 0 : 1);
  for (int kind : {IMAGE_FILE_DJVU, IMAGE_FILE_IW44})
  {
    std::string out = Path(kind == IMAGE_FILE_DJVU ? "pal.djvu" : "pal.iw44");
    ASSERT_EQ(SaveImage(out, kind, pal, settings, nullptr, nullptr), 1) << g_szLastImageError;
    Rgb back = Ddjvu(out);
    ASSERT_EQ(back.width, 96);
    const uint8_t *red = &back.px[(10 * 96 + 12) * 3], *blue = &back.px[(10 * 96 + 84) * 3];
    EXPECT_GT(red[0], 180) << out;
    EXPECT_LT(red[2], 80) << out;
    EXPECT_GT(blue[2], 180) << out;
    EXPECT_LT(blue[0], 80) << out;
  }
}

// A picture of pure red and blue has only 0 and 255 samples but is not
// black and white: it stays an IW44 colour photo.
TEST_F(SaveTest, PurePrimariesStayColouredInIw44)
{
  CDibImage img;
  ASSERT_TRUE(img.CreateBlock(64, 32, 24, DIB_ROWS_BOTTOMUP));
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 64; x++)
      img.Row(y)[3 * x + (x < 32 ? 2 : 0)] = 255; // red | blue
  CVellumSettings settings;
  std::string out = Path("primaries.iw44");
  ASSERT_EQ(SaveImage(out, IMAGE_FILE_IW44, img, settings, nullptr, nullptr), 1);
  EXPECT_EQ(Chunks(out).at(0), "FORM:PM44");
  Rgb back = Ddjvu(out);
  ASSERT_EQ(back.width, 64);
  EXPECT_GT(back.px[(10 * 64 + 8) * 3], 200);
}

// ------------------------------------------------- other kinds, dispatch

TEST_F(SaveTest, SaveImageWritesBmpPnmAndJpeg)
{
  struct Case
  {
    const char *file;
    int kind;
    const char *name;
    int maxDiff; // against ImageMagick's decoding of what we wrote
  } cases[] = {
      {"tiff/miniswhite-1bit.tif", IMAGE_FILE_BMP, "a.bmp", 0},
      {"tiff/palette-4bit.tif", IMAGE_FILE_BMP, "b.bmp", 0},
      {"tiff/rgb-8bit.tif", IMAGE_FILE_BMP, "c.bmp", 0},
      {"tiff/miniswhite-1bit.tif", IMAGE_FILE_PNM, "a.pbm", 0},
      {"pnm/minisblack-8bit.pgm", IMAGE_FILE_PNM, "b.pgm", 0},
      {"tiff/rgb-8bit.tif", IMAGE_FILE_PNM, "c.ppm", 0},
      {"tiff/rgb-8bit.tif", IMAGE_FILE_JPEG, "c.jpg", 96},
      {"pnm/minisblack-8bit.pgm", IMAGE_FILE_JPEG, "b.jpg", 64},
  };
  CVellumSettings settings;
  settings.JpegQty = 90;
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    std::string src = Corpus(c.file);
    if (src.empty())
      FAIL() << "corpus data missing";
    CDibImage img;
    ASSERT_TRUE(Load(img, src));
    Rgb original = RecordRgb(img);
    std::string out = Path(c.name);
    Recorder progress;
    ASSERT_EQ(SaveImage(out, c.kind, img, settings, "Orvale Vellum Revision: 1.12 ", &progress), 1)
        << g_szLastImageError;
    EXPECT_EQ(progress.begins, 1);
    Rgb magick = MagickRgb(out);
    ASSERT_TRUE(magick.ok());
    EXPECT_LE(MaxDiff(magick, original), c.maxDiff);
    if (c.kind == IMAGE_FILE_JPEG)
    {
      EXPECT_LT(MeanDiff(magick, original), 6.0);
      EXPECT_NE(ReadFile(out).find("Orvale Vellum Revision: 1.12 "), std::string::npos);
    }
  }
  // Kinds without a writer: 0, nothing written, no message.
  CDibImage img;
  ASSERT_TRUE(img.CreateBlock(8, 8, 24, DIB_ROWS_BOTTOMUP));
  for (int kind : {0, (int)IMAGE_FILE_TIFF, (int)IMAGE_FILE_UNKNOWN, (int)IMAGE_FILE_ALL})
    EXPECT_EQ(SaveImage(Path("x.tif"), kind, img, settings, nullptr, nullptr), 0);
  EXPECT_FALSE(fs::exists(Path("x.tif")));
  EXPECT_TRUE(g_boxes.empty());
}

// ------------------------------------------------------ failed saves

// The output is cut short by a file-size limit: every writer fails, the old
// file keeps its bytes and no temporary file stays behind.
TEST_F(SaveTest, ShortOutputKeepsTheOldFile)
{
  std::string src = Corpus("bmp/photo-night-192x144.bmp");
  if (src.empty())
    FAIL() << "corpus data missing";
  CVellumSettings settings;
  const std::string old = "the old file\n";
  for (int kind : {IMAGE_FILE_DJVU, IMAGE_FILE_IW44, IMAGE_FILE_BMP, IMAGE_FILE_PNM, IMAGE_FILE_JPEG})
  {
    SCOPED_TRACE(kind);
    CDibImage img;
    ASSERT_TRUE(Load(img, src));
    std::string out = Path("out" + DefaultSaveExtension(kind, 24, 0));
    WriteFile(out, old);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 300;
    auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = SaveImage(out, kind, img, settings, nullptr, nullptr);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ReadFile(out) == old) << "the old file was replaced";
    EXPECT_EQ(Listing(), std::vector<std::string>{fs::path(out).filename().string()});
    fs::remove(out);
  }
}

TEST_F(SaveTest, UnwritableDirectoryFailsCleanly)
{
  CDibImage img;
  ASSERT_TRUE(img.CreateBlock(64, 64, 24, DIB_ROWS_BOTTOMUP));
  CVellumSettings settings;
  // A directory nobody may create files in, even root.
  for (int kind : {IMAGE_FILE_DJVU, IMAGE_FILE_IW44})
    EXPECT_EQ(SaveImage("/proc/vellum-save-test" + DefaultSaveExtension(kind, 24, 0), kind, img, settings,
                        nullptr, nullptr),
              0);
  EXPECT_FALSE(fs::exists("/proc/vellum-save-test.djvu"));
  EXPECT_NE(std::strstr(g_szLastImageError, "vellum-save-test"), nullptr) << g_szLastImageError;

  // A read-only directory holding the old file (not for root, who may
  // write anywhere).
  std::string dir = Path("ro");
  fs::create_directory(dir);
  std::string out = dir + "/page.djvu";
  WriteFile(out, "old");
  chmod(dir.c_str(), 0555);
  if (access(dir.c_str(), W_OK) == 0)
  {
    chmod(dir.c_str(), 0755);
    return; // running as root
  }
  EXPECT_EQ(SaveImage(out, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 0);
  chmod(dir.c_str(), 0755);
  EXPECT_EQ(ReadFile(out), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SaveTest, BadRecordsAreRefused)
{
  CDibImage empty;
  CVellumSettings settings;
  for (int kind : {IMAGE_FILE_DJVU, IMAGE_FILE_IW44})
    EXPECT_EQ(SaveImage(Path("e.djvu"), kind, empty, settings, nullptr, nullptr), 0);
  CDibImage odd;
  ASSERT_TRUE(odd.CreateBlock(8, 8, 8, DIB_ROWS_BOTTOMUP));
  odd.m_nBitsPerPixel = 16;
  EXPECT_EQ(odd.SaveDjVu(Path("o.djvu").c_str(), -1, 0, nullptr, nullptr), 0);
  EXPECT_EQ(odd.SaveIw44(Path("o.iw44").c_str(), nullptr), 0);
  odd.m_nBitsPerPixel = 8;
  EXPECT_TRUE(Listing().empty());
  // A damaged upsampling code does not enlarge the page.
  ASSERT_EQ(odd.SaveDjVu(Path("o.djvu").c_str(), -9, 0, nullptr, nullptr), 1) << g_szLastImageError;
  EXPECT_EQ(InfoWidth(InfoBytes(ReadFile(Path("o.djvu")))), 8);
}

// ------------------------------------------------------ directory check

TEST_F(SaveTest, DirectoryCheckAsksAndCreates)
{
  CDibImage img;
  ASSERT_TRUE(img.CreateBlock(16, 16, 24, DIB_ROWS_BOTTOMUP));
  CVellumSettings settings;
  std::string nested = Path("a/b/c/page.bmp");
  const std::string question = nested + "\n\nDirectory path does not exist.\nDo you want to create it?";

  g_answer = VID_NO;
  EXPECT_EQ(SaveImage(nested, IMAGE_FILE_BMP, img, settings, nullptr, nullptr), 0);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, question);
  EXPECT_EQ(g_boxes[0].style, (unsigned)(VMB_YESNO | VMB_ICONQUESTION));
  EXPECT_FALSE(fs::exists(Path("a")));

  g_boxes.clear();
  g_answer = VID_YES;
  EXPECT_EQ(SaveImage(nested, IMAGE_FILE_BMP, img, settings, nullptr, nullptr), 1);
  EXPECT_EQ(g_boxes.size(), 1u);
  EXPECT_TRUE(fs::is_regular_file(nested));

  // Existing directory, new or existing file: no question.
  g_boxes.clear();
  EXPECT_EQ(CheckSaveDirectory(Path("a/b/new.bmp"), 0), 1);
  EXPECT_EQ(CheckSaveDirectory(nested, 0), 1);
  EXPECT_TRUE(g_boxes.empty());

  // Directory mode creates the whole path.
  EXPECT_EQ(CheckSaveDirectory(Path("d/e"), 16), 1);
  EXPECT_TRUE(fs::is_directory(Path("d/e")));

  // A file where a directory should be.
  g_boxes.clear();
  WriteFile(Path("f"), "x");
  EXPECT_EQ(SaveImage(Path("f/g/page.bmp"), IMAGE_FILE_BMP, img, settings, nullptr, nullptr), 0);
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[1].text, "Failed to create " + Path("f/g"));
  EXPECT_EQ(g_boxes[1].style, (unsigned)(VMB_OK | VMB_ICONHAND));
}

// ------------------------------------------------------ parameter records

TEST_F(SaveTest, SettingsFillTheEncoderRecords)
{
  CVellumSettings s;
  SaveParameters start;
  SetSaveParameterDefaults(start);
  EXPECT_EQ(start.mask.dpi_double, 225);
  EXPECT_EQ(start.mask.dpi_triple, 125);
  EXPECT_EQ(start.encode.fg_dpi, 25);
  EXPECT_FLOAT_EQ(start.iw44.gamma, 2.2f);

  SaveParameters p = MakeSaveParameters(s, IMAGE_FILE_DJVU);
  const int32_t mask[9] = {36, 0, 0, 0, 300, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(&p.mask, mask, sizeof mask), 0);
  EXPECT_EQ(p.encode.size, 28);
  EXPECT_FLOAT_EQ(p.encode.gamma, 2.2f);
  EXPECT_EQ(p.encode.quality, 80);
  EXPECT_EQ(p.encode.flags, 0);
  EXPECT_EQ(p.encode.fg_dpi, 50);
  EXPECT_EQ(p.encode.bg_dpi, 100);
  EXPECT_EQ(p.encode.progress_data, 0);
  EXPECT_EQ(p.upsample, -1);
  EXPECT_EQ(p.textOnly, 0);

  struct
  {
    int color, size, inv, lossless, thick, profile, switches, flags;
  } rows[] = {{1, 0, 0, 0, 0, 0, 1, 0}, {0, 1, 0, 1, 0, 0, 2, 1}, {0, 0, 1, 0, 1, 0, 4, 2},
              {1, 1, 1, 1, 1, 0, 7, 3}, {0, 0, 0, 0, 0, 1, 0, 8}, {0, 0, 0, 1, 1, 1, 0, 11},
              {0, 0, 0, 0, 0, 7, 0, 0}}; // an unknown profile is the classic one
  for (auto &r : rows)
  {
    s.DjvuNoColorFilter = r.color;
    s.DjvuNoSizeFilter = r.size;
    s.DjvuNoInvFilter = r.inv;
    s.DjvuLossless = r.lossless;
    s.DjvuNoThick = r.thick;
    s.DjvuProfile = r.profile;
    p = MakeSaveParameters(s, IMAGE_FILE_DJVU);
    EXPECT_EQ(p.mask.switches, r.switches);
    EXPECT_EQ(p.encode.flags, r.flags);
  }
  s.DjvuFilterLevel = -120;
  s.DjvuForeback = 40;
  s.DjvuPhotoGamma = 1.8f;
  s.DjvuPhotoQty = 55;
  s.DjvuTextOnly = 1;
  for (int up = -1; up <= 4; up++)
  {
    s.DjvuUpsample = up;
    p = MakeSaveParameters(s, IMAGE_FILE_DJVU);
    EXPECT_EQ(p.upsample, up >= 0 && up <= 3 ? -1 - up : -1);
  }
  EXPECT_EQ(p.mask.filter_level, -120);
  EXPECT_EQ(p.mask.multi_forback, 40);
  EXPECT_FLOAT_EQ(p.encode.gamma, 1.8f);
  EXPECT_EQ(p.encode.quality, 55);
  EXPECT_EQ(p.textOnly, 1);

  s.Iw44PhotoGamma = 1.5f;
  s.Iw44PhotoQty = 33;
  s.Iw44Crcb = 3;
  p = MakeSaveParameters(s, IMAGE_FILE_IW44);
  EXPECT_EQ(p.iw44.size, 20);
  EXPECT_FLOAT_EQ(p.iw44.gamma, 1.5f);
  EXPECT_EQ(p.iw44.quality, 33);
  EXPECT_EQ(p.iw44.flags, 3);
  EXPECT_EQ(p.iw44.progress_data, 0);
  EXPECT_EQ(p.mask.dpi_double, 225) << "other kinds keep the starting values";

  s.JpegQty = 61;
  s.JpegSmooth = 7;
  s.JpegOptHuff = 1;
  s.JpegEncodeDCT = 2;
  p = MakeSaveParameters(s, IMAGE_FILE_JPEG);
  EXPECT_EQ(p.jpegQuality, 61);
  EXPECT_EQ(p.jpegSmoothing, 7);
  EXPECT_EQ(p.jpegOptimize, 1);
  EXPECT_EQ(p.jpegDct, 2);
}

// ------------------------------------------------------ dialog rules

TEST(SaveRules, ResolutionReview)
{
  const std::string high =
      "Your document appears to be scanned at high resolution,\nand the current DjVu settings are "
      "may not be optimized for that.\n\nDo you want to review the settings before saving?";
  const std::string medium =
      "Your document appears to be scanned at medium resolution,\nand the current DjVu settings "
      "are may not be optimized for that.\n\nDo you want to review the settings before saving?";
  const std::string low =
      "Your document appears to be scanned at low or very low resolution,\nand the current DjVu "
      "settings are may not be optimized for that.\n\nDo you want to review the settings before "
      "saving?";
  auto unknown = [](const char *tuned)
  {
    return std::string(
               "Your document appears to be scanned at an unknown resolution,\nand the current DjVu settings "
               "are optimized for ") +
           tuned + " resolutions.\n\nDo you want to review the settings before saving?";
  };
  struct
  {
    int x, y, u;
    std::string message;
  } rows[] = {
      {300, 300, 0, ""},
      {300, 300, 2, high},
      {600, 200, 1, high},
      {200, 300, 3, high},
      {299, 150, 1, ""},
      {100, 100, 0, medium},
      {150, 150, 2, medium},
      {99, 99, 1, low},
      {0, 0, 0, low},
      {0, 0, 3, ""},
      {72, 72, 2, ""},
      {-1, -1, 0, unknown("high")},
      {-1, -5, 1, unknown("medium")},
      {-1, -1, 2, unknown("low")},
      {-1, -1, 3, unknown("very low")},
      {-1, -1, 7, ""},
      {0, 0, 7, low},
      {300, 0, 7, high},
  };
  for (auto &r : rows)
    EXPECT_EQ(ResolutionReviewMessage(r.x, r.y, r.u), r.message) << r.x << "x" << r.y << " u=" << r.u;
}

TEST(SaveRules, ReviewAnswers)
{
  VellumMessageBoxHook old = VellumSetMessageBoxHook(RecordBox);
  CVellumSettings s;
  s.DjvuUpsample = 2;
  struct
  {
    int answer, result, opened;
  } rows[] = {{VID_CANCEL, 0, 0}, {VID_YES, 1, 1}, {VID_NO, 1, 0}};
  for (auto &r : rows)
  {
    g_boxes.clear();
    g_answer = r.answer;
    int opened = 0;
    EXPECT_EQ(RunResolutionReview(300, 300, s, [&] { opened++; }), r.result);
    EXPECT_EQ(opened, r.opened);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].style, (unsigned)(VMB_YESNOCANCEL | VMB_ICONQUESTION));
  }
  g_boxes.clear();
  s.DjvuUpsample = 0;
  EXPECT_EQ(RunResolutionReview(300, 300, s, nullptr), 1);
  EXPECT_TRUE(g_boxes.empty());
  VellumSetMessageBoxHook(old);
}

TEST(SaveRules, FiltersAndExtensions)
{
  const char *desc[] = {"DjVu File (*.djvu;*.djv)", "IW44 File (*.iw44;*.iw4)",     "Windows Bitmap (*.bmp)",
                        "JPEG File (*.jpg)",        "PNM file (*.ppm;*.pgm;*.pbm)", "PNG file (*.png)"};
  const char *pat[] = {"*.djvu;*.djv", "*.iw44;*.iw4", "*.bmp", "*.jpg", "*.ppm;*.pgm;*.pbm", "*.png"};
  const int kinds[] = {1, 2, 3, 5, 4, 7};
  for (int i = 1; i <= 6; i++)
  {
    EXPECT_STREQ(kSaveFilters[i - 1].description, desc[i - 1]);
    EXPECT_STREQ(kSaveFilters[i - 1].pattern, pat[i - 1]);
    EXPECT_EQ(SaveKindFromFilterIndex(i), kinds[i - 1]);
    EXPECT_EQ(FilterIndexFromSaveKind(kinds[i - 1]), i);
  }
  EXPECT_EQ(SaveKindFromFilterIndex(0), 0);
  EXPECT_EQ(SaveKindFromFilterIndex(7), 0);
  EXPECT_EQ(FilterIndexFromSaveKind(6), 0); // TIFF is read only
  EXPECT_EQ(DefaultSaveExtension(IMAGE_FILE_PNG, 1, 0), ".png");

  EXPECT_EQ(DefaultSaveExtension(IMAGE_FILE_PNM, 1, 0), ".pbm");
  EXPECT_EQ(DefaultSaveExtension(IMAGE_FILE_PNM, 8, 1), ".pgm");
  EXPECT_EQ(DefaultSaveExtension(IMAGE_FILE_PNM, 8, 0), ".ppm");
  EXPECT_EQ(DefaultSaveExtension(IMAGE_FILE_PNM, 24, 0), ".ppm");
  EXPECT_EQ(DefaultSaveExtension(IMAGE_FILE_PNM, 4, 0), ".ppm");
  EXPECT_EQ(DefaultSaveExtension(IMAGE_FILE_JPEG, 24, 0), ".jpg");
  EXPECT_EQ(DefaultSaveExtension(6, 24, 0), "");

  struct
  {
    const char *name, *ext, *out;
  } rows[] = {
      {"scan.tif", ".djvu", "scan.djvu"},
      {"scan.tif.bmp", ".jpg", "scan.tif.jpg"},
      {"scan", ".iw44", "scan.iw44"},
      {"/a.b/scan", ".bmp", "/a.b/scan.bmp"},
      {"/a.b/scan.x", ".bmp", "/a.b/scan.bmp"},
      {"scan.tif", "", "scan"},
      {".hidden", ".pbm", ".pbm"},
  };
  for (auto &r : rows)
    EXPECT_EQ(ReplaceExtension(r.name, r.ext), r.out) << r.name;
  EXPECT_EQ(ReplaceExtension(std::string(254, 'n') + ".tif", ".djvu"), std::string(254, 'n') + ".djvu");
  EXPECT_EQ(ReplaceExtension(std::string(255, 'n') + ".tif", ".djvu"), "");
}

TEST(SaveRules, ProposedAndFinalNames)
{
  int untitled = 0;
  EXPECT_EQ(ProposeSaveName("", 1, 24, 0, untitled), "untitled0001.djvu");
  EXPECT_EQ(ProposeSaveName("", 1, 24, 0, untitled), "untitled0002.djvu");
  EXPECT_EQ(untitled, 2);
  EXPECT_EQ(ProposeSaveName("/home/u/scans/page.tif", 4, 1, 0, untitled), "page.pbm");
  EXPECT_EQ(ProposeSaveName("/home/u/scans/page.tif", 4, 8, 1, untitled), "page.pgm");
  EXPECT_EQ(ProposeSaveName("/home/u/scans/page.tif", 4, 24, 0, untitled), "page.ppm");
  EXPECT_EQ(ProposeSaveName("/home/u/scans/page.tif", 5, 24, 0, untitled), "page.jpg");
  EXPECT_EQ(ProposeSaveName("/home/u/scans/page.tif", 9, 24, 0, untitled), "page");
  EXPECT_EQ(untitled, 2) << "only untitled proposals count";

  EXPECT_EQ(FinalSaveName("/d/page", IMAGE_FILE_JPEG, 24, 0), "/d/page.jpg");
  EXPECT_EQ(FinalSaveName("/d/page.jpeg", IMAGE_FILE_JPEG, 24, 0), "/d/page.jpeg");
  EXPECT_EQ(FinalSaveName("/d/page.JPG", IMAGE_FILE_JPEG, 24, 0), "/d/page.JPG");
  EXPECT_EQ(FinalSaveName("/d/page.djv", IMAGE_FILE_DJVU, 24, 0), "/d/page.djv");
  EXPECT_EQ(FinalSaveName("/d/page.bmp", IMAGE_FILE_DJVU, 24, 0), "/d/page.bmp.djvu");
  EXPECT_EQ(FinalSaveName("/d/page.ppm", IMAGE_FILE_PNM, 1, 0), "/d/page.ppm");
  EXPECT_EQ(FinalSaveName("/d/" + std::string(5000, 'n'), IMAGE_FILE_BMP, 24, 0), "");

  EXPECT_EQ(SaveDirectoryOf("/home/u/page.djvu"), "/home/u");
  EXPECT_EQ(SaveDirectoryOf("/page.djvu"), "/");
  EXPECT_EQ(SaveDirectoryOf("page.djvu"), "");
  EXPECT_EQ(SaveProgressMessage("/home/u/page.djvu"), "Saving page.djvu. The time it takes will depend on "
                                                      "the size of the image, and the format to which it is "
                                                      "saved.");
}

} // namespace

// ----------------------------------------------------------- DjVu books

namespace
{

std::string Djvused(const std::string &path, const std::string &script)
{
  std::string out;
  Run("djvused -e '" + script + "' '" + path + "' 2>&1", out);
  return out;
}

std::string PageText(const std::string &path, int page)
{
  return Djvused(path, "select " + std::to_string(page) + "; print-pure-txt");
}

Rgb DdjvuPage(const std::string &path, int page)
{
  std::string ppm;
  if (!Run("ddjvu -format=ppm -subsample=4 -page=" + std::to_string(page) + " '" + path + "' - 2>/dev/null",
           ppm))
    return {};
  return ParsePnm(ppm);
}

} // namespace

// A book saved after an edit of one page: every page, the outline, the
// other pages' bytes and text stay; the page shows the edit and keeps its
// text when its geometry did not change, loses it when it did.
TEST_F(SaveTest, BookSavedAfterAPageEditKeepsEveryPage)
{
  struct
  {
    const char *file;
    int page; // 0-based page edited
    bool turn;
  } cases[] = {{"books/book-bundled-4p.djvu", 1, false},
               {"books/book-bundled-4p.djvu", 1, true},
               {"books/indirect/index.djvu", 3, false},
               {"books/book-shared-dict-3p.djvu", 0, false},
               {"bad/djvu-bundled-3pages.djvu", 2, true}};
  CVellumSettings settings;
  for (const auto &c : cases)
  {
    SCOPED_TRACE(std::string(c.file) + (c.turn ? " turned" : " negative"));
    const std::string in = Corpus(c.file);
    ASSERT_FALSE(in.empty()) << "corpus data missing";
    CDibImage img;
    ASSERT_EQ(img.OpenDjVu(in.c_str(), IMAGE_FILE_DJVU, c.page), 1);
    const int pages = img.m_nPageCount;
    EXPECT_EQ(Djvused(in, "n"), std::to_string(pages) + "\n");
    ASSERT_EQ(img.RenderDjVu(0, 24, 0, 2.2, DIB_HEADER_INFO, IMAGE_FILE_DJVU), 1);
    ASSERT_EQ(c.turn ? img.RotateRight() : img.Negative(), 1);
    const std::string out = Path("book.djvu");
    ASSERT_EQ(SaveImage(out, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1) << g_szLastImageError;
    EXPECT_EQ(Djvused(out, "n"), std::to_string(pages) + "\n");
    EXPECT_EQ(Djvused(out, "print-outline"), Djvused(in, "print-outline"));
    for (int p = 1; p <= pages; p++)
    {
      if (p == c.page + 1)
        continue;
      EXPECT_EQ(PageText(out, p), PageText(in, p)) << p;
      EXPECT_EQ(MaxDiff(DdjvuPage(out, p), DdjvuPage(in, p)), 0) << p;
    }
    const std::string edited = PageText(out, c.page + 1);
    if (c.turn)
      EXPECT_EQ(edited.find_first_not_of("\f\n "), std::string::npos);
    else
      EXPECT_EQ(edited, PageText(in, c.page + 1));
    Rgb before = DdjvuPage(in, c.page + 1), after = DdjvuPage(out, c.page + 1);
    ASSERT_TRUE(before.ok() && after.ok());
    if (c.turn)
    {
      EXPECT_EQ(after.width, before.height);
      EXPECT_EQ(after.height, before.width);
    }
    else
      EXPECT_GT(MeanDiff(before, after), 50.0); // the negative shows
  }
}

// The page alone, a single-page file with text re-saved, and a failed save
// that must leave the book it would replace untouched.
TEST_F(SaveTest, BookPageAloneAndSinglePagesKeepTheirText)
{
  CVellumSettings settings;
  const std::string book = Corpus("books/book-shared-dict-3p.djvu");
  CDibImage img;
  ASSERT_EQ(img.OpenDjVu(book.c_str(), IMAGE_FILE_DJVU, 2), 1);
  ASSERT_EQ(img.RenderDjVu(0, 24, 0, 2.2, DIB_HEADER_INFO, IMAGE_FILE_DJVU), 1);
  ASSERT_EQ(SaveImage(Path("third.djvu"), IMAGE_FILE_DJVU, img, settings, nullptr, nullptr, kSaveCurrentPage),
            1);
  EXPECT_EQ(Djvused(Path("third.djvu"), "n"), "1\n");
  EXPECT_EQ(PageText(Path("third.djvu"), 1), PageText(book, 3));

  const std::string single = Corpus("djvu/formatdoc-p10-bitonal.djvu");
  ASSERT_EQ(img.OpenDjVu(single.c_str(), IMAGE_FILE_DJVU), 1);
  ASSERT_EQ(img.RenderDjVu(0, 24, 0, 2.2, DIB_HEADER_INFO, IMAGE_FILE_DJVU), 1);
  ASSERT_EQ(SaveImage(Path("single.djvu"), IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 1);
  EXPECT_EQ(Djvused(Path("single.djvu"), "n"), "1\n");
  EXPECT_EQ(PageText(Path("single.djvu"), 1), PageText(single, 1));

  // A page that cannot be had: the save fails and the target stays.
  const std::string dir = Path("indirect");
  ASSERT_EQ(std::system(("cp -r '" + Corpus("books/indirect") + "' '" + dir + "' && rm '" + dir +
                         "/formatdoc-p20-compound-fgbz.djvu'")
                            .c_str()),
            0);
  const std::string index = dir + "/index.djvu";
  const std::string before = ReadFile(index);
  ASSERT_EQ(img.OpenDjVu(index.c_str(), IMAGE_FILE_DJVU, 0), 1);
  EXPECT_EQ(img.OpenDjVu(index.c_str(), IMAGE_FILE_DJVU, 1), 0);
  ASSERT_EQ(img.OpenDjVu(index.c_str(), IMAGE_FILE_DJVU, 0), 1);
  ASSERT_EQ(img.RenderDjVu(0, 24, 0, 2.2, DIB_HEADER_INFO, IMAGE_FILE_DJVU), 1);
  EXPECT_EQ(SaveImage(index, IMAGE_FILE_DJVU, img, settings, nullptr, nullptr), 0);
  EXPECT_EQ(ReadFile(index), before);
}

// A reduced rendering reports its own resolution; the page's stays the
// file's, for the status pane and the resolution review.
TEST_F(SaveTest, ReducedDjVuRenderingKeepsThePageResolution)
{
  CDibImage img;
  ASSERT_EQ(img.OpenDjVu(Corpus("djvu/formatdoc-p10-bitonal.djvu").c_str(), IMAGE_FILE_DJVU), 1);
  ASSERT_EQ(img.RenderDjVu(0, 24, -2, 2.2, DIB_HEADER_INFO, IMAGE_FILE_DJVU), 1);
  EXPECT_EQ(img.m_nXDpi, 100);
  EXPECT_EQ(img.PageXDpi(), 300);
  EXPECT_EQ(img.PageYDpi(), 300);
  EXPECT_EQ(ResolutionReviewMessage(img.PageXDpi(), img.PageYDpi(), 0), "");
}
