// Directory browser rules on a real temporary directory: listing and the
// type filter, sorting, texts, the path box, double-click, Select All,
// Delete and the directory check before a save.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

#include "BrowserLogic.h"
#include "DibImage.h"
#include "MessageBox.h"

using namespace vellum;

namespace
{

struct Box
{
  std::string text;
  unsigned style;
};
std::vector<Box> g_boxes;
int g_answer = VID_YES;

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back({text, style});
  return (style & VMB_BUTTON_MASK) == VMB_YESNO ? g_answer : VID_OK;
}

class BrowserLogic : public ::testing::Test
{
protected:
  void SetUp() override
  {
    const char *base = std::getenv("VELLUM_TEST_TMP");
    std::string tmpl = std::string(base ? base : "/tmp") + "/browserXXXXXX";
    ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
    m_dir = tmpl;
    g_boxes.clear();
    g_answer = VID_YES;
    m_old = VellumSetMessageBoxHook(RecordBox);
  }
  void TearDown() override
  {
    VellumSetMessageBoxHook(m_old);
    std::system(("rm -rf '" + m_dir + "'").c_str());
  }
  void Touch(const std::string &name, size_t bytes = 0, time_t mtime = 0)
  {
    std::ofstream(m_dir + "/" + name) << std::string(bytes, 'x');
    if (mtime)
    {
      struct timeval tv[2] = {{mtime, 0}, {mtime, 0}};
      utimes((m_dir + "/" + name).c_str(), tv);
    }
  }
  void Mkdir(const std::string &name) { ASSERT_EQ(mkdir((m_dir + "/" + name).c_str(), 0755), 0); }
  bool Exists(const std::string &path)
  {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
  }
  std::string m_dir;
  VellumMessageBoxHook m_old = nullptr;
};

std::vector<std::string> Names(const std::vector<FileEntry> &e)
{
  std::vector<std::string> n;
  for (const FileEntry &f : e)
    n.push_back(f.name);
  return n;
}

FileEntry Entry(const char *name, int kind, uint64_t size = 0, int64_t modified = 0)
{
  FileEntry e;
  e.name = name;
  e.kind = kind;
  e.size = size;
  e.modified = modified;
  return e;
}

} // namespace

TEST(BrowserFilter, KindsAcceptedByEachFilter)
{
  struct Case
  {
    int filter, kind;
    bool accepted;
  } cases[] = {
      {1, 1, true},     {1, 2, false}, {5, 5, true},  {6, 5, false},  {100, 1, true},  {100, 6, true},
      {100, 99, false}, {7, 1, false}, {0, 1, false}, {-1, 3, false}, {99, 99, false}, {101, 3, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(FilterAccepts(c.filter, c.kind), c.accepted) << c.filter << " " << c.kind;

  // Box index <-> setting: 0..6 are the kinds 1..7, 7 and anything else is 100.
  EXPECT_EQ(FilterIndexForType(1), 0);
  EXPECT_EQ(FilterIndexForType(6), 5);
  EXPECT_EQ(FilterIndexForType(7), 6);
  EXPECT_EQ(FilterIndexForType(100), 7);
  EXPECT_EQ(FilterIndexForType(8), -1);
  EXPECT_EQ(TypeForFilterIndex(0), 1);
  EXPECT_EQ(TypeForFilterIndex(5), 6);
  EXPECT_EQ(TypeForFilterIndex(6), 7);
  EXPECT_EQ(TypeForFilterIndex(7), 100);
  EXPECT_EQ(TypeForFilterIndex(-1), 100);
  EXPECT_STREQ(kFilterNames[1], "IW44 (*.iw44, *iw4)");
  EXPECT_STREQ(kFilterNames[6], "PNG (*.png)");
  EXPECT_STREQ(kFilterNames[7], "All supported types");
}

TEST_F(BrowserLogic, JpegFilterListsDirectoriesAndJpegFilesOnly)
{
  Touch("a.jpg");
  Touch("b.JPEG");
  Touch("c.bmp");
  Touch("notes.txt");
  Mkdir("sub");
  std::vector<FileEntry> entries;
  ASSERT_TRUE(ListDirectory(m_dir + "/", IMAGE_FILE_JPEG, entries));
  SortEntries(entries, kColName, 1);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"..", "sub", "a.jpg", "b.JPEG"}));
  EXPECT_EQ(entries[0].kind, 0);
  EXPECT_EQ(entries[2].kind, IMAGE_FILE_JPEG);

  ASSERT_TRUE(ListDirectory(m_dir, IMAGE_FILE_ALL, entries));
  SortEntries(entries, kColName, 1);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"..", "sub", "a.jpg", "b.JPEG", "c.bmp"}));

  ASSERT_TRUE(ListDirectory(m_dir, 7, entries)); // unknown filter: directories only
  EXPECT_EQ(entries.size(), 2u);

  EXPECT_FALSE(ListDirectory(m_dir + "/missing", IMAGE_FILE_ALL, entries));
  EXPECT_TRUE(entries.empty());
}

