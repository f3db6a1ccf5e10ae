// Documents of many pages: every page of the corpus books decodes as ddjvu
// -page=N renders it; a missing page file fails that page alone, naming
// the file; saving keeps every page, the outline, the hidden text and the
// included files (checked with djvused and djvudump), and a replaced page
// keeps the old page's text only when asked to.
#include "djvuapi.h"

#include <gtest/gtest.h>

#include "pnm_util.h"
#include "report_util.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{

using apitest::corpus;
using apitest::g_messages;
using apitest::Reports;

std::string tmpdir()
{
  const char *t = std::getenv("VELLUM_TEST_TMP");
  return t ? t : "/tmp";
}

std::string run(const std::string &cmd)
{
  std::string out;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p)
    return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    out.append(buf, n);
  pclose(p);
  return out;
}

struct DocDel
{
  void operator()(djvu_document *d) const { djvu_document_free(d); }
};
using Doc = std::unique_ptr<djvu_document, DocDel>;
struct HandleDel
{
  void operator()(djvu_halfcoded_image *h) const { djvu_halfcoded_image_free(h); }
};
using Handle = std::unique_ptr<djvu_halfcoded_image, HandleDel>;
struct ImageDel
{
  void operator()(djvu_pixel_image *p) const { djvu_pixel_image_free(p); }
};
using Image = std::unique_ptr<djvu_pixel_image, ImageDel>;

int to_vector(void *userdata, const void *buffer, int count)
{
  auto *v = static_cast<std::vector<unsigned char> *>(userdata);
  v->insert(v->end(), (const unsigned char *)buffer, (const unsigned char *)buffer + count);
  return count;
}

bool write_file(const std::string &path, const std::vector<unsigned char> &bytes)
{
  std::ofstream out(path, std::ios::binary);
  out.write((const char *)bytes.data(), (std::streamsize)bytes.size());
  return (bool)out;
}

std::string saved(djvu_document *doc, const std::string &name)
{
  std::vector<unsigned char> bytes;
  EXPECT_EQ(djvu_document_save(doc, to_vector, &bytes), 0);
  const std::string path = tmpdir() + "/" + name;
  EXPECT_TRUE(write_file(path, bytes));
  return path;
}

std::string page_text(const std::string &file, int page)
{
  return run("djvused -e 'select " + std::to_string(page) + "; print-pure-txt' '" + file + "' 2>&1");
}

// Mean absolute difference between our rendering of a page at subsample s
// and ddjvu's; -1 when either is missing.
double compare_with_ddjvu(const std::string &file, int page, const djvu_halfcoded_image *h, int s)
{
  const std::string out = tmpdir() + "/doc-ddjvu.pnm";
  std::remove(out.c_str());
  const std::string cmd = "ddjvu -format=pnm -aspect=no -mode=color -page=" + std::to_string(page) +
                          " -subsample=" + std::to_string(s) + " '" + file + "' '" + out + "' 2>/dev/null";
  Pnm ref;
  if (std::system(cmd.c_str()) != 0 || !read_pnm(out, ref))
    return -1;
  const int w = (h->width + s - 1) / s, hh = (h->height + s - 1) / s;
  Image img(djvu_render(nullptr, h, 0, 0, w * s - 1, hh * s - 1, 0, w, hh));
  if (!img || ref.w != img->w || ref.h != img->h)
    return -1;
  const bool grey = img->flags & DJVU_GRAY;
  const bool rgb = img->flags & DJVU_RGB;
  const bool bottomup = img->flags & DJVU_BOTTOMUP;
  double sum = 0;
  for (int y = 0; y < ref.h; y++)
  {
    const int row = bottomup ? ref.h - 1 - y : y;
    const unsigned char *p = img->data + img->offset + (size_t)row * img->rowsize;
    for (int x = 0; x < ref.w; x++, p += img->pixsize)
      for (int c = 0; c < 3; c++)
      {
        const int ours = grey ? p[0] : p[rgb ? c : 2 - c];
        sum += std::abs(ours - ref.at(x, y, c));
      }
  }
  return sum / ((double)ref.w * ref.h * 3);
}

struct Book
{
  const char *file;
  int type;
  int pages;
  std::vector<int> textPages; // 1-based pages with hidden text
};

const Book kBooks[] = {
    {"books/book-bundled-4p.djvu", DJVU_DOCUMENT_BUNDLED, 4, {1, 2, 4}},
    {"books/indirect/index.djvu", DJVU_DOCUMENT_INDIRECT, 4, {1, 2, 4}},
    {"books/book-shared-dict-3p.djvu", DJVU_DOCUMENT_BUNDLED, 3, {1, 2, 3}},
    {"bad/djvu-bundled-3pages.djvu", DJVU_DOCUMENT_BUNDLED, 3, {1, 2, 3}},
    {"djvu/formatdoc-p10-bitonal.djvu", DJVU_DOCUMENT_SINGLE_PAGE, 1, {1}},
};

} // namespace

