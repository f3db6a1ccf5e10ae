// vellum-convert writing multi-page DjVu documents, end to end on corpus
// pages, checked with DjVuLibre's tools (ddjvu, djvused, djvudump) and GNU
// parallel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/wait.h>

#include "FilesTestUtil.h"

#ifdef VELLUM_CONVERT

using namespace files_test;
namespace fs = std::filesystem;

namespace
{

std::string Q(const std::string &s)
{
  return "'" + s + "'";
}

// Exit status of a shell command (-1 when it did not exit).
int Status(const std::string &cmd)
{
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// vellum-convert's exit status, its messages in out.
int Convert(const std::string &args, std::string *out = nullptr)
{
  std::string text;
  std::string cmd = std::string(VELLUM_CONVERT) + " " + args + " 2>&1; echo \"status=$?\"";
  Run(cmd, text);
  size_t at = text.rfind("status=");
  if (out)
    *out = text.substr(0, at);
  return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 7);
}

int PageCount(const std::string &doc)
{
  std::string n;
  return Run("djvused -e n " + Q(doc) + " 2>/dev/null", n) && !n.empty() ? std::atoi(n.c_str()) : -1;
}

// ddjvu's rendering of page (from 1) of a document.
Rgb RenderPage(const std::string &doc, int page)
{
  std::string ppm;
  if (!Run("ddjvu -format=ppm -page=" + std::to_string(page) + " " + Q(doc) + " - 2>/dev/null", ppm))
    return {};
  return ParsePnm(ppm);
}

// Pixels whose colour differs at all.
long ChangedPixels(const Rgb &a, const Rgb &b)
{
  if (a.width != b.width || a.height != b.height)
    return -1;
  long n = 0;
  for (size_t i = 0; i < a.px.size(); i += 3)
    n += a.px[i] != b.px[i] || a.px[i + 1] != b.px[i + 1] || a.px[i + 2] != b.px[i + 2];
  return n;
}

// Entries of a folder, hidden ones included.
std::vector<std::string> Listing(const std::string &dir)
{
  std::vector<std::string> names;
  for (auto &e : fs::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Join(const std::vector<std::string> &v)
{
  std::string s;
  for (const std::string &x : v)
    s += x + " ";
  return s;
}

const char *kBitonal[] = {"pnm/text-bitonal-300dpi.pbm", "page/text-bitonal-400dpi.tif",
                          "page/form-scan-bitonal-200dpi.tif", "tiff/text-bitonal-packbits-300dpi.tif",
                          "page/text-diagram-bitonal-300dpi.tif"};

std::string BitonalInputs()
{
  std::string args;
  for (const char *f : kBitonal)
    args += Q(Corpus(f)) + " ";
  return args;
}

} // namespace

// Books of several inputs and of multi-page TIFF files: the page count, the
// order, and each page against the single-page encoding of the same page
// (identical when lossless; with lossy sharing a near shape from another
// page may stand in, so a few pixels may differ).
TEST(ConvertBook, EveryPageMatchesItsSinglePageEncoding)
{
  std::string g4 = Corpus("tiff/multipage-g4-3p-400dpi.tif"), mixed = Corpus("tiff/multipage-mixed-3p.tif");
  struct Source
  {
    std::string file;
    int page; // from 1
  };
  std::vector<Source> bitonal;
  for (const char *f : kBitonal)
    bitonal.push_back({Corpus(f), 1});
  struct Case
  {
    const char *name;
    std::string args;
    std::vector<Source> pages;
    bool lossless, shared;
  } cases[] = {
      {"lossy", BitonalInputs(), bitonal, false, true},
      {"lossless", BitonalInputs() + "--lossless", bitonal, true, true},
      {"g4-all", Q(g4) + " --all-pages", {{g4, 1}, {g4, 2}, {g4, 3}}, false, true},
      {"mixed-all", Q(mixed) + " --all-pages", {{mixed, 1}, {mixed, 2}, {mixed, 3}}, false, false},
      {"pages",
       Q(g4) + " --pages 3,1-2 " + Q(Corpus(kBitonal[0])),
       {{g4, 3}, {g4, 1}, {g4, 2}, {Corpus(kBitonal[0]), 1}},
       false,
       true},
  };
  std::string dir = Scratch("book-pages");
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    std::string doc = dir + "/" + c.name + ".djvu", out;
    ASSERT_EQ(Convert(c.args + " -q -o " + Q(doc), &out), 0) << out;
    ASSERT_EQ(PageCount(doc), (int)c.pages.size());
    std::string dump;
    files_test::Run("djvudump " + Q(doc), dump);
    EXPECT_NE(dump.find("FORM:DJVM"), std::string::npos);
    if (c.shared)
    {
      EXPECT_NE(dump.find("FORM:DJVI"), std::string::npos) << dump;
      EXPECT_NE(dump.find("Djbz"), std::string::npos) << dump;
      EXPECT_NE(dump.find("INCL"), std::string::npos) << dump;
    }
    for (size_t k = 0; k < c.pages.size(); k++)
    {
      SCOPED_TRACE("page " + std::to_string(k + 1));
      std::string single = dir + "/single.djvu";
      ASSERT_EQ(Convert("-f -q " + Q(c.pages[k].file) + " --page " + std::to_string(c.pages[k].page) +
                        (c.lossless ? " --lossless" : "") + " -o " + Q(single)),
                0);
      Rgb want = RenderPage(single, 1), got = RenderPage(doc, (int)k + 1);
      ASSERT_TRUE(want.ok() && got.ok());
      long changed = ChangedPixels(want, got);
      ASSERT_GE(changed, 0) << "page size differs";
      if (c.lossless)
        EXPECT_EQ(changed, 0);
      else
        EXPECT_LE(changed, (long)want.width * want.height / 1000);
    }
  }
}

// A lossless book decodes to exactly its input pages, as netpbm reads them.
TEST(ConvertBook, LosslessBookKeepsTheInputMasks)
{
  std::string dir = Scratch("book-exact");
  std::string doc = dir + "/exact.djvu", pbm = Corpus("pnm/text-bitonal-300dpi.pbm");
  std::string tif = Corpus("page/text-bitonal-400dpi.tif");
  ASSERT_EQ(Convert("-q --lossless " + Q(pbm) + " " + Q(tif) + " " + Q(pbm) + " -o " + Q(doc)), 0);
  EXPECT_EQ(MaxDiff(RenderPage(doc, 1), NetpbmRgb("pnmtopnm", pbm)), 0);
  EXPECT_EQ(MaxDiff(RenderPage(doc, 2), NetpbmRgb("tifftopnm", tif)), 0);
  EXPECT_EQ(MaxDiff(RenderPage(doc, 3), NetpbmRgb("pnmtopnm", pbm)), 0);
  // Page ids from the input names, made unique.
  std::string ls;
  files_test::Run("djvused -e ls " + Q(doc), ls);
  EXPECT_NE(ls.find("text-bitonal-300dpi.djvu"), std::string::npos) << ls;
  EXPECT_NE(ls.find("text-bitonal-300dpi-2.djvu"), std::string::npos) << ls;
  EXPECT_NE(ls.find("text-bitonal-400dpi.djvu"), std::string::npos) << ls;
}

// The pages are encoded in parallel workers; the document does not depend
// on how many.
TEST(ConvertBook, SameBytesForEveryJobCount)
{
  std::string dir = Scratch("book-jobs");
  std::string args = BitonalInputs() + Q(Corpus("tiff/multipage-mixed-3p.tif")) + " --pages 1-3 -q ";
  std::string first;
  for (int jobs : {1, 2, 3})
  {
    std::string doc = dir + "/j" + std::to_string(jobs) + ".djvu";
    ASSERT_EQ(Convert(args + "-j" + std::to_string(jobs) + " -o " + Q(doc)), 0);
    std::string bytes = ReadFile(doc);
    ASSERT_FALSE(bytes.empty());
    if (first.empty())
      first = bytes;
    EXPECT_TRUE(bytes == first) << "-j" << jobs << " differs from -j1";
  }
}

// A page that fails: no document, the old file whole, nothing left in the
// folder; --keep-going writes the others and still reports the failure.
TEST(ConvertBook, FailedPageLeavesNoDocument)
{
  std::string dir = Scratch("book-fail");
  std::string doc = dir + "/book.djvu", bad = Corpus("bad/tiff-float64.tif");
  WriteFile(doc, "old contents");
  std::string args = BitonalInputs() + Q(bad) + " -q -o " + Q(doc);
  std::string out;
  EXPECT_EQ(Convert(args, &out), 1);
  EXPECT_NE(out.find("exists (use -f to overwrite)"), std::string::npos) << out;
  for (const char *jobs : {"-j1", "-j2"})
  {
    EXPECT_EQ(Convert(args + " -f " + jobs, &out), 1);
    EXPECT_NE(out.find("tiff-float64.tif"), std::string::npos) << out;
    EXPECT_NE(out.find("not written"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(doc), "old contents");
    EXPECT_EQ(Join(Listing(dir)), "book.djvu ");
  }
  // A page past the end of a multi-page input fails the same way.
  EXPECT_EQ(Convert(Q(Corpus("tiff/multipage-g4-3p-400dpi.tif")) + " --pages 2,7 -f -o " + Q(doc), &out), 1);
  EXPECT_NE(out.find("page 7 does not exist"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(doc), "old contents");

  EXPECT_EQ(Convert(args + " -f --keep-going", &out), 1);
  EXPECT_NE(out.find("tiff-float64.tif"), std::string::npos) << out;
  EXPECT_EQ(PageCount(doc), (int)(sizeof kBitonal / sizeof *kBitonal));
  EXPECT_EQ(Join(Listing(dir)), "book.djvu ");
}

// An indirect document: the index names the pages and the dictionary, each
// in its own file beside it, and every page renders.
TEST(ConvertBook, IndirectDocument)
{
  std::string dir = Scratch("book-indirect");
  std::string index = dir + "/index.djvu";
  ASSERT_EQ(Convert(BitonalInputs() + "--indirect -q -o " + Q(index)), 0);
  EXPECT_EQ(PageCount(index), 5);
  std::vector<std::string> names = Listing(dir);
  EXPECT_EQ(Join(names), "form-scan-bitonal-200dpi.djvu index.djvu shapes1.djbz text-bitonal-300dpi.djvu "
                         "text-bitonal-400dpi.djvu text-bitonal-packbits-300dpi.djvu "
                         "text-diagram-bitonal-300dpi.djvu ");
  std::string bundled = dir + "/../bundled.djvu";
  ASSERT_EQ(Convert(BitonalInputs() + "-q -f -o " + Q(bundled)), 0);
  for (int k = 1; k <= 5; k++)
    EXPECT_EQ(MaxDiff(RenderPage(index, k), RenderPage(bundled, k)), 0) << "page " << k;
}

// Concurrent runs under GNU parallel, one book per job, into one folder:
// each gives the bytes a run on its own gives, and no run leaves a file.
TEST(ConvertBook, ConcurrentRunsUnderGnuParallel)
{
  ASSERT_EQ(Status("command -v parallel >/dev/null"), 0)
      << "GNU parallel (Debian package parallel) is needed";
  std::string dir = Scratch("book-parallel");
  std::string in = dir + "/in";
  fs::create_directories(in);
  // Four books: two pages each, from different inputs.
  std::vector<std::string> books;
  for (int b = 0; b < 4; b++)
  {
    std::string sub = in + "/book" + std::to_string(b + 1);
    fs::create_directories(sub);
    fs::copy_file(Corpus(kBitonal[b]), sub + "/a" + fs::path(kBitonal[b]).extension().string());
    fs::copy_file(Corpus(kBitonal[b + 1]), sub + "/b" + fs::path(kBitonal[b + 1]).extension().string());
    books.push_back(sub);
  }
  std::string out = dir + "/out";
  fs::create_directories(out);
  std::string cmd =
      "parallel --will-cite -j4 " + std::string(VELLUM_CONVERT) + " -q -j2 {} -o " + Q(out) + "/{/}.djvu :::";
  for (const std::string &b : books)
    cmd += " " + Q(b);
  ASSERT_EQ(Status(cmd), 0);
  EXPECT_EQ(Join(Listing(out)), "book1.djvu book2.djvu book3.djvu book4.djvu ");
  for (size_t b = 0; b < books.size(); b++)
  {
    std::string alone = dir + "/alone.djvu";
    ASSERT_EQ(Convert("-q -f -j1 " + Q(books[b]) + " -o " + Q(alone)), 0);
    std::string name = out + "/book" + std::to_string(b + 1) + ".djvu";
    EXPECT_EQ(PageCount(name), 2);
    EXPECT_TRUE(ReadFile(name) == ReadFile(alone)) << name;
  }
}

namespace
{

std::string Shell(const std::string &cmd)
{
  std::string out;
  files_test::Run(cmd + " 2>/dev/null", out);
  return out;
}

// The component files of a document by id, as djvmcvt splits it.
std::map<std::string, std::string> Components(const std::string &doc, const std::string &dir)
{
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::map<std::string, std::string> files;
  if (Status("djvmcvt -i " + Q(doc) + " " + Q(dir) + " index.djvu >/dev/null 2>&1") != 0)
    return files;
  for (auto &e : fs::directory_iterator(dir))
    if (e.path().filename() != "index.djvu")
      files[e.path().filename().string()] = ReadFile(e.path().string());
  return files;
}

} // namespace

// DjVu documents as the pages of a book: re-encoded like any page (the
// hidden text kept), or with --copy-pages copied byte for byte with the
// dictionaries they include; mixed with TIFF and PNG pages; --pages over
// DjVu inputs. Every page renders as its single-page conversion, or as the
// source page when copied.
TEST(ConvertBook, DjVuInputsReencodedOrCopied)
{
  const std::string four = Corpus("books/book-bundled-4p.djvu"),
                    shared = Corpus("books/book-shared-dict-3p.djvu");
  const std::string g4 = Corpus("tiff/multipage-g4-3p-400dpi.tif"), rgb = Corpus("png/rgb8-300dpi.png"),
                    grey1 = Corpus("png/grey1-300dpi.png");
  struct Source
  {
    std::string file;
    int page; // from 1
    bool copied;
  };
  struct Case
  {
    const char *name;
    std::string args;
    std::vector<Source> pages;
  } cases[] = {
      {"pages",
       "--pages 1-2,3 " + Q(four) + " " + Q(shared) + " " + Q(rgb) + " " + Q(grey1),
       {{four, 1, false},
        {four, 2, false},
        {four, 3, false},
        {shared, 1, false},
        {shared, 2, false},
        {shared, 3, false},
        {rgb, 1, false},
        {grey1, 1, false}}},
      {"copied",
       "--copy-pages --all-pages " + Q(shared) + " " + Q(four) + " " + Q(g4),
       {{shared, 1, true},
        {shared, 2, true},
        {shared, 3, true},
        {four, 1, true},
        {four, 2, true},
        {four, 3, true},
        {four, 4, true},
        {g4, 1, false},
        {g4, 2, false},
        {g4, 3, false}}},
      {"copied-range",
       "--copy-pages --pages 2-9 " + Q(shared) + " " + Q(rgb),
       {{shared, 2, true}, {shared, 3, true}, {rgb, 1, false}}},
  };
  std::string dir = Scratch("book-djvu-inputs");
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    std::string doc = dir + "/" + c.name + ".djvu", out;
    ASSERT_EQ(Convert(c.args + " -q -o " + Q(doc), &out), 0) << out;
    ASSERT_EQ(PageCount(doc), (int)c.pages.size());
    std::map<std::string, std::string> parts = Components(doc, dir + "/split");
    for (size_t k = 0; k < c.pages.size(); k++)
    {
      const Source &src = c.pages[k];
      SCOPED_TRACE("page " + std::to_string(k + 1));
      const bool djvu = src.file == four || src.file == shared;
      std::string want = src.file;
      int wantPage = src.page;
      if (!src.copied)
      {
        want = dir + "/single.djvu";
        ASSERT_EQ(Convert("-f -q " + Q(src.file) +
                          (djvu || src.file == g4 ? " --page " + std::to_string(src.page) : "") + " -o " +
                          Q(want)),
                  0);
        wantPage = 1;
      }
      Rgb a = RenderPage(want, wantPage), b = RenderPage(doc, (int)k + 1);
      ASSERT_TRUE(a.ok() && b.ok());
      // Lossy sharing may put a near shape of another page in place.
      const long changed = ChangedPixels(a, b);
      ASSERT_GE(changed, 0) << "page size differs";
      EXPECT_LE(changed, src.copied ? 0L : (long)a.width * a.height / 1000);
      if (djvu)
      {
        const std::string txt = "djvused -e 'select " + std::to_string(src.page) + "; print-txt' ";
        EXPECT_EQ(Shell("djvused -e 'select " + std::to_string(k + 1) + "; print-txt' " + Q(doc)),
                  Shell(txt + Q(src.file)));
      }
      if (src.copied)
      {
        // The stored page, byte for byte, under the book's page id.
        std::map<std::string, std::string> source = Components(src.file, dir + "/source");
        std::string ls = Shell("djvused -e ls " + Q(src.file));
        std::string id;
        std::istringstream lines(ls);
        for (std::string line; std::getline(lines, line);)
        {
          std::istringstream f(line);
          std::string n, type, bytes, name;
          if (f >> n >> type >> bytes >> name && type == "P" && n == std::to_string(src.page))
            id = name;
        }
        ASSERT_FALSE(id.empty()) << ls;
        const std::string stem =
            fs::path(src.file).stem().string() + "-p" + std::to_string(src.page) + ".djvu";
        ASSERT_TRUE(parts.count(stem)) << stem;
        EXPECT_TRUE(parts[stem] == source[id]) << stem << " differs from " << id;
        if (src.file == shared)
        {
          EXPECT_TRUE(parts["dict0039.iff"] == source["dict0039.iff"]);
        }
      }
    }
  }
}

// Copied pages of two books whose dictionaries have one name and other
// bytes: the second is renamed and its pages name it; each page still
// renders as in its own book, and a dictionary met twice is written once.
TEST(ConvertBook, CopiedDictionariesOfOneName)
{
  std::string dir = Scratch("book-copy-names");
  const std::string a = dir + "/a.djvu", b = dir + "/b.djvu", both = dir + "/both.djvu";
  ASSERT_EQ(Convert("-q " + BitonalInputs() + " -o " + Q(a)), 0);
  ASSERT_EQ(Convert("-q " + Q(Corpus(kBitonal[4])) + " " + Q(Corpus(kBitonal[0])) + " -o " + Q(b)), 0);
  ASSERT_NE(Shell("djvused -e ls " + Q(a)).find("shapes1.djbz"), std::string::npos);
  ASSERT_NE(Shell("djvused -e ls " + Q(b)).find("shapes1.djbz"), std::string::npos);
  std::string out;
  ASSERT_EQ(Convert("-q --copy-pages --all-pages " + Q(a) + " " + Q(b) + " " + Q(a) + " -o " + Q(both), &out),
            0)
      << out;
  const int na = PageCount(a), nb = PageCount(b);
  ASSERT_EQ(PageCount(both), 2 * na + nb);
  const std::string ls = Shell("djvused -e ls " + Q(both));
  EXPECT_NE(ls.find("shapes1.djbz"), std::string::npos) << ls;
  EXPECT_NE(ls.find("shapes1-2.djbz"), std::string::npos) << ls;
  EXPECT_EQ(ls.find("shapes1-3.djbz"), std::string::npos) << ls;
  for (int k = 1; k <= 2 * na + nb; k++)
  {
    const std::string &src = k <= na ? a : k <= na + nb ? b : a;
    const int page = k <= na ? k : k <= na + nb ? k - na : k - na - nb;
    EXPECT_EQ(MaxDiff(RenderPage(both, k), RenderPage(src, page)), 0) << "page " << k;
  }
}

// djvused's outline of a document with its spacing made single.
std::string Outline(const std::string &doc)
{
  std::istringstream in(Shell("djvused -e print-outline " + Q(doc)));
  std::string word, out;
  while (in >> word)
    out += (out.empty() ? "" : " ") + word;
  return out;
}

// The outlines of DjVu inputs in books that mix them with other inputs,
// choose pages of them, copy them or are indirect: each input's entries
// follow in the order of its first page, pointing at the pages' ids in the
// book; an entry whose page is left out goes, unless an entry under it
// stays; links outside the document stay as they were.
TEST(ConvertBook, OutlinesOfDjVuInputsPointAtTheirPages)
{
  std::string dir = Scratch("book-outlines");
  const std::string four = Corpus("books/book-bundled-4p.djvu"),
                    shared = Corpus("books/book-shared-dict-3p.djvu"),
                    g4 = Corpus("tiff/multipage-g4-3p-400dpi.tif"), rgb = Corpus("png/rgb8-300dpi.png"),
                    indirect = Corpus("books/indirect/index.djvu");
  // A copy of the four-page book with a nested outline naming pages by
  // number and by id, and a web link.
  const std::string nested = dir + "/nested.djvu", script = dir + "/outline.txt";
  fs::copy_file(four, nested, fs::copy_options::overwrite_existing);
  WriteFile(script, "(bookmarks (\"Part\" \"#1\" (\"Ch a\" \"#formatdoc-p20-compound-fgbz.djvu\") "
                    "(\"Ch b\" \"#4\")) (\"Web\" \"http://example.org/\") (\"Last\" \"#4\") "
                    "(\"Nowhere\" \"#99\"))\n");
  ASSERT_EQ(Status("djvused -s -e 'set-outline " + script + "' " + Q(nested)), 0);
  const std::string f = "#book-bundled-4p-p", s = "#book-shared-dict-3p-p", n = "#nested-p";
  struct
  {
    const char *name;
    std::string args;
    std::string outline; // djvused's, spacing made single
  } cases[] = {
      {"mixed", "--pages 1-2,3 " + Q(four) + " " + Q(rgb) + " " + Q(shared),
       "(bookmarks (\"Format page 10\" \"" + f + "1.djvu\" ) (\"Format page 20\" \"" + f +
           "2.djvu\" ) (\"Flower\" \"" + f + "3.djvu\" ) (\"Scope\" \"" + s +
           "1.djvu\" ) (\"Conventions\" \"" + s + "2.djvu\" ) (\"Coding\" \"" + s + "3.djvu\" ) )"},
      {"copied", "--copy-pages --all-pages " + Q(g4) + " " + Q(shared) + " " + Q(four),
       "(bookmarks (\"Scope\" \"" + s + "1.djvu\" ) (\"Conventions\" \"" + s + "2.djvu\" ) (\"Coding\" \"" +
           s + "3.djvu\" ) (\"Format page 10\" \"" + f + "1.djvu\" ) (\"Format page 20\" \"" + f +
           "2.djvu\" ) (\"Flower\" \"" + f + "3.djvu\" ) (\"Manual page 5\" \"" + f + "4.djvu\" ) )"},
      {"indirect-input", "--pages 4,2 " + Q(indirect),
       "(bookmarks (\"Format page 20\" \"#index-p2.djvu\" ) (\"Manual page 5\" \"#index-p4.djvu\" ) )"},
      {"nested-first", "--pages 1-2 " + Q(nested),
       "(bookmarks (\"Part\" \"" + n + "1.djvu\" (\"Ch a\" \"" + n +
           "2.djvu\" ) ) (\"Web\" "
           "\"http://example.org/\" ) )"},
      {"nested-last", "--pages 3-4 " + Q(nested),
       "(bookmarks (\"Part\" \"\" (\"Ch b\" \"" + n +
           "4.djvu\" ) ) (\"Web\" \"http://example.org/\" ) "
           "(\"Last\" \"" +
           n + "4.djvu\" ) )"},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.name);
    for (const char *form : {"", "--indirect "})
    {
      SCOPED_TRACE(form);
      const std::string sub = dir + "/" + c.name + (*form ? "-indirect" : "");
      fs::create_directories(sub);
      const std::string doc = sub + "/book.djvu";
      std::string out;
      ASSERT_EQ(Convert(std::string("-q -f ") + form + c.args + " -o " + Q(doc), &out), 0) << out;
      EXPECT_EQ(Outline(doc), c.outline);
      // Every link inside the book names one of its pages.
      const std::string ls = Shell("djvused -e ls " + Q(doc));
      std::istringstream links(c.outline);
      for (std::string word; links >> word;)
        if (word.rfind("\"#", 0) == 0)
        {
          const std::string id = " " + word.substr(2, word.size() - 3);
          EXPECT_TRUE(ls.find(id + " ") != std::string::npos || ls.find(id + "\n") != std::string::npos)
              << word << "\n"
              << ls;
        }
    }
  }
  // An input without an outline gives a book without one.
  const std::string plain = dir + "/plain.djvu";
  ASSERT_EQ(Convert("-q -f " + Q(rgb) + " " + Q(g4) + " -o " + Q(plain)), 0);
  EXPECT_EQ(Outline(plain), "");
}

// One DjVu book with --all-pages into a FILE.djvu stays one document: every
// page, the outline and the hidden text; with --copy-pages it is the same
// file. --copy-pages with an image operation is refused.
TEST(ConvertBook, OneDjVuBookStaysOneDocument)
{
  const std::string book = Corpus("books/book-bundled-4p.djvu");
  std::string dir = Scratch("book-whole");
  const std::string doc = dir + "/all.djvu", copy = dir + "/copy.djvu";
  std::string out;
  ASSERT_EQ(Convert("-q --all-pages " + Q(book) + " -o " + Q(doc), &out), 0) << out;
  EXPECT_EQ(PageCount(doc), 4);
  EXPECT_EQ(Shell("djvused -e print-outline " + Q(doc)), Shell("djvused -e print-outline " + Q(book)));
  EXPECT_FALSE(Shell("djvused -e print-outline " + Q(book)).empty());
  EXPECT_EQ(Shell("djvused -e print-txt " + Q(doc)), Shell("djvused -e print-txt " + Q(book)));
  ASSERT_EQ(Convert("-q --copy-pages --all-pages " + Q(book) + " -o " + Q(copy), &out), 0) << out;
  EXPECT_TRUE(ReadFile(copy) == ReadFile(book));
  EXPECT_EQ(Convert("--copy-pages --rotate left " + Q(book) + " -o " + Q(dir + "/turned.djvu"), &out), 2);
  EXPECT_NE(out.find("--copy-pages copies pages unchanged"), std::string::npos) << out;
  EXPECT_EQ(Join(Listing(dir)), "all.djvu copy.djvu ");
}

#endif
