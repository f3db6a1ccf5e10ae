#include "BrowserLogic.h"

#include <algorithm>
#include <set>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DibImage.h"
#include "MessageBox.h"

namespace vellum
{

namespace
{

const char kCaption[] = "Vellum";

template <typename... Args> std::string Format(const char *format, Args... args)
{
  const int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0)
    return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), format, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

int Sign(int64_t v)
{
  return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

int CompareNoCase(const std::string &a, const std::string &b)
{
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
  {
    int ca = static_cast<unsigned char>(a[i]);
    int cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z')
      ca += 'a' - 'A';
    if (cb >= 'A' && cb <= 'Z')
      cb += 'a' - 'A';
    if (ca != cb)
      return ca < cb ? -1 : 1;
  }
  return Sign(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size()));
}

} // namespace

const char *const kFilterNames[kFilterEntries] = {"DjVu (*.djvu, *.djv)",
                                                  "IW44 (*.iw44, *iw4)",
                                                  "Windows bitmap (*.bmp)",
                                                  "PNM (*.pnm, *.ppm, *.pgm, *.pbm)",
                                                  "JPEG (*.jpg, *.jpeg)",
                                                  "TIFF (*.tif, *.tiff)",
                                                  "PNG (*.png)",
                                                  "All supported types"};
const char *const kColumnNames[4] = {"Name", "Size", "Type", "Modified"};
const int kColumnWidths[4] = {100, 60, 50, 100};
const bool kColumnRight[4] = {false, true, false, false};

bool FilterAccepts(int filter, int kind)
{
  if (filter >= IMAGE_FILE_DJVU && filter <= IMAGE_FILE_LAST)
    return kind == filter;
  if (filter == IMAGE_FILE_ALL)
    return kind != IMAGE_FILE_UNKNOWN;
  return false;
}

int FilterIndexForType(int lcOpenType)
{
  if (lcOpenType >= IMAGE_FILE_DJVU && lcOpenType <= IMAGE_FILE_LAST)
    return lcOpenType - 1;
  return lcOpenType == IMAGE_FILE_ALL ? kFilterEntries - 1 : -1;
}

int TypeForFilterIndex(int index)
{
  return index >= 0 && index < kFilterEntries - 1 ? index + 1 : IMAGE_FILE_ALL;
}

std::string ListedDirectory(const std::string &dir)
{
  std::string d = dir;
  if (d.size() > 1 && d.back() == '/')
    d.pop_back();
  return d;
}

std::string ParentDirectory(const std::string &dir)
{
  const std::string d = ListedDirectory(dir);
  const size_t slash = d.rfind('/');
  if (slash == std::string::npos)
    return d;
  if (slash == 0)
    return "/";
  return d.substr(0, slash);
}

bool ListDirectory(const std::string &dir, int filter, std::vector<FileEntry> &out)
{
  out.clear();
  const std::string listed = ListedDirectory(dir);
  DIR *d = opendir(listed.empty() ? "." : listed.c_str());
  if (!d)
    return false;
  while (struct dirent *e = readdir(d))
  {
    const std::string name = e->d_name;
    if (name == ".")
      continue;
    const std::string path = JoinPath(listed, name);
    struct stat st;
    const bool known = stat(path.c_str(), &st) == 0 || lstat(path.c_str(), &st) == 0;
    FileEntry entry;
    entry.name = name;
    if (known)
      entry.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (known && S_ISDIR(st.st_mode))
    {
      entry.kind = 0;
      out.push_back(std::move(entry));
      continue;
    }
    if (name == "..")
      continue; // ".." that is not a directory cannot happen; keep the rule simple
    entry.kind = GetImageFileType(name.c_str());
    if (!FilterAccepts(filter, entry.kind))
      continue;
    entry.size = known && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    out.push_back(std::move(entry));
  }
  closedir(d);
  GroupDocuments(out, [&listed](const std::string &name, int kind, std::vector<std::string> *parts)
                 { return ReadPageCount(JoinPath(listed, name), kind, parts); });
  return true;
}

namespace
{

void CollectPart(void *parts, const char *name)
{
  static_cast<std::vector<std::string> *>(parts)->push_back(name);
}

void QuietApiError(const char *, const char *, int) {}

} // namespace

