#include "Scanner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>

using namespace vellum;

namespace
{

struct Header
{
  int32_t width, height;
  int bits;
  int32_t xppm, yppm;
  size_t paletteBytes;
};

int32_t Get32(const std::vector<uint8_t> &b, size_t at)
{
  return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24));
}

Header Parse(const std::vector<uint8_t> &dib)
{
  Header h{};
  EXPECT_GE(dib.size(), 40u);
  if (dib.size() < 40)
    return h;
  EXPECT_EQ(Get32(dib, 0), 40);
  h.width = Get32(dib, 4);
  h.height = Get32(dib, 8);
  h.bits = dib[14] | (dib[15] << 8);
  h.xppm = Get32(dib, 24);
  h.yppm = Get32(dib, 28);
  h.paletteBytes = h.bits <= 8 ? 4u << h.bits : 0;
  const size_t stride = ((h.bits * h.width + 31) / 32) * 4;
  EXPECT_EQ(dib.size(), 40 + h.paletteBytes + stride * h.height);
  return h;
}

ScanFrame Frame(int format, int depth, int ppl, int lines, std::vector<uint8_t> data)
{
  ScanFrame f;
  f.format = format;
  f.depth = depth;
  f.pixelsPerLine = ppl;
  f.lines = lines;
  f.bytesPerLine = static_cast<int>(data.size()) / lines;
  f.data = std::move(data);
  return f;
}

// SANE's test backend leaks buffers of its own for 1-bit, 16-bit and colour
// scans (frames are read to the end and cancelled as usual). Under
// AddressSanitizer only grey scans go through SANE; the other frame kinds
// are covered by the packing tests there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeakCheckedRun = true;
#else
constexpr bool kLeakCheckedRun = false;
#endif

// The private SANE configuration: only the test backend.
class SaneTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    const char *tmp = std::getenv("VELLUM_TEST_TMP");
    std::string dir = std::string(tmp ? tmp : "/tmp") + "/sane-config";
    mkdir(dir.c_str(), 0700);
    std::ofstream(dir + "/dll.conf") << "test\n";
    setenv("SANE_CONFIG_DIR", dir.c_str(), 1);
  }
  void SetUp() override
  {
    Scanner::Instance().ClearOptions();
    Scanner::Instance().SelectSource("");
  }
  static std::vector<uint8_t> Scan(std::initializer_list<std::pair<const char *, const char *>> options)
  {
    Scanner &s = Scanner::Instance();
    s.ClearOptions();
    s.SetOption("resolution", "50");
    s.SetOption("tl-x", "0");
    s.SetOption("tl-y", "0");
    s.SetOption("br-x", "20");
    s.SetOption("br-y", "10");
    for (const auto &o : options)
      s.SetOption(o.first, o.second);
    return s.Acquire();
  }
};

} // namespace

TEST(ScanFrames, PackedIntoBitmaps)
{
  std::string err;
  // Grey 8: rows stored bottom-up with an ascending grey palette.
  auto dib = PackFramesToDib({Frame(kFrameGray, 8, 3, 2, {1, 2, 3, 4, 5, 6})}, 100, 0, &err);
  Header h = Parse(dib);
  EXPECT_EQ(h.bits, 8);
  EXPECT_EQ(h.xppm, 3937);
  EXPECT_EQ(h.yppm, 3937); // no vertical resolution: the horizontal one
  EXPECT_EQ(dib[40 + 4 * 200], 200);
  const uint8_t *rows = dib.data() + 40 + 1024;
  EXPECT_EQ(rows[0], 4); // bottom row first
  EXPECT_EQ(rows[4], 1);

  // Grey 16: the high byte (little-endian samples).
  dib = PackFramesToDib({Frame(kFrameGray, 16, 2, 1, {0x34, 0x12, 0xFF, 0xAB})}, 0, 0, &err);
  h = Parse(dib);
  EXPECT_EQ(dib[40 + 1024], 0x12);
  EXPECT_EQ(dib[40 + 1024 + 1], 0xAB);

  // Line art: SANE's set bits are black; ours are white (entry 1).
  dib = PackFramesToDib({Frame(kFrameGray, 1, 10, 1, {0xF0, 0xC0})}, 0, 0, &err);
  h = Parse(dib);
  EXPECT_EQ(h.bits, 1);
  EXPECT_EQ(dib[40 + 4], 255); // palette entry 1 white
  EXPECT_EQ(dib[48], 0x0F);
  EXPECT_EQ(dib[49], 0x00); // two pixels of ink, padding bits clear

  // Colour 8 and three-pass frames give the same blue, green, red pixels.
  auto one = PackFramesToDib({Frame(kFrameRgb, 8, 2, 1, {10, 20, 30, 40, 50, 60})}, 0, 0, &err);
  auto three = PackFramesToDib({Frame(kFrameBlue, 8, 2, 1, {30, 60}), Frame(kFrameRed, 8, 2, 1, {10, 40}),
                                Frame(kFrameGreen, 8, 2, 1, {20, 50})},
                               0, 0, &err);
  ASSERT_EQ(one, three);
  EXPECT_EQ(Parse(one).bits, 24);
  EXPECT_EQ(one[40], 30);
  EXPECT_EQ(one[42], 10);

  // Colour 16.
  dib = PackFramesToDib({Frame(kFrameRgb, 16, 1, 1, {0, 1, 0, 2, 0, 3})}, 0, 0, &err);
  EXPECT_EQ((std::vector<uint8_t>(dib.begin() + 40, dib.begin() + 43)), (std::vector<uint8_t>{3, 2, 1}));
}

