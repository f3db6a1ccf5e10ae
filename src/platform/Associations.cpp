// File associations on the freedesktop.org specifications (see the header
// for the mapping from extension keys and ProgIDs).
//
// mimeapps.list is edited as an INI file that keeps every line it does not
// change; files are replaced through a temporary file and a rename so that a
// failed write leaves the old file.
#include "Associations.h"
#include "AppPaths.h"
#include "MimePackage.h"
#include "ReplaceFile.h"

#include "MessageBox.h"
#include "IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

const AssociationGroup kAssociationGroups[kAssociationGroupCount] = {
    {"DJVU DJV", {".djvu", ".djv", nullptr}, 1, "Vellum.DJVU", "Vellum DjVu Image", 2},
    {"IW44 IW4", {".iw44", ".iw4", nullptr}, 2, "Vellum.IW44", "Vellum IW44 Image", 3},
    {"JPEG JPG", {".jpeg", ".jpg", nullptr}, 5, "Vellum.JPEG", "Vellum JPEG Image", 5},
    {"TIFF TIF", {".tiff", ".tif", nullptr}, 6, "Vellum.TIFF", "Vellum TIFF Image", 6},
    {"BMP", {".bmp", nullptr, nullptr}, 3, "Vellum.BMP", "Vellum BMP Image", 7},
    {"PBM PGM PPM", {".pbm", ".pgm", ".ppm"}, 4, "Vellum.PNM", "Vellum PNM Image", 4},
    {"PNG", {".png", nullptr, nullptr}, 7, "Vellum.PNG", "Vellum PNG Image", 8},
};

namespace
{

const char kDefaultGroup[] = "Default Applications";
const char kAddedGroup[] = "Added Associations";
const char kDjvuType[] = "image/vnd.djvu";
const char kIw44Type[] = "image/x-iw44";
const char kCaption[] = "Vellum";

struct ExtensionType
{
  const char *extension;
  const char *mimeType;
};

const ExtensionType kExtensionTypes[] = {
    {".djvu", kDjvuType},
    {".djv", kDjvuType},
    {".iw44", kIw44Type},
    {".iw4", kIw44Type},
    {".jpeg", "image/jpeg"},
    {".jpg", "image/jpeg"},
    {".tiff", "image/tiff"},
    {".tif", "image/tiff"},
    {".bmp", "image/bmp"},
    {".pbm", "image/x-portable-bitmap"},
    {".pgm", "image/x-portable-graymap"},
    {".ppm", "image/x-portable-pixmap"},
    {".png", "image/png"},
};

std::string Lower(std::string s)
{
  for (char &c : s)
    if (c >= 'A' && c <= 'Z')
      c = (char)(c - 'A' + 'a');
  return s;
}

std::string EnvDir(const char *name, const char *homeSuffix)
{
  const char *v = std::getenv(name);
  if (v && v[0] == '/')
    return v;
  const char *home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "/") + homeSuffix;
}

std::string RunningExecutable()
{
  const std::string exe = vellum::ProgramPath();
  return exe.empty() ? "vellum" : exe;
}

// Reads a whole file. 0 on success, else the errno value (ENOENT for a
// missing file).
int ReadFile(const std::string &path, std::string *text)
{
  text->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno ? errno : EIO;
  char buf[8192];
  for (;;)
  {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
    {
      int e = errno;
      close(fd);
      return e ? e : EIO;
    }
    if (n == 0)
      break;
    text->append(buf, (size_t)n);
  }
  close(fd);
  return 0;
}

enum
{
  kNoFolder = vellum::kReplaceNoFolder // the folder could not be created
};

// Writes text through a temporary file and a rename. 0 on success,
// kNoFolder when the folder cannot be created, else the errno value.
int WriteFile(const std::string &path, const std::string &text)
{
  return vellum::ReplaceFileContents(path, text, 0755);
}

