// DjVu documents of any shape: a single page, a bundled document (FORM:DJVM
// with its directory, outline and included files) or an indirect one (an
// index file and one file per page or included file, served by a fetch
// routine).
//
// Opening reads only the main file and lets DjVuLibre's DjVuDocument learn
// the directory; a page is decoded when it is asked for, so a book of many
// pages opens as fast as its first page. The files of an indirect document
// are fetched on first use and kept.
//
// Saving goes through the library's DjVmDoc: every file of the document is
// copied as it was read (pages, included dictionaries, shared annotations),
// with the directory and the outline; a page replaced by the caller takes
// its new data, with the old page's hidden text, annotations and metadata
// added when the caller says they still fit it.
#include "djvuapi.h"

#include "ApiError.h"
#include "DecodeInt.h"
#include "StreamInt.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ByteStream.h"
#include "DjVmDir.h"
#include "DjVmDoc.h"
#include "DjVmNav.h"
#include "IFFByteStream.h"

using namespace vellum_api;
using DJVU::GP;

namespace
{

// The component files of an indirect document, fetched once each. Shared
// with the library's threads through the port, so it has its own lock; the
// caller's routine is dropped when the document handle goes.
struct Components : public DJVU::GPEnabled
{
  std::mutex lock;
  std::function<bool(const std::string &, std::vector<unsigned char> &)> fetch;
  std::map<std::string, GP<DJVU::DataPool>> files;

  // The file name, or null when it cannot be had.
  GP<DJVU::DataPool> get(const std::string &name)
  {
    std::lock_guard<std::mutex> hold(lock);
    auto it = files.find(name);
    if (it != files.end())
      return it->second;
    std::vector<unsigned char> bytes;
    if (!fetch || !fetch(name, bytes))
      return nullptr;
    GP<DJVU::DataPool> pool = DJVU::DataPool::create();
    if (!bytes.empty())
      pool->add_data(bytes.data(), (int)bytes.size());
    pool->set_eof();
    files[name] = pool;
    return pool;
  }
};

// Hidden text, annotations and metadata: what a re-encoded page keeps of
// the old one when its geometry did not change.
bool IsPageExtra(const DJVU::GUTF8String &id)
{
  static const char *const kIds[] = {"TXTa", "TXTz", "ANTa", "ANTz", "METa", "METz"};
  for (const char *k : kIds)
    if (id == k)
      return true;
  return false;
}

std::vector<unsigned char> ReadAll(const GP<DJVU::ByteStream> &bs)
{
  std::vector<unsigned char> data;
  for (;;)
  {
    const size_t have = data.size();
    data.resize(have + 65536);
    const size_t n = bs->read(&data[have], 65536);
    data.resize(have + n);
    if (n == 0)
      return data;
  }
}

GP<DJVU::DataPool> PoolOf(const std::vector<unsigned char> &bytes)
{
  GP<DJVU::DataPool> pool = DJVU::DataPool::create();
  for (size_t at = 0; at < bytes.size(); at += (size_t)1 << 30)
    pool->add_data(&bytes[at], (int)std::min(bytes.size() - at, (size_t)1 << 30));
  pool->set_eof();
  return pool;
}

// Copies the chunks of the FORM:DJVU in src into iff (open on its own
// FORM:DJVU): only the page extras (extras true), or all but them.
void CopyChunks(DJVU::IFFByteStream &iff, const GP<DJVU::ByteStream> &src, bool extras)
{
  GP<DJVU::IFFByteStream> in = DJVU::IFFByteStream::create(src);
  DJVU::GUTF8String id;
  if (!in->get_chunk(id) || id != "FORM:DJVU")
    DJVU_API_THROW("A page must be a single-page DjVu file (FORM:DJVU)");
  while (in->get_chunk(id))
  {
    if (IsPageExtra(id) == extras)
    {
      iff.put_chunk(id);
      iff.get_bytestream()->copy(*in->get_bytestream());
      iff.close_chunk();
    }
    in->close_chunk();
  }
}

void Deliver(const std::vector<unsigned char> &bytes, djvu_output_routine write, void *userdata)
{
  if (bytes.size() > (size_t)INT32_MAX)
    DJVU_API_THROW("DjVu document too large");
  if (!write)
  {
    FILE *out = userdata ? (FILE *)userdata : stdout;
    if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
      DJVU_API_THROW("Failed to write the DjVu document");
    return;
  }
  if (write(userdata, bytes.data(), (int)bytes.size()) != (int)bytes.size())
    DJVU_API_THROW("Failed to write the DjVu document");
}

// A page file with the "AT&T" magic, which a file of its own starts with.
std::vector<unsigned char> WithMagic(std::vector<unsigned char> bytes)
{
  if (bytes.size() < 4 || std::memcmp(bytes.data(), "AT&T", 4) != 0)
    bytes.insert(bytes.begin(), {'A', 'T', '&', 'T'});
  return bytes;
}

} // namespace