TEST(ScanFrames, InconsistentFramesRefused)
{
  struct Case
  {
    const char *what;
    std::vector<ScanFrame> frames;
  };
  ScanFrame shortData = Frame(kFrameGray, 8, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  shortData.data.resize(5);
  ScanFrame narrowLine = Frame(kFrameRgb, 8, 4, 1, {1, 2, 3});
  const Case cases[] = {
      {"nothing", {}},
      {"short data", {shortData}},
      {"line shorter than its pixels", {narrowLine}},
      {"depth 4", {Frame(kFrameGray, 4, 2, 1, {0})}},
      {"two of three passes", {Frame(kFrameRed, 8, 1, 1, {1}), Frame(kFrameGreen, 8, 1, 1, {1})}},
      {"passes of different widths",
       {Frame(kFrameRed, 8, 1, 1, {1}), Frame(kFrameGreen, 8, 2, 1, {1, 2}),
        Frame(kFrameBlue, 8, 1, 1, {1})}},
      {"unknown format", {Frame(9, 8, 1, 1, {1})}},
      {"zero lines", {ScanFrame()}},
  };
  for (const Case &c : cases)
  {
    std::string err;
    EXPECT_TRUE(PackFramesToDib(c.frames, 0, 0, &err).empty()) << c.what;
    EXPECT_FALSE(err.empty()) << c.what;
  }
}

TEST_F(SaneTest, TestBackendListsAndSelects)
{
  Scanner &s = Scanner::Instance();
  s.StartProbe();
  EXPECT_TRUE(s.IsSourceManagerAvailable());
  EXPECT_EQ(s.Poll(), Scanner::kAvailable);
  const auto devices = s.Devices();
  ASSERT_GE(devices.size(), 1u);
  EXPECT_EQ(devices[0].name.rfind("test:", 0), 0u);
  s.SelectSource(devices.back().name);
  EXPECT_EQ(s.SelectedSource(), devices.back().name);
  s.SelectSource("no-such-device:7");
  EXPECT_TRUE(s.Acquire().empty());
  EXPECT_FALSE(s.LastError().empty());
}

TEST_F(SaneTest, GreyColourLineArtThreePassAndHandScanner)
{
  // 20 x 10 mm at 50 dpi.
  auto white = Scan({{"mode", "Gray"}, {"depth", "8"}, {"test-picture", "Solid white"}});
  Header h = Parse(white);
  ASSERT_EQ(h.bits, 8);
  EXPECT_NEAR(h.width, 39, 1);
  EXPECT_NEAR(h.height, 20, 1);
  EXPECT_EQ(h.xppm, 1968); // 50 dpi
  for (size_t i = 40 + 1024; i < white.size(); i += ((h.width + 3) / 4) * 4)
    ASSERT_EQ(white[i], 255);

  if (!kLeakCheckedRun)
  {
    auto black = Scan({{"mode", "Gray"}, {"depth", "1"}, {"test-picture", "Solid black"}});
    h = Parse(black);
    ASSERT_EQ(h.bits, 1);
    EXPECT_EQ(black[48], 0); // ink: palette entry 0, black

    auto colour = Scan({{"mode", "Color"}, {"depth", "16"}, {"test-picture", "Color pattern"}});
    h = Parse(colour);
    EXPECT_EQ(h.bits, 24);

    auto threePass =
        Scan({{"mode", "Color"}, {"depth", "8"}, {"three-pass", "yes"}, {"test-picture", "Color pattern"}});
    auto onePass = Scan({{"mode", "Color"}, {"depth", "8"}, {"test-picture", "Color pattern"}});
    ASSERT_FALSE(threePass.empty()) << Scanner::Instance().LastError();
    EXPECT_EQ(threePass, onePass);
  }

  auto hand =
      Scan({{"mode", "Gray"}, {"depth", "8"}, {"hand-scanner", "yes"}, {"test-picture", "Solid white"}});
  ASSERT_FALSE(hand.empty()) << Scanner::Instance().LastError();
  h = Parse(hand);
  EXPECT_GT(h.height, 0);
}