int ReadPageCount(const std::string &path, int kind, std::vector<std::string> *parts)
{
  if (kind == IMAGE_FILE_TIFF)
    return TiffPageCount(path.c_str());
  if (kind != IMAGE_FILE_DJVU)
    return 0;
  // A damaged file in the folder is no reason for a message box.
  const djvu_error_callback old = djvu_set_error_callback(QuietApiError);
  int pages = 0;
  std::vector<std::string> names;
  const int type = djvu_document_peek(path.c_str(), &pages, CollectPart, &names);
  djvu_set_error_callback(old);
  if (type == DJVU_DOCUMENT_INDIRECT && parts)
    *parts = std::move(names);
  return type < 0 ? 0 : pages;
}

void GroupDocuments(std::vector<FileEntry> &entries, const PageCountFn &pagesOf)
{
  std::set<std::string> parts;
  for (FileEntry &e : entries)
  {
    if (e.kind != IMAGE_FILE_DJVU && e.kind != IMAGE_FILE_TIFF)
      continue;
    std::vector<std::string> named;
    e.pages = pagesOf(e.name, e.kind, &named);
    for (const std::string &n : named)
      if (n != e.name) // an index never hides itself
        parts.insert(n);
  }
  if (parts.empty())
    return;
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&parts](const FileEntry &e) { return e.kind != 0 && parts.count(e.name); }),
                entries.end());
}

std::string TypeColumnText(const FileEntry &entry)
{
  if (entry.pages < 2)
    return TypeText(entry.kind);
  return TypeText(entry.kind) + Format(", %d pages", entry.pages);
}

std::string EntryTooltip(const FileEntry &entry)
{
  if (entry.kind == 0)
    return entry.name;
  return entry.name + "\n" + TypeColumnText(entry) + ", " + SizeText(entry) + " bytes";
}

int CompareEntries(const FileEntry &a, const FileEntry &b, int column, int direction)
{
  const bool aDir = a.kind == 0, bDir = b.kind == 0;
  if (!aDir && bDir)
    return direction;
  if (aDir && !bDir)
    return -direction;
  int r = 0;
  switch (column)
  {
  case kColName:
    r = CompareNoCase(a.name, b.name);
    break;
  case kColSize:
    // Full sizes and times compared by value: the low 32-bit halves as signed
    // differences misorder files of 2 GB and more and times whose low halves wrap.
    r = a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
    break;
  case kColType:
    r = Sign(static_cast<int64_t>(a.kind) - b.kind);
    break;
  case kColModified:
    r = a.modified < b.modified ? -1 : (a.modified > b.modified ? 1 : 0);
    break;
  default:
    break;
  }
  return r * direction;
}

void SortEntries(std::vector<FileEntry> &entries, int column, int direction)
{
  std::stable_sort(entries.begin(), entries.end(),
                   [&](const FileEntry &a, const FileEntry &b)
                   { return CompareEntries(a, b, column, direction) < 0; });
}

void SortState::Click(int clicked)
{
  if (clicked == column)
    direction = -direction;
  else
  {
    column = clicked;
    direction = 1;
  }
}

std::string TypeText(int kind)
{
  switch (kind)
  {
  case IMAGE_FILE_DJVU:
    return "DjVu";
  case IMAGE_FILE_IW44:
    return "IW44";
  case IMAGE_FILE_BMP:
    return "Bmp";
  case IMAGE_FILE_PNM:
    return "Pnm";
  case IMAGE_FILE_JPEG:
    return "Jpeg";
  case IMAGE_FILE_TIFF:
    return "Tiff";
  case IMAGE_FILE_PNG:
    return "Png";
  default:
    return std::string();
  }
}

std::string SizeText(const FileEntry &entry)
{
  if (entry.kind == 0)
    return std::string();
  // The whole size: the low 32 bits as "%d" would show a 3 GB file as negative.
  return Format("%llu", static_cast<unsigned long long>(entry.size));
}

