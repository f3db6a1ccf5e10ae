// vellum-convert end to end: the real program on corpus files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

#include "DibImage.h"
#include "FilesTestUtil.h"

#ifdef VELLUM_CONVERT // the program is built

using namespace files_test;
namespace fs = std::filesystem;

namespace
{

struct Result
{
  int status;
  std::string out;
};

// Runs vellum-convert with args (shell-quoted by the caller); stderr joins
// stdout.
Result Convert(const std::string &args)
{
  std::string out;
  FILE *fp = popen((std::string(VELLUM_CONVERT) + " " + args + " 2>&1").c_str(), "r");
  if (!fp)
    return {-1, ""};
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, fp)) > 0)
    out.append(buf, n);
  int st = pclose(fp);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

int Lines(const std::string &s)
{
  return (int)std::count(s.begin(), s.end(), '\n');
}

// The chunk names djvudump lists for path, in order ("FORM:DJVU INFO Sjbz").
std::string Chunks(const std::string &path)
{
  std::string dump, names;
  if (!Run("djvudump '" + path + "' 2>&1", dump))
    return "";
  size_t pos = 0;
  while (pos < dump.size())
  {
    size_t end = dump.find('\n', pos);
    if (end == std::string::npos)
      end = dump.size();
    std::string line = dump.substr(pos, end - pos);
    pos = end + 1;
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos)
      continue;
    size_t stop = line.find_first_of(" [", start);
    if (!names.empty())
      names += ' ';
    names += line.substr(start, stop - start);
  }
  return names;
}

// ddjvu's rendering of path at full size.
Rgb Ddjvu(const std::string &path)
{
  std::string ppm;
  if (!Run("ddjvu -format=ppm '" + path + "' - 2>/dev/null", ppm))
    return {};
  return ParsePnm(ppm);
}

} // namespace

TEST(Convert, UsageErrors)
{
  EXPECT_EQ(Convert("--help").status, 0);
  EXPECT_NE(Convert("--help").out.find("Usage: vellum-convert"), std::string::npos);
  struct
  {
    const char *args;
  } cases[] = {{""},
               {"a.bmp"},
               {"-o x.bmp"},
               {"a.bmp -o x.gif"},
               {"a.bmp --rotate sideways -o x.bmp"},
               {"a.bmp --crop 5,5,1,1 -o x.bmp"},
               {"a.bmp --resize 0x5 -o x.bmp"},
               {"a.bmp --quality 101 -o x.jpg"},
               {"a.bmp --page 0 -o x.bmp"},
               {"a.bmp --filter-level 201 -o x.djvu"},
               {"a.bmp --upsample 4 -o x.djvu"},
               {"a.bmp --profile small -o x.djvu"},
               {"a.bmp -j 0 -o x.djvu"},
               {"a.bmp -jx -o x.djvu"},
               {"a.bmp --bogus -o x.bmp"},
               {"a.bmp b.bmp -o /no/such/folder"},
               {"a.bmp b.bmp -o /tmp"}}; // folder without --type
  for (auto &c : cases)
  {
    Result r = Convert(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
  }
}

TEST(Convert, BatchKeepsGoingAndNeverOverwrites)
{
  std::string bmp = Corpus("bmp/pal8.bmp");
  if (bmp.empty())
    FAIL() << "corpus data missing";
  std::string dir = Scratch("convert-batch");
  std::string args = "'" + bmp + "' '" + Corpus("bad/bmp-badrle.bmp") + "' '" + Corpus("pnm/rgb-8bit.ppm") +
                     "' /no/such.tif x.gif -t bmp -q -o " + dir;
  Result r = Convert(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), 3) << r.out; // one line per failed input
  EXPECT_NE(r.out.find("bmp-badrle.bmp: "), std::string::npos);
  EXPECT_NE(r.out.find("x.gif: File type not recognized!"), std::string::npos);
  ASSERT_TRUE(fs::exists(dir + "/pal8.bmp"));
  ASSERT_TRUE(fs::exists(dir + "/rgb-8bit.bmp"));
  // The same again: the outputs exist, nothing is overwritten...
  auto stamp = fs::last_write_time(dir + "/pal8.bmp");
  WriteFile(dir + "/rgb-8bit.bmp", "mine");
  r = Convert(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("exists (use -f to overwrite)"), std::string::npos);
  EXPECT_EQ(ReadFile(dir + "/rgb-8bit.bmp"), "mine");
  EXPECT_EQ(fs::last_write_time(dir + "/pal8.bmp"), stamp);
  // ...unless asked.
  r = Convert(args + " -f");
  EXPECT_EQ(r.status, 1);
  CDibImage a, b;
  ASSERT_EQ(a.LoadBmp((dir + "/rgb-8bit.bmp").c_str(), 5), 1);
  ASSERT_EQ(b.LoadPnm(Corpus("pnm/rgb-8bit.ppm").c_str(), 5), 1);
  EXPECT_EQ(MaxDiff(RecordRgb(a), RecordRgb(b)), 0);
  // No temporary files left behind.
  int files = 0;
  for (auto &e : fs::directory_iterator(dir))
    files += e.is_regular_file();
  EXPECT_EQ(files, 2);
}

