#include "SaveBook.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ImageFiles.h"

namespace
{

std::string DirOf(const std::string &path)
{
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string &path)
{
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden temporary file ".NAME.XXXXXX" in dir, written whole and synced;
// renamed to its target by the caller once every file of the document is
// there.
struct StagedFile
{
  std::string temp, target;
};

bool WriteHidden(const std::string &dir, const std::string &name, const void *data, size_t size,
                 StagedFile &staged)
{
  std::string pattern = dir + "/." + name + ".XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = mkstemp(buf.data());
  if (fd < 0)
  {
    SetImageError("Cannot write %s/%s: %s", dir.c_str(), name.c_str(), std::strerror(errno));
    return false;
  }
  mode_t mask = umask(022);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  staged.temp = buf.data();
  staged.target = dir + "/" + name;
  const char *p = static_cast<const char *>(data);
  int err = 0;
  while (!err && size)
  {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      err = n < 0 ? errno : ENOSPC;
    else
      p += n, size -= (size_t)n;
  }
  if (!err && fsync(fd) != 0)
    err = errno;
  if (close(fd) != 0 && !err)
    err = errno;
  if (err)
  {
    SetImageError("Cannot write %s: %s", staged.target.c_str(), std::strerror(err));
    unlink(staged.temp.c_str());
    return false;
  }
  return true;
}

struct IndirectWriter
{
  std::string dir;
  std::vector<StagedFile> files;
  bool failed = false;
  ~IndirectWriter()
  {
    for (const StagedFile &f : files)
      if (!f.temp.empty())
        unlink(f.temp.c_str());
  }
};

int WriteIndirectFile(void *userdata, const char *name, const void *buffer, size_t count)
{
  auto *w = static_cast<IndirectWriter *>(userdata);
  StagedFile f;
  if (!WriteHidden(w->dir, name, buffer, count, f))
  {
    w->failed = true;
    return -1;
  }
  w->files.push_back(f);
  return 0;
}

// The files djvu_document_page_files hands over: the included ones, then
// the page.
struct PageFiles
{
  std::vector<std::string> ids;
  std::vector<std::vector<unsigned char>> bytes;
};

int CollectPageFile(void *userdata, const char *name, const void *buffer, size_t count)
{
  auto *files = static_cast<PageFiles *>(userdata);
  files->ids.push_back(name);
  const unsigned char *b = static_cast<const unsigned char *>(buffer);
  files->bytes.emplace_back(b, b + count);
  return 0;
}

// Adds page copyPage of the document at path unchanged; documents stay open
// in docs for the next page from the same file.
using OpenDocuments =
    std::vector<std::pair<std::string, std::unique_ptr<djvu_document, void (*)(djvu_document *)>>>;

// The document at path, opened once (null after one report).
djvu_document *OpenOnce(const std::string &path, OpenDocuments &docs)
{
  for (auto &open : docs)
    if (open.first == path)
      return open.second.get();
  djvu_document *doc = djvu_document_open(path.c_str());
  if (doc)
    docs.emplace_back(path,
                      std::unique_ptr<djvu_document, void (*)(djvu_document *)>(doc, djvu_document_free));
  return doc;
}

bool AddCopiedPage(djvu_book *book, const BookPage &page, OpenDocuments &docs)
{
  djvu_document *doc = OpenOnce(page.file, docs);
  if (!doc)
    return false;
  PageFiles files;
  if (djvu_document_page_files(doc, page.copyPage, CollectPageFile, &files) != 0 || files.ids.empty())
    return false;
  std::vector<djvu_book_include> includes;
  for (size_t i = 0; i + 1 < files.ids.size(); i++)
    includes.push_back({files.ids[i].c_str(), files.bytes[i].data(), files.bytes[i].size()});
  const std::vector<unsigned char> &bytes = files.bytes.back();
  return djvu_book_add_copied_page(book, bytes.data(), bytes.size(), page.id.c_str(), page.title.c_str(),
                                   includes.data(), (int)includes.size()) == 0;
}

int WriteBundle(void *userdata, const void *buffer, int count)
{
  return count <= 0 ? count : (int)std::fwrite(buffer, 1, (size_t)count, static_cast<FILE *>(userdata));
}

} // namespace

CBookStaging::~CBookStaging()
{
  if (m_dir.empty())
    return;
  if (DIR *d = opendir(m_dir.c_str()))
  {
    while (dirent *e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
        unlink((m_dir + "/" + e->d_name).c_str());
    closedir(d);
  }
  rmdir(m_dir.c_str());
}

bool CBookStaging::Create(const std::string &target)
{
  std::string pattern = DirOf(target) + "/." + NameOf(target) + ".XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data()))
  {
    SetImageError("Cannot write %s: %s", target.c_str(), std::strerror(errno));
    return false;
  }
  m_dir = buf.data();
  return true;
}

std::string CBookStaging::PagePath(size_t index) const
{
  char name[32];
  std::snprintf(name, sizeof name, "/p%06zu.djvu", index + 1);
  return m_dir + name;
}

std::string BookPageId(const std::string &input, int page, int pageCount)
{
  std::string name = NameOf(input);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0)
    name.resize(dot);
  for (char &c : name)
    if (c == '/' || c == '\\' || c == '#' || c == '?' || c == '%' || (unsigned char)c < 32)
      c = '_';
  if (name.empty() || name[0] == '.')
    name = "page" + name;
  if (pageCount > 1)
    name += "-p" + std::to_string(page + 1);
  return name + ".djvu";
}

int WriteDjVuBook(const std::string &path, const std::vector<BookPage> &pages, const BookOptions &options,
                  CSaveProgress *progress)
{
  djvu_set_error_callback(ReportApiError);
  djvu_book_params params = {
      (int32_t)sizeof params, options.pagesPerDict,
      (options.share ? 0 : DJVU_BOOK_NO_SHARING) | (options.lossless ? DJVU_BOOK_LOSSLESS : 0), 0};
  std::unique_ptr<djvu_book, void (*)(djvu_book *)> book(djvu_book_new(&params), djvu_book_free);
  if (!book)
    return 0;
  OpenDocuments docs;
  for (const BookPage &page : pages)
  {
    if (page.copyPage >= 0)
    {
      if (!AddCopiedPage(book.get(), page, docs))
        return 0;
      continue;
    }
    std::vector<unsigned char> bytes;
    if (!ReadImageFile(page.file.c_str(), bytes) ||
        djvu_book_add_page(book.get(), bytes.data(), bytes.size(), page.id.c_str(), page.title.c_str()) != 0)
      return 0;
  }
  // The source documents' outlines, each once, in the order of their first pages.
  std::vector<std::string> sources;
  for (const BookPage &page : pages)
    if (!page.source.empty() && std::find(sources.begin(), sources.end(), page.source) == sources.end())
      sources.push_back(page.source);
  for (const std::string &source : sources)
  {
    djvu_document *doc = OpenOnce(source, docs);
    if (!doc)
      return 0;
    std::vector<int> map(djvu_document_page_count(doc), -1);
    for (size_t i = 0; i < pages.size(); i++)
      if (pages[i].source == source && pages[i].sourcePage >= 0 && pages[i].sourcePage < (int)map.size() &&
          map[pages[i].sourcePage] < 0)
        map[pages[i].sourcePage] = (int)i;
    if (djvu_book_add_outline(book.get(), doc, map.data(), (int)map.size()) != 0)
      return 0;
  }
  if (progress)
    progress->OnSaveProgress("Sharing Shapes", 0);
  int ok = 0;
  if (!options.indirect)
  {
    CSafeFile out;
    FILE *fp = out.Open(path.c_str());
    if (fp && djvu_book_write(book.get(), WriteBundle, fp) == 0)
      ok = out.Commit() ? 1 : 0;
  }
  else
  {
    IndirectWriter w;
    char resolved[PATH_MAX];
    std::string target = realpath(path.c_str(), resolved) ? resolved : path;
    w.dir = DirOf(target);
    if (djvu_book_write_indirect(book.get(), NameOf(target).c_str(), WriteIndirectFile, &w) == 0)
    {
      // The components first, the index that names them last.
      ok = 1;
      for (size_t i = w.files.size(); ok && i-- > 1;)
        ok = rename(w.files[i].temp.c_str(), w.files[i].target.c_str()) == 0;
      if (ok)
        ok = rename(w.files[0].temp.c_str(), w.files[0].target.c_str()) == 0;
      if (ok)
        w.files.clear();
      else
        SetImageError("Cannot write %s: %s", path.c_str(), std::strerror(errno));
    }
  }
  if (ok && progress)
    progress->OnSaveProgress("Sharing Shapes", 100);
  return ok;
}

namespace
{

bool Cancelled(CBookSaveProgress *progress)
{
  if (!progress || !progress->Cancelled())
    return false;
  SetImageError("Save cancelled");
  return true;
}

} // namespace

int SaveTiffAsBook(const std::string &path, const std::string &tiffPath, int pageCount, int current,
                   CDibImage &image, const CVellumSettings &settings, const BookOptions &options,
                   CBookSaveProgress *progress)
{
  g_szLastImageError[0] = 0;
  if (pageCount < 1 || current < 0 || current >= pageCount)
  {
    SetImageError("No page to save");
    return 0;
  }
  if (!CheckSaveDirectory(path, 0))
    return 0;
  CBookStaging staging;
  if (!staging.Create(path))
    return 0;
  std::vector<BookPage> pages;
  int ok = 1;
  for (int i = 0; ok && i < pageCount; i++)
  {
    if (Cancelled(progress))
    {
      ok = 0;
      break;
    }
    if (progress)
      progress->OnBookPage(i, pageCount);
    CDibImage other;
    CDibImage *page = &image;
    if (i != current)
    {
      if (!other.LoadTiff(tiffPath.c_str(), i, DIB_HEADER_INFO))
      {
        ok = 0;
        break;
      }
      page = &other;
    }
    const std::string file = staging.PagePath((size_t)i);
    ok = SaveImage(file, IMAGE_FILE_DJVU, *page, settings, nullptr, progress);
    const std::string id = BookPageId(tiffPath, i, pageCount);
    pages.push_back(BookPage{file, id, id.substr(0, id.size() - 5)});
  }
  if (ok && Cancelled(progress))
    ok = 0;
  if (ok)
    ok = WriteDjVuBook(path, pages, options, progress);
  return ok;
}
