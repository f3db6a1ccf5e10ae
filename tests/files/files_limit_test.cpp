// The one pixel limit of every reader and of the DjVu/IW44 decoder: crafted
// headers over it are refused with the size named, every reader takes the
// limit from the same place, and an A1 map at 600 dpi opens by default.
#include <gtest/gtest.h>

#include <cstring>

#include <tiffio.h>

#include "DibImage.h"
#include "FilesTestUtil.h"
#include "ImageFiles.h"

using namespace files_test;

namespace
{

int LoadAny(CDibImage &img, const char *path)
{
  switch (GetImageFileType(path))
  {
  case IMAGE_FILE_BMP:
    return img.LoadBmp(path, 5);
  case IMAGE_FILE_PNM:
    return img.LoadPnm(path, 5);
  case IMAGE_FILE_TIFF:
    return img.LoadTiff(path, 0, 5);
  case IMAGE_FILE_JPEG:
    return img.LoadJpeg(path, 24, 0, 5);
  case IMAGE_FILE_DJVU:
  case IMAGE_FILE_IW44:
    return img.OpenDjVu(path, GetImageFileType(path)) &&
           img.RenderDjVu(0, 24, 0, 2.2, 5, GetImageFileType(path));
  default:
    return 0;
  }
}

void Put16BE(std::string &s, size_t at, unsigned v)
{
  s[at] = (char)(v >> 8);
  s[at + 1] = (char)v;
}

// Offset of the data of the first chunk of an IFF file when its id is id
// (the "AT&T" magic is optional); 0 otherwise.
size_t FirstChunk(const std::string &s, const char *id)
{
  size_t base = s.compare(0, 4, "AT&T") == 0 ? 4 : 0;
  return s.size() > base + 20 && s.compare(base + 12, 4, id) == 0 ? base + 20 : 0;
}

// The default limit again, whatever a test set.
struct RestoreLimit
{
  ~RestoreLimit() { SetMaxImagePixels(0); }
};

} // namespace

TEST(PixelLimit, DefaultOpensAnA1MapAt600Dpi)
{
  RestoreLimit restore;
  SetMaxImagePixels(0);
  EXPECT_EQ(GetMaxImagePixels(), DJVU_DEFAULT_MAX_PIXELS);
  EXPECT_TRUE(CheckImagePixels(14043, 19866)); // 279 megapixels
  EXPECT_FALSE(CheckImagePixels(20000, 20000));
  EXPECT_STREQ(g_szLastImageError,
               "Image too large: 20000 x 20000 pixels (400.0 megapixels; the limit is 300 megapixels)");
  // Sizes that overflow a naive product are refused, not wrapped.
  EXPECT_FALSE(CheckImagePixels(INT64_MAX, INT64_MAX));
  EXPECT_FALSE(CheckImagePixels(0, 10));
  SetMaxImagePixels(1000);
  EXPECT_EQ(GetMaxImagePixels(), 1000);
  EXPECT_TRUE(CheckImagePixels(1000, 1));
  EXPECT_FALSE(CheckImagePixels(1001, 1));
  SetMaxImagePixels(-5);
  EXPECT_EQ(GetMaxImagePixels(), DJVU_DEFAULT_MAX_PIXELS);
}