TEST_F(BrowserLogic, SizesAndTimesAreRead)
{
  Touch("big.bmp", 1234, 1000000000);
  std::vector<FileEntry> entries;
  ASSERT_TRUE(ListDirectory(m_dir, IMAGE_FILE_ALL, entries));
  SortEntries(entries, kColName, 1);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].size, 1234u);
  EXPECT_EQ(entries[1].modified, 1000000000LL * 1000000000LL);
  EXPECT_EQ(SizeText(entries[1]), "1234");
  EXPECT_EQ(SizeText(entries[0]), ""); // ".."
}

namespace
{

std::string CorpusFile(const std::string &rel)
{
  const char *dir = std::getenv("VELLUM_CORPUS");
  const std::string path = std::string(dir ? dir : VELLUM_CORPUS_DIR) + "/" + rel;
  if (access(path.c_str(), R_OK) != 0)
    throw std::runtime_error("corpus file missing: " + path);
  return path;
}

// The first line a command prints, as a number (-1 when it prints none).
int CommandNumber(const std::string &command)
{
  FILE *p = popen(command.c_str(), "r");
  if (!p)
    return -1;
  int n = -1;
  if (std::fscanf(p, "%d", &n) != 1)
    n = -1;
  pclose(p);
  return n;
}

} // namespace

// A folder holding a bundled book, an indirect one (index beside its page
// files), a multi-page TIFF, single pages and a damaged file: each book is
// listed once with the page count the reference tools give.
TEST_F(BrowserLogic, BooksAreListedOnceWithTheirPageCount)
{
  const std::string copies[][2] = {
      {"books/book-bundled-4p.djvu", "bundled.djvu"},
      {"books/book-shared-dict-3p.djvu", "shared.djvu"},
      {"books/indirect/index.djvu", "index.djvu"},
      {"books/indirect/compound-flower-fg44-bg44.djvu", "compound-flower-fg44-bg44.djvu"},
      {"books/indirect/formatdoc-p10-bitonal.djvu", "formatdoc-p10-bitonal.djvu"},
      {"books/indirect/formatdoc-p20-compound-fgbz.djvu", "formatdoc-p20-compound-fgbz.djvu"},
      {"books/indirect/manual-p5-bitonal-400dpi.djvu", "manual-p5-bitonal-400dpi.djvu"},
      {"djvu/formatdoc-p61-table-bitonal.djvu", "single.djvu"},
      {"tiff/multipage-mixed-3p.tif", "scans.tif"},
      {"tiff/rgb-8bit.tif", "one.tif"},
      {"bmp/pal8.bmp", "pal8.bmp"},
  };
  for (const auto &c : copies)
    ASSERT_EQ(std::system(("cp '" + CorpusFile(c[0]) + "' '" + m_dir + "/" + c[1] + "'").c_str()), 0) << c[0];
  Touch("damaged.djvu", 40); // not a DjVu file at all
  std::vector<FileEntry> entries;
  ASSERT_TRUE(ListDirectory(m_dir, 100, entries));
  SortEntries(entries, kColName, 1);
  EXPECT_EQ(Names(entries),
            (std::vector<std::string>{"..", "bundled.djvu", "damaged.djvu", "index.djvu", "one.tif",
                                      "pal8.bmp", "scans.tif", "shared.djvu", "single.djvu"}));
  for (const FileEntry &e : entries)
  {
    const std::string path = m_dir + "/" + e.name;
    int expected = 0;
    if (e.name == "damaged.djvu" || e.kind == 0 || e.kind == IMAGE_FILE_BMP)
      expected = 0;
    else if (e.kind == IMAGE_FILE_DJVU)
      expected = CommandNumber("djvused -e n '" + path + "' 2>/dev/null");
    else
      expected = CommandNumber("identify '" + path + "' 2>/dev/null | wc -l");
    EXPECT_EQ(e.pages, expected) << e.name;
  }
  EXPECT_TRUE(g_boxes.empty()) << g_boxes[0].text; // a damaged file is listed quietly

  // Texts of the list, the details and the tooltip.
  const FileEntry &book = entries[1];
  EXPECT_EQ(TypeColumnText(book), "DjVu, 4 pages");
  EXPECT_EQ(EntryTooltip(book), "bundled.djvu\nDjVu, 4 pages, " + SizeText(book) + " bytes");
  EXPECT_EQ(TypeColumnText(entries[8]), "DjVu"); // a single page says no count
  EXPECT_EQ(EntryTooltip(entries[0]), "..");

  // A filter showing only TIFF files counts only their pages.
  ASSERT_TRUE(ListDirectory(m_dir, IMAGE_FILE_TIFF, entries));
  SortEntries(entries, kColName, 1);
  ASSERT_EQ(Names(entries), (std::vector<std::string>{"..", "one.tif", "scans.tif"}));
  EXPECT_EQ(entries[2].pages, 3);

  // The grouping rule alone: parts named by an index go, the index stays
  // even when it names itself, directories of the same name stay.
  std::vector<FileEntry> listed = {{"sub", 0},     {"idx.djvu", 1},   {"p1.djvu", 1},
                                   {"p2.djvu", 1}, {"other.djvu", 1}, {"p1.djvu.bak", 99}};
  listed[0].name = "p2.djvu";
  GroupDocuments(listed,
                 [](const std::string &name, int, std::vector<std::string> *parts)
                 {
                   if (name != "idx.djvu")
                     return 1;
                   *parts = {"idx.djvu", "p1.djvu", "p2.djvu", "dict.djvi"};
                   return 2;
                 });
  EXPECT_EQ(Names(listed), (std::vector<std::string>{"p2.djvu", "idx.djvu", "other.djvu", "p1.djvu.bak"}));
  EXPECT_EQ(listed[1].pages, 2);
  EXPECT_EQ(listed[2].pages, 1);
}

