// Multi-page documents from single-page encodings.
//
// The pages come in as the files djvu_encode writes. Before the document is
// written, the JB2 shapes that recur on several pages of a run of pages are
// moved into a shared dictionary (a DJVI component holding a Djbz chunk);
// every page of the run that uses one of them gets an INCL chunk naming the
// dictionary and its Sjbz re-encoded against it, keeping its own shapes.
// Pages that share nothing are written exactly as they came, and so are
// pages copied from other documents, with the files they include. DjVuLibre's
// DjVmDoc writes the directory and the bundle or the index.
#include "djvuapi.h"

#include "ApiError.h"
#include "DecodeInt.h"
#include "EncodeInt.h"
#include "MaskInt.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "ByteStream.h"
#include "DataPool.h"
#include "DjVmDir.h"
#include "DjVmDoc.h"
#include "DjVmNav.h"
#include "GBitmap.h"
#include "IFFByteStream.h"
#include "JB2Image.h"

using namespace DJVU;

struct djvu_book_s
{
  struct Include
  {
    std::string id;
    std::vector<char> bytes; // FORM:DJVI without the magic
  };
  struct Page
  {
    std::vector<char> bytes; // IFF file, with or without the "AT&T" magic
    std::string id, title;
    bool copied = false;           // written as given, no sharing
    std::vector<Include> includes; // what a copied page includes
  };
  djvu_book_params params;
  std::vector<Page> pages;
  std::set<std::string> ids;
  std::vector<vellum_api::OutlineEntry> outline; // links re-pointed at the book's pages
};

