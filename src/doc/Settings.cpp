// Settings store: the table of stored keys over the INI file model (IniFile.h).
//
// Every key is described once in kKeys (section, name, kind, member,
// default), in the order the file is read and written; loading, saving and
// the defaults all walk that table.
#include "Settings.h"

#include "AppPaths.h"
#include "ReplaceFile.h"
#include "djvuapi.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::string StripSlash(std::string dir)
{
  while (dir.size() > 1 && dir.back() == '/')
    dir.pop_back();
  return dir;
}

} // namespace

// ---------------------------------------------------------------------------
// The key table

namespace
{

enum Kind
{
  kInt,
  kReal,
  kText
};

struct KeyDef
{
  const char *section;
  const char *key;
  Kind kind;
  int CVellumSettings::*intMember;
  float CVellumSettings::*realMember;
  std::string CVellumSettings::*textMember;
  int intDefault;
  const char *textDefault; // reals and texts; nullptr: computed
};

#define INT_KEY(sec, name, def)                                                                              \
  {                                                                                                          \
    sec, #name, kInt, &CVellumSettings::name, nullptr, nullptr, def, nullptr                                 \
  }
#define REAL_KEY(sec, name, def)                                                                             \
  {                                                                                                          \
    sec, #name, kReal, nullptr, &CVellumSettings::name, nullptr, 0, def                                      \
  }
#define TEXT_KEY(sec, name, def)                                                                             \
  {                                                                                                          \
    sec, #name, kText, nullptr, nullptr, &CVellumSettings::name, 0, def                                      \
  }

const KeyDef kKeys[] = {
    INT_KEY("General", ImageFit, 0),
    INT_KEY("General", WindowFit, 1),
    INT_KEY("General", WindowCenter, 1),
    TEXT_KEY("General", OpenDir, ""),
    INT_KEY("General", OpenType, 100),
    TEXT_KEY("General", SaveDir, ""),
    INT_KEY("General", SaveType, 1),
    TEXT_KEY("General", LCOpenDir, nullptr),
    INT_KEY("General", LCOpenType, 100),
    INT_KEY("General", NoStartupInfo, 0),
    INT_KEY("General", PrintSize, 0),
    INT_KEY("General", ShrinkPrint, 1),
    INT_KEY("General", FancyZoom, 1),
    INT_KEY("General", Dither, 1),
    REAL_KEY("General", DisplayGamma, "2.2"),
    INT_KEY("General", SlideDelay, 5),
    INT_KEY("General", MaxPixels, (int)DJVU_DEFAULT_MAX_PIXELS),
    INT_KEY("General", PageBar, 1),

    INT_KEY("DjVu", DjvuQuickSet, -1),
    INT_KEY("DjVu", DjvuPhotoQty, 80),
    INT_KEY("DjVu", DjvuNoThick, 0),
    INT_KEY("DjVu", DjvuLossless, 0),
    INT_KEY("DjVu", DjvuTextOnly, 0),
    REAL_KEY("DjVu", DjvuPhotoGamma, "2.2"),
    INT_KEY("DjVu", DjvuNoColorFilter, 0),
    INT_KEY("DjVu", DjvuNoInvFilter, 0),
    INT_KEY("DjVu", DjvuNoSizeFilter, 0),
    INT_KEY("DjVu", DjvuFilterLevel, 0),
    INT_KEY("DjVu", DjvuForeback, 0),
    INT_KEY("DjVu", DjvuUpsample, 0),
    INT_KEY("DjVu", DjvuProfile, 0),

    INT_KEY("IW44", Iw44PhotoQty, 80),
    INT_KEY("IW44", Iw44Crcb, 0),
    REAL_KEY("IW44", Iw44PhotoGamma, "2.2"),

    INT_KEY("JPEG", JpegQty, 75),
    INT_KEY("JPEG", JpegSmooth, 0),
    INT_KEY("JPEG", JpegOptHuff, 0),
    INT_KEY("JPEG", JpegEncodeDCT, 0),
    INT_KEY("JPEG", JpegDecodeDCT, 0),
};

#undef INT_KEY
#undef REAL_KEY
#undef TEXT_KEY

const char kRecentSection[] = "Recent File List";

std::string RecentKey(int i)
{
  return "File" + std::to_string(i + 1);
}

std::string RecentPageKey(int i)
{
  return "Page" + std::to_string(i + 1);
}

} // namespace

int ParseRecentPage(const std::string &text)
{
  // Decimal digits only: a page number 1..INT_MAX.
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  const long long page = std::stoll(text);
  return page >= 1 && page <= INT_MAX ? static_cast<int>(page - 1) : 0;
}