struct djvu_document_s
{
  GP<DecodePort> port;
  GP<DJVU::DjVuDocument> doc;
  GP<Components> components;
  int type = 0;
  int pages = 0;
  std::mutex lock;                                    // one page decode or save at a time
  std::map<int, std::vector<unsigned char>> replaced; // page index -> new page file (with magic)

  // The page's file as it was read (for an indirect document the file is
  // fetched first; a missing one is named).
  GP<DJVU::DataPool> page_data(int index)
  {
    if (type == DJVU_DOCUMENT_INDIRECT)
    {
      GP<DJVU::DjVmDir> dir = doc->get_djvm_dir();
      GP<DJVU::DjVmDir::File> f = dir ? dir->page_to_file(index) : GP<DJVU::DjVmDir::File>();
      if (!f)
        DJVU_API_THROW("The document's directory has no such page");
      const std::string name = (const char *)f->get_load_name();
      if (!components->get(name))
      {
        const std::string msg = "Page " + std::to_string(index + 1) + ": the file " + name + " is missing";
        DJVU_API_THROW(msg.c_str());
      }
    }
    GP<DJVU::DjVuFile> file = doc->get_djvu_file(index);
    if (!file)
      DJVU_API_THROW("The document has no such page");
    return file->get_init_data_pool();
  }
};

