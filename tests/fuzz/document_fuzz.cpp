// Fuzz target: opening a DjVu document of any shape and rendering pages of
// it. The input is either one file (a single page or a bundled document
// with its directory) or, after the magic "VFZ1", a pack of files: each is
// a one-byte name length, the name, a four-byte little-endian length and
// the bytes; the first is the main file and the others are served by name
// to an indirect document through the fetch routine. The first and the
// last page are decoded and rendered small; a save of the whole document
// is written to memory. The main file is also read for its directory alone
// (djvu_document_peek, as the browser lists a folder), from a memory file.
// Its outline goes into a book of one tiny page, every other page of the
// document mapped to it, and the book is written to memory.
#include "djvuapi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace
{

struct Span
{
  const uint8_t *data;
  size_t size, at;
  static int read(void *self, void *buf, int n)
  {
    Span &in = *(Span *)self;
    const size_t k = std::min((size_t)n, in.size - in.at);
    if (k)
      std::memcpy(buf, in.data + in.at, k);
    in.at += k;
    return (int)k;
  }
};

struct Pack
{
  Span main{nullptr, 0, 0};
  std::map<std::string, Span> files;
  static int fetch(void *self, const char *name, djvu_write_routine sink, void *sink_data)
  {
    Pack &p = *(Pack *)self;
    auto it = p.files.find(name);
    if (it == p.files.end())
      return -1;
    const Span &s = it->second;
    return sink(sink_data, s.data, (int)s.size) == (int)s.size ? 0 : -1;
  }
};

void unpack(const uint8_t *data, size_t size, Pack &pack)
{
  if (size < 4 || std::memcmp(data, "VFZ1", 4) != 0)
  {
    pack.main = {data, size, 0};
    return;
  }
  size_t at = 4;
  bool first = true;
  while (at < size)
  {
    const size_t nlen = data[at++];
    if (at + nlen + 4 > size)
      break;
    const std::string name((const char *)data + at, nlen);
    at += nlen;
    uint32_t len;
    std::memcpy(&len, data + at, 4);
    at += 4;
    const size_t n = std::min((size_t)len, size - at);
    if (first)
      pack.main = {data + at, n, 0};
    else
      pack.files[name] = {data + at, n, 0};
    first = false;
    at += n;
  }
}

void quiet(const char *, const char *, int) {}

volatile unsigned g_sink;

int discard(void *, const void *buffer, int count)
{
  if (count > 0)
    g_sink = ((const unsigned char *)buffer)[count - 1];
  return count;
}

void render_page(djvu_document *doc, int index)
{
  djvu_halfcoded_image *h = djvu_document_decode_page(doc, index);
  if (!h)
    return;
  const int s = 15;
  const int w = (h->width + s - 1) / s, hh = (h->height + s - 1) / s;
  if ((int64_t)w * hh <= 4096 * 4096)
    if (djvu_pixel_image *img = djvu_render(nullptr, h, 0, 0, w * s - 1, hh * s - 1, 0, w, hh))
    {
      unsigned sum = 0;
      for (int y = 0; y < img->h; y++)
      {
        const unsigned char *row = img->data + img->offset + (size_t)y * (size_t)img->rowsize;
        for (int x = 0; x < img->w * img->pixsize; x++)
          sum += row[x];
      }
      g_sink = sum;
      djvu_pixel_image_free(img);
    }
  djvu_halfcoded_image_free(h);
}

void count_name(void *names, const char *name)
{
  ++*(size_t *)names;
  g_sink = name[0];
}

// The directory read alone, from the main file as a file by path.
void peek(const Span &main)
{
  const int fd = memfd_create("vellum-fuzz-peek", 0);
  if (fd < 0)
    return;
  size_t done = 0;
  while (done < main.size)
  {
    const ssize_t n = write(fd, main.data + done, main.size - done);
    if (n <= 0)
      break;
    done += (size_t)n;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  int pages = -1;
  size_t names = 0;
  const int type = djvu_document_peek(path.c_str(), &pages, count_name, &names);
  // A failure leaves no pages; a success at least one.
  if ((type < 0 && pages != 0) || (type >= 0 && pages < 1))
    __builtin_trap();
  close(fd);
}

// The document's outline in a book whose one page stands for the even
// pages; the odd ones are left out.
void outline_into_book(djvu_document *doc, int pages)
{
  static const unsigned char kPage[] = {'F', 'O', 'R', 'M', 0,  0, 0, 22, 'D', 'J', 'V', 'U', 'I', 'N', 'F',
                                        'O', 0,   0,   0,   10, 0, 1, 0,  1,   24,  0,   44,  1,   22,  0};
  djvu_book *book = djvu_book_new(nullptr);
  if (!book)
    return;
  std::vector<int> map((size_t)pages);
  for (int i = 0; i < pages; i++)
    map[(size_t)i] = i % 2 ? -1 : 0;
  if (djvu_book_add_page(book, kPage, sizeof kPage, "p.djvu", nullptr) == 0 &&
      djvu_book_add_outline(book, doc, map.data(), pages) == 0)
    djvu_book_write(book, discard, nullptr);
  djvu_book_free(book);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  djvu_set_error_callback(quiet);
  Pack pack;
  unpack(data, size, pack);
  peek(pack.main);
  djvu_document *doc = djvu_document_open_stream(&Span::read, &pack.main, &Pack::fetch, &pack);
  if (!doc)
    return 0;
  const int pages = djvu_document_page_count(doc);
  render_page(doc, 0);
  if (pages > 1)
    render_page(doc, pages - 1);
  djvu_document_save(doc, discard, nullptr);
  outline_into_book(doc, pages);
  djvu_document_free(doc);
  return 0;
}