TEST(Document, EveryPageDecodesAsTheReferenceRendersIt)
{
  Reports r;
  for (const Book &b : kBooks)
  {
    SCOPED_TRACE(b.file);
    const std::string path = corpus(b.file);
    Doc doc(djvu_document_open(path.c_str()));
    ASSERT_TRUE(doc) << (g_messages.empty() ? "" : g_messages.back());
    EXPECT_EQ(djvu_document_type(doc.get()), b.type);
    ASSERT_EQ(djvu_document_page_count(doc.get()), b.pages);
    EXPECT_EQ(std::stoi(run("djvused -e n '" + path + "'")), b.pages);
    for (int i = 0; i < b.pages; i++)
    {
      SCOPED_TRACE("page " + std::to_string(i + 1));
      Handle h(djvu_document_decode_page(doc.get(), i));
      ASSERT_TRUE(h) << (g_messages.empty() ? "" : g_messages.back());
      const std::string size = run("djvused -e 'select " + std::to_string(i + 1) + "; size' '" + path + "'");
      EXPECT_EQ(size, "width=" + std::to_string(h->width) + " height=" + std::to_string(h->height) + "\n");
      const double diff = compare_with_ddjvu(path, i + 1, h.get(), 4);
      EXPECT_GE(diff, 0);
      EXPECT_LT(diff, 2.0);
    }
    EXPECT_FALSE(djvu_document_decode_page(doc.get(), b.pages));
    EXPECT_FALSE(djvu_document_decode_page(doc.get(), -1));
  }
  EXPECT_TRUE(g_messages.size() >= 2);
}

TEST(Document, MissingPageFileFailsThatPageAloneAndSaysWhich)
{
  Reports r;
  const std::string dir = tmpdir() + "/indirect-missing";
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && cp -r '" + corpus("books/indirect") + "' '" + dir +
                         "' && rm '" + dir + "/compound-flower-fg44-bg44.djvu'")
                            .c_str()),
            0);
  Doc doc(djvu_document_open((dir + "/index.djvu").c_str()));
  ASSERT_TRUE(doc);
  ASSERT_EQ(djvu_document_page_count(doc.get()), 4);
  for (int i : {0, 1, 3})
    EXPECT_TRUE(Handle(djvu_document_decode_page(doc.get(), i))) << i;
  g_messages.clear();
  EXPECT_FALSE(Handle(djvu_document_decode_page(doc.get(), 2)));
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_NE(g_messages[0].find("compound-flower-fg44-bg44.djvu"), std::string::npos) << g_messages[0];
  EXPECT_NE(g_messages[0].find("Page 3"), std::string::npos) << g_messages[0];
  // A later page still decodes after the failure.
  EXPECT_TRUE(Handle(djvu_document_decode_page(doc.get(), 3)));
  // A save that cannot have every page fails rather than dropping one.
  std::vector<unsigned char> bytes;
  EXPECT_NE(djvu_document_save(doc.get(), to_vector, &bytes), 0);
  EXPECT_TRUE(bytes.empty());
}

TEST(Document, SavingKeepsPagesOutlineTextAndIncludedFiles)
{
  Reports r;
  for (const Book &b : kBooks)
  {
    SCOPED_TRACE(b.file);
    const std::string path = corpus(b.file);
    Doc doc(djvu_document_open(path.c_str()));
    ASSERT_TRUE(doc);
    const std::string out = saved(doc.get(), "doc-copy.djvu");
    EXPECT_EQ(run("djvused -e 'n; print-outline' '" + out + "'"),
              run("djvused -e 'n; print-outline' '" + path + "'"));
    for (int p : b.textPages)
    {
      const std::string text = page_text(path, p);
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(page_text(out, p), text) << "page " << p;
    }
    // The copy is the same document: same pages and files, same chunks.
    if (b.type != DJVU_DOCUMENT_INDIRECT)
    {
      auto dump = [](const std::string &f)
      {
        std::string d = run("djvudump '" + f + "' | tail -n +3");
        return d;
      };
      EXPECT_EQ(dump(out), dump(path));
    }
    else
      EXPECT_NE(run("djvudump '" + out + "'").find("bundled, 4 files 4 pages"), std::string::npos);
  }
}