TEST(Convert, OperationsInOrder)
{
  std::string src = Corpus("pnm/rgb-8bit.ppm");
  if (src.empty())
    FAIL() << "corpus data missing";
  std::string dir = Scratch("convert-ops");
  CDibImage want;
  ASSERT_EQ(want.LoadPnm(src.c_str(), 5), 1);
  // The record's own operations, in the same order.
  ASSERT_EQ(want.RotateRight(), 1);
  ASSERT_EQ(want.Crop(10, 20, 99, 69), 1);
  ASSERT_EQ(want.Mirror(), 1);
  ASSERT_EQ(want.Resample(45, 25, DIB_RESAMPLE_SINGLE), 1);
  ASSERT_EQ(want.Negative(), 1);
  Result r = Convert("'" + src +
                     "' --rotate right --crop 10,20,99,69 --mirror --resize 45x25 --method single "
                     "--negative -o " +
                     dir + "/out.ppm");
  ASSERT_EQ(r.status, 0) << r.out;
  CDibImage got;
  ASSERT_EQ(got.LoadPnm((dir + "/out.ppm").c_str(), 5), 1);
  EXPECT_EQ(got.m_nWidth, 45);
  EXPECT_EQ(got.m_nHeight, 25);
  EXPECT_EQ(MaxDiff(RecordRgb(got), RecordRgb(want)), 0);
  // A crop outside the picture fails that input with a clear line.
  r = Convert("'" + src + "' --crop 0,0,500,10 -o " + dir + "/bad.ppm");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("crop rectangle"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir + "/bad.ppm"));
  // Grey output is written as PGM.
  r = Convert("'" + src + "' --grey -t pnm -o " + dir);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(dir + "/rgb-8bit.pgm").substr(0, 2), "P5");
}

TEST(Convert, PagesAndJpegSettings)
{
  std::string tif = Corpus("tiff/multipage-palette-3p.tif");
  if (tif.empty())
    FAIL() << "corpus data missing";
  std::string dir = Scratch("convert-pages");
  Result r = Convert("'" + tif + "' --all-pages -t bmp -o " + dir);
  ASSERT_EQ(r.status, 0) << r.out;
  for (int p = 1; p <= 3; p++)
  {
    std::string out = dir + "/multipage-palette-3p-p" + std::to_string(p) + ".bmp";
    ASSERT_TRUE(fs::exists(out));
    CDibImage a, b;
    ASSERT_EQ(a.LoadBmp(out.c_str(), 5), 1);
    ASSERT_EQ(b.LoadTiff(tif.c_str(), p - 1, 5), 1);
    EXPECT_EQ(MaxDiff(RecordRgb(a), RecordRgb(b)), 0);
  }
  // A chain that loops back converts the pages before the loop.
  std::string loop = Corpus("tiff/ifd-loop-first.tif");
  r = Convert("'" + loop + "' --all-pages -t pnm -o " + dir);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Lines(r.out), 2) << r.out;
  EXPECT_TRUE(fs::exists(dir + "/ifd-loop-first-p2.pgm"));
  EXPECT_FALSE(fs::exists(dir + "/ifd-loop-first-p3.pgm"));
  r = Convert("'" + tif + "' --page 3 -o " + dir + "/third.bmp");
  ASSERT_EQ(r.status, 0) << r.out;
  CDibImage third;
  ASSERT_EQ(third.LoadBmp((dir + "/third.bmp").c_str(), 5), 1);
  EXPECT_EQ(third.m_nWidth, 20);
  r = Convert("'" + tif + "' --page 4 -o " + dir + "/fourth.bmp");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("page 4 does not exist"), std::string::npos);

  // JPEG options come from the settings file, the command line wins, and
  // the comment is the program's identification text.
  std::string ini = dir + "/Vellum.ini";
  WriteFile(ini, "[JPEG]\nJpegQty=10\n");
  std::string bmp = Corpus("bmp/rgb24.bmp");
  ASSERT_EQ(Convert("'" + bmp + "' --settings " + ini + " -o " + dir + "/q10.jpg").status, 0);
  ASSERT_EQ(Convert("'" + bmp + "' --settings " + ini + " --quality 95 -o " + dir + "/q95.jpg").status, 0);
  EXPECT_LT(ReadFile(dir + "/q10.jpg").size(), ReadFile(dir + "/q95.jpg").size());
  CDibImage img;
  ASSERT_EQ(img.LoadBmp(bmp.c_str(), 5), 1);
  ASSERT_EQ(img.SaveJpeg((dir + "/direct.jpg").c_str(), 10, 0, 0, 0, "Orvale Vellum Revision: 1.12 "), 1);
  EXPECT_EQ(ReadFile(dir + "/direct.jpg"), ReadFile(dir + "/q10.jpg"));
}