namespace
{

djvu_document *Open(djvu_read_routine read, void *userdata,
                    std::function<bool(const std::string &, std::vector<unsigned char> &)> fetch)
{
  library_ready();
  GP<DJVU::ByteStream> gbs = new DjVu_IOSubByteStream(read, nullptr, userdata);
  std::vector<unsigned char> data = ReadAll(gbs);
  // The "AT&T" magic is optional for the library (IW44 files often lack it).
  const size_t base = data.size() >= 4 && !std::memcmp(data.data(), "AT&T", 4) ? 4 : 0;
  if (data.size() < base + 12 || std::memcmp(&data[base], "FORM", 4) != 0)
    DJVU_API_THROW("Not a DjVu document.");
  const unsigned char *form = &data[base + 8];
  if (!std::memcmp(form, "DJVI", 4))
    DJVU_API_THROW("A DjVu include file is not a document.");
  const bool single = std::memcmp(form, "DJVM", 4) != 0;
  if (single && std::memcmp(form, "DJVU", 4) && std::memcmp(form, "PM44", 4) && std::memcmp(form, "BM44", 4))
    DJVU_API_THROW("This DjVu Files Is Not A Recognized Format.");

  std::unique_ptr<djvu_document> d(new djvu_document);
  d->components = new Components;
  d->components->fetch = std::move(fetch);
  d->port = new DecodePort;
  d->port->pool = PoolOf(data);
  std::vector<unsigned char>().swap(data);
  GP<Components> components = d->components;
  d->port->component = [components](const DJVU::GURL &url) -> GP<DJVU::DataPool>
  { return components->get((const char *)url.fname()); };
  d->doc = DJVU::DjVuDocument::create(d->port->pool, (DJVU::DjVuPort *)d->port);
  d->doc->wait_for_complete_init();
  if (!d->doc->is_init_ok())
  {
    std::string msg = translate(d->port->error());
    DJVU_API_THROW(msg.empty() ? "Not a DjVu document." : msg.c_str());
  }
  switch (d->doc->get_doc_type())
  {
  case DJVU::DjVuDocument::SINGLE_PAGE:
    d->type = DJVU_DOCUMENT_SINGLE_PAGE;
    break;
  case DJVU::DjVuDocument::BUNDLED:
    d->type = DJVU_DOCUMENT_BUNDLED;
    break;
  case DJVU::DjVuDocument::INDIRECT:
    d->type = DJVU_DOCUMENT_INDIRECT;
    break;
  default:
    DJVU_API_THROW("Obsolete DjVu document formats are not supported.");
  }
  d->pages = d->doc->get_pages_num();
  if (d->pages < 1)
    DJVU_API_THROW("The DjVu document has no pages.");
  return d.release();
}

// The directory chunk right after the FORM:DJVM header, decoded alone.
int Peek(const char *path, int *pages, void (*file)(void *, const char *), void *userdata)
{
  *pages = 0;
  if (!path)
    DJVU_API_THROW("djvu_document_peek: a path is required");
  std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path, "rb"), &std::fclose);
  if (!f)
    DJVU_API_THROW("Cannot open the file.");
  unsigned char head[28];
  const size_t got = std::fread(head, 1, sizeof head, f.get());
  const size_t base = got >= 4 && !std::memcmp(head, "AT&T", 4) ? 4 : 0;
  if (got < base + 12 || std::memcmp(head + base, "FORM", 4) != 0)
    DJVU_API_THROW("Not a DjVu document.");
  const unsigned char *form = head + base + 8;
  if (std::memcmp(form, "DJVM", 4) != 0)
  {
    if (std::memcmp(form, "DJVU", 4) && std::memcmp(form, "PM44", 4) && std::memcmp(form, "BM44", 4))
      DJVU_API_THROW("Not a DjVu document.");
    *pages = 1;
    return DJVU_DOCUMENT_SINGLE_PAGE;
  }
  const unsigned char *chunk = form + 4;
  if (got < base + 20 || std::memcmp(chunk, "DIRM", 4) != 0)
    DJVU_API_THROW("The DjVu document has no directory.");
  const uint32_t size =
      (uint32_t)chunk[4] << 24 | (uint32_t)chunk[5] << 16 | (uint32_t)chunk[6] << 8 | chunk[7];
  // A directory names at most a few hundred thousand files.
  if (size < 3 || size > (64u << 20))
    DJVU_API_THROW("The DjVu document's directory is damaged.");
  std::vector<unsigned char> dirm(size);
  if (std::fseek(f.get(), (long)(base + 20), SEEK_SET) != 0 ||
      std::fread(dirm.data(), 1, size, f.get()) != size)
    DJVU_API_THROW("The DjVu document's directory is cut short.");
  GP<DJVU::DjVmDir> dir = DJVU::DjVmDir::create();
  dir->decode(DJVU::ByteStream::create_static(dirm.data(), dirm.size()));
  const int n = dir->get_pages_num();
  if (n < 1)
    DJVU_API_THROW("The DjVu document has no pages.");
  *pages = n;
  if (dir->is_bundled())
    return DJVU_DOCUMENT_BUNDLED;
  if (file)
  {
    DJVU::GPList<DJVU::DjVmDir::File> files = dir->get_files_list();
    for (DJVU::GPosition pos = files; pos; ++pos)
      file(userdata, (const char *)files[pos]->get_load_name());
  }
  return DJVU_DOCUMENT_INDIRECT;
}

void CheckIndex(const djvu_document *d, int index)
{
  if (!d || !d->doc)
    DJVU_API_THROW("djvu_document is required");
  if (index < 0 || index >= d->pages)
    DJVU_API_THROW("The document has no such page");
}

djvu_halfcoded_image *DecodePage(djvu_document *d, int index)
{
  CheckIndex(d, index);
  std::lock_guard<std::mutex> hold(d->lock);
  library_ready();
  const std::vector<unsigned char> bytes = ReadAll(d->page_data(index)->get_stream());
  const int ratio = check_sizes(bytes);
  return decode_page_handle(d->port, d->doc, d->type == DJVU_DOCUMENT_SINGLE_PAGE ? -1 : index, ratio);
}

// The new page's chunks, then the extras of the new page or (keep) those of
// the old page instead, as one page file with the magic.
std::vector<unsigned char> MergePage(djvu_document *d, int index, const void *data, int size, bool keep)
{
  GP<DJVU::ByteStream> out = DJVU::ByteStream::create();
  {
    GP<DJVU::IFFByteStream> iff = DJVU::IFFByteStream::create(out);
    iff->put_chunk("FORM:DJVU", 1);
    const GP<DJVU::ByteStream> fresh = DJVU::ByteStream::create_static(data, (size_t)size);
    CopyChunks(*iff, fresh, false);
    fresh->seek(0);
    CopyChunks(*iff, keep ? d->page_data(index)->get_stream() : fresh, true);
    iff->close_chunk();
  }
  out->seek(0);
  return WithMagic(ReadAll(out));
}

