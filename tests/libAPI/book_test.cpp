// The book writer: pages from djvu_encode assembled into one document, with
// the shapes that recur across pages moved into shared dictionaries.
// Decoded with DjVuLibre's own tools (ddjvu, djvused, djvudump).
#include <gtest/gtest.h>

#include "encode_util.h"

using namespace enc_test;

namespace
{

// A glyph-like 0/1 pattern of about 20 x 26 pixels; variant v gets one
// extra pixel on its edge (a near copy of variant 0).
std::vector<unsigned char> Glyph(int kind, int v, int &w, int &h)
{
  w = 18 + kind % 5;
  h = 22 + kind % 7;
  std::vector<unsigned char> g((size_t)w * h, 0);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
    {
      bool stem = x < 4 || (kind & 1 ? y < 4 : y >= h - 4) || (kind % 3 == 0 && std::abs(x - y) < 3);
      bool bowl = ((x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2)) * (kind + 2) % 97 < 30;
      g[(size_t)y * w + x] = stem || bowl;
    }
  // Every edge touched, so the shape is tight.
  for (int x = 0; x < w; x++)
    g[x] = g[(size_t)(h - 1) * w + x] = 1;
  if (v)
    g[(size_t)(h / 2) * w + w - 2] ^= 1;
  return g;
}

// A page of rows of glyphs; glyph kinds from first .. first + kinds - 1,
// with near copies (one pixel changed) where near is set.
struct TextPage
{
  int w = 1200, h = 900;
  std::vector<unsigned char> raster;
  TextPage(int first, int kinds, bool near) : raster((size_t)w * h, 0)
  {
    int x = 40, y = 40, k = 0;
    while (y + 40 < h)
    {
      int gw, gh;
      std::vector<unsigned char> g = Glyph(first + k % kinds, near && k % 2, gw, gh);
      for (int yy = 0; yy < gh; yy++)
        for (int xx = 0; xx < gw; xx++)
          raster[(size_t)(y + yy) * w + x + xx] = g[(size_t)yy * gw + xx];
      k++;
      x += gw + 8;
      if (x + 30 > w)
        x = 40, y += 44;
    }
  }
};

std::string EncodePage(const TextPage &p, bool lossless)
{
  Mask mask(p.w, p.h, p.raster, 300);
  djvu_encode_params params = DJVU_ENCODE_PARAMS_DEFAULTS;
  params.flags = DJVU_ENCODE_LOSSLESS;
  if (!lossless)
    params.flags = 0;
  Output out;
  EXPECT_EQ(djvu_encode(&params, &mask.rec, nullptr, collect, &out), 0);
  return out.bytes;
}

std::string WriteBook(const std::vector<std::string> &pages, int flags, int perDict = 10)
{
  djvu_book_params params = {16, perDict, flags, 0};
  djvu_book *book = djvu_book_new(&params);
  EXPECT_NE(book, nullptr);
  for (size_t i = 0; i < pages.size(); i++)
  {
    std::string id = "p" + std::to_string(i + 1) + ".djvu";
    EXPECT_EQ(djvu_book_add_page(book, pages[i].data(), pages[i].size(), id.c_str(), nullptr), 0);
  }
  Output out;
  EXPECT_EQ(djvu_book_write(book, collect, &out), 0);
  EXPECT_EQ(out.calls, 1);
  djvu_book_free(book);
  return out.bytes;
}

std::string Shell(const std::string &cmd)
{
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r"))
  {
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    pclose(p);
  }
  return out;
}

// Page n (from 1) of a document as 0/1 (1 = black), through ddjvu.
std::vector<unsigned char> PageRaster(const std::string &doc, const std::string &name, int n)
{
  Pnm p = ddjvu(doc, name, "pgm", "-page=" + std::to_string(n));
  std::vector<unsigned char> r;
  for (unsigned char v : p.px)
    r.push_back(v < 128);
  return r;
}

size_t Differences(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
  if (a.size() != b.size())
    return (size_t)-1;
  size_t n = 0;
  for (size_t i = 0; i < a.size(); i++)
    n += a[i] != b[i];
  return n;
}

} // namespace

// Lossless pages with the same glyphs: the shared shapes go to a DJVI
// dictionary, every page includes it, the document is smaller than its
// pages, and every page still decodes to exactly its mask.
TEST(Book, LosslessSharingKeepsEveryMaskExact)
{
  Reports reports;
  std::vector<TextPage> pages = {TextPage(0, 12, false), TextPage(3, 12, false), TextPage(6, 12, false)};
  std::vector<std::string> files;
  size_t separate = 0;
  for (const TextPage &p : pages)
  {
    files.push_back(EncodePage(p, true));
    separate += files.back().size();
  }
  std::string doc = WriteBook(files, DJVU_BOOK_LOSSLESS);
  EXPECT_LT(doc.size(), separate);
  std::string dump = djvudump(doc, "book_lossless");
  EXPECT_NE(dump.find("FORM:DJVI"), std::string::npos) << dump;
  EXPECT_NE(dump.find("Djbz"), std::string::npos) << dump;
  size_t incl = 0;
  for (size_t at = dump.find("INCL"); at != std::string::npos; at = dump.find("INCL", at + 1))
    incl++;
  EXPECT_EQ(incl, 3u) << dump;
  write_file(tmp_path("book_lossless.djvu"), doc);
  EXPECT_EQ(Shell("djvused -e n '" + tmp_path("book_lossless.djvu") + "'"), "3\n");
  for (size_t i = 0; i < pages.size(); i++)
    EXPECT_EQ(Differences(PageRaster(doc, "book_lossless", (int)i + 1), pages[i].raster), 0u)
        << "page " << i + 1;
  EXPECT_EQ(reports.size(), 0u) << reports.first();
}