// The pixel limit comes from MaxPixels in the settings file, and
// --max-pixels wins over it; a refused input names its size.
TEST(Convert, PixelLimitFromSettingsAndOption)
{
  std::string bmp = Corpus("bmp/pal8.bmp"), djvu = Corpus("djvu/formatdoc-p61-table-bitonal.djvu");
  ASSERT_FALSE(bmp.empty() || djvu.empty());
  std::string dir = Scratch("convert-limit");
  std::string ini = dir + "/Vellum.ini";
  WriteFile(ini, "[General]\nMaxPixels=8127\n");
  const std::string refused =
      "Image too large: 127 x 64 pixels (0.0 megapixels; the limit is 0.008127 megapixels)";
  Result r = Convert("'" + bmp + "' --settings " + ini + " -o " + dir + "/a.pgm");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
  r = Convert("'" + bmp + "' --settings " + ini + " --max-pixels 8128 -o " + dir + "/b.ppm");
  EXPECT_EQ(r.status, 0) << r.out;
  WriteFile(ini, "[General]\nMaxPixels=8128\n");
  EXPECT_EQ(Convert("'" + bmp + "' --settings " + ini + " -o " + dir + "/c.ppm").status, 0);
  r = Convert("'" + bmp + "' --settings " + ini + " --max-pixels 8127 -o " + dir + "/d.ppm");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
  // The DjVu decoder takes the same limit (2550 x 3300 = 8415000).
  r = Convert("'" + djvu + "' --max-pixels 8414999 -o " + dir + "/e.pbm");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Image too large: 2550 x 3300 pixels (8.4 megapixels; the limit is 8.415 megapixels)"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Convert("'" + djvu + "' --max-pixels 8415000 -o " + dir + "/e.pbm").status, 0);
  for (const char *bad : {"0", "-1", "x", "99999999999"})
    EXPECT_EQ(Convert("'" + bmp + "' --max-pixels " + std::string(bad) + " -o " + dir + "/f.ppm").status, 2);
  EXPECT_FALSE(fs::exists(dir + "/a.pgm") || fs::exists(dir + "/d.ppm") || fs::exists(dir + "/f.ppm"));
}

