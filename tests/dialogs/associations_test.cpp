// File associations on a private XDG tree: desktop files, mimeapps.list
// defaults, the shared MIME package, and the messages of failures.
#include "Associations.h"
#include "MessageBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

struct Box
{
  std::string text;
  unsigned style;
};
std::vector<Box> g_boxes;

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back({text, style});
  return VID_OK;
}

std::string ReadAll(const std::string &path)
{
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string &path, const std::string &text)
{
  std::ofstream(path) << text;
}

class Assoc : public ::testing::Test
{
protected:
  void SetUp() override
  {
    const char *base = std::getenv("VELLUM_TEST_TMP");
    std::string tmpl = std::string(base && base[0] ? base : "/tmp") + "/assocXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    root = name.data();
    data = root + "/data";
    config = root + "/config";
    g_boxes.clear();
    old = VellumSetMessageBoxHook(RecordBox);
  }
  void TearDown() override
  {
    VellumSetMessageBoxHook(old);
    std::string cmd = "rm -rf '" + root + "'";
    (void)!std::system(cmd.c_str());
  }
  CXdgAssociations Store()
  {
    CXdgAssociations s("/opt/Vellum App/vellum", data, config);
    s.SetRunMimeUpdate(false);
    return s;
  }

  std::string root, data, config;
  VellumMessageBoxHook old = nullptr;
};

} // namespace

TEST(AssocTables, GroupsAndTypes)
{
  ASSERT_EQ(kAssociationGroupCount, 7);
  EXPECT_STREQ(kAssociationGroups[0].progId, "Vellum.DJVU");
  EXPECT_STREQ(kAssociationGroups[2].label, "JPEG JPG");
  EXPECT_STREQ(kAssociationGroups[5].extensions[2], ".ppm");
  EXPECT_EQ(kAssociationGroups[4].iconIndex, 7);
  const char *progIds[7] = {nullptr,      "Vellum.DJVU", "Vellum.IW44", "Vellum.BMP",
                            "Vellum.PNM", "Vellum.JPEG", "Vellum.TIFF"};
  for (int kind = 1; kind <= 6; kind++)
    EXPECT_STREQ(ProgIdForKind(kind), progIds[kind]);
  EXPECT_EQ(ProgIdForKind(99), nullptr);
  EXPECT_STREQ(MimeTypeForExtension(".DJV"), "image/vnd.djvu");
  EXPECT_STREQ(MimeTypeForExtension(".iw4"), "image/x-iw44");
  EXPECT_STREQ(MimeTypeForExtension(".pgm"), "image/x-portable-graymap");
  EXPECT_STREQ(MimeTypeForExtension(".png"), "image/png");
  EXPECT_EQ(MimeTypeForExtension(".gif"), nullptr);
}

TEST(AssocTables, ExecQuoting)
{
  EXPECT_EQ(DesktopExecQuote("/usr/bin/vellum"), "\"/usr/bin/vellum\"");
  EXPECT_EQ(DesktopExecQuote("/opt/My App/vellum"), "\"/opt/My App/vellum\"");
  // $ gets one backslash (quoting), which the string escape then doubles.
  EXPECT_EQ(DesktopExecQuote("/a$b/100%/v"), "\"/a\\\\$b/100%%/v\"");
  // A literal backslash: four in the file.
  EXPECT_EQ(DesktopExecQuote("/a\\b"), "\"/a\\\\\\\\b\"");
}