void ReplacePage(djvu_document *d, int index, const void *data, int size, int flags)
{
  CheckIndex(d, index);
  if (!data || size < 16)
    DJVU_API_THROW("A page must be a single-page DjVu file (FORM:DJVU)");
  std::lock_guard<std::mutex> hold(d->lock);
  d->replaced[index] = MergePage(d, index, data, size, (flags & DJVU_REPLACE_KEEP_EXTRAS) != 0);
}

void Save(djvu_document *d, djvu_output_routine write, void *userdata)
{
  if (!d || !d->doc)
    DJVU_API_THROW("djvu_document is required");
  std::lock_guard<std::mutex> hold(d->lock);
  library_ready();
  if (d->type == DJVU_DOCUMENT_SINGLE_PAGE)
  {
    auto it = d->replaced.find(0);
    Deliver(it != d->replaced.end() ? it->second : WithMagic(ReadAll(d->port->pool->get_stream())), write,
            userdata);
    return;
  }
  // Every file of the document as read (for an indirect one this fetches
  // them all), with the directory and the outline.
  GP<DJVU::DjVmDoc> djvm = d->doc->get_djvm_doc();
  GP<DJVU::DjVmDir> dir = djvm->get_djvm_dir();
  for (const auto &page : d->replaced)
  {
    GP<DJVU::DjVmDir::File> old = dir->page_to_file(page.first);
    if (!old)
      DJVU_API_THROW("The document's directory has no such page");
    const int pos = dir->get_file_pos(old);
    GP<DJVU::DjVmDir::File> f = DJVU::DjVmDir::File::create(old->get_load_name(), old->get_save_name(),
                                                            old->get_title(), DJVU::DjVmDir::File::PAGE);
    djvm->delete_file(old->get_load_name());
    djvm->insert_file(f, PoolOf(page.second), pos);
  }
  GP<DJVU::ByteStream> out = DJVU::ByteStream::create();
  djvm->write(out);
  out->seek(0);
  Deliver(ReadAll(out), write, userdata);
}

void SavePage(djvu_document *d, int index, djvu_output_routine write, void *userdata)
{
  CheckIndex(d, index);
  std::lock_guard<std::mutex> hold(d->lock);
  library_ready();
  auto it = d->replaced.find(index);
  if (it != d->replaced.end())
  {
    Deliver(it->second, write, userdata);
    return;
  }
  d->page_data(index);
  GP<DJVU::DjVuFile> file = d->doc->get_djvu_file(index);
  // Included files (shared dictionaries, shared annotations) are merged
  // into the page, which then stands alone.
  Deliver(WithMagic(ReadAll(file->get_djvu_bytestream(true, true))), write, userdata);
}

// The ids a page or included file names in its INCL chunks, in order.
std::vector<std::string> IncludedIds(const std::vector<unsigned char> &bytes)
{
  std::vector<std::string> ids;
  const size_t base = bytes.size() >= 4 && !std::memcmp(bytes.data(), "AT&T", 4) ? 4 : 0;
  GP<DJVU::IFFByteStream> iff =
      DJVU::IFFByteStream::create(DJVU::ByteStream::create_static(bytes.data() + base, bytes.size() - base));
  DJVU::GUTF8String id;
  if (!iff->get_chunk(id))
    return ids;
  while (iff->get_chunk(id))
  {
    if (id == "INCL")
    {
      const std::vector<unsigned char> name = ReadAll(iff->get_bytestream());
      std::string text(name.begin(), name.end());
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
      ids.push_back(text);
    }
    iff->close_chunk();
  }
  return ids;
}

std::vector<unsigned char> WithoutMagic(std::vector<unsigned char> bytes)
{
  if (bytes.size() >= 4 && !std::memcmp(bytes.data(), "AT&T", 4))
    bytes.erase(bytes.begin(), bytes.begin() + 4);
  return bytes;
}

void HandOver(djvu_file_routine write, void *userdata, const std::string &id,
              const std::vector<unsigned char> &bytes)
{
  if (write(userdata, id.c_str(), bytes.data(), bytes.size()) != 0)
    DJVU_API_THROW("djvu_document_page_files: output routine failed");
}