std::string FormatModified(const std::tm &t)
{
  return Format("%d-%02d-%02d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
}

std::string ModifiedText(const FileEntry &entry)
{
  const std::time_t seconds = static_cast<std::time_t>(entry.modified / 1000000000);
  std::tm local{};
  if (!localtime_r(&seconds, &local))
    return std::string();
  return FormatModified(local);
}

std::string CurrentDirectoryText(const std::string &dir)
{
  return "Current directory: " + dir;
}

std::vector<std::string> PathBoxRoots()
{
  std::vector<std::string> roots = {"/"};
  const char *home = std::getenv("HOME");
  if (home && home[0] == '/')
  {
    const std::string h = ListedDirectory(home);
    if (h != "/")
      roots.push_back(h);
  }
  return roots;
}

std::vector<PathBoxItem> BuildPathBox(const std::string &dir, const std::vector<std::string> &roots,
                                      int *selection)
{
  const std::string current = ListedDirectory(dir);
  // The root that holds the directory: the longest one that is a prefix
  // ending at a component boundary.
  int match = -1;
  size_t matchLen = 0;
  for (size_t i = 0; i < roots.size(); ++i)
  {
    const std::string r = ListedDirectory(roots[i]);
    const bool prefix = current.compare(0, r.size(), r) == 0 &&
                        (current.size() == r.size() || r == "/" || current[r.size()] == '/');
    if (prefix && (match < 0 || r.size() > matchLen))
    {
      match = static_cast<int>(i);
      matchLen = r.size();
    }
  }

  std::vector<PathBoxItem> items;
  int sel = -1;
  for (size_t i = 0; i < roots.size(); ++i)
  {
    items.push_back({ListedDirectory(roots[i]), 0, kImgFixed, kImgFixed});
    if (static_cast<int>(i) != match)
      continue;
    sel = static_cast<int>(items.size()) - 1;
    size_t pos = matchLen;
    int indent = 0;
    while (pos < current.size())
    {
      if (current[pos] == '/')
      {
        ++pos;
        continue;
      }
      const size_t end = std::min(current.find('/', pos), current.size());
      items.push_back({current.substr(pos, end - pos), ++indent, kImgFolderClosed, kImgFolderOpen});
      sel = static_cast<int>(items.size()) - 1;
      pos = end;
    }
  }
  if (selection)
    *selection = sel;
  return items;
}

std::string PathFromPathBox(const std::vector<PathBoxItem> &items, int index)
{
  if (index < 0 || index >= static_cast<int>(items.size()))
    return std::string();
  const int indent = items[index].indent;
  const int rootIndex = index - indent;
  if (rootIndex < 0 || items[rootIndex].indent != 0)
    return std::string();
  std::string path = items[rootIndex].text;
  for (int level = 1; level <= indent; ++level)
    path = JoinPath(path, items[rootIndex + level].text);
  return path;
}

Activation ActivateEntry(const std::string &dir, const std::string &name)
{
  Activation a;
  const std::string path = JoinPath(ListedDirectory(dir), name);
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return a;
  if (S_ISDIR(st.st_mode))
  {
    a.kind = Activation::kDirectory;
    a.path = name == ".." ? ParentDirectory(dir) : path;
  }
  else
  {
    a.kind = Activation::kFile;
    a.path = path;
  }
  return a;
}

std::vector<bool> SelectAllFiles(const std::string &dir, const std::vector<std::string> &names)
{
  std::vector<bool> selected(names.size(), false);
  for (size_t i = 0; i < names.size(); ++i)
  {
    struct stat st;
    if (stat(JoinPath(ListedDirectory(dir), names[i]).c_str(), &st) != 0)
      break;
    selected[i] = !S_ISDIR(st.st_mode);
  }
  return selected;
}

std::string DeleteQuestion(int count)
{
  return count == 1 ? std::string("Move this file to the Trash?")
                    : Format("Move these %d files to the Trash?", count);
}

std::string DeletingText(const std::string &name)
{
  return "Moving " + name + " to the Trash.";
}

bool DeleteFiles(const std::string &dir, const std::vector<std::string> &names,
                 const std::function<void(const std::string &)> &status, const TrashFn &trash)
{
  const std::string question = DeleteQuestion(static_cast<int>(names.size()));
  if (VellumMessageBox(question.c_str(), kCaption, VMB_YESNO | VMB_ICONQUESTION) != VID_YES)
    return false;
  std::string failures;
  for (const std::string &name : names)
  {
    const std::string path = JoinPath(ListedDirectory(dir), name);
    struct stat st;
    // Directories are never taken; a name gone meanwhile is nothing to do.
    if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
      continue;
    if (status)
      status(DeletingText(name));
    std::string error;
    if (!trash || !trash(path, &error))
      failures += "\n" + name + (error.empty() ? std::string() : ": " + error);
  }
  if (!failures.empty())
  {
    const std::string text = "Could not move to the Trash:" + failures;
    VellumMessageBox(text.c_str(), kCaption, VMB_OK | VMB_ICONHAND);
  }
  return true;
}

} // namespace vellum