TEST(BrowserSort, ColumnsDirectionsAndDirectoriesFirst)
{
  std::vector<FileEntry> e = {Entry("b.djvu", 1, 300, 5), Entry("Sub", 0), Entry("A.tif", 6, 100, 9),
                              Entry("..", 0), Entry("c.bmp", 3, 200, 7)};
  SortState state;
  state.Click(kColSize); // new column: ascending
  EXPECT_EQ(state.column, kColSize);
  EXPECT_EQ(state.direction, 1);
  SortEntries(e, state.column, state.direction);
  EXPECT_EQ(Names(e), (std::vector<std::string>{"Sub", "..", "A.tif", "c.bmp", "b.djvu"}));
  state.Click(kColSize); // same column again: descending, directories last
  EXPECT_EQ(state.direction, -1);
  SortEntries(e, state.column, state.direction);
  EXPECT_EQ(Names(e), (std::vector<std::string>{"b.djvu", "c.bmp", "A.tif", "Sub", ".."}));

  SortEntries(e, kColName, 1); // case-insensitive
  EXPECT_EQ(Names(e), (std::vector<std::string>{"..", "Sub", "A.tif", "b.djvu", "c.bmp"}));
  SortEntries(e, kColType, 1);
  EXPECT_EQ(Names(e), (std::vector<std::string>{"..", "Sub", "b.djvu", "c.bmp", "A.tif"}));
  SortEntries(e, kColModified, -1);
  EXPECT_EQ(Names(e), (std::vector<std::string>{"A.tif", "c.bmp", "b.djvu", "..", "Sub"}));

  state.Click(kColName);
  EXPECT_EQ(state.column, kColName);
  EXPECT_EQ(state.direction, 1);
}

TEST(BrowserSort, LargeValuesCompareByValue)
{
  // Sizes past 2 GiB and times whose halves differ in sign must not wrap.
  const FileEntry small = Entry("s.bmp", 3, 10, 1);
  const FileEntry huge = Entry("h.bmp", 3, 5000000000ULL, int64_t(1) << 62);
  EXPECT_LT(CompareEntries(small, huge, kColSize, 1), 0);
  EXPECT_GT(CompareEntries(huge, small, kColSize, 1), 0);
  EXPECT_LT(CompareEntries(small, huge, kColModified, 1), 0);
  EXPECT_EQ(SizeText(huge), "5000000000");
  const FileEntry late = Entry("l.bmp", 3, 0, 0x80000000LL);
  const FileEntry early = Entry("e.bmp", 3, 0, 0x7FFFFFFFLL);
  EXPECT_GT(CompareEntries(late, early, kColModified, 1), 0);
}

