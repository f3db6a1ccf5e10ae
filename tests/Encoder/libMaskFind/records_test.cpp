// MaskFinderEntry over the Image API's records: the pixel image and the
// size-prefixed mask parameter record give the same runs as the finder's own
// records, and only the bytes the record's size covers are read.
#include "TestImages.h"
#include "djvuapi.h"
#include "maskfind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

mftest::Picture Strokes(int w, int h, int channels)
{
  mftest::Picture pic;
  pic.w = w;
  pic.h = h;
  pic.channels = channels;
  pic.pixels.assign((size_t)w * h * channels, 230);
  for (int gx = 8; gx + 12 < w; gx += 20)
    for (int y = 10; y < h - 10; y++)
      for (int x = gx; x < gx + 12; x++)
        if (x < gx + 3 || (y % 16) < 3 || ((x + y) % 29) == 0)
          for (int c = 0; c < channels; c++)
            pic.at(y, x, c) = (uint8_t)(c * 30);
  return pic;
}

std::vector<int32_t> Runs(MaskRunList *l)
{
  EXPECT_NE(l, nullptr);
  if (!l)
    return {};
  std::vector<int32_t> v;
  for (int32_t i = 0; i < l->count; i++)
    v.insert(v.end(), l->runs + 4 * i, l->runs + 4 * i + 3); // the id is free
  MaskRunListFree(l);
  return v;
}

djvu_pixel_image ImageOf(const mftest::Band &b)
{
  djvu_pixel_image img{};
  img.flags = b.band.flags | DJVU_BOTTOMUP;
  img.w = b.band.w;
  img.h = b.band.h;
  img.offset = b.band.offset;
  img.rowsize = b.band.rowsize;
  img.pixsize = b.band.pixsize;
  img.data = const_cast<unsigned char *>(b.band.data);
  return img;
}

std::string g_message;
void Record(const char *message, const char *, int, void *)
{
  g_message = message;
}

} // namespace

TEST(ApiRecords, SameRunsAsTheFindersOwnRecords)
{
  struct Case
  {
    int channels;
    bool bgr;
    djvu_mask_params params;
  } cases[] = {
      {1, false, {36, 0, 0, 0, 300, 225, 125, 0, 0}}, {3, false, {36, 300, 0, 0, 300, 0, 0, 0, 0}},
      {3, true, {36, 0, 0, 4, 300, 225, 125, 0, 0}},  {3, true, {36, 0, 100, 0, 300, 225, 125, 0, 0}},
      {1, false, {36, 0, 0, 7, 300, 225, 125, 0, 0}}, {1, false, {36, -300, 140, 2, 0, 0, 0, 0, 0}},
  };
  for (const auto &c : cases)
  {
    mftest::Picture pic = Strokes(120, 72, c.channels);
    mftest::Band b = mftest::MakeBand(pic, 0, pic.h, c.bgr);
    const djvu_pixel_image img = ImageOf(b);
    const MaskFindParams own{c.params.filter_level, c.params.multi_forback, c.params.switches};
    const std::vector<int32_t> expected = Runs(MaskFinderEntry(&own, &b.band));
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(Runs(MaskFinderEntry(&c.params, &img)), expected)
        << c.channels << " " << c.bgr << " " << c.params.switches;
  }
}

TEST(ApiRecords, OnlyTheBytesTheSizeCoversAreRead)
{
  mftest::Picture pic = Strokes(120, 72, 3);
  // Speckle so that the filter level and the switches change the result.
  for (int k = 0; k < 50; k++)
    for (int c = 0; c < 3; c++)
      pic.at(12 + (k * 37) % 50, (k * 53) % 118, c) = (uint8_t)(k % 4 * 30);
  mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
  const djvu_pixel_image img = ImageOf(b);
  auto own = [&](int32_t level, int32_t forback, int32_t switches)
  {
    const MaskFindParams p{level, forback, switches};
    return Runs(MaskFinderEntry(&p, &b.band));
  };
  const std::vector<int32_t> defaults = own(0, 0, 0);
  ASSERT_NE(own(1500, 0, 0), defaults);
  ASSERT_NE(own(1500, 0, 7), own(1500, 0, 0));

  struct Case
  {
    int32_t size;
    std::vector<int32_t> expected;
  } cases[] = {
      {0, defaults},             // size 0: the defaults
      {-8, defaults},            // nonsense size: the defaults
      {4, defaults},             // the size field only
      {8, own(1500, 0, 0)},      // filter level
      {12, own(1500, 140, 0)},   // and the split level
      {16, own(1500, 140, 7)},   // and the switches
      {36, own(1500, 140, 7)},   // the whole record
      {1000, own(1500, 140, 7)}, // longer than the record: 36 bytes
  };
  for (const auto &c : cases)
  {
    const djvu_mask_params p{c.size, 1500, 140, 7, 1, 2, 3, 4, 5};
    EXPECT_EQ(Runs(MaskFinderEntry(&p, &img)), c.expected) << c.size;
  }
  EXPECT_EQ(Runs(MaskFinderEntry(static_cast<const djvu_mask_params *>(nullptr), &img)), defaults);
}

TEST(ApiRecords, MissingImageIsReported)
{
  MaskFindSetErrorHandler(Record, nullptr);
  g_message.clear();
  const djvu_mask_params p = DJVU_MASK_PARAMS_DEFAULTS;
  EXPECT_EQ(MaskFinderEntry(&p, static_cast<const djvu_pixel_image *>(nullptr)), nullptr);
  EXPECT_EQ(g_message, "Not a grey image");
  MaskFindSetErrorHandler(nullptr, nullptr);
}
