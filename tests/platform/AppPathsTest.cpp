// Finding the program's run-time files: installed layouts, build trees
// (through the marker file), the environment override, and this test
// binary's own build tree.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "AppPaths.h"

using namespace vellum;

namespace
{

class AppPaths : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unsetenv("VELLUM_DATA_DIR");
    const char *base = std::getenv("VELLUM_TEST_TMP");
    std::string tmpl = std::string(base && base[0] ? base : "/tmp") + "/pathsXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    char real[PATH_MAX];
    ASSERT_NE(realpath(name.data(), real), nullptr);
    root = real;
  }
  void TearDown() override
  {
    unsetenv("VELLUM_DATA_DIR");
    std::string cmd = "rm -rf '" + root + "'";
    (void)!std::system(cmd.c_str());
  }
  // Creates the folders of path below root; returns the full path.
  std::string Dir(const std::string &path)
  {
    std::string full = root;
    size_t start = 0;
    while (start < path.size())
    {
      size_t slash = path.find('/', start);
      if (slash == std::string::npos)
        slash = path.size();
      full += "/" + path.substr(start, slash - start);
      mkdir(full.c_str(), 0755);
      start = slash + 1;
    }
    return full;
  }
  void Write(const std::string &path, const std::string &text) { std::ofstream(root + "/" + path) << text; }

  std::string root;
};

} // namespace

TEST_F(AppPaths, InstalledPrefixAndItsFiles)
{
  Dir("usr/bin");
  Dir("usr/share/vellum/help");
  Dir("usr/share/applications");
  Dir("loose/bin");
  Dir("loose/share"); // share/ without vellum/: not an installed tree
  const struct
  {
    std::string programDir, prefix;
  } cases[] = {
      {root + "/usr/bin", root + "/usr"},
      {root + "/usr/bin/", root + "/usr"},
      {root + "/usr/share/../bin", root + "/usr"},
      {root + "/loose/bin", ""},
      {root + "/missing/bin", ""},
      {"", ""},
  };
  for (const auto &c : cases)
  {
    EXPECT_EQ(InstalledPrefixFor(c.programDir), c.prefix) << c.programDir;
    EXPECT_EQ(DataDirectoryFor(c.programDir), c.prefix.empty() ? "" : c.prefix + "/share/vellum")
        << c.programDir;
  }
  // The desktop entry counts only once it is there.
  EXPECT_EQ(InstalledDesktopEntryFor(root + "/usr/bin"), "");
  Write("usr/share/applications/org.vellum.Vellum.desktop", "[Desktop Entry]\n");
  EXPECT_EQ(InstalledDesktopEntryFor(root + "/usr/bin"),
            root + "/usr/share/applications/org.vellum.Vellum.desktop");
  EXPECT_EQ(InstalledDesktopEntryFor(root + "/loose/bin"), "");
}

TEST_F(AppPaths, BuildTreeMarkerIsFoundUpToFourFoldersUp)
{
  const std::string res = Dir("src/res");
  Dir("build/a/b/c/d/e");
  Write(std::string("build/") + kBuildTreeMarker, res + "\n");
  const struct
  {
    const char *below; // program folder below build/
    bool found;
  } cases[] = {{"", true}, {"/a", true}, {"/a/b", true}, {"/a/b/c/d", true}, {"/a/b/c/d/e", false}};
  for (const auto &c : cases)
    EXPECT_EQ(DataDirectoryFor(root + "/build" + c.below), c.found ? res : "") << c.below;

  // An installed tree wins over a marker further up.
  Dir("build/p/bin");
  Dir("build/p/share/vellum");
  EXPECT_EQ(DataDirectoryFor(root + "/build/p/bin"), root + "/build/p/share/vellum");

  // A marker naming no folder, a relative path, or nothing at all is no marker.
  for (const char *text : {"/nonexistent/res\n", "src/res\n", ""})
  {
    Write(std::string("build/") + kBuildTreeMarker, text);
    EXPECT_EQ(DataDirectoryFor(root + "/build/a/b"), "") << text;
  }
  // A nearer marker wins.
  const std::string other = Dir("other/res");
  Write(std::string("build/a/") + kBuildTreeMarker, other);
  EXPECT_EQ(DataDirectoryFor(root + "/build/a/b"), other);
}

TEST_F(AppPaths, EnvironmentOverridesEverything)
{
  Dir("usr/bin");
  Dir("usr/share/vellum");
  setenv("VELLUM_DATA_DIR", "/somewhere/else", 1);
  EXPECT_EQ(DataDirectoryFor(root + "/usr/bin"), "/somewhere/else");
  EXPECT_EQ(InstalledPrefixFor(root + "/usr/bin"), root + "/usr"); // the prefix itself is unchanged
  setenv("VELLUM_DATA_DIR", "", 1);                                // empty: ignored
  EXPECT_EQ(DataDirectoryFor(root + "/usr/bin"), root + "/usr/share/vellum");
}

TEST_F(AppPaths, ThisBuildTreeFindsTheSourceTreesFiles)
{
  // The test binary runs from the build folder, like the programs do before
  // they are installed: the marker leads to the source tree's res/.
  const std::string exe = ProgramPath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(ProgramDirectory(), exe.substr(0, exe.find_last_of('/')));
  EXPECT_EQ(InstalledPrefix(), "");
  const std::string page = DataPath("help/Contents.html");
  ASSERT_FALSE(page.empty()) << "data folder: " << DataDirectory();
  std::ifstream in(page);
  std::string first;
  std::getline(in, first);
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(DataPath("help/NoSuchPage.html"), "");
  EXPECT_EQ(InstalledDesktopEntry(), "");
}