TEST(BrowserTexts, TypeSizeModifiedAndStatus)
{
  const char *types[] = {"", "DjVu", "IW44", "Bmp", "Pnm", "Jpeg", "Tiff"};
  for (int k = 0; k <= 6; ++k)
    EXPECT_EQ(TypeText(k), types[k]);
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 7;
  t.tm_min = 9;
  EXPECT_EQ(FormatModified(t), "2024-03-05 07:09");
  EXPECT_EQ(CurrentDirectoryText("/data/scans"), "Current directory: /data/scans");
  EXPECT_EQ(DeleteQuestion(3), "Move these 3 files to the Trash?");
  EXPECT_EQ(DeleteQuestion(1), "Move this file to the Trash?");
  EXPECT_EQ(DeletingText("a.jpg"), "Moving a.jpg to the Trash.");
}

TEST(BrowserPaths, JoinParentAndListedDirectory)
{
  struct Case
  {
    const char *dir, *parent;
  } cases[] = {
      {"/data/scans", "/data"}, {"/data/scans/", "/data"}, {"/data", "/"}, {"/", "/"}, {"rel", "rel"}};
  for (const Case &c : cases)
    EXPECT_EQ(ParentDirectory(c.dir), c.parent) << c.dir;
  EXPECT_EQ(JoinPath("/", "etc"), "/etc");
  EXPECT_EQ(JoinPath("", "a.jpg"), "a.jpg");
  EXPECT_EQ(JoinPath("/data", "a.jpg"), "/data/a.jpg");
  EXPECT_EQ(ListedDirectory("/data/"), "/data");
  EXPECT_EQ(ListedDirectory("/"), "/");
}

TEST(BrowserPathBox, ItemsSelectionAndRebuild)
{
  const std::vector<std::string> roots = {"/", "/home/u"};
  int sel = -1;
  std::vector<PathBoxItem> items = BuildPathBox("/usr/share/doc/", roots, &sel);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].text, "/");
  EXPECT_EQ(items[0].indent, 0);
  EXPECT_EQ(items[0].image, kImgFixed);
  EXPECT_EQ(items[3].text, "doc");
  EXPECT_EQ(items[3].indent, 3);
  EXPECT_EQ(items[3].image, kImgFolderClosed);
  EXPECT_EQ(items[3].selectedImage, kImgFolderOpen);
  EXPECT_EQ(items[4].text, "/home/u");
  EXPECT_EQ(sel, 3);
  EXPECT_EQ(PathFromPathBox(items, 3), "/usr/share/doc");
  EXPECT_EQ(PathFromPathBox(items, 1), "/usr");
  EXPECT_EQ(PathFromPathBox(items, 0), "/");
  EXPECT_EQ(PathFromPathBox(items, 4), "/home/u");
  EXPECT_EQ(PathFromPathBox(items, 9), "");

  // The longest root wins; "/home/user" is not below "/home/u".
  items = BuildPathBox("/home/u/scans", roots, &sel);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[2].text, "scans");
  EXPECT_EQ(sel, 2);
  EXPECT_EQ(PathFromPathBox(items, 2), "/home/u/scans");
  items = BuildPathBox("/home/user", roots, &sel);
  EXPECT_EQ(PathFromPathBox(items, sel), "/home/user");
  items = BuildPathBox("/", roots, &sel);
  EXPECT_EQ(sel, 0);
  items = BuildPathBox("relative/dir", roots, &sel);
  EXPECT_EQ(sel, -1); // no root holds it: nothing selected
  EXPECT_EQ(items.size(), 2u);
}

TEST_F(BrowserLogic, DoubleClickMovesOrOpens)
{
  Mkdir("data");
  Mkdir("data/scans");
  Touch("data/scans/p.djvu");
  const std::string scans = m_dir + "/data/scans";
  Activation a = ActivateEntry(scans, "..");
  EXPECT_EQ(a.kind, Activation::kDirectory);
  EXPECT_EQ(a.path, m_dir + "/data");
  a = ActivateEntry(m_dir + "/data", "scans");
  EXPECT_EQ(a.kind, Activation::kDirectory);
  EXPECT_EQ(a.path, scans);
  a = ActivateEntry(scans, "p.djvu");
  EXPECT_EQ(a.kind, Activation::kFile);
  EXPECT_EQ(a.path, scans + "/p.djvu");
  a = ActivateEntry(scans, "gone.djvu");
  EXPECT_EQ(a.kind, Activation::kNothing);
}