void Report(const char *format, int code, unsigned icon)
{
  char text[160];
  std::snprintf(text, sizeof text, format, code);
  VellumMessageBox(text, kCaption, VMB_OK | icon);
}

// "a.desktop;b.desktop;" -> its entries.
std::vector<std::string> SplitList(const std::string &value)
{
  std::vector<std::string> out;
  std::string cur;
  for (char c : value)
    if (c == ';')
    {
      if (!cur.empty())
        out.push_back(cur);
      cur.clear();
    }
    else
      cur += c;
  if (!cur.empty())
    out.push_back(cur);
  return out;
}

std::string JoinList(const std::vector<std::string> &items)
{
  std::string out;
  for (const std::string &s : items)
    out += s + ";";
  return out;
}

bool IsVellumDesktopId(const std::string &id)
{
  if (id == std::string(vellum::kAppId) + ".desktop")
    return true;
  for (const AssociationGroup &g : kAssociationGroups)
    if (id == std::string(g.progId) + ".desktop")
      return true;
  return false;
}

// Puts id at the head of the list entry key of group (once).
void PutFirst(CIniFile &ini, const char *group, const std::string &key, const std::string &id)
{
  std::vector<std::string> items;
  if (const std::string *v = ini.Find(group, key))
    items = SplitList(*v);
  std::vector<std::string> out{id};
  for (const std::string &s : items)
    if (s != id)
      out.push_back(s);
  ini.Set(group, key, JoinList(out));
}

// Desktop-entry string escaping of a value.
std::string EscapeString(const std::string &s)
{
  std::string out;
  for (char c : s)
    switch (c)
    {
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\r':
      out += "\\r";
      break;
    default:
      out += c;
    }
  return out;
}

// Does the [Desktop Entry] group of text have an Exec= key?
bool HasExec(const std::string &text)
{
  std::istringstream in(text);
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line))
  {
    if (!line.empty() && line[0] == '[')
      inEntry = line.rfind("[Desktop Entry]", 0) == 0;
    else if (inEntry && line.rfind("Exec", 0) == 0)
    {
      size_t p = 4;
      while (p < line.size() && line[p] == ' ')
        p++;
      if (p < line.size() && line[p] == '=' && line.find_first_not_of(' ', p + 1) != std::string::npos)
        return true;
    }
  }
  return false;
}

// Runs update-mime-database on dir when it is installed; waits for it.
void UpdateMimeDatabase(const std::string &dir)
{
  std::string prog = "update-mime-database";
  std::vector<char> a0(prog.begin(), prog.end()), a1(dir.begin(), dir.end());
  a0.push_back('\0');
  a1.push_back('\0');
  char *argv[] = {a0.data(), a1.data(), nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, prog.c_str(), nullptr, nullptr, argv, environ) != 0)
    return;
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
  {
  }
}

} // namespace

const char *ProgIdForKind(int kind)
{
  for (const AssociationGroup &g : kAssociationGroups)
    if (g.kind == kind)
      return g.progId;
  return nullptr;
}

const char *MimeTypeForExtension(const std::string &extension)
{
  std::string ext = Lower(extension);
  for (const ExtensionType &e : kExtensionTypes)
    if (ext == e.extension)
      return e.mimeType;
  return nullptr;
}