TEST(Document, ReplacedPageKeepsTextOnlyWhenAskedAndOtherPagesStay)
{
  Reports r;
  const std::string path = corpus("books/book-shared-dict-3p.djvu");
  // A new page: page 2 of the book on its own, as a stand-in for the
  // encoder's output (a single-page file without hidden text).
  const std::string blank = corpus("djvu/formatdoc-p61-table-bitonal.djvu");
  std::ifstream in(blank, std::ios::binary);
  const std::vector<unsigned char> page((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  ASSERT_FALSE(page.empty());
  ASSERT_TRUE(page_text(blank, 1).empty() || page_text(blank, 1) != page_text(path, 2));

  for (int keep : {0, 1})
  {
    SCOPED_TRACE(keep);
    Doc doc(djvu_document_open(path.c_str()));
    ASSERT_TRUE(doc);
    ASSERT_EQ(djvu_document_replace_page(doc.get(), 1, page.data(), (int)page.size(),
                                         keep ? DJVU_REPLACE_KEEP_EXTRAS : 0),
              0);
    const std::string out = saved(doc.get(), "doc-replaced.djvu");
    EXPECT_EQ(run("djvused -e n '" + out + "'"), "3\n");
    EXPECT_EQ(run("djvused -e print-outline '" + out + "'"), run("djvused -e print-outline '" + path + "'"));
    EXPECT_EQ(page_text(out, 1), page_text(path, 1));
    EXPECT_EQ(page_text(out, 3), page_text(path, 3));
    EXPECT_EQ(page_text(out, 2), keep ? page_text(path, 2) : page_text(blank, 1));
    // The new page shows; its neighbours still find their dictionary.
    Pnm ref, mine;
    const std::string a = tmpdir() + "/rep-a.pnm", c = tmpdir() + "/rep-c.pnm";
    ASSERT_EQ(std::system(("ddjvu -format=pnm -subsample=8 -page=2 '" + out + "' '" + a + "'").c_str()), 0);
    ASSERT_EQ(std::system(("ddjvu -format=pnm -subsample=8 '" + blank + "' '" + c + "'").c_str()), 0);
    ASSERT_TRUE(read_pnm(a, mine) && read_pnm(c, ref));
    EXPECT_EQ(mine.px, ref.px);
    for (int p : {1, 3})
      EXPECT_EQ(std::system(("ddjvu -format=pnm -subsample=8 -page=" + std::to_string(p) + " '" + out +
                             "' '" + a + "' 2>/dev/null")
                                .c_str()),
                0);
    EXPECT_NE(run("djvudump '" + out + "'").find("FORM:DJVI"), std::string::npos);
  }
  Doc doc(djvu_document_open(path.c_str()));
  EXPECT_NE(djvu_document_replace_page(doc.get(), 0, "AT&TFORM\0\0\0\4DJVI", 16, 0), 0);
  EXPECT_NE(djvu_document_replace_page(doc.get(), 3, page.data(), (int)page.size(), 0), 0);
}

TEST(Document, OnePageSavedAloneTakesItsDictionaryAndText)
{
  Reports r;
  const std::string path = corpus("books/book-shared-dict-3p.djvu");
  Doc doc(djvu_document_open(path.c_str()));
  ASSERT_TRUE(doc);
  std::vector<unsigned char> bytes;
  ASSERT_EQ(djvu_document_save_page(doc.get(), 1, to_vector, &bytes), 0);
  const std::string out = tmpdir() + "/doc-page2.djvu";
  ASSERT_TRUE(write_file(out, bytes));
  const std::string dump = run("djvudump '" + out + "'");
  EXPECT_NE(dump.find("FORM:DJVU"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("INCL"), std::string::npos) << dump;
  EXPECT_EQ(page_text(out, 1), page_text(path, 2));
  Doc single(djvu_document_open(out.c_str()));
  ASSERT_TRUE(single);
  Handle h(djvu_document_decode_page(single.get(), 0));
  ASSERT_TRUE(h);
  EXPECT_LT(compare_with_ddjvu(path, 2, h.get(), 4), 0.5);
}

TEST(Document, StreamOpenServesIndirectFilesThroughTheFetchRoutine)
{
  Reports r;
  struct Served
  {
    std::string dir;
    std::vector<std::string> asked;
    static int fetch(void *self, const char *name, djvu_write_routine sink, void *sink_data)
    {
      Served &s = *(Served *)self;
      s.asked.push_back(name);
      std::ifstream in(s.dir + "/" + name, std::ios::binary);
      if (!in)
        return -1;
      std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      return sink(sink_data, b.data(), (int)b.size()) == (int)b.size() ? 0 : -1;
    }
  } served{corpus("books/indirect"), {}};
  FILE *f = std::fopen(corpus("books/indirect/index.djvu").c_str(), "rb");
  ASSERT_TRUE(f);
  auto read = [](void *ud, void *buf, int size) { return (int)std::fread(buf, 1, (size_t)size, (FILE *)ud); };
  Doc doc(djvu_document_open_stream(read, f, Served::fetch, &served));
  std::fclose(f);
  ASSERT_TRUE(doc);
  EXPECT_EQ(djvu_document_page_count(doc.get()), 4);
  // Only the page asked for is fetched.
  Handle h(djvu_document_decode_page(doc.get(), 3));
  ASSERT_TRUE(h);
  EXPECT_EQ(h->width, 3400);
  EXPECT_EQ(h->dpi, 400);
  ASSERT_EQ(served.asked.size(), 1u);
  EXPECT_EQ(served.asked[0], "manual-p5-bitonal-400dpi.djvu");
}
