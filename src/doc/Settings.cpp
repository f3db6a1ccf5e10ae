// Settings store: the INI file model and the table of stored keys.
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

std::string Trim(const std::string &s)
{
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n'))
    b++;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
    e--;
  return s.substr(b, e - b);
}

bool SameName(const std::string &a, const std::string &b)
{
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); i++)
  {
    unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
    if (x >= 'A' && x <= 'Z')
      x = (unsigned char)(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z')
      y = (unsigned char)(y - 'A' + 'a');
    if (x != y)
      return false;
  }
  return true;
}

std::string Unquote(const std::string &v)
{
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

std::string StripSlash(std::string dir)
{
  while (dir.size() > 1 && dir.back() == '/')
    dir.pop_back();
  return dir;
}

} // namespace

// ---------------------------------------------------------------------------
// CIniFile

void CIniFile::Parse(const std::string &text)
{
  m_sections.clear();
  m_sections.push_back(Section());
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw))
  {
    if (!raw.empty() && raw.back() == '\r')
      raw.pop_back();
    std::string t = Trim(raw);
    if (!t.empty() && t[0] == '[')
    {
      size_t close = t.find(']');
      if (close != std::string::npos)
      {
        Section s;
        s.name = Trim(t.substr(1, close - 1));
        m_sections.push_back(s);
        continue;
      }
    }
    Line line;
    size_t eq = t.find('=');
    if (!t.empty() && t[0] != ';' && t[0] != '#' && eq != std::string::npos && eq > 0)
    {
      line.key = Trim(t.substr(0, eq));
      line.value = Trim(t.substr(eq + 1));
    }
    if (line.key.empty())
      line.raw = raw;
    m_sections.back().lines.push_back(line);
  }
}

bool CIniFile::Load(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  if (!in)
  {
    Parse(std::string());
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  Parse(text.str());
  return true;
}

std::string CIniFile::Text() const
{
  std::string out;
  for (size_t i = 0; i < m_sections.size(); i++)
  {
    const Section &s = m_sections[i];
    if (i > 0)
      out += "[" + s.name + "]\n";
    for (const Line &l : s.lines)
      out += (l.key.empty() ? l.raw : l.key + "=" + l.value) + "\n";
  }
  return out;
}

CIniFile::Section *CIniFile::FindSection(const std::string &name)
{
  for (size_t i = 1; i < m_sections.size(); i++)
    if (SameName(m_sections[i].name, name))
      return &m_sections[i];
  return nullptr;
}

const CIniFile::Section *CIniFile::FindSection(const std::string &name) const
{
  return const_cast<CIniFile *>(this)->FindSection(name);
}

const std::string *CIniFile::Find(const std::string &section, const std::string &key) const
{
  const Section *s = FindSection(section);
  if (!s)
    return nullptr;
  for (const Line &l : s->lines)
    if (!l.key.empty() && SameName(l.key, key))
      return &l.value;
  return nullptr;
}

std::string CIniFile::GetString(const std::string &section, const std::string &key,
                                const std::string &def) const
{
  const std::string *v = Find(section, key);
  return v ? Unquote(*v) : def;
}

int CIniFile::GetInt(const std::string &section, const std::string &key, int def) const
{
  const std::string *v = Find(section, key);
  if (!v)
    return def;
  const char *p = v->c_str();
  char *end = nullptr;
  errno = 0;
  long n = std::strtol(p, &end, 10);
  if (end == p || errno == ERANGE || n < INT_MIN || n > INT_MAX)
    return def;
  return (int)n;
}

void CIniFile::Set(const std::string &section, const std::string &key, const std::string &value)
{
  if (m_sections.empty())
    m_sections.push_back(Section());
  Section *s = FindSection(section);
  if (!s)
  {
    // Keep a blank line between sections, as the profile calls do.
    Section &last = m_sections.back();
    if (m_sections.size() > 1 &&
        (last.lines.empty() || !last.lines.back().raw.empty() || !last.lines.back().key.empty()))
      last.lines.push_back(Line());
    Section n;
    n.name = section;
    m_sections.push_back(n);
    s = &m_sections.back();
  }
  for (Line &l : s->lines)
    if (!l.key.empty() && SameName(l.key, key))
    {
      l.value = value;
      return;
    }
  Line line;
  line.key = key;
  line.value = value;
  // New keys go after the last entry, before trailing blank lines.
  size_t at = s->lines.size();
  while (at > 0 && s->lines[at - 1].key.empty() && Trim(s->lines[at - 1].raw).empty())
    at--;
  s->lines.insert(s->lines.begin() + (long)at, line);
}

void CIniFile::Remove(const std::string &section, const std::string &key)
{
  Section *s = FindSection(section);
  if (!s)
    return;
  for (size_t i = 0; i < s->lines.size(); i++)
    if (!s->lines[i].key.empty() && SameName(s->lines[i].key, key))
    {
      s->lines.erase(s->lines.begin() + (long)i);
      return;
    }
}

// ---------------------------------------------------------------------------
// Files and numbers

bool WriteFileAtomically(const std::string &path, const std::string &text)
{
  return vellum::ReplaceFileContents(path, text, 0700) == 0;
}

std::string FormatReal(float value)
{
  // to_chars is locale-independent and rounds like printf("%.1f").
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, (double)value, std::chars_format::fixed, 1);
  if (r.ec != std::errc())
    return "0.0";
  std::string s(buf, r.ptr);
  while (s.size() < 2) // the field width of "%2.1f"
    s = " " + s;
  return s;
}

float ParseReal(const std::string &text)
{
  const char *p = text.c_str();
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
    p++;
  bool neg = false;
  if (*p == '+' || *p == '-')
  {
    neg = *p == '-';
    p++;
  }
  if (*p == '+' || *p == '-') // from_chars would accept a second "-"
    return 0.0f;
  double v = 0;
  auto r = std::from_chars(p, p + std::strlen(p), v);
  if (r.ec != std::errc() || !std::isfinite(v) || std::fabs(v) > 3.0e38)
    return 0.0f;
  return (float)(neg ? -v : v);
}

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

} // namespace

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
    RecentFiles[i] = ini.GetString(kRecentSection, RecentKey(i), "");
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
    if (RecentFiles[i].empty())
      ini.Remove(kRecentSection, RecentKey(i));
    else
      ini.Set(kRecentSection, RecentKey(i), RecentFiles[i]);
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
  for (int i = 0; i < kRecentFiles; i++)
    if (RecentFiles[i] == path)
    {
      found = i;
      break;
    }
  for (int i = found; i > 0; i--)
    RecentFiles[i] = RecentFiles[i - 1];
  RecentFiles[0] = path;
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