// Hands over the files bytes includes (depth first, each once), bounded in
// depth so that a file including itself cannot loop.
void HandOverIncluded(djvu_document *d, const std::vector<unsigned char> &bytes, int depth,
                      std::set<std::string> &done, djvu_file_routine write, void *userdata)
{
  for (const std::string &id : IncludedIds(bytes))
  {
    if (!done.insert(id).second)
      continue;
    if (depth > 8)
      DJVU_API_THROW("Included files nest too deep");
    GP<DJVU::DataPool> pool;
    if (d->type == DJVU_DOCUMENT_INDIRECT)
      pool = d->components->get(id);
    else if (GP<DJVU::DjVuFile> file = d->doc->get_djvu_file(DJVU::GUTF8String(id.c_str())))
      pool = file->get_init_data_pool();
    if (!pool)
    {
      const std::string msg = "The included file " + id + " is missing";
      DJVU_API_THROW(msg.c_str());
    }
    const std::vector<unsigned char> included = WithoutMagic(ReadAll(pool->get_stream()));
    HandOverIncluded(d, included, depth + 1, done, write, userdata);
    HandOver(write, userdata, id, included);
  }
}

void PageFiles(djvu_document *d, int index, djvu_file_routine write, void *userdata)
{
  CheckIndex(d, index);
  if (!write)
    DJVU_API_THROW("djvu_document_page_files: no output routine");
  std::lock_guard<std::mutex> hold(d->lock);
  library_ready();
  std::string id;
  if (d->type != DJVU_DOCUMENT_SINGLE_PAGE)
    if (GP<DJVU::DjVmDir> dir = d->doc->get_djvm_dir())
      if (GP<DJVU::DjVmDir::File> f = dir->page_to_file(index))
        id = (const char *)f->get_load_name();
  auto it = d->replaced.find(index);
  const std::vector<unsigned char> page =
      WithoutMagic(it != d->replaced.end() ? it->second : ReadAll(d->page_data(index)->get_stream()));
  std::set<std::string> done;
  HandOverIncluded(d, page, 0, done, write, userdata);
  HandOver(write, userdata, id, page);
}

int ReadFile(void *userdata, void *buffer, int size)
{
  if (size <= 0)
    return 0;
  FILE *file = static_cast<FILE *>(userdata);
  const size_t n = std::fread(buffer, 1, (size_t)size, file);
  if (n == 0 && std::ferror(file))
    return -1;
  return (int)n;
}

bool ReadPath(const std::string &path, std::vector<unsigned char> &bytes)
{
  FILE *file = std::fopen(path.c_str(), "rb");
  if (!file)
    return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// The sink handed to a caller's fetch routine.
int AppendBytes(void *userdata, const void *buffer, int size)
{
  if (size < 0)
    return -1;
  auto *bytes = static_cast<std::vector<unsigned char> *>(userdata);
  const unsigned char *p = static_cast<const unsigned char *>(buffer);
  bytes->insert(bytes->end(), p, p + size);
  return size;
}

} // namespace

std::vector<OutlineEntry> vellum_api::document_outline(djvu_document *d)
{
  std::vector<OutlineEntry> entries;
  if (!d)
    DJVU_API_THROW("document_outline: no document");
  std::lock_guard<std::mutex> hold(d->lock);
  GP<DJVU::DjVmNav> nav = d->doc->get_djvm_nav();
  GP<DJVU::DjVmDir> dir = d->doc->get_djvm_dir();
  if (!nav || !dir)
    return entries;
  const int n = nav->getBookMarkCount();
  for (int i = 0; i < n; i++)
  {
    GP<DJVU::DjVmNav::DjVuBookMark> mark;
    if (!nav->getBookMark(mark, i) || !mark)
      break;
    OutlineEntry e;
    e.title = (const char *)mark->displayname;
    e.url = (const char *)mark->url;
    e.children = std::max(0, (int)mark->count);
    if (!e.url.empty() && e.url[0] == '#')
    {
      // "#id" names a file by its id, name or title; "#N" a page by its
      // number, as the readers resolve them.
      const DJVU::GUTF8String name(e.url.c_str() + 1);
      GP<DJVU::DjVmDir::File> f = dir->id_to_file(name);
      if (!f)
        f = dir->name_to_file(name);
      if (!f)
        f = dir->title_to_file(name);
      e.page = -2;
      if (f && f->is_page())
        e.page = f->get_page_num();
      else if (!f && e.url.size() > 1 && e.url.size() < 10 &&
               e.url.find_first_not_of("0123456789", 1) == std::string::npos)
      {
        const int number = std::atoi(e.url.c_str() + 1);
        if (number >= 1 && number <= d->pages)
          e.page = number - 1;
      }
    }
    entries.push_back(e);
  }
  // Child counts that claim more entries than follow are cut (without
  // recursion: a damaged outline may nest as deep as it is long).
  struct Open
  {
    size_t at;
    int left;
  };
  std::vector<Open> open;
  for (size_t i = 0; i < entries.size(); i++)
  {
    while (!open.empty() && open.back().left == 0)
      open.pop_back();
    if (!open.empty())
      open.back().left--;
    open.push_back(Open{i, entries[i].children});
  }
  for (const Open &o : open)
    entries[o.at].children -= o.left;
  return entries;
}