// Near copies (one pixel off) are shared only without the lossless flag:
// lossless keeps them apart and exact, lossy draws them from the first
// page's shape and changes a few pixels only.
TEST(Book, NearCopiesAreSharedOnlyWhenLossy)
{
  Reports reports;
  TextPage a(0, 10, false), b(0, 10, true);
  std::vector<std::string> lossless = {EncodePage(a, true), EncodePage(b, true)};
  std::string exact = WriteBook(lossless, DJVU_BOOK_LOSSLESS);
  EXPECT_EQ(Differences(PageRaster(exact, "book_near_exact", 2), b.raster), 0u);

  std::vector<std::string> lossy = {EncodePage(a, false), EncodePage(b, false)};
  std::string near = WriteBook(lossy, 0);
  std::string plain = WriteBook(lossy, DJVU_BOOK_NO_SHARING);
  EXPECT_LT(near.size(), plain.size());
  EXPECT_EQ(djvudump(plain, "book_plain").find("INCL"), std::string::npos);
  // Page 2 as its own lossy encoding decodes it against page 2 as shared.
  std::vector<unsigned char> own = PageRaster(plain, "book_near_plain", 2);
  std::vector<unsigned char> shared = PageRaster(near, "book_near_lossy", 2);
  size_t changed = Differences(own, shared);
  EXPECT_LT(changed, b.raster.size() / 1000);
  EXPECT_EQ(reports.size(), 0u) << reports.first();
}

// Dictionaries cover runs of pages_per_dict pages; a page that shares
// nothing is written exactly as it came; writing twice gives the same bytes.
TEST(Book, RunsOfPagesAndUnchangedPages)
{
  Reports reports;
  std::vector<std::string> files;
  for (int i = 0; i < 4; i++)
    files.push_back(EncodePage(TextPage(0, 8, false), true));
  // A page of glyph kinds no other page has.
  files.push_back(EncodePage(TextPage(40, 8, false), true));
  std::string doc = WriteBook(files, DJVU_BOOK_LOSSLESS, 2);
  EXPECT_EQ(doc, WriteBook(files, DJVU_BOOK_LOSSLESS, 2));
  std::string dump = djvudump(doc, "book_runs");
  size_t dicts = 0;
  for (size_t at = dump.find("FORM:DJVI"); at != std::string::npos; at = dump.find("FORM:DJVI", at + 1))
    dicts++;
  EXPECT_EQ(dicts, 2u) << dump; // pages 1-2 and 3-4; page 5 runs alone
  // The last page is stored unchanged: its chunk bytes are in the bundle.
  std::string last = files.back().substr(4 + 8 + 4); // after AT&T, FORM header, DJVU
  EXPECT_NE(doc.find(last), std::string::npos);
  EXPECT_EQ(reports.size(), 0u) << reports.first();
}

// Bad pages and ids are refused with one report each; taken ids are made
// unique; an output routine that writes short fails the write.
TEST(Book, RefusesBadInputAndShortWrites)
{
  Reports reports;
  djvu_book *book = djvu_book_new(nullptr);
  ASSERT_NE(book, nullptr);
  std::string page = EncodePage(TextPage(0, 4, false), true);
  const char junk[] = "AT&TFORM\0\0\0\4JUNK";
  EXPECT_EQ(djvu_book_add_page(book, junk, sizeof junk - 1, "a.djvu", nullptr), -1);
  EXPECT_EQ(djvu_book_add_page(book, page.data(), page.size(), "../a.djvu", nullptr), -1);
  EXPECT_EQ(djvu_book_add_page(book, page.data(), page.size(), ".hidden", nullptr), -1);
  EXPECT_EQ(reports.size(), 3u);
  EXPECT_EQ(djvu_book_page_count(book), 0);
  Output empty;
  EXPECT_EQ(djvu_book_write(book, collect, &empty), -1);
  EXPECT_EQ(empty.calls, 0);
  EXPECT_EQ(djvu_book_add_page(book, page.data(), page.size(), "a.djvu", "A"), 0);
  EXPECT_EQ(djvu_book_add_page(book, page.data(), page.size(), "a.djvu", "B"), 0);
  EXPECT_EQ(djvu_book_page_count(book), 2);
  Output out;
  ASSERT_EQ(djvu_book_write(book, collect, &out), 0);
  write_file(tmp_path("book_ids.djvu"), out.bytes);
  std::string ls = Shell("djvused -e ls '" + tmp_path("book_ids.djvu") + "'");
  EXPECT_NE(ls.find("a.djvu"), std::string::npos) << ls;
  EXPECT_NE(ls.find("a-2.djvu"), std::string::npos) << ls;
  Output shortOut;
  shortOut.shortfall = 1;
  size_t before = reports.size();
  EXPECT_EQ(djvu_book_write(book, collect, &shortOut), -1);
  EXPECT_EQ(reports.size(), before + 1);
  djvu_book_free(book);
}