TEST(Convert, DjVuAndIw44Output)
{
  std::string colour = Corpus("pnm/rgb-8bit.ppm"), bitonal = Corpus("page/text-bitonal-400dpi.tif");
  if (colour.empty() || bitonal.empty())
    FAIL() << "corpus data missing";
  std::string dir = Scratch("convert-djvu");
  Rgb source = MagickRgb(colour);
  ASSERT_TRUE(source.ok());
  struct
  {
    std::string input, options, output, chunks;
  } cases[] = {
      {colour, "", "colour.djvu", "FORM:DJVU INFO Sjbz BG44 FG44 BG44 BG44 BG44"},
      {colour, "--text-only --lossless --no-thicken", "text.djv", "FORM:DJVU INFO Sjbz"},
      {colour, "--profile compact", "compact.djvu", "FORM:DJVU INFO Sjbz FGbz BG44 BG44 BG44"},
      {colour, "--profile classic", "classic.djvu", "FORM:DJVU INFO Sjbz BG44 FG44 BG44 BG44 BG44"},
      {bitonal, "", "bitonal.djvu", "FORM:DJVU INFO Sjbz"},
      {colour, "--quality 90", "photo.iw44", "FORM:PM44 PM44"},
      {colour, "-t iw44 --quality 30", "photo30.iw4", "FORM:PM44 PM44"},
  };
  for (auto &c : cases)
  {
    std::string out = dir + "/" + c.output;
    Result r = Convert("'" + c.input + "' " + c.options + " -o " + out);
    ASSERT_EQ(r.status, 0) << c.output << "\n" << r.out;
    std::string chunks = Chunks(out);
    // IW44 files hold one or more PM44 slices.
    EXPECT_EQ(chunks.substr(0, c.chunks.size()), c.chunks) << c.output;
    Rgb decoded = Ddjvu(out);
    ASSERT_TRUE(decoded.ok()) << c.output;
    if (c.input == colour)
    {
      ASSERT_EQ(decoded.width, source.width) << c.output;
      ASSERT_EQ(decoded.height, source.height) << c.output;
      if (c.options.find("--text-only") == std::string::npos)
      {
        EXPECT_LT(MeanDiff(decoded, source), 20.0) << c.output;
      }
    }
    // Read back by the converter itself: ddjvu's rendering equals ours.
    ASSERT_EQ(Convert("'" + out + "' -o " + out + ".ppm").status, 0) << c.output;
    EXPECT_LE(MaxDiff(ParsePnm(ReadFile(out + ".ppm")), decoded), 1) << c.output;
  }
  // The quality option reaches the encoder.
  EXPECT_LT(ReadFile(dir + "/photo30.iw4").size(), ReadFile(dir + "/photo.iw44").size());
  // The settings file is read, and the command line wins over it.
  std::string ini = dir + "/Vellum.ini";
  WriteFile(ini, "[DjVu]\nDjvuTextOnly=1\n[IW44]\nIw44PhotoQty=30\n");
  ASSERT_EQ(Convert("'" + colour + "' --settings " + ini + " -o " + dir + "/ini.djvu").status, 0);
  EXPECT_EQ(Chunks(dir + "/ini.djvu"), "FORM:DJVU INFO Sjbz");
  ASSERT_EQ(Convert("'" + colour + "' --settings " + ini + " -o " + dir + "/ini30.iw44").status, 0);
  EXPECT_EQ(ReadFile(dir + "/ini30.iw44"), ReadFile(dir + "/photo30.iw4"));
  ASSERT_EQ(Convert("'" + colour + "' --settings " + ini + " --quality 90 -o " + dir + "/ini90.iw44").status,
            0);
  EXPECT_EQ(ReadFile(dir + "/ini90.iw44"), ReadFile(dir + "/photo.iw44"));
}

// djvused's answer for path ("n", "print-outline", "select 2; print-pure-txt").
std::string Djvused(const std::string &path, const std::string &script)
{
  std::string out;
  Run("djvused -e '" + script + "' '" + path + "' 2>&1", out);
  return out;
}

