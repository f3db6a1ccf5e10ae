// Saving a multi-page TIFF as one DjVu document: every page, in order, the
// current page with its edits, progress per page, and Cancel or a failure
// leaving no file and the old one whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "FilesTestUtil.h"
#include "SaveBook.h"

using namespace files_test;
namespace fs = std::filesystem;

namespace
{

struct Recorder : CBookSaveProgress
{
  std::vector<int> pages;
  int steps = 0;
  int cancelAt = -1; // page before which Cancel is pressed
  void OnSaveProgress(const char *, int) override { steps++; }
  void OnBookPage(int page, int) override { pages.push_back(page); }
  bool Cancelled() override { return cancelAt >= 0 && (int)pages.size() >= cancelAt; }
};

Rgb Page(const std::string &doc, int page)
{
  std::string ppm;
  Run("ddjvu -format=ppm -page=" + std::to_string(page) + " '" + doc + "' - 2>/dev/null", ppm);
  return ParsePnm(ppm);
}

int PageCount(const std::string &doc)
{
  std::string n;
  return Run("djvused -e n '" + doc + "' 2>/dev/null", n) && !n.empty() ? std::atoi(n.c_str()) : -1;
}

} // namespace

TEST(SaveBook, WholeTiffWithTheEditedCurrentPage)
{
  std::string tif = Corpus("tiff/multipage-g4-3p-400dpi.tif");
  ASSERT_FALSE(tif.empty());
  std::string dir = Scratch("save-book");
  CVellumSettings settings;
  settings.DjvuLossless = 1;
  CDibImage current;
  ASSERT_EQ(current.LoadTiff(tif.c_str(), 1, DIB_HEADER_INFO), 1);
  ASSERT_EQ(current.m_nPageCount, 3);
  ASSERT_EQ(current.Negative(), 1); // an edit the document must keep
  BookOptions options;
  options.lossless = true;
  Recorder progress;
  std::string doc = dir + "/book.djvu";
  ASSERT_EQ(SaveTiffAsBook(doc, tif, 3, 1, current, settings, options, &progress), 1) << g_szLastImageError;
  EXPECT_EQ(progress.pages, (std::vector<int>{0, 1, 2}));
  EXPECT_GT(progress.steps, 3);
  ASSERT_EQ(PageCount(doc), 3);
  for (int k = 0; k < 3; k++)
  {
    Rgb want = MagickRgb(tif, k);
    ASSERT_TRUE(want.ok());
    if (k == 1)
      for (uint8_t &v : want.px)
        v = (uint8_t)(255 - v);
    EXPECT_EQ(MaxDiff(Page(doc, k + 1), want), 0) << "page " << k + 1;
  }
}

TEST(SaveBook, CancelAndFailureLeaveTheOldFile)
{
  std::string tif = Corpus("tiff/multipage-g4-3p-400dpi.tif");
  ASSERT_FALSE(tif.empty());
  std::string dir = Scratch("save-book-cancel");
  std::string doc = dir + "/book.djvu";
  WriteFile(doc, "old");
  CVellumSettings settings;
  CDibImage current;
  ASSERT_EQ(current.LoadTiff(tif.c_str(), 0, DIB_HEADER_INFO), 1);
  for (int cancelAt : {0, 2, 3})
  {
    Recorder progress;
    progress.cancelAt = cancelAt;
    EXPECT_EQ(SaveTiffAsBook(doc, tif, 3, 0, current, settings, BookOptions(), &progress), 0);
    EXPECT_STREQ(g_szLastImageError, "Save cancelled");
    EXPECT_EQ((int)progress.pages.size(), std::min(cancelAt, 3));
  }
  // A page that cannot be read: the file is gone by the time page 2 is due.
  EXPECT_EQ(SaveTiffAsBook(doc, dir + "/gone.tif", 2, 0, current, settings, BookOptions(), nullptr), 0);
  EXPECT_EQ(ReadFile(doc), "old");
  std::vector<std::string> left;
  for (auto &e : fs::directory_iterator(dir))
    left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"book.djvu"});
}