namespace vellum_api
{
namespace
{

djvu_book_params book_params(const djvu_book_params *caller)
{
  djvu_book_params p = {(int32_t)sizeof(djvu_book_params), 10, 0, 0};
  if (caller && caller->size > 0)
    memcpy(&p, caller, std::min((size_t)caller->size, sizeof p));
  p.size = (int32_t)sizeof p;
  if (p.pages_per_dict <= 0)
    p.pages_per_dict = 10;
  return p;
}

// id, or id with "-2", "-3"... before its extension when taken.
std::string unique_id(const std::string &id, const std::set<std::string> &taken)
{
  if (!taken.count(id))
    return id;
  size_t dot = id.find_last_of('.');
  std::string stem = dot == std::string::npos || dot == 0 ? id : id.substr(0, dot);
  std::string ext = stem.size() == id.size() ? "" : id.substr(dot);
  for (int n = 2;; n++)
  {
    std::string candidate = stem + "-" + std::to_string(n) + ext;
    if (!taken.count(candidate))
      return candidate;
  }
}

struct Chunk
{
  GUTF8String id;
  TArray<char> data;
};

// The chunks of a FORM:DJVU page; false for anything else (another form, a
// nested form, a page that already includes a file).
bool read_page(const std::vector<char> &bytes, std::vector<Chunk> &chunks)
{
  GP<IFFByteStream> iff = IFFByteStream::create(ByteStream::create_static(bytes.data(), bytes.size()));
  GUTF8String id;
  if (!iff->get_chunk(id) || id != "FORM:DJVU")
    return false;
  while (iff->get_chunk(id))
  {
    if (iff->composite() || id == "INCL" || id == "Djbz")
      return false;
    Chunk c;
    c.id = id;
    GP<ByteStream> mem = ByteStream::create();
    mem->copy(*iff->get_bytestream());
    c.data = mem->get_data();
    chunks.push_back(c);
    iff->close_chunk();
  }
  return true;
}

// The page's own JB2 image, or null when it has none that decodes alone.
GP<JB2Image> page_jb2(const std::vector<Chunk> &chunks)
{
  for (const Chunk &c : chunks)
    if (c.id == "Sjbz")
    {
      GP<JB2Image> jb2 = JB2Image::create();
      try
      {
        jb2->decode(ByteStream::create_static((const char *)c.data, c.data.size()));
      }
      catch (...)
      {
        return nullptr; // not ours to judge here: the page is copied as it is
      }
      return jb2;
    }
  return nullptr;
}

// A shape whose black pixels touch all four edges: copies of it are placed
// the same way by every reader.
bool tight(const GBitmap &bm)
{
  const int w = bm.columns(), h = bm.rows();
  if (w == 0 || h == 0)
    return false;
  bool top = false, bottom = false, left = false, right = false;
  for (int x = 0; x < w; x++)
  {
    bottom |= bm[0][x] != 0;
    top |= bm[h - 1][x] != 0;
  }
  for (int y = 0; y < h; y++)
  {
    left |= bm[y][0] != 0;
    right |= bm[y][w - 1] != 0;
  }
  return top && bottom && left && right;
}

bool same_bits(const GBitmap &a, const GBitmap &b)
{
  if (a.columns() != b.columns() || a.rows() != b.rows())
    return false;
  for (int y = 0; y < (int)a.rows(); y++)
    for (int x = 0; x < (int)a.columns(); x++)
      if ((a[y][x] != 0) != (b[y][x] != 0))
        return false;
  return true;
}

long size_key(int w, int h)
{
  return (long)w * 65536 + h;
}

long black_count(const GBitmap &bm)
{
  long n = 0;
  for (int y = 0; y < (int)bm.rows(); y++)
    for (int x = 0; x < (int)bm.columns(); x++)
      n += bm[y][x] != 0;
  return n;
}

// Blit positions of one shape: how far a substitution may move them.
struct Extent
{
  int left = 65535, bottom = 65535, right = 0, top = 0;
};

const long kNearMinPixels = 40;
const int kNearMaxSide = 64;

// Where a page shape went: a prototype, and the offset its blits move by.
struct Match
{
  int proto = -1;
  int sx = 0, sy = 0;
};

// Black pixels per row and per column of a shape.
struct Profile
{
  std::vector<int> rows, cols;
  explicit Profile(const GBitmap &bm) : rows(bm.rows(), 0), cols(bm.columns(), 0)
  {
    for (int y = 0; y < (int)bm.rows(); y++)
      for (int x = 0; x < (int)bm.columns(); x++)
        if (bm[y][x])
          rows[y]++, cols[x]++;
  }
};

// A lower bound of the pixels two profiles differ in when b is placed at
// offset d in a's coordinates: a row (column) holding n black pixels in
// one and m in the other differs in at least |n - m| pixels.
long profile_gap(const std::vector<int> &a, const std::vector<int> &b, int d)
{
  long gap = 0;
  const int lo = std::min(0, d), hi = std::max((int)a.size(), d + (int)b.size());
  for (int i = lo; i < hi; i++)
  {
    int na = i >= 0 && i < (int)a.size() ? a[i] : 0;
    int nb = i - d >= 0 && i - d < (int)b.size() ? b[i - d] : 0;
    gap += std::abs(na - nb);
  }
  return gap;
}

struct Prototype
{
  GP<GBitmap> bits;
  long count; // black pixels
  Profile profile;
  int first_page;
  bool shared = false;
  int dict_index = -1;
};

// One run of pages: finds the shared shapes and rewrites the pages that use
// them. pages[k] are the page files (replaced in place), dict_id the name
// the dictionary gets. Returns the dictionary file, or an empty array when
// nothing is shared.
TArray<char> share_run(std::vector<std::vector<char> *> pages, const std::string &dict_id, bool lossless)
{
  const int n = (int)pages.size();
  std::vector<std::vector<Chunk>> chunks(n);
  std::vector<GP<JB2Image>> jb2(n);
  std::vector<std::vector<Match>> matches(n);
  std::vector<Prototype> protos;
  std::unordered_map<long, std::vector<int>> by_size;
  for (int k = 0; k < n; k++)
  {
    if (!read_page(*pages[k], chunks[k]) || !(jb2[k] = page_jb2(chunks[k])))
      continue;
    JB2Image &im = *jb2[k];
    std::vector<bool> used(im.get_shape_count(), false);
    std::vector<Extent> extent(im.get_shape_count());
    for (int b = 0; b < im.get_blit_count(); b++)
    {
      const JB2Blit &blit = *im.get_blit(b);
      used[blit.shapeno] = true;
      Extent &e = extent[blit.shapeno];
      e.left = std::min(e.left, (int)blit.left);
      e.bottom = std::min(e.bottom, (int)blit.bottom);
      e.right = std::max(e.right, (int)blit.left);
      e.top = std::max(e.top, (int)blit.bottom);
    }
    matches[k].resize(im.get_shape_count());
    for (int s = 0; s < im.get_shape_count(); s++)
    {
      const JB2Shape &shape = im.get_shape(s);
      if (!used[s] || !shape.bits || !tight(*shape.bits))
        continue;
      const GBitmap &bm = *shape.bits;
      const int w = bm.columns(), h = bm.rows();
      const long count = black_count(bm);
      Match m;
      if (auto it = by_size.find(size_key(w, h)); it != by_size.end())
        for (int p : it->second)
          if (protos[p].count == count && same_bits(bm, *protos[p].bits))
          {
            m.proto = p;
            break;
          }
      // Near copies are looked for among letter-sized shapes: specks are
      // cheap to code on their page, and tiles of line art hardly ever
      // recur, while either would cost most of the comparisons.
      if (m.proto < 0 && !lossless && count >= kNearMinPixels && w < kNearMaxSide && h < kNearMaxSide)
      {
        long best = -1;
        const Profile profile(bm);
        // The comparison accepts fewer differing pixels than this.
        const long accept =
            std::min(std::max(2L, ((long)w * h * 21 + 50) / 100), std::max(200L, count * 15) / 100 + 1);
        for (int dh = -2; dh <= 2; dh++)
          for (int dw = -2; dw <= 2; dw++)
          {
            auto it = by_size.find(size_key(w + dw, h + dh));
            if (it == by_size.end())
              continue;
            for (int p : it->second)
            {
              // The matching never accepts more differing pixels than
              // this, so a black-pixel count further off cannot match.
              if (std::labs(protos[p].count - count) * 100 > std::max(200L, count * 15))
                continue;
              // Cheap lower bounds first, at the comparison's own offset.
              const Prototype &pr = protos[p];
              const long bound = best >= 0 ? std::min(best, accept) : accept;
              const int pw = pr.bits->columns(), ph = pr.bits->rows();
              if (profile_gap(profile.rows, pr.profile.rows, (h - ph) / 2) >= bound ||
                  profile_gap(profile.cols, pr.profile.cols, (w - pw) / 2) >= bound)
                continue;
              int sx = 0, sy = 0;
              long d = shape_distance(bm, *protos[p].bits, best, sx, sy);
              if (d >= 0 && (best < 0 || d < best))
              {
                best = d;
                m = Match{p, sx, sy};
              }
            }
          }
        // Every blit must stay on the coder's coordinate range.
        const Extent &e = extent[s];
        if (m.proto >= 0 &&
            (e.left + m.sx < 0 || e.bottom + m.sy < 0 || e.right + m.sx > 65535 || e.top + m.sy > 65535))
          m = Match{};
      }
      if (m.proto < 0)
      {
        m = Match{(int)protos.size(), 0, 0};
        by_size[size_key(w, h)].push_back(m.proto);
        protos.push_back(Prototype{shape.bits, count, Profile(bm), k});
      }
      else if (protos[m.proto].first_page != k)
        protos[m.proto].shared = true;
      matches[k][s] = m;
    }
  }
  GP<JB2Dict> dict = JB2Dict::create();
  for (Prototype &p : protos)
    if (p.shared)
    {
      JB2Shape shape;
      shape.parent = -1;
      shape.userdata = 0;
      shape.bits = GBitmap::create(*p.bits);
      p.dict_index = dict->add_shape(shape);
    }
  if (dict->get_shape_count() == 0)
    return TArray<char>();

  for (int k = 0; k < n; k++)
  {
    if (!jb2[k])
      continue;
    const JB2Image &im = *jb2[k];
    bool uses = false;
    for (const Match &m : matches[k])
      uses |= m.proto >= 0 && protos[m.proto].shared;
    if (!uses)
      continue;
    GP<JB2Image> out = JB2Image::create();
    out->set_dimension(im.get_width(), im.get_height());
    out->set_inherited_dict(dict);
    std::vector<int> renumber(im.get_shape_count(), -1);
    for (int s = 0; s < im.get_shape_count(); s++)
    {
      const Match &m = matches[k][s];
      if (m.proto >= 0 && protos[m.proto].shared)
      {
        renumber[s] = protos[m.proto].dict_index;
        continue;
      }
      JB2Shape shape = im.get_shape(s);
      // A parent always comes before its child, so it is renumbered already.
      shape.parent = shape.parent >= 0 ? renumber[shape.parent] : -1;
      renumber[s] = out->add_shape(shape);
    }
    for (int b = 0; b < im.get_blit_count(); b++)
    {
      JB2Blit blit = *im.get_blit(b);
      const Match &m = matches[k][blit.shapeno];
      if (m.proto >= 0 && protos[m.proto].shared)
      {
        blit.left = (unsigned short)(blit.left + m.sx);
        blit.bottom = (unsigned short)(blit.bottom + m.sy);
      }
      blit.shapeno = renumber[blit.shapeno];
      out->add_blit(blit);
    }
    GP<ByteStream> sjbz = ByteStream::create();
    out->encode(sjbz);
    TArray<char> coded = sjbz->get_data();
    GP<ByteStream> mem = ByteStream::create();
    GP<IFFByteStream> iff = IFFByteStream::create(mem);
    iff->put_chunk("FORM:DJVU", 1);
    for (const Chunk &c : chunks[k])
    {
      iff->put_chunk(c.id);
      if (c.id == "Sjbz")
        iff->get_bytestream()->writall((const char *)coded, coded.size());
      else
        iff->get_bytestream()->writall((const char *)c.data, c.data.size());
      iff->close_chunk();
      if (c.id == "INFO")
      {
        iff->put_chunk("INCL");
        iff->get_bytestream()->writall(dict_id.data(), dict_id.size());
        iff->close_chunk();
      }
    }
    iff->close_chunk();
    TArray<char> file = mem->get_data();
    pages[k]->assign((const char *)file, (const char *)file + file.size());
  }
  GP<ByteStream> mem = ByteStream::create();
  GP<IFFByteStream> iff = IFFByteStream::create(mem);
  iff->put_chunk("FORM:DJVI", 1);
  iff->put_chunk("Djbz");
  dict->encode(iff->get_bytestream());
  iff->close_chunk();
  iff->close_chunk();
  return mem->get_data();
}

void insert(DjVmDoc &doc, const void *bytes, size_t size, DjVmDir::File::FILE_TYPE type,
            const std::string &id, const std::string &title)
{
  GP<DataPool> pool = DataPool::create();
  pool->add_data(bytes, (int)size);
  pool->set_eof();
  doc.insert_file(pool, type, GUTF8String(id.c_str()), GUTF8String(id.c_str()), GUTF8String(title.c_str()));
}

// bytes with the INCL chunks naming a key of renamed naming its value
// instead; every other chunk copied as it is.
std::vector<char> rename_included(const std::vector<char> &bytes,
                                  const std::map<std::string, std::string> &renamed)
{
  if (renamed.empty())
    return bytes;
  const size_t skip = bytes.size() >= 4 && memcmp(bytes.data(), "AT&T", 4) == 0 ? 4 : 0;
  GP<IFFByteStream> in =
      IFFByteStream::create(ByteStream::create_static(bytes.data() + skip, bytes.size() - skip));
  GP<ByteStream> mem = ByteStream::create();
  GP<IFFByteStream> out = IFFByteStream::create(mem);
  GUTF8String form;
  if (!in->get_chunk(form))
    DJVU_API_THROW("djvu_book: a copied file is empty");
  out->put_chunk(form, 1);
  GUTF8String id;
  while (in->get_chunk(id))
  {
    out->put_chunk(id);
    GP<ByteStream> chunk = ByteStream::create();
    chunk->copy(*in->get_bytestream());
    TArray<char> data = chunk->get_data();
    std::string text((const char *)data, data.size());
    auto it = id == "INCL" ? renamed.find(text) : renamed.end();
    if (it != renamed.end())
      out->get_bytestream()->writall(it->second.data(), it->second.size());
    else
      out->get_bytestream()->writall((const char *)data, data.size());
    out->close_chunk();
    in->close_chunk();
  }
  out->close_chunk();
  TArray<char> file = mem->get_data();
  return std::vector<char>((const char *)file, (const char *)file + file.size());
}

// The files a copied page includes, each before the page that first needs
// it and once for the same id and bytes; a name taken otherwise gets a new
// one, and page (the page's bytes to be written) then names that.
// written maps a source id to the names given to its versions so far.
void insert_included(DjVmDoc &doc, const djvu_book::Page &copied, std::vector<char> &page,
                     std::map<std::string, std::vector<std::string>> &written, std::set<std::string> &taken)
{
  std::map<std::string, std::string> renamed;
  for (const djvu_book::Include &inc : copied.includes)
  {
    std::vector<char> bytes = rename_included(inc.bytes, renamed);
    std::string name;
    for (const std::string &given : written[inc.id])
    {
      GP<DataPool> pool = doc.get_data(GUTF8String(given.c_str()));
      GP<ByteStream> stream = pool->get_stream();
      std::vector<char> have(bytes.size() + 1);
      const size_t n = stream->readall(have.data(), have.size());
      if (n == bytes.size() && memcmp(have.data(), bytes.data(), n) == 0)
        name = given;
    }
    if (name.empty())
    {
      name = unique_id(inc.id, taken);
      taken.insert(name);
      written[inc.id].push_back(name);
      insert(doc, bytes.data(), bytes.size(), DjVmDir::File::INCLUDE, name, "");
    }
    if (name != inc.id)
      renamed[inc.id] = name;
  }
  page = rename_included(page, renamed);
}

// Appends source's outline to out with its links inside the document
// pointing at the book's pages ("#id"); map[i] is the book page source
// page i became (-1: left out). An entry whose page is left out goes,
// unless entries under it stay; it then keeps its title without a link.
void append_outline(const djvu_book &book, const std::vector<OutlineEntry> &source,
                    const std::vector<int> &map, std::vector<OutlineEntry> &out)
{
  // The entry's own target kept, then (walking back) with its descendants.
  const size_t n = source.size();
  std::vector<bool> keep(n, false);
  std::vector<std::string> url(n);
  std::vector<size_t> end(n); // one past the entry's last descendant
  for (size_t i = 0; i < n; i++)
  {
    const OutlineEntry &e = source[i];
    if (e.page == -1)
      url[i] = e.url;
    else if (e.page >= 0 && e.page < (int)map.size() && map[e.page] >= 0)
      url[i] = "#" + book.pages[map[e.page]].id;
    keep[i] = e.page == -1 || !url[i].empty();
  }
  for (size_t i = n; i-- > 0;)
  {
    size_t next = i + 1;
    for (int c = 0; c < source[i].children; c++)
    {
      keep[i] = keep[i] || keep[next];
      next = end[next];
    }
    end[i] = next;
  }
  // Kept entries with their kept children counted.
  for (size_t i = 0; i < n; i++)
  {
    if (!keep[i])
      continue;
    OutlineEntry e = source[i];
    e.url = url[i];
    e.children = 0;
    for (size_t c = i + 1, k = 0; k < (size_t)source[i].children; k++, c = end[c])
      e.children += keep[c];
    out.push_back(e);
  }
}

// The document: shared dictionaries first, then the pages (copies of the
// book's page files, so that a book can be written more than once).
GP<DjVmDoc> build(const djvu_book &book)
{
  if (book.pages.empty())
    DJVU_API_THROW("djvu_book: the document has no pages");
  const djvu_book_params &p = book.params;
  GP<DjVmDoc> doc = DjVmDoc::create();
  std::set<std::string> taken = book.ids;
  std::map<std::string, std::vector<std::string>> written; // source id -> names given, by content
  const int per = p.pages_per_dict, total = (int)book.pages.size();
  for (int first = 0; first < total; first += per)
  {
    const int last = std::min(total, first + per);
    std::vector<std::vector<char>> files;
    for (int k = first; k < last; k++)
      files.push_back(book.pages[k].bytes);
    TArray<char> dict;
    std::string dict_id;
    std::vector<std::vector<char> *> run;
    for (int k = first; k < last; k++)
      if (!book.pages[k].copied)
        run.push_back(&files[k - first]);
    if (!(p.flags & DJVU_BOOK_NO_SHARING) && run.size() > 1)
    {
      progress("Sharing Shapes", first * 100 / total, p.progress_data);
      dict_id = unique_id("shapes" + std::to_string(first / per + 1) + ".djbz", taken);
      dict = share_run(run, dict_id, (p.flags & DJVU_BOOK_LOSSLESS) != 0);
    }
    if (dict.size())
    {
      taken.insert(dict_id);
      insert(*doc, (const char *)dict, dict.size(), DjVmDir::File::INCLUDE, dict_id, "");
    }
    for (int k = first; k < last; k++)
    {
      const djvu_book::Page &page = book.pages[k];
      if (page.copied)
        insert_included(*doc, page, files[k - first], written, taken);
      insert(*doc, files[k - first].data(), files[k - first].size(), DjVmDir::File::PAGE, page.id,
             page.title);
    }
  }
  if (!book.outline.empty())
  {
    GP<DjVmNav> nav = DjVmNav::create();
    for (const OutlineEntry &e : book.outline)
      nav->append(DjVmNav::DjVuBookMark::create((unsigned short)e.children, GUTF8String(e.title.c_str()),
                                                GUTF8String(e.url.c_str())));
    doc->set_djvm_nav(nav);
  }
  progress("Sharing Shapes", 100, p.progress_data);
  return doc;
}

} // namespace
} // namespace vellum_api

