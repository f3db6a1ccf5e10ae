// Resolutions as the reference tools read them: every corpus JPEG against
// ImageMagick and every corpus TIFF against tiffinfo, per inch or per
// centimetre, in dots per inch.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "DibImage.h"
#include "FilesTestUtil.h"

using namespace files_test;

namespace
{

int Dpi(double value, bool perCm)
{
  return static_cast<int>(std::floor((perCm ? value * 2.54 : value) + 0.5));
}

// ImageMagick's reading: "x y unit"; without a unit the file has none
// (ImageMagick then reports its default, which the file does not hold).
bool MagickDpi(const std::string &path, int *x, int *y)
{
  std::string out;
  if (!Run("identify -format '%x %y %U\\n' '" + path + "'[0] 2>/dev/null", out))
    return false;
  std::istringstream in(out);
  double xr = 0, yr = 0;
  std::string unit;
  if (!(in >> xr >> yr >> unit))
    return false;
  const bool cm = unit == "PixelsPerCentimeter";
  *x = unit == "Undefined" ? 0 : Dpi(xr, cm);
  *y = unit == "Undefined" ? 0 : Dpi(yr, cm);
  return true;
}

// tiffinfo's "Resolution: x, y unit" of the first directory; none: 0.
bool TiffinfoDpi(const std::string &path, int *x, int *y)
{
  std::string out;
  if (!Run("tiffinfo -0 '" + path + "' 2>/dev/null", out))
    return false;
  *x = *y = 0;
  const size_t at = out.find("Resolution: ");
  if (at == std::string::npos)
    return true;
  std::string line = out.substr(at + 12, out.find('\n', at) - at - 12);
  double xr = 0, yr = 0;
  if (std::sscanf(line.c_str(), "%lf, %lf", &xr, &yr) != 2)
    return false;
  const bool cm = line.find("pixels/cm") != std::string::npos;
  *x = xr > 0 ? Dpi(xr, cm) : 0;
  *y = yr > 0 ? Dpi(yr, cm) : 0;
  return true;
}

} // namespace

TEST(Resolution, CorpusMatchesTheReferenceTools)
{
  auto jpegs = CorpusFiles("jpeg", {".jpg"});
  auto tiffs = CorpusFiles("tiff", {".tif"});
  ASSERT_FALSE(jpegs.empty());
  ASSERT_FALSE(tiffs.empty());
  bool sawCm = false;
  for (const auto &list : {jpegs, tiffs})
    for (const std::string &f : list)
    {
      SCOPED_TRACE(f);
      const bool jpeg = f.size() > 4 && f.compare(f.size() - 4, 4, ".jpg") == 0;
      int wantX = 0, wantY = 0;
      ASSERT_TRUE(jpeg ? MagickDpi(f, &wantX, &wantY) : TiffinfoDpi(f, &wantX, &wantY));
      CDibImage img;
      ASSERT_EQ(jpeg ? img.LoadJpeg(f.c_str(), 24, 0, 5) : img.LoadTiff(f.c_str(), 0, 5), 1)
          << g_szLastImageError;
      EXPECT_EQ(img.m_nXDpi, wantX);
      EXPECT_EQ(img.m_nYDpi, wantY);
      sawCm = sawCm || f.find("cm") != std::string::npos;
    }
  EXPECT_TRUE(sawCm); // the corpus has its centimetre files
}
