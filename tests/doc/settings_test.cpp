// Settings store: defaults, round trips, damaged files, file location and
// the safe rewrite.
#include "Settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace
{

std::string TestDir(const char *name)
{
  const char *base = getenv("VELLUM_TEST_TMP");
  fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "settings" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::string ReadAll(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string &path, const std::string &text)
{
  std::ofstream out(path, std::ios::binary);
  out << text;
}

} // namespace

TEST(Settings, DefaultsWithoutFile)
{
  std::string dir = TestDir("defaults");
  CVellumSettings s;
  s.LoadSettings(dir + "/missing.ini");
  EXPECT_EQ(s.ImageFit, 0);
  EXPECT_EQ(s.WindowFit, 1);
  EXPECT_EQ(s.WindowCenter, 1);
  EXPECT_EQ(s.OpenDir, "");
  EXPECT_EQ(s.OpenType, 100); // all supported files (7 is PNG)
  EXPECT_EQ(s.SaveDir, "");
  EXPECT_EQ(s.SaveType, 1);
  EXPECT_EQ(s.LCOpenDir, CVellumSettings::HomeDir());
  EXPECT_EQ(s.LCOpenType, 100);
  EXPECT_EQ(s.NoStartupInfo, 0);
  EXPECT_EQ(s.PrintSize, 0);
  EXPECT_EQ(s.ShrinkPrint, 1);
  EXPECT_EQ(s.FancyZoom, 1);
  EXPECT_EQ(s.Dither, 1);
  EXPECT_FLOAT_EQ(s.DisplayGamma, 2.2f);
  EXPECT_EQ(s.SlideDelay, 5);
  EXPECT_EQ(s.DjvuQuickSet, -1);
  EXPECT_EQ(s.DjvuPhotoQty, 80);
  EXPECT_FLOAT_EQ(s.DjvuPhotoGamma, 2.2f);
  EXPECT_EQ(s.DjvuUpsample, 0);
  EXPECT_EQ(s.Iw44PhotoQty, 80);
  EXPECT_EQ(s.Iw44Crcb, 0);
  EXPECT_FLOAT_EQ(s.Iw44PhotoGamma, 2.2f);
  EXPECT_EQ(s.JpegQty, 75);
  EXPECT_EQ(s.JpegSmooth, 0);
  EXPECT_EQ(s.JpegOptHuff, 0);
  EXPECT_EQ(s.JpegEncodeDCT, 0);
  EXPECT_EQ(s.JpegDecodeDCT, 0);
  for (auto &f : s.RecentFiles)
    EXPECT_EQ(f, "");
  EXPECT_EQ(CVellumSettings::HomeDir(), fs::path(getenv("HOME")).lexically_normal().string());
}

TEST(Settings, SaveWritesEveryKeyInTableOrder)
{
  std::string dir = TestDir("order");
  CVellumSettings s;
  ASSERT_TRUE(s.SaveSettings(dir + "/Vellum.ini"));
  std::string text = ReadAll(dir + "/Vellum.ini");
  const char *order[] = {"[General]",
                         "ImageFit=0",
                         "WindowFit=1",
                         "WindowCenter=1",
                         "OpenDir=\n",
                         "OpenType=100",
                         "SaveDir=\n",
                         "SaveType=1",
                         "LCOpenDir=",
                         "LCOpenType=100",
                         "NoStartupInfo=0",
                         "PrintSize=0",
                         "ShrinkPrint=1",
                         "FancyZoom=1",
                         "Dither=1",
                         "DisplayGamma=2.2",
                         "SlideDelay=5",
                         "MaxPixels=300000000",
                         "[DjVu]",
                         "DjvuQuickSet=-1",
                         "DjvuPhotoQty=80",
                         "DjvuNoThick=0",
                         "DjvuLossless=0",
                         "DjvuTextOnly=0",
                         "DjvuPhotoGamma=2.2",
                         "DjvuNoColorFilter=0",
                         "DjvuNoInvFilter=0",
                         "DjvuNoSizeFilter=0",
                         "DjvuFilterLevel=0",
                         "DjvuForeback=0",
                         "DjvuUpsample=0",
                         "DjvuProfile=0",
                         "[IW44]",
                         "Iw44PhotoQty=80",
                         "Iw44Crcb=0",
                         "Iw44PhotoGamma=2.2",
                         "[JPEG]",
                         "JpegQty=75",
                         "JpegSmooth=0",
                         "JpegOptHuff=0",
                         "JpegEncodeDCT=0",
                         "JpegDecodeDCT=0"};
  size_t at = 0;
  for (const char *key : order)
  {
    size_t found = text.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " missing or out of order in\n" << text;
    at = found;
  }
  EXPECT_EQ(text.find("Recent File List"), std::string::npos); // no entries yet
}

TEST(Settings, RoundTripAndRealRounding)
{
  std::string dir = TestDir("roundtrip");
  std::string path = dir + "/Vellum.ini";
  CVellumSettings s;
  s.ImageFit = 3;
  s.OpenDir = "/tmp/some dir";
  s.DjvuFilterLevel = -200;
  s.DjvuUpsample = 2;
  s.DisplayGamma = 2.25f; // one decimal survives
  s.DjvuPhotoGamma = 0.04f;
  s.Iw44PhotoGamma = 9.96f;
  s.JpegQty = 100;
  s.AddRecentFile("/a.djvu");
  s.AddRecentFile("/b.tif");
  ASSERT_TRUE(s.SaveSettings(path));

  CVellumSettings r;
  r.LoadSettings(path);
  EXPECT_EQ(r.ImageFit, 3);
  EXPECT_EQ(r.OpenDir, "/tmp/some dir");
  EXPECT_EQ(r.DjvuFilterLevel, -200);
  EXPECT_EQ(r.DjvuUpsample, 2);
  // 2.25f is 2.25 exactly; "%2.1f" rounds the tie to even.
  EXPECT_FLOAT_EQ(r.DisplayGamma, 2.2f);
  EXPECT_FLOAT_EQ(r.DjvuPhotoGamma, 0.0f);
  EXPECT_FLOAT_EQ(r.Iw44PhotoGamma, 10.0f);
  EXPECT_EQ(r.JpegQty, 100);
  EXPECT_EQ(r.RecentFiles[0], "/b.tif");
  EXPECT_EQ(r.RecentFiles[1], "/a.djvu");
  EXPECT_EQ(r.RecentFiles[2], "");
}

TEST(Settings, RealFormatIgnoresLocale)
{
  // A GUI may switch LC_NUMERIC to a comma locale; the file must not change.
  const char *old = setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  bool comma = setlocale(LC_NUMERIC, "de_DE.UTF-8") || setlocale(LC_NUMERIC, "fr_FR.UTF-8");
  EXPECT_EQ(FormatReal(2.2f), "2.2");
  EXPECT_EQ(FormatReal(0.0f), "0.0");
  EXPECT_EQ(FormatReal(-1.25f), "-1.2");
  EXPECT_FLOAT_EQ(ParseReal("3.5"), 3.5f);
  setlocale(LC_NUMERIC, saved.c_str());
  if (!comma)
    GTEST_LOG_(INFO) << "no comma locale installed; checked in the C locale only";
}

TEST(Settings, ParseRealIsAtof)
{
  struct
  {
    const char *text;
    float want;
  } cases[] = {{"2.2", 2.2f},   {"  1.5xyz", 1.5f}, {"abc", 0.0f},   {"", 0.0f},
               {"-0.5", -0.5f}, {"+4", 4.0f},       {"1e1", 10.0f},  {"--1", 0.0f},
               {"inf", 0.0f},   {"nan", 0.0f},      {"1e999", 0.0f}, {".5", 0.5f}};
  for (auto &c : cases)
    EXPECT_FLOAT_EQ(ParseReal(c.text), c.want) << c.text;
}

TEST(Settings, DamagedFileLoadsWhatItCan)
{
  std::string dir = TestDir("damaged");
  std::string path = dir + "/Vellum.ini";
  WriteAll(path, "garbage line\n\x01\x02\xff\n[general]\r\n  imagefit = 2 \r\nWindowFit=abc\n"
                 "SlideDelay=99999999999999\nDisplayGamma=junk\nOpenDir=\"/quoted/dir\"\n"
                 "[JPEG\nJpegQty=12\n[JPEG]\nJpegSmooth=-3x\n=novalue\n[Recent File List]\n"
                 "File3=/only/third\n");
  CVellumSettings s;
  s.LoadSettings(path);
  EXPECT_EQ(s.ImageFit, 2);            // case and blanks do not matter
  EXPECT_EQ(s.WindowFit, 1);           // not a number: default
  EXPECT_EQ(s.SlideDelay, 5);          // out of range: default
  EXPECT_FLOAT_EQ(s.DisplayGamma, 0);  // reals read as atof does
  EXPECT_EQ(s.OpenDir, "/quoted/dir"); // quotes dropped
  EXPECT_EQ(s.JpegQty, 75);            // broken header: the key is in [general]
  EXPECT_EQ(s.JpegSmooth, -3);
  EXPECT_EQ(s.RecentFiles[2], "/only/third");

  // Saving keeps foreign lines and sections and replaces the known keys once.
  ASSERT_TRUE(s.SaveSettings(path));
  std::string text = ReadAll(path);
  EXPECT_NE(text.find("garbage line"), std::string::npos);
  EXPECT_EQ(text.find("imagefit = 2"), std::string::npos);
  EXPECT_NE(text.find("imagefit=2"), std::string::npos);
  size_t first = text.find("JpegQty=");
  EXPECT_NE(first, std::string::npos);
  CVellumSettings r;
  r.LoadSettings(path);
  EXPECT_EQ(r.ImageFit, 2);
  EXPECT_EQ(r.RecentFiles[2], "/only/third");
  EXPECT_EQ(r.RecentFiles[0], "");
}

TEST(Settings, RecentList)
{
  CVellumSettings s;
  for (const char *f : {"/1", "/2", "/3", "/4", "/5", "/6"})
    s.AddRecentFile(f);
  EXPECT_EQ(s.RecentFiles[0], "/6");
  EXPECT_EQ(s.RecentFiles[4], "/2");
  s.AddRecentFile("/4");
  EXPECT_EQ(s.RecentFiles[0], "/4");
  EXPECT_EQ(s.RecentFiles[1], "/6");
  EXPECT_EQ(s.RecentFiles[2], "/5");
  EXPECT_EQ(s.RecentFiles[3], "/3");
  EXPECT_EQ(s.RecentFiles[4], "/2");
}

TEST(Settings, FileLocation)
{
  std::string dir = TestDir("location");
  std::string prog = dir + "/bin";
  fs::create_directories(prog);
  // Never the real home, even when run outside CTest.
  std::string config = dir + "/config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const char *xdg = config.c_str();
  // No file beside the program: the per-user file.
  EXPECT_EQ(CVellumSettings::SettingsPath(prog), std::string(xdg) + "/vellum/Vellum.ini");
  EXPECT_EQ(CVellumSettings::SettingsPath(prog + "/"), std::string(xdg) + "/vellum/Vellum.ini");
  // A portable installation keeps its file beside the program.
  WriteAll(prog + "/Vellum.ini", "[General]\nImageFit=1\n");
  EXPECT_EQ(CVellumSettings::SettingsPath(prog), prog + "/Vellum.ini");

  // Saving to the per-user file creates its folder.
  fs::remove_all(std::string(xdg) + "/vellum");
  CVellumSettings s;
  s.SlideDelay = 42;
  ASSERT_TRUE(s.SaveSettings());
  EXPECT_TRUE(fs::exists(std::string(xdg) + "/vellum/Vellum.ini"));
  CVellumSettings r;
  r.LoadSettings();
  EXPECT_EQ(r.SlideDelay, 42);
}

TEST(Settings, FailedSaveKeepsOldFile)
{
  std::string dir = TestDir("keep");
  std::string path = dir + "/Vellum.ini";
  CVellumSettings s;
  s.JpegQty = 33;
  ASSERT_TRUE(s.SaveSettings(path));
  std::string before = ReadAll(path);
  // A folder that cannot take the temporary file.
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  s.JpegQty = 44;
  bool saved = s.SaveSettings(path);
  fs::permissions(dir, fs::perms::owner_all);
  if (geteuid() != 0) // root ignores the permission bits
  {
    EXPECT_FALSE(saved);
  }
  if (!saved)
  {
    EXPECT_EQ(ReadAll(path), before);
  }
  // No temporary left behind either way.
  int files = 0;
  for (auto &e : fs::directory_iterator(dir))
  {
    (void)e;
    files++;
  }
  EXPECT_EQ(files, 1);
  // A target that is a folder cannot be replaced.
  fs::create_directories(dir + "/sub.ini");
  EXPECT_FALSE(s.SaveSettings(dir + "/sub.ini"));
}
