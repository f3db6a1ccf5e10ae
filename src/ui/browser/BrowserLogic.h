// Rules of the directory browser, without wxWidgets.
//
// The browser lists the image files and subdirectories of one directory (the
// "LCOpenDir" setting), filtered by a file kind ("LCOpenType"), sorted by one
// of four columns. Everything here works on plain entries and paths so it is
// tested without a display: listing a directory, the filter, the sort order,
// the column texts, the path box items, what a double-click does, "Select
// All" and deleting.
//
// Paths are POSIX: "/" separates components, the root is "/". A directory
// path never ends in "/" except the root itself.
#ifndef VELLUM_UI_BROWSER_BROWSERLOGIC_H
#define VELLUM_UI_BROWSER_BROWSERLOGIC_H

// JoinPath, IsDirectory and the directory check before a save
// (EnsureDirectory) come from the platform layer.
#include "FileSystem.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vellum
{

// One listed name.
struct FileEntry
{
  std::string name;
  int kind = 0;         // 0 directory, else the GetImageFileType code (1..6)
  uint64_t size = 0;    // bytes; 0 for directories
  int64_t modified = 0; // last-write time, nanoseconds since the epoch
  int pages = 0;        // pages of a DjVu or TIFF document (0: not known, or another kind)
};

// Sort columns.
enum BrowserColumn
{
  kColName = 0,
  kColSize = 1,
  kColType = 2,
  kColModified = 3
};

// The type filter box: one entry per file kind in kind order (DjVu, IW44,
// BMP, PNM, JPEG, TIFF, PNG), the last one "All supported types".
constexpr int kFilterEntries = 8;
extern const char *const kFilterNames[kFilterEntries];
// Column headers, widths (pixels) and alignment (true = right).
extern const char *const kColumnNames[4];
extern const int kColumnWidths[4];
extern const bool kColumnRight[4];

// True when a file of this kind is listed under filter ("LCOpenType"):
// 1..7 accept exactly that kind, 100 every kind but 99, others nothing.
bool FilterAccepts(int filter, int kind);
// Filter box index of an "LCOpenType" value: 0..6 for 1..7, 7 for 100,
// -1 for any other value (nothing selected).
int FilterIndexForType(int lcOpenType);
// "LCOpenType" for a chosen filter box index: 1..7 for 0..6, else 100.
int TypeForFilterIndex(int index);

// The directory as listed: one trailing "/" dropped (the root stays "/").
std::string ListedDirectory(const std::string &dir);
// dir cut at its last "/"; "/x" gives "/"; a path without "/" is unchanged.
std::string ParentDirectory(const std::string &dir);

// Lists dir: "." skipped, ".." and every subdirectory with kind 0, files
// whose kind the filter accepts. Order is the enumeration's. Returns false
// (and an empty list) when the directory cannot be read. Entries whose
// attributes cannot be read (a dangling link) are taken as files of size 0.
bool ListDirectory(const std::string &dir, int filter, std::vector<FileEntry> &out);

// Pages of the file at path of this kind, reading only what tells them (a
// DjVu document's directory, a TIFF file's directory chain); for an
// indirect DjVu document parts gets the names of its component files.
// 0 for other kinds and for files that cannot be read (no message).
int ReadPageCount(const std::string &path, int kind, std::vector<std::string> *parts);

// A document of many pages is listed once: each DjVu and TIFF entry gets
// its page count from pagesOf (name, kind, parts), and the files an indirect
// DjVu document names as its parts are dropped from the list (the index
// stays, with the document's page count). ListDirectory does this with
// ReadPageCount.
using PageCountFn = std::function<int(const std::string &name, int kind, std::vector<std::string> *parts)>;
void GroupDocuments(std::vector<FileEntry> &entries, const PageCountFn &pagesOf);

// "DjVu, %d pages" (the type text and the page count) for an entry of two
// pages or more; the type text otherwise.
std::string TypeColumnText(const FileEntry &entry);
// The entry's tooltip: its name, then "%s, %d pages, %s bytes" (or without
// the pages for a single page); the name alone for a directory.
std::string EntryTooltip(const FileEntry &entry);

// Comparison of two entries for column and direction (1 or -1): directories
// before files in ascending order and after them in descending order; names
// compare without regard to case; sizes, kinds and times by value.
int CompareEntries(const FileEntry &a, const FileEntry &b, int column, int direction);
// Stable sort of entries by CompareEntries.
void SortEntries(std::vector<FileEntry> &entries, int column, int direction);

// Sort column and direction; a header click on the current column reverses
// the direction, on another column selects it ascending.
struct SortState
{
  int column = kColName;
  int direction = 1;
  void Click(int clicked);
};

// Column texts. Type: "" for directories, "DjVu", "IW44", "Bmp", "Pnm",
// "Jpeg", "Tiff", "Png". Size: decimal bytes, "" for directories. Modified:
// "%d-%02d-%02d %02d:%02d" of the local time.
std::string TypeText(int kind);
std::string SizeText(const FileEntry &entry);
std::string ModifiedText(const FileEntry &entry);
std::string FormatModified(const std::tm &local);

// "Current directory: %s".
std::string CurrentDirectoryText(const std::string &dir);

// The drive-and-path box. Roots stand for drives (indent 0, image 2); the
// components of the current directory below the root that holds it (the
// longest matching root) follow that root with indent 1, 2, ..., image 6
// and selected image 7; the last component (or the root itself when the
// directory is the root) is the selection.
struct PathBoxItem
{
  std::string text;
  int indent = 0;
  int image = 0;
  int selectedImage = 0;
};
enum PathBoxImage
{
  kImgRemovable = 0,
  kImgFixed = 2,
  kImgCdrom = 3,
  kImgRemote = 4,
  kImgFolderClosed = 6,
  kImgFolderOpen = 7
};
// The roots offered: "/" and the user's home directory.
std::vector<std::string> PathBoxRoots();
std::vector<PathBoxItem> BuildPathBox(const std::string &dir, const std::vector<std::string> &roots,
                                      int *selection);
// The directory an item of the box stands for: its root followed by the
// components up to the item. Empty when index is out of range.
std::string PathFromPathBox(const std::vector<PathBoxItem> &items, int index);

// What a double-click on name in dir does.
struct Activation
{
  enum Kind
  {
    kNothing,   // attributes unreadable
    kDirectory, // path is the new "LCOpenDir"
    kFile       // path is the file to open
  } kind = kNothing;
  std::string path;
};
Activation ActivateEntry(const std::string &dir, const std::string &name);

// "Select All": for each name in order, true when dir/name exists and is
// not a directory; stops (the rest false) at the first name whose
// attributes cannot be read.
std::vector<bool> SelectAllFiles(const std::string &dir, const std::vector<std::string> &names);

// "&Delete": asks "Move these %d files to the Trash?" ("Move this file to
// the Trash?" for one; Yes/No); on Yes, for each name that is not a
// directory, reports "Moving %s to the Trash." through status and hands
// dir/name to trash. The names trash refused are reported in one stop box
// ("Could not move to the Trash:" and each name with its reason). Returns
// false when the user answered No.
using TrashFn = std::function<bool(const std::string &path, std::string *error)>;
std::string DeleteQuestion(int count);
std::string DeletingText(const std::string &name);
bool DeleteFiles(const std::string &dir, const std::vector<std::string> &names,
                 const std::function<void(const std::string &)> &status, const TrashFn &trash);

} // namespace vellum

#endif