std::string RecentPageText(int pageIndex)
{
  return pageIndex > 0 && pageIndex < INT_MAX ? std::to_string(pageIndex + 1) : std::string();
}

// ---------------------------------------------------------------------------
// CVellumSettings

CVellumSettings::CVellumSettings()
{
  ReadFrom(CIniFile());
}

void CVellumSettings::ReadFrom(const CIniFile &ini)
{
  for (const KeyDef &k : kKeys)
    switch (k.kind)
    {
    case kInt:
      this->*k.intMember = ini.GetInt(k.section, k.key, k.intDefault);
      break;
    case kReal:
      this->*k.realMember = ParseReal(ini.GetString(k.section, k.key, k.textDefault));
      break;
    case kText:
      this->*k.textMember = ini.GetString(k.section, k.key, k.textDefault ? k.textDefault : HomeDir());
      break;
    }
  for (int i = 0; i < kRecentFiles; i++)
  {
    RecentFiles[i] = ini.GetString(kRecentSection, RecentKey(i), "");
    RecentPages[i] = ParseRecentPage(ini.GetString(kRecentSection, RecentPageKey(i), ""));
  }
}

void CVellumSettings::WriteTo(CIniFile &ini) const
{
  for (const KeyDef &k : kKeys)
    switch (k.kind)
    {
    case kInt:
      ini.Set(k.section, k.key, std::to_string(this->*k.intMember));
      break;
    case kReal:
      ini.Set(k.section, k.key, FormatReal(this->*k.realMember));
      break;
    case kText:
      ini.Set(k.section, k.key, this->*k.textMember);
      break;
    }
  // Only used entries are stored; stale ones are removed.
  for (int i = 0; i < kRecentFiles; i++)
  {
    if (RecentFiles[i].empty())
      ini.Remove(kRecentSection, RecentKey(i));
    else
      ini.Set(kRecentSection, RecentKey(i), RecentFiles[i]);
    const std::string page = RecentFiles[i].empty() ? std::string() : RecentPageText(RecentPages[i]);
    if (page.empty())
      ini.Remove(kRecentSection, RecentPageKey(i));
    else
      ini.Set(kRecentSection, RecentPageKey(i), page);
  }
}

void CVellumSettings::LoadSettings(const std::string &path)
{
  CIniFile ini;
  ini.Load(path);
  ReadFrom(ini);
}

void CVellumSettings::LoadSettings()
{
  LoadSettings(SettingsPath());
}

bool CVellumSettings::SaveSettings(const std::string &path) const
{
  CIniFile ini;
  ini.Load(path);
  WriteTo(ini);
  return WriteFileAtomically(path, ini.Text());
}

bool CVellumSettings::SaveSettings() const
{
  return SaveSettings(SettingsPath());
}

void CVellumSettings::AddRecentFile(const std::string &path)
{
  if (path.empty())
    return;
  int found = kRecentFiles - 1;
  int page = 0;
  for (int i = 0; i < kRecentFiles; i++)
    if (RecentFiles[i] == path)
    {
      found = i;
      page = RecentPages[i];
      break;
    }
  // An entry moved up keeps its page.
  for (int i = found; i > 0; i--)
  {
    RecentFiles[i] = RecentFiles[i - 1];
    RecentPages[i] = RecentPages[i - 1];
  }
  RecentFiles[0] = path;
  RecentPages[0] = page;
}

std::string CVellumSettings::ProgramDir()
{
  return vellum::ProgramDirectory();
}

std::string CVellumSettings::HomeDir()
{
  const char *home = getenv("HOME");
  if (home && *home)
    return StripSlash(home);
  struct passwd *pw = getpwuid(getuid());
  if (pw && pw->pw_dir && *pw->pw_dir)
    return StripSlash(pw->pw_dir);
  return "/";
}

std::string CVellumSettings::SettingsPath(const std::string &programDir)
{
  std::string dir = StripSlash(programDir.empty() ? ProgramDir() : programDir);
  std::string beside = (dir == "/" ? std::string() : dir) + "/Vellum.ini";
  struct stat st;
  if (stat(beside.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    return beside;
  const char *xdg = getenv("XDG_CONFIG_HOME");
  std::string config;
  if (xdg && xdg[0] == '/')
    config = StripSlash(xdg);
  else
    config = (HomeDir() == "/" ? std::string() : HomeDir()) + "/.config";
  return config + "/vellum/Vellum.ini";
}