extern "C" {

djvu_document *djvu_document_open(const char *path)
{
  return guard((djvu_document *)nullptr,
               [&]() -> djvu_document *
               {
                 if (!path)
                   DJVU_API_THROW("djvu_document_open: a path is required");
                 FILE *file = std::fopen(path, "rb");
                 if (!file)
                 {
                   const std::string msg = std::string("Cannot open ") + path;
                   DJVU_API_THROW(msg.c_str());
                 }
                 std::unique_ptr<FILE, int (*)(FILE *)> closer(file, std::fclose);
                 const std::string p = path;
                 const size_t slash = p.rfind('/');
                 const std::string dir = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
                 return translated(
                     [&]
                     {
                       return Open(ReadFile, file,
                                   [dir](const std::string &name, std::vector<unsigned char> &bytes)
                                   {
                                     // Only files beside the index: a name never climbs out.
                                     if (name.empty() || name.find('/') != std::string::npos || name == "..")
                                       return false;
                                     return ReadPath(dir + name, bytes);
                                   });
                     });
               });
}

djvu_document *djvu_document_open_stream(djvu_read_routine read, void *userdata, djvu_fetch_routine fetch,
                                         void *fetch_data)
{
  return guard((djvu_document *)nullptr,
               [&]
               {
                 return translated(
                     [&]
                     {
                       std::function<bool(const std::string &, std::vector<unsigned char> &)> served;
                       if (fetch)
                         served =
                             [fetch, fetch_data](const std::string &name, std::vector<unsigned char> &bytes)
                         { return fetch(fetch_data, name.c_str(), AppendBytes, &bytes) == 0; };
                       return Open(read, userdata, served);
                     });
               });
}

void djvu_document_free(djvu_document *document)
{
  if (!document)
    return;
  {
    // Pages decoded from the document may outlive it; the caller's fetch
    // routine may not.
    std::lock_guard<std::mutex> hold(document->components->lock);
    document->components->fetch = nullptr;
  }
  delete document;
}

int djvu_document_type(const djvu_document *document)
{
  return document ? document->type : -1;
}

int djvu_document_page_count(const djvu_document *document)
{
  return document ? document->pages : -1;
}

int djvu_document_peek(const char *path, int *pages, void (*file)(void *userdata, const char *name),
                       void *userdata)
{
  int none = 0;
  int *out = pages ? pages : &none;
  *out = 0;
  return guard(-1, [&] { return translated([&] { return Peek(path, out, file, userdata); }); });
}

djvu_halfcoded_image *djvu_document_decode_page(djvu_document *document, int index)
{
  return guard((djvu_halfcoded_image *)nullptr,
               [&] { return translated([&] { return DecodePage(document, index); }); });
}

int djvu_document_replace_page(djvu_document *document, int index, const void *data, int size, int flags)
{
  return guard(-1,
               [&]
               {
                 translated([&] { ReplacePage(document, index, data, size, flags); });
                 return 0;
               });
}

int djvu_document_save(djvu_document *document, djvu_output_routine write, void *userdata)
{
  return guard(-1,
               [&]
               {
                 translated([&] { Save(document, write, userdata); });
                 return 0;
               });
}

int djvu_document_page_files(djvu_document *document, int index, djvu_file_routine write, void *userdata)
{
  return guard(-1,
               [&]
               {
                 translated([&] { PageFiles(document, index, write, userdata); });
                 return 0;
               });
}

int djvu_document_save_page(djvu_document *document, int index, djvu_output_routine write, void *userdata)
{
  return guard(-1,
               [&]
               {
                 translated([&] { SavePage(document, index, write, userdata); });
                 return 0;
               });
}

} // extern "C"