TEST_F(Assoc, AssociateWritesDesktopFileDefaultAndMimePackage)
{
  CXdgAssociations s = Store();
  EXPECT_EQ(s.IsAssociated(".djvu", 1), 0); // nothing there yet, silently
  EXPECT_EQ(s.Associate(".djvu", "Vellum.DJVU", "Vellum DjVu Image", 2), 1);
  const std::string desktop = ReadAll(data + "/applications/Vellum.DJVU.desktop");
  EXPECT_NE(desktop.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nComment=Vellum DjVu Image\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nExec=\"/opt/Vellum App/vellum\" %f\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nIcon=vellum-filetype-2\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nMimeType=image/vnd.djvu;\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nX-Vellum-ProgID=Vellum.DJVU\n"), std::string::npos);
  const std::string apps = ReadAll(config + "/mimeapps.list");
  EXPECT_NE(apps.find("[Default Applications]\nimage/vnd.djvu=Vellum.DJVU.desktop;\n"), std::string::npos);
  EXPECT_NE(apps.find("[Added Associations]\nimage/vnd.djvu=Vellum.DJVU.desktop;\n"), std::string::npos);
  const std::string pkg = ReadAll(data + "/mime/packages/vellum.xml");
  EXPECT_NE(pkg.find("<mime-type type=\"image/x-iw44\">"), std::string::npos);
  EXPECT_NE(pkg.find("<glob pattern=\"*.djv\"/>"), std::string::npos);
  EXPECT_NE(pkg.find("<mime-type type=\"image/vnd.djvu+multipage\">"), std::string::npos);
  // Both extensions share the MIME type.
  EXPECT_EQ(s.IsAssociated(".djvu", 1), 1);
  EXPECT_EQ(s.IsAssociated(".djv", 1), 1);
  EXPECT_EQ(s.IsAssociated(".djvu", 2), 0); // another kind's ProgID
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Assoc, OtherProgramsAndExistingLinesAreKept)
{
  mkdir(config.c_str(), 0700);
  WriteAll(config + "/mimeapps.list", "# mine\n[Default Applications]\nimage/jpeg=org.gnome.eog.desktop;\n"
                                      "text/plain=gedit.desktop;\n");
  CXdgAssociations s = Store();
  // Another program's default: not associated, no message.
  EXPECT_EQ(s.IsAssociated(".jpg", 5), 0);
  EXPECT_TRUE(g_boxes.empty());
  // Unassociating leaves another program's default alone.
  EXPECT_EQ(s.Unassociate(".jpg"), 1);
  EXPECT_NE(ReadAll(config + "/mimeapps.list").find("image/jpeg=org.gnome.eog.desktop;"), std::string::npos);

  EXPECT_EQ(s.Associate(".jpg", "Vellum.JPEG", "Vellum JPEG Image", 5), 1);
  std::string apps = ReadAll(config + "/mimeapps.list");
  EXPECT_EQ(apps.rfind("# mine\n", 0), 0u);
  EXPECT_NE(apps.find("image/jpeg=Vellum.JPEG.desktop;org.gnome.eog.desktop;\n"), std::string::npos);
  EXPECT_NE(apps.find("text/plain=gedit.desktop;\n"), std::string::npos);
  EXPECT_EQ(s.IsAssociated(".jpeg", 5), 1);
  // No MIME package for a standard type.
  struct stat st;
  EXPECT_NE(stat((data + "/mime/packages/vellum.xml").c_str(), &st), 0);

  // Unassociate: our entry goes, the rest of the list stays.
  EXPECT_EQ(s.Unassociate(".jpeg"), 1);
  apps = ReadAll(config + "/mimeapps.list");
  EXPECT_NE(apps.find("image/jpeg=org.gnome.eog.desktop;\n"), std::string::npos);
  EXPECT_EQ(s.IsAssociated(".jpg", 5), 0);
  EXPECT_EQ(s.Unassociate(".jpg"), 1); // the sibling already did it
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Assoc, GeneralSettingsFlowOnTheRealStore)
{
  CXdgAssociations s = Store();
  bool before[kAssociationGroupCount], after[kAssociationGroupCount],
      wanted[kAssociationGroupCount] = {false, false, false, false, false, true, true};
  ReadAssociationStates(s, before);
  for (bool b : before)
    EXPECT_FALSE(b);
  ApplyAssociationChanges(s, before, wanted);
  ReadAssociationStates(s, after);
  for (int i = 0; i < kAssociationGroupCount; i++)
    EXPECT_EQ(after[i], wanted[i]) << i;
  const std::string apps = ReadAll(config + "/mimeapps.list");
  EXPECT_NE(apps.find("image/png=Vellum.PNG.desktop;"), std::string::npos);
  for (const char *t : {"image/x-portable-bitmap", "image/x-portable-graymap", "image/x-portable-pixmap"})
    EXPECT_NE(apps.find(std::string(t) + "=Vellum.PNM.desktop;"), std::string::npos) << t;

  // Unchecking PNM empties the defaults and leaves Vellum.PNM in place.
  ApplyAssociationChanges(s, after, before);
  ReadAssociationStates(s, after);
  EXPECT_FALSE(after[5]);
  struct stat st;
  EXPECT_EQ(stat((data + "/applications/Vellum.PNM.desktop").c_str(), &st), 0);
  const std::string list = ReadAll(config + "/mimeapps.list");
  const size_t defaults = list.find("[Default Applications]");
  const std::string defaultGroup =
      defaults == std::string::npos ? "" : list.substr(defaults, list.find("\n[", defaults) - defaults);
  EXPECT_EQ(defaultGroup.find("Vellum.PNM"), std::string::npos) << list;
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Assoc, DesktopFileWithoutExecIsNotAnAssociation)
{
  CXdgAssociations s = Store();
  ASSERT_EQ(s.Associate(".bmp", "Vellum.BMP", "Vellum BMP Image", 7), 1);
  WriteAll(data + "/applications/Vellum.BMP.desktop", "[Desktop Entry]\nName=Vellum\n");
  EXPECT_EQ(s.IsAssociated(".bmp", 3), 0);
  unlink((data + "/applications/Vellum.BMP.desktop").c_str());
  EXPECT_EQ(s.IsAssociated(".bmp", 3), 0);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Assoc, FailuresAreReported)
{
  CXdgAssociations s = Store();
  // mimeapps.list that cannot be read (a folder).
  mkdir(config.c_str(), 0700);
  mkdir((config + "/mimeapps.list").c_str(), 0700);
  EXPECT_EQ(s.IsAssociated(".tif", 6), 0);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Extension .tif: RegQuery failure 21!");
  EXPECT_EQ(g_boxes[0].style, (unsigned)(VMB_OK | VMB_ICONEXCLAMATION));
  g_boxes.clear();
  EXPECT_EQ(s.Associate(".tif", "Vellum.TIFF", "Vellum TIFF Image", 6), 0);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Extension: RegSet failure 21!");
  EXPECT_EQ(g_boxes[0].style, (unsigned)(VMB_OK | VMB_ICONSTOP));

  // A desktop file that cannot be read.
  g_boxes.clear();
  rmdir((config + "/mimeapps.list").c_str());
  WriteAll(config + "/mimeapps.list", "[Default Applications]\nimage/tiff=Vellum.TIFF.desktop;\n");
  unlink((data + "/applications/Vellum.TIFF.desktop").c_str());
  mkdir((data + "/applications/Vellum.TIFF.desktop").c_str(), 0700);
  EXPECT_EQ(s.IsAssociated(".tiff", 6), 0);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Open cmd: RegQuery failure 21!");
  EXPECT_EQ(g_boxes[0].style, (unsigned)(VMB_OK | VMB_ICONSTOP));
  // ... nor written.
  g_boxes.clear();
  EXPECT_EQ(s.Associate(".tiff", "Vellum.TIFF", "Vellum TIFF Image", 6), 0);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "File desc.: RegSet failure 21!");

  // A folder that cannot be created: silent failure.
  g_boxes.clear();
  WriteAll(root + "/plainfile", "x");
  CXdgAssociations blocked("/usr/bin/vellum", root + "/plainfile/data", root + "/plainfile/config");
  EXPECT_EQ(blocked.Associate(".bmp", "Vellum.BMP", "Vellum BMP Image", 7), 0);
  EXPECT_EQ(blocked.Unassociate(".bmp"), 0);
  EXPECT_EQ(blocked.IsAssociated(".bmp", 3), 0);
  EXPECT_EQ(s.Associate(".gif", "Vellum.GIF", "x", 1), 0); // no MIME type for it
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Assoc, MimeDatabaseIsUpdatedWhenInstalled)
{
  if (access("/usr/bin/update-mime-database", X_OK) != 0)
    GTEST_SKIP() << "update-mime-database not installed";
  CXdgAssociations s("/usr/bin/vellum", data, config);
  ASSERT_EQ(s.Associate(".iw44", "Vellum.IW44", "Vellum IW44 Image", 3), 1);
  const std::string globs = ReadAll(data + "/mime/globs2");
  EXPECT_NE(globs.find("image/x-iw44:*.iw44"), std::string::npos) << globs;
  EXPECT_EQ(s.IsAssociated(".iw4", 2), 1);
}