TEST_F(BrowserLogic, SelectAllSkipsDirectoriesAndStopsAtUnreadable)
{
  Mkdir("sub");
  Touch("a.bmp");
  Touch("b.bmp");
  EXPECT_EQ(SelectAllFiles(m_dir, {"..", "sub", "a.bmp", "b.bmp"}),
            (std::vector<bool>{false, false, true, true}));
  EXPECT_EQ(SelectAllFiles(m_dir, {"a.bmp", "gone.bmp", "b.bmp"}), (std::vector<bool>{true, false, false}));
}

// Delete asks, hands each file (never a directory, never a name gone) to the
// trash, and reports the files the trash refused in one message.
TEST_F(BrowserLogic, DeleteAsksThenTrashesFilesButNeverDirectories)
{
  Touch("a.bmp");
  Touch("locked.bmp");
  Mkdir("empty");
  std::vector<std::string> trashed;
  const TrashFn trash = [&](const std::string &path, std::string *error)
  {
    if (path.find("locked") != std::string::npos)
    {
      *error = "Permission denied";
      return false;
    }
    trashed.push_back(path);
    return true;
  };
  g_answer = VID_NO;
  EXPECT_FALSE(DeleteFiles(m_dir, {"a.bmp", "empty"}, nullptr, trash));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, DeleteQuestion(2));
  EXPECT_EQ(g_boxes[0].style, unsigned(VMB_YESNO | VMB_ICONQUESTION));
  EXPECT_TRUE(trashed.empty());

  g_answer = VID_YES;
  std::vector<std::string> status;
  EXPECT_TRUE(DeleteFiles(
      m_dir, {"a.bmp", "empty", "gone.bmp", "locked.bmp"}, [&](const std::string &s) { status.push_back(s); },
      trash));
  EXPECT_EQ(trashed, (std::vector<std::string>{m_dir + "/a.bmp"}));
  EXPECT_EQ(status,
            (std::vector<std::string>{"Moving a.bmp to the Trash.", "Moving locked.bmp to the Trash."}));
  ASSERT_EQ(g_boxes.size(), 3u);
  EXPECT_EQ(g_boxes[2].text, "Could not move to the Trash:\nlocked.bmp: Permission denied");
  EXPECT_EQ(g_boxes[2].style & VMB_ICON_MASK, unsigned(VMB_ICONHAND));
}

TEST_F(BrowserLogic, EnsureDirectoryCreatesMissingDirectoriesAfterAsking)
{
  // Existing paths and a new file in an existing directory pass silently.
  EXPECT_TRUE(EnsureDirectory(m_dir, kEnsureDirectoryMode));
  EXPECT_TRUE(EnsureDirectory(m_dir + "/page.djvu", 0));
  EXPECT_TRUE(g_boxes.empty());

  const std::string file = m_dir + "/new/sub/page.djvu";
  g_answer = VID_NO;
  EXPECT_FALSE(EnsureDirectory(file, 0));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, file + "\n\nDirectory path does not exist.\nDo you want to create it?");
  EXPECT_EQ(g_boxes[0].style, unsigned(VMB_YESNO | VMB_ICONQUESTION));
  EXPECT_FALSE(Exists(m_dir + "/new"));

  g_answer = VID_YES;
  EXPECT_TRUE(EnsureDirectory(file, 0));
  EXPECT_TRUE(Exists(m_dir + "/new/sub"));
  EXPECT_FALSE(Exists(file));

  // Directory mode: the whole path is made, also when only it is missing.
  g_boxes.clear();
  EXPECT_TRUE(EnsureDirectory(m_dir + "/d1", kEnsureDirectoryMode));
  EXPECT_TRUE(Exists(m_dir + "/d1"));
  EXPECT_TRUE(EnsureDirectory(m_dir + "/d2/d3", kEnsureDirectoryMode));
  EXPECT_TRUE(Exists(m_dir + "/d2/d3"));
  EXPECT_EQ(g_boxes.size(), 2u);
}

TEST_F(BrowserLogic, EnsureDirectoryReportsWhatCannotBeCreated)
{
  Touch("plain");
  const std::string file = m_dir + "/plain/sub/page.djvu";
  EXPECT_FALSE(EnsureDirectory(file, 0));
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[1].text, "Failed to create " + m_dir + "/plain/sub");
  EXPECT_EQ(g_boxes[1].style, unsigned(VMB_OK | VMB_ICONHAND));

  // Other errors: the error number in a plain box.
  g_boxes.clear();
  EXPECT_FALSE(EnsureDirectory(m_dir + "/" + std::string(300, 'n') + "/x", 0));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "GetFileAttributes error 36"); // ENAMETOOLONG
  EXPECT_EQ(g_boxes[0].style, unsigned(VMB_OK));
}
