// The directory check before a save, over the cases where the two earlier
// checks (save and browser) differed: empty paths, "//", trailing "/",
// directory mode, a file in the way; and the path texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "MessageBox.h"

namespace fs = std::filesystem;
using namespace vellum;

namespace
{

std::vector<std::string> g_texts;
int g_answer = VID_YES;

int Record(const char *text, const char *, unsigned)
{
  g_texts.push_back(text);
  return g_answer;
}

struct Case
{
  const char *name;
  std::string path; // below the scratch folder ("" stays empty)
  int mode;
  int answer;
  bool result;
  int boxes;          // message boxes shown
  const char *exists; // below the scratch folder afterwards, or null
};

TEST(EnsureDirectory, TableOfPaths)
{
  const char *base = std::getenv("VELLUM_TEST_TMP");
  const fs::path dir =
      fs::path(base && *base ? base : fs::temp_directory_path().string()) / "platform-ensure";
  const std::string d = dir.string();
  const Case cases[] = {
      {"empty path", "", 0, VID_YES, false, 0, nullptr},
      {"existing folder", d, kEnsureDirectoryMode, VID_YES, true, 0, nullptr},
      {"new file in a folder", d + "/page.djvu", 0, VID_YES, true, 0, nullptr},
      {"new file, doubled slash", d + "//page.djvu", 0, VID_YES, true, 0, nullptr},
      {"missing folder, No", d + "/a/page.djvu", 0, VID_NO, false, 1, nullptr},
      {"missing folders, Yes", d + "/a//b/page.djvu", 0, VID_YES, true, 1, "a/b"},
      {"folder mode, trailing slash", d + "/c/d/", kEnsureDirectoryMode, VID_YES, true, 1, "c/d"},
      {"folder mode, last part only", d + "/e", kEnsureDirectoryMode, VID_YES, true, 1, "e"},
      {"file mode, trailing slash, parent there", d + "/f/", 0, VID_YES, true, 0, nullptr},
      {"a file in the way", d + "/plain/sub/page.djvu", 0, VID_YES, false, 2, nullptr},
  };
  VellumMessageBoxHook old = VellumSetMessageBoxHook(Record);
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(d + "/plain") << "x";
    g_texts.clear();
    g_answer = c.answer;
    EXPECT_EQ(EnsureDirectory(c.path, c.mode), c.result);
    EXPECT_EQ((int)g_texts.size(), c.boxes);
    if (c.boxes > 0)
    {
      EXPECT_EQ(g_texts[0], c.path + "\n\nDirectory path does not exist.\nDo you want to create it?");
    }
    if (c.exists)
    {
      EXPECT_TRUE(fs::is_directory(dir / c.exists));
    }
  }
  EXPECT_EQ(g_texts.back(), "Failed to create " + d + "/plain/sub");
  VellumSetMessageBoxHook(old);
  fs::remove_all(dir);
}

TEST(PathTexts, JoinAndName)
{
  EXPECT_EQ(JoinPath("", "a"), "a");
  EXPECT_EQ(JoinPath("/", "a"), "/a");
  EXPECT_EQ(JoinPath("/x/", "a"), "/x/a");
  EXPECT_EQ(JoinPath("/x", "a"), "/x/a");
  EXPECT_EQ(FileNameOf("/x/y.djvu"), "y.djvu");
  EXPECT_EQ(FileNameOf("y.djvu"), "y.djvu");
  EXPECT_EQ(FileNameOf("/x/"), "");
  EXPECT_TRUE(IsDirectory("/"));
  EXPECT_FALSE(IsRegularFile("/"));
  EXPECT_FALSE(IsDirectory(""));
}

} // namespace