TEST(Convert, DjVuBooksKeepEveryPageOutlineAndText)
{
  struct
  {
    const char *file;
    int pages;
  } books[] = {{"books/book-bundled-4p.djvu", 4},
               {"books/indirect/index.djvu", 4},
               {"books/book-shared-dict-3p.djvu", 3},
               {"bad/djvu-bundled-3pages.djvu", 3}};
  std::string dir = Scratch("convert-books");
  for (const auto &b : books)
  {
    SCOPED_TRACE(b.file);
    const std::string in = Corpus(b.file);
    ASSERT_FALSE(in.empty()) << "corpus data missing";
    // DjVu to DjVu: one document, every page re-encoded, outline and text kept.
    const std::string out = dir + "/whole.djvu";
    Result r = Convert("-f '" + in + "' -o " + out);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Djvused(out, "n"), std::to_string(b.pages) + "\n");
    EXPECT_EQ(Djvused(out, "print-outline"), Djvused(in, "print-outline"));
    for (int p = 1; p <= b.pages; p++)
    {
      const std::string text = "select " + std::to_string(p) + "; print-pure-txt";
      EXPECT_EQ(Djvused(out, text), Djvused(in, text)) << "page " << p;
    }
    // --page N: that page, as ddjvu -page=N renders it, alone in its file.
    for (int p = 1; p <= b.pages; p++)
    {
      const std::string ppm = dir + "/page.ppm";
      r = Convert("-f --page " + std::to_string(p) + " '" + in + "' -o " + ppm);
      ASSERT_EQ(r.status, 0) << r.out;
      std::string ref;
      ASSERT_TRUE(files_test::Run(
          "ddjvu -format=ppm -page=" + std::to_string(p) + " '" + in + "' - 2>/dev/null", ref));
      EXPECT_LE(MaxDiff(ParsePnm(ReadFile(ppm)), ParsePnm(ref)), 1) << "page " << p;
    }
    r = Convert("-f --page 2 '" + in + "' -o " + dir + "/second.djvu");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Djvused(dir + "/second.djvu", "n"), "1\n");
    EXPECT_EQ(Djvused(dir + "/second.djvu", "select 1; print-pure-txt"),
              Djvused(in, "select 2; print-pure-txt"));
    r = Convert("-f --page " + std::to_string(b.pages + 1) + " '" + in + "' -o " + dir + "/none.ppm");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("does not exist"), std::string::npos) << r.out;
  }
  // Every page to a file of its own.
  const std::string all = dir + "/all";
  fs::create_directories(all);
  Result r = Convert("--all-pages -t pnm '" + Corpus("books/book-bundled-4p.djvu") + "' -o " + all);
  ASSERT_EQ(r.status, 0) << r.out;
  int files = 0;
  for (const auto &e : fs::directory_iterator(all))
    files += e.path().filename().string().rfind("book-bundled-4p-p", 0) == 0;
  EXPECT_EQ(files, 4);
  // A turned page loses its now misplaced text; the other pages keep theirs.
  const std::string turned = dir + "/turned.djvu";
  r = Convert("-f --rotate left '" + Corpus("books/book-shared-dict-3p.djvu") + "' -o " + turned);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Djvused(turned, "n"), "3\n");
  EXPECT_EQ(Djvused(turned, "select 1; print-pure-txt").find_first_not_of("\f\n "), std::string::npos);
  EXPECT_EQ(Djvused(turned, "select 2; print-pure-txt").find_first_not_of("\f\n "), std::string::npos);
  EXPECT_EQ(Djvused(turned, "select 1; size"), "width=3300 height=2550\n");
}

TEST(Convert, ParallelWorkersFinishTheOthers)
{
  std::string colour = Corpus("pnm/rgb-8bit.ppm");
  if (colour.empty())
    FAIL() << "corpus data missing";
  std::string dir = Scratch("convert-parallel");
  const char *good[] = {"pnm/rgb-8bit.ppm", "pnm/minisblack-8bit.pgm", "tiff/miniswhite-1bit.tif",
                        "bmp/pal8.bmp"};
  std::string args;
  for (const char *g : good)
    args += "'" + Corpus(g) + "' ";
  args += "'" + Corpus("bad/bmp-badrle.bmp") + "' -t djvu -j 2 -o " + dir;
  Result r = Convert(args + " -q");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), 1) << r.out;
  EXPECT_EQ(r.out.rfind("vellum-convert: ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("bmp-badrle.bmp: "), std::string::npos) << r.out;
  for (const char *g : {"rgb-8bit", "minisblack-8bit", "miniswhite-1bit", "pal8"})
  {
    std::string out = dir + "/" + g + ".djvu";
    ASSERT_TRUE(fs::exists(out)) << out;
    EXPECT_EQ(Chunks(out).substr(0, 14), "FORM:DJVU INFO") << out;
    EXPECT_TRUE(Ddjvu(out).ok()) << out;
  }
  // Without -q: the existing outputs are refused, one line each, whole.
  r = Convert(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), 5) << r.out;
  r = Convert(args + " -f");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), 5) << r.out;
  EXPECT_EQ(r.out.find("exists"), std::string::npos) << r.out;
  int files = 0;
  for (auto &e : fs::directory_iterator(dir))
    files += e.is_regular_file();
  EXPECT_EQ(files, 4); // no temporary files left behind

  // A folder as input: the image files in it, here the four DjVu pages.
  std::string again = Scratch("convert-folder");
  r = Convert(dir + " -t iw44 -q -j 2 -o " + again);
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char *g : {"rgb-8bit", "minisblack-8bit", "miniswhite-1bit", "pal8"})
    EXPECT_TRUE(Ddjvu(again + "/" + g + ".iw44").ok()) << g;
  r = Convert(Scratch("convert-empty") + " -t bmp -o " + again);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no image files"), std::string::npos) << r.out;
}