std::string DesktopExecQuote(const std::string &path)
{
  // Quoting rule first (\ " ` $ get a backslash), then the string escape
  // (each \ doubled), then % doubled for the field-code rule.
  std::string quoted = "\"";
  for (char c : path)
  {
    if (c == '"' || c == '`' || c == '$' || c == '\\')
      quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string out;
  for (char c : EscapeString(quoted))
  {
    out += c;
    if (c == '%')
      out += '%';
  }
  return out;
}

CXdgAssociations::CXdgAssociations(const std::string &programPath, const std::string &dataHome,
                                   const std::string &configHome)
    : m_program(programPath.empty() ? RunningExecutable() : programPath),
      m_dataHome(dataHome.empty() ? EnvDir("XDG_DATA_HOME", "/.local/share") : dataHome),
      m_configHome(configHome.empty() ? EnvDir("XDG_CONFIG_HOME", "/.config") : configHome),
      m_installedEntry(programPath.empty() ? vellum::InstalledDesktopEntry() : std::string())
{
}

std::string CXdgAssociations::DesktopId(const std::string &progId) const
{
  return (m_installedEntry.empty() ? progId : std::string(vellum::kAppId)) + ".desktop";
}

std::string CXdgAssociations::MimeAppsPath() const
{
  return m_configHome + "/mimeapps.list";
}

std::string CXdgAssociations::DesktopFilePath(const std::string &progId) const
{
  return m_dataHome + "/applications/" + progId + ".desktop";
}

std::string CXdgAssociations::MimePackagePath() const
{
  return m_dataHome + "/mime/packages/vellum.xml";
}

std::string CXdgAssociations::DesktopFileText(const std::string &progId, const std::string &description,
                                              int iconIndex) const
{
  // Every type of the ProgID's group, so the desktop file is complete
  // whichever extension was associated first.
  std::vector<std::string> types;
  for (const AssociationGroup &g : kAssociationGroups)
    if (progId == g.progId)
      for (const char *ext : g.extensions)
        if (ext)
        {
          std::string t = MimeTypeForExtension(ext);
          bool seen = false;
          for (const std::string &s : types)
            seen = seen || s == t;
          if (!seen)
            types.push_back(t);
        }
  std::string text = "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Version=1.0\n"
                     "Name=Vellum\n";
  text += "Comment=" + EscapeString(description) + "\n";
  text += "Exec=" + DesktopExecQuote(m_program) + " %f\n";
  text += "Icon=vellum-filetype-" + std::to_string(iconIndex) + "\n";
  text += "Terminal=false\n"
          "NoDisplay=true\n";
  if (!types.empty())
    text += "MimeType=" + JoinList(types) + "\n";
  text += "X-Vellum-ProgID=" + EscapeString(progId) + "\n";
  text += "X-Vellum-IconIndex=" + std::to_string(iconIndex) + "\n";
  return text;
}

int CXdgAssociations::IsAssociated(const std::string &extension, int kind)
{
  const char *type = MimeTypeForExtension(extension);
  const char *progId = ProgIdForKind(kind);
  if (!type || !progId)
    return 0;
  // The extension key: mimeapps.list.
  std::string text;
  int err = ReadFile(MimeAppsPath(), &text);
  if (err == ENOENT || err == ENOTDIR || err == EACCES)
    return 0; // the key cannot be opened
  if (err)
  {
    char fmt[128];
    std::snprintf(fmt, sizeof fmt, "Extension %s: RegQuery failure %%d!", extension.c_str());
    Report(fmt, err, VMB_ICONEXCLAMATION);
    return 0;
  }
  CIniFile ini;
  ini.Parse(text);
  const std::string *value = ini.Find(kDefaultGroup, type);
  if (!value)
    return 0; // no value: silent
  std::vector<std::string> ids = SplitList(*value);
  if (ids.empty() || ids[0] != DesktopId(progId))
    return 0;
  // The open command: the desktop file's Exec= line.
  err = ReadFile(m_installedEntry.empty() ? DesktopFilePath(progId) : m_installedEntry, &text);
  if (err == ENOENT || err == ENOTDIR || err == EACCES)
    return 0;
  if (err)
  {
    Report("Open cmd: RegQuery failure %d!", err, VMB_ICONSTOP);
    return 0;
  }
  return HasExec(text) ? 1 : 0;
}

int CXdgAssociations::Associate(const std::string &extension, const std::string &progId,
                                const std::string &description, int iconIndex)
{
  const char *type = MimeTypeForExtension(extension);
  if (!type || progId.empty())
    return 0;
  // The installed program has its desktop entry and MIME package in its
  // prefix; from the build folder both are written first, so that a default
  // never names a missing file.
  if (m_installedEntry.empty())
  {
    int err = WriteFile(DesktopFilePath(progId), DesktopFileText(progId, description, iconIndex));
    if (err == kNoFolder)
      return 0;
    if (err)
    {
      Report("File desc.: RegSet failure %d!", err, VMB_ICONSTOP);
      return 0;
    }
    if (std::strcmp(type, kDjvuType) == 0 || std::strcmp(type, kIw44Type) == 0)
    {
      std::string old;
      if (ReadFile(MimePackagePath(), &old) != 0 || old != kMimePackage)
      {
        err = WriteFile(MimePackagePath(), kMimePackage);
        if (err == kNoFolder)
          return 0;
        if (err)
        {
          Report("Extension: RegSet failure %d!", err, VMB_ICONSTOP);
          return 0;
        }
        if (m_runMimeUpdate)
          UpdateMimeDatabase(m_dataHome + "/mime");
      }
    }
  }
  std::string text;
  int err = ReadFile(MimeAppsPath(), &text);
  if (err && err != ENOENT)
  {
    Report("Extension: RegSet failure %d!", err, VMB_ICONSTOP);
    return 0;
  }
  CIniFile ini;
  ini.Parse(text);
  const std::string id = DesktopId(progId);
  PutFirst(ini, kDefaultGroup, type, id);
  PutFirst(ini, kAddedGroup, type, id);
  err = WriteFile(MimeAppsPath(), ini.Text());
  if (err == kNoFolder)
    return 0;
  if (err)
  {
    Report("Extension: RegSet failure %d!", err, VMB_ICONSTOP);
    return 0;
  }
  return 1;
}

int CXdgAssociations::Unassociate(const std::string &extension)
{
  const char *type = MimeTypeForExtension(extension);
  if (!type)
    return 0;
  std::string text;
  int err = ReadFile(MimeAppsPath(), &text);
  if (err)
    return 0; // the key cannot be opened
  CIniFile ini;
  ini.Parse(text);
  const std::string *value = ini.Find(kDefaultGroup, type);
  if (!value)
    return 1; // nothing to empty (a sibling extension already did)
  std::vector<std::string> ids = SplitList(*value), rest;
  for (const std::string &s : ids)
    if (!IsVellumDesktopId(s))
      rest.push_back(s);
  if (rest.size() == ids.size())
    return 1; // another program's default: left alone
  if (rest.empty())
    ini.Remove(kDefaultGroup, type);
  else
    ini.Set(kDefaultGroup, type, JoinList(rest));
  err = WriteFile(MimeAppsPath(), ini.Text());
  if (err == kNoFolder)
    return 0;
  if (err)
  {
    Report("Extension: RegSet failure %d!", err, VMB_ICONSTOP);
    return 0;
  }
  return 1;
}

void ReadAssociationStates(CFileAssociations &store, bool states[kAssociationGroupCount])
{
  for (int i = 0; i < kAssociationGroupCount; i++)
  {
    const AssociationGroup &g = kAssociationGroups[i];
    int all = 1;
    for (const char *ext : g.extensions)
      if (ext)
        all *= store.IsAssociated(ext, g.kind);
    states[i] = all != 0;
  }
}

void ApplyAssociationChanges(CFileAssociations &store, const bool before[kAssociationGroupCount],
                             const bool wanted[kAssociationGroupCount])
{
  for (int i = 0; i < kAssociationGroupCount; i++)
  {
    if (before[i] == wanted[i])
      continue;
    const AssociationGroup &g = kAssociationGroups[i];
    for (const char *ext : g.extensions)
    {
      if (!ext)
        continue;
      if (before[i])
        store.Unassociate(ext);
      else
        store.Associate(ext, g.progId, g.description, g.iconIndex);
    }
  }
}