// Small files whose headers declare huge pictures: refused from the header
// with the size named (a reader that allocated first would take seconds and
// gigabytes, or fail with another message).
TEST(PixelLimit, CraftedHeadersAreRefusedWithTheSize)
{
  RestoreLimit restore;
  SetMaxImagePixels(0);
  std::string dir = Scratch("limit-crafted");
  std::string rle4 = ReadFile(Corpus("bmp/rle4-padded.bmp"));
  std::string jpeg = ReadFile(Corpus("jpeg/baseline-227x149.jpg"));
  std::string djvu = ReadFile(Corpus("djvu/formatdoc-p61-table-bitonal.djvu"));
  std::string iw44 = ReadFile(Corpus("djvu/photo-astronaut.iw44"));
  ASSERT_FALSE(rle4.empty() || jpeg.empty() || djvu.empty() || iw44.empty());

  // The 4 KB RLE4 file that declares 8,323,072 x 64 pixels.
  std::string bmp = rle4;
  const uint32_t wide = 8323072;
  std::memcpy(&bmp[18], &wide, 4);
  WriteFile(dir + "/wide.bmp", bmp);
  WriteFile(dir + "/big.pgm", "P5\n20000 20000\n255\n" + std::string(64, '\x80'));
  {
    TIFF *t = TIFFOpen((dir + "/big.tif").c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 30000);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 20000);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 20000);
    TIFFWriteRawStrip(t, 0, (void *)"0123456789", 10);
    TIFFWriteDirectory(t);
    TIFFClose(t);
  }
  size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  Put16BE(jpeg, sof + 5, 40000); // height
  Put16BE(jpeg, sof + 7, 50000); // width
  WriteFile(dir + "/big.jpg", jpeg);
  size_t info = FirstChunk(djvu, "INFO");
  ASSERT_NE(info, 0u);
  Put16BE(djvu, info, 65535);
  Put16BE(djvu, info + 2, 65535);
  WriteFile(dir + "/big.djvu", djvu);
  size_t pm44 = FirstChunk(iw44, "PM44");
  ASSERT_NE(pm44, 0u);
  Put16BE(iw44, pm44 + 4, 30000);
  Put16BE(iw44, pm44 + 6, 30000);
  WriteFile(dir + "/big.iw44", iw44);

  const struct
  {
    const char *file, *size;
  } cases[] = {
      {"wide.bmp", "8323072 x 64 pixels (532.7 megapixels"},
      {"big.pgm", "20000 x 20000 pixels (400.0 megapixels"},
      {"big.tif", "30000 x 20000 pixels (600.0 megapixels"},
      {"big.jpg", "50000 x 40000 pixels (2000.0 megapixels"},
      {"big.djvu", "65535 x 65535 pixels (4294.8 megapixels"},
      {"big.iw44", "30000 x 30000 pixels (900.0 megapixels"},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.file);
    CDibImage img;
    g_szLastImageError[0] = 0;
    EXPECT_EQ(LoadAny(img, (dir + "/" + c.file).c_str()), 0);
    EXPECT_TRUE(img.IsEmpty());
    std::string want = std::string("Image too large: ") + c.size + "; the limit is 300 megapixels)";
    EXPECT_NE(std::strstr(g_szLastImageError, want.c_str()), nullptr) << g_szLastImageError;
  }
}

// Every reader checks the picture's own size: a limit of exactly width x
// height opens the file, one pixel less refuses it.
TEST(PixelLimit, EveryReaderHonoursTheLimit)
{
  RestoreLimit restore;
  const struct
  {
    const char *file;
    int width, height;
  } cases[] = {
      {"bmp/pal8rle.bmp", 127, 64},
      {"bmp/rgb24.bmp", 127, 64},
      {"pnm/minisblack-8bit.pgm", 157, 151},
      {"tiff/minisblack-8bit.tif", 157, 151},
      {"tiff/ycbcr-jpeg-tiled.tif", 0, 0}, // through libtiff's RGBA interface
      {"jpeg/baseline-227x149.jpg", 227, 149},
      {"djvu/formatdoc-p61-table-bitonal.djvu", 2550, 3300},
      {"djvu/photo-astronaut.iw44", 512, 512},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.file);
    std::string path = Corpus(c.file);
    ASSERT_FALSE(path.empty());
    SetMaxImagePixels(0);
    CDibImage probe;
    ASSERT_EQ(LoadAny(probe, path.c_str()), 1) << g_szLastImageError;
    const int w = probe.m_nSourceWidth, h = probe.m_nSourceHeight;
    if (c.width)
    {
      EXPECT_EQ(w, c.width);
      EXPECT_EQ(h, c.height);
    }
    SetMaxImagePixels((int64_t)w * h);
    CDibImage at;
    EXPECT_EQ(LoadAny(at, path.c_str()), 1) << g_szLastImageError;
    SetMaxImagePixels((int64_t)w * h - 1);
    CDibImage over;
    g_szLastImageError[0] = 0;
    EXPECT_EQ(LoadAny(over, path.c_str()), 0);
    std::string want = "Image too large: " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
    EXPECT_NE(std::strstr(g_szLastImageError, want.c_str()), nullptr) << g_szLastImageError;
  }
}