TEST(Convert, DjVuPagesAsPngEqualDdjvu)
{
  const std::string dir = Scratch("convert-png");
  for (const char *page : {"djvu/compound-flower-fg44-bg44.djvu", "djvu/formatdoc-p61-table-bitonal.djvu",
                           "djvu/photo-astronaut.iw44"})
  {
    SCOPED_TRACE(page);
    const std::string in = Corpus(page);
    ASSERT_FALSE(in.empty());
    const std::string out = dir + "/" + fs::path(in).stem().string() + ".png";
    Result r = Convert("'" + in + "' -q -o '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    const Rgb ref = Ddjvu(in);
    ASSERT_TRUE(ref.ok());
    EXPECT_EQ(MaxDiff(MagickRgb(out), ref), 0);
  }
  // -t png into a folder names the file .png.
  ASSERT_EQ(Convert("'" + Corpus("bmp/pal8.bmp") + "' '" + Corpus("bmp/rgb24.bmp") + "' -q -t png -o " + dir)
                .status,
            0);
  EXPECT_TRUE(fs::exists(dir + "/pal8.png"));
  EXPECT_TRUE(fs::exists(dir + "/rgb24.png"));
}

TEST(Convert, ThumbnailMode)
{
  const std::string dir = Scratch("convert-thumbnail");
  const struct
  {
    const char *input;
    int size, width, height; // expected PNG size
  } cases[] = {
      {"djvu/compound-flower-fg44-bg44.djvu", 128, 99, 128},    // 2550 x 3300 page
      {"djvu/formatdoc-p61-table-bitonal.djvu", 256, 198, 256}, // from a 213 x 275 render
      {"djvu/photo-astronaut.iw44", 100, 100, 100},
      {"tiff/multipage-g4-3p-400dpi.tif", 64, 0, 0}, // first page
      {"bmp/pal8.bmp", 256, 127, 64},                // smaller than the box: not enlarged
      {"photo/coffee-600x400.png", 90, 90, 60},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.input);
    const std::string in = Corpus(c.input);
    ASSERT_FALSE(in.empty());
    const std::string out = dir + "/" + fs::path(in).filename().string() + ".png";
    Result r = Convert("--thumbnail " + std::to_string(c.size) + " '" + in + "' '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string size;
    ASSERT_TRUE(files_test::Run("identify -format '%m %w %h' '" + out + "'", size));
    int w = 0, h = 0;
    char kind[16] = {};
    ASSERT_EQ(std::sscanf(size.c_str(), "%15s %d %d", kind, &w, &h), 3) << size;
    EXPECT_STREQ(kind, "PNG");
    if (c.width)
    {
      EXPECT_EQ(w, c.width);
      EXPECT_EQ(h, c.height);
    }
    EXPECT_LE(std::max(w, h), c.size);
  }
  // A damaged or unknown file: non-zero, one message, no output left.
  for (const char *bad : {"bad/djvu-truncated.djvu", "bad/png-truncated.png", "MANIFEST.md"})
  {
    SCOPED_TRACE(bad);
    const std::string in = Corpus(bad);
    ASSERT_FALSE(in.empty());
    const std::string out = dir + "/bad.png";
    Result r = Convert("--thumbnail 128 '" + in + "' '" + out + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("vellum-convert: "), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(fs::directory_iterator(dir) == fs::directory_iterator(), false);
  }
  for (const char *args : {"--thumbnail 0 a.djvu b.png", "--thumbnail 128 a.djvu", "--thumbnail 128 a b c",
                           "--thumbnail 128 a.djvu b.png -o c.png"})
    EXPECT_EQ(Convert(args).status, 2) << args;
}

#endif