TEST_F(Assoc, InstalledProgramNamesItsInstalledEntry)
{
  mkdir((root + "/share").c_str(), 0755);
  mkdir((root + "/share/applications").c_str(), 0755);
  const std::string entry = root + "/share/applications/org.vellum.Vellum.desktop";
  WriteAll(entry, "[Desktop Entry]\nType=Application\nName=Vellum\nExec=vellum %f\n");
  mkdir(config.c_str(), 0700);
  WriteAll(config + "/mimeapps.list", "[Default Applications]\nimage/jpeg=org.gnome.eog.desktop;\n"
                                      "image/tiff=Vellum.TIFF.desktop;\n");
  CXdgAssociations s = Store();
  s.SetInstalledEntry(entry);
  EXPECT_EQ(s.DesktopId("Vellum.JPEG"), "org.vellum.Vellum.desktop");

  // Every group through the dialog's flow: the defaults name the installed
  // entry, and nothing is written into the data folder.
  bool before[kAssociationGroupCount], after[kAssociationGroupCount], all[kAssociationGroupCount];
  std::fill(all, all + kAssociationGroupCount, true);
  ReadAssociationStates(s, before);
  for (bool b : before)
    EXPECT_FALSE(b); // the build folder's Vellum.TIFF is not the installed entry
  ApplyAssociationChanges(s, before, all);
  ReadAssociationStates(s, after);
  for (int i = 0; i < kAssociationGroupCount; i++)
    EXPECT_TRUE(after[i]) << i;
  const std::string apps = ReadAll(config + "/mimeapps.list");
  for (const char *t : {"image/vnd.djvu", "image/x-iw44", "image/jpeg", "image/tiff", "image/bmp",
                        "image/x-portable-pixmap", "image/png"})
    EXPECT_NE(apps.find(std::string("\n") + t + "=org.vellum.Vellum.desktop;"), std::string::npos) << t;
  EXPECT_NE(apps.find("image/jpeg=org.vellum.Vellum.desktop;org.gnome.eog.desktop;"), std::string::npos);
  struct stat st;
  EXPECT_NE(stat((data + "/applications").c_str(), &st), 0);
  EXPECT_NE(stat((data + "/mime").c_str(), &st), 0);

  // Unchecking removes our ids, the build folder's as well, and leaves
  // another program's.
  WriteAll(config + "/mimeapps.list",
           "[Default Applications]\n"
           "image/tiff=org.vellum.Vellum.desktop;Vellum.TIFF.desktop;other.desktop;\n");
  EXPECT_EQ(s.Unassociate(".tif"), 1);
  EXPECT_NE(ReadAll(config + "/mimeapps.list").find("image/tiff=other.desktop;\n"), std::string::npos);

  // An installed entry without an open command is no association.
  EXPECT_EQ(s.Associate(".bmp", "Vellum.BMP", "Vellum BMP Image", 7), 1);
  EXPECT_EQ(s.IsAssociated(".bmp", 3), 1);
  WriteAll(entry, "[Desktop Entry]\nName=Vellum\n");
  EXPECT_EQ(s.IsAssociated(".bmp", 3), 0);
  EXPECT_TRUE(g_boxes.empty());

  // A store for a given program path never looks for an installed entry.
  EXPECT_EQ(Store().InstalledEntry(), "");
}

TEST_F(Assoc, EnvironmentNamesTheFolders)
{
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  CXdgAssociations s("/usr/bin/vellum");
  EXPECT_EQ(s.MimeAppsPath(), config + "/mimeapps.list");
  EXPECT_EQ(s.DesktopFilePath("Vellum.BMP"), data + "/applications/Vellum.BMP.desktop");
  EXPECT_EQ(s.MimePackagePath(), data + "/mime/packages/vellum.xml");
  setenv("XDG_CONFIG_HOME", "relative/path", 1); // not absolute: ignored
  setenv("HOME", root.c_str(), 1);
  CXdgAssociations t("/usr/bin/vellum");
  EXPECT_EQ(t.MimeAppsPath(), root + "/.config/mimeapps.list");
}