using namespace vellum_api;

extern "C" {

djvu_book *djvu_book_new(const djvu_book_params *params)
{
  return guard((djvu_book *)nullptr,
               [&]
               {
                 djvu_book *book = new djvu_book;
                 book->params = book_params(params);
                 return book;
               });
}

void djvu_book_free(djvu_book *book)
{
  delete book;
}

int djvu_book_page_count(const djvu_book *book)
{
  return book ? (int)book->pages.size() : 0;
}

int djvu_book_add_page(djvu_book *book, const void *data, size_t size, const char *id, const char *title)
{
  return guard(-1,
               [&]
               {
                 if (!book || !data || !id || !*id)
                   DJVU_API_THROW("djvu_book_add_page: book, data and id are required");
                 std::string name = id;
                 if (name[0] == '.' || name.find('/') != std::string::npos)
                   DJVU_API_THROW("djvu_book_add_page: the id must be a file name");
                 const char *b = (const char *)data;
                 size_t skip = size >= 4 && memcmp(b, "AT&T", 4) == 0 ? 4 : 0;
                 if (size < skip + 12 || memcmp(b + skip, "FORM", 4) != 0 ||
                     (memcmp(b + skip + 8, "DJVU", 4) != 0 && memcmp(b + skip + 8, "PM44", 4) != 0 &&
                      memcmp(b + skip + 8, "BM44", 4) != 0))
                   DJVU_API_THROW("djvu_book_add_page: not a single-page DjVu or IW44 file");
                 djvu_book::Page page;
                 page.bytes.assign(b, b + size);
                 page.id = unique_id(name, book->ids);
                 page.title = title ? title : "";
                 book->ids.insert(page.id);
                 book->pages.push_back(std::move(page));
                 return 0;
               });
}

int djvu_book_add_copied_page(djvu_book *book, const void *data, size_t size, const char *id,
                              const char *title, const djvu_book_include *includes, int include_count)
{
  return guard(
      -1,
      [&]
      {
        if (!book || !data || (include_count > 0 && !includes) || include_count < 0)
          DJVU_API_THROW("djvu_book_add_copied_page: book and data are required");
        const char *b = (const char *)data;
        size_t skip = size >= 4 && memcmp(b, "AT&T", 4) == 0 ? 4 : 0;
        if (size < skip + 12 || memcmp(b + skip, "FORM", 4) != 0 || memcmp(b + skip + 8, "DJVU", 4) != 0)
          DJVU_API_THROW("djvu_book_add_copied_page: not a DjVu page (FORM:DJVU)");
        std::vector<djvu_book::Include> copies;
        for (int i = 0; i < include_count; i++)
        {
          const djvu_book_include &inc = includes[i];
          const char *ib = (const char *)inc.data;
          size_t iskip = ib && inc.size >= 4 && memcmp(ib, "AT&T", 4) == 0 ? 4 : 0;
          if (!inc.id || !*inc.id || !ib || inc.size < iskip + 12 || memcmp(ib + iskip, "FORM", 4) != 0 ||
              memcmp(ib + iskip + 8, "DJVI", 4) != 0)
            DJVU_API_THROW("djvu_book_add_copied_page: an included file is not FORM:DJVI with an id");
          copies.push_back(djvu_book::Include{inc.id, std::vector<char>(ib + iskip, ib + inc.size)});
        }
        if (djvu_book_add_page(book, data, size, id, title) != 0)
          return -1; // reported
        book->pages.back().copied = true;
        book->pages.back().includes = std::move(copies);
        return 0;
      });
}

int djvu_book_add_outline(djvu_book *book, djvu_document *source, const int *page_map, int map_count)
{
  return guard(-1,
               [&]
               {
                 if (!book || !source || (map_count > 0 && !page_map) || map_count < 0)
                   DJVU_API_THROW("djvu_book_add_outline: book, source and page map are required");
                 std::vector<int> map(page_map, page_map + map_count);
                 for (int &m : map)
                   if (m >= (int)book->pages.size())
                     DJVU_API_THROW("djvu_book_add_outline: the page map names a page not added yet");
                 append_outline(*book, document_outline(source), map, book->outline);
                 return 0;
               });
}

int djvu_book_write(const djvu_book *book, djvu_output_routine write, void *userdata)
{
  return guard(-1,
               [&]
               {
                 if (!book)
                   DJVU_API_THROW("djvu_book_write: no book");
                 GP<DjVmDoc> doc = build(*book);
                 GP<ByteStream> mem = ByteStream::create();
                 doc->write(mem);
                 deliver_file(*mem, write, userdata, "djvu_book_write");
                 return 0;
               });
}

int djvu_book_write_indirect(const djvu_book *book, const char *index_name, djvu_file_routine write,
                             void *userdata)
{
  return guard(-1,
               [&]
               {
                 if (!book || !index_name || !*index_name || !write)
                   DJVU_API_THROW("djvu_book_write_indirect: book, index name and routine are required");
                 GP<DjVmDoc> doc = build(*book);
                 GP<DjVmDir> dir = doc->get_djvm_dir();
                 GPList<DjVmDir::File> files = dir->get_files_list();
                 for (GPosition pos = files; pos; ++pos)
                   if (files[pos]->get_load_name() == GUTF8String(index_name))
                     DJVU_API_THROW("djvu_book_write_indirect: a page has the index file's name");
                 GP<ByteStream> index = ByteStream::create();
                 doc->write_index(index);
                 TArray<char> bytes = index->get_data();
                 if (write(userdata, index_name, (const char *)bytes, bytes.size()) != 0)
                   DJVU_API_THROW("djvu_book_write_indirect: output routine failed");
                 for (GPosition pos = files; pos; ++pos)
                 {
                   const GUTF8String name = files[pos]->get_load_name();
                   GP<ByteStream> mem = ByteStream::create();
                   mem->writall("AT&T", 4);
                   mem->copy(*doc->get_data(name)->get_stream());
                   bytes = mem->get_data();
                   if (write(userdata, (const char *)name, (const char *)bytes, bytes.size()) != 0)
                     DJVU_API_THROW("djvu_book_write_indirect: output routine failed");
                 }
                 return 0;
               });
}

} // extern "C"
