// The viewer on a long book against a single page, in one run (a timing
// program, not a Google Benchmark: each figure is a whole open or page
// turn in the running program, painted):
//   single    open + first paint of one 300-dpi page
//   book      open + first paint of page 1 of a 500-page bundled book whose
//             page 1 is that same page (the book is made at start-up from
//             corpus pages with djvm -c, and removed at the end)
//   turn      Next Page + paint inside the book
//   reduced   the page rendered reduced by 2..8: at the exact decode
//             subsample (as the viewer does) against the page size divided
//             down (where that does not divide, the decoder cannot take it
//             directly, decodes at full size and resamples)
//   start     start of the vellum program to its first paint of the page,
//             and of page 1 of the book (separate processes)
// Run: book_view_bench [runs [other-vellum]]  (starts xvfb-run itself
// without a display, on BENCH_SCREEN or 1280x1024x24; a smaller screen
// gives a deeper fit step)
#include "../tests/GuiTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <wx/log.h>

#include "MainFrame.h"
#include "MessageBox.h"
#include "VellumApp.h"
#include "VellumDoc.h"
#include "VellumView.h"
#include "../tests/ui/ViewerStart.h"
#include "djvuapi.h"

wxIMPLEMENT_APP_NO_MAIN(CVellumApp);

namespace
{

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b)
{
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Pump()
{
  for (int i = 0; i < 5; ++i)
  {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
  }
}

void PaintNow(CVellumView &view)
{
  view.m_pCanvas->Refresh();
  view.m_pCanvas->Update();
}

bool CopyFile(const std::string &from, const std::string &to)
{
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return in.good() || in.eof();
}

// 500 pages cycling through 300-dpi corpus pages, the first one first.
std::string MakeBook(const std::string &dir, const std::string &corpus, int pages)
{
  const char *kPages[] = {"djvu/compound-flower-fg44-bg44.djvu", "djvu/formatdoc-p10-bitonal.djvu",
                          "djvu/formatdoc-p20-compound-fgbz.djvu", "djvu/form-scan-cjb2.djvu",
                          "djvu/formatdoc-p61-table-bitonal.djvu"};
  std::string args;
  for (int i = 0; i < pages; ++i)
  {
    char name[64];
    std::snprintf(name, sizeof name, "/p%03d.djvu", i);
    if (!CopyFile(corpus + "/" + kPages[i % 5], dir + name))
      return std::string();
    args += std::string(" '") + dir + name + "'";
  }
  const std::string book = dir + "/book.djvu";
  if (std::system(("djvm -c '" + book + "'" + args).c_str()) != 0)
    return std::string();
  return book;
}

// Start of a program to its first paint of a file, once.
double StartToFirstPaint(const std::string &program, const std::string &path, const std::string &home)
{
  const std::string command = "HOME='" + home + "' XDG_CONFIG_HOME='" + home +
                              "/config' SANE_CONFIG_DIR=/nonexistent " + "VELLUM_BENCH_FIRST_PAINT=1 '" +
                              program + "' '" + path + "'";
  FILE *out = popen(command.c_str(), "r");
  if (!out)
    return -1;
  double ms = -1;
  char line[256];
  while (std::fgets(line, sizeof line, out))
    std::sscanf(line, "first paint after %lf ms", &ms);
  pclose(out);
  return ms;
}

// Medians of runs of each (program, file), taken in turns so that every
// one sees the same machine load.
std::vector<double> StartToFirstPaint(const std::vector<std::pair<std::string, std::string>> &cases,
                                      const std::string &home, int runs)
{
  std::vector<std::vector<double>> times(cases.size());
  for (int i = 0; i < runs; ++i)
    for (size_t c = 0; c < cases.size(); ++c)
    {
      const double ms = StartToFirstPaint(cases[c].first, cases[c].second, home);
      if (ms >= 0)
        times[c].push_back(ms);
    }
  std::vector<double> medians;
  for (const auto &t : times)
    medians.push_back(Median(t));
  return medians;
}

// The decoded page rendered reduced by f both ways (median ms).
void FitRender(const std::string &path, int f, int runs, double *exact, double *divided)
{
  djvu_document *doc = djvu_document_open(path.c_str());
  djvu_halfcoded_image *page = doc ? djvu_document_decode_page(doc, 0) : nullptr;
  *exact = *divided = -1;
  if (page)
  {
    const int W = page->width, H = page->height;
    const int w = (W + f - 1) / f, h = (H + f - 1) / f;
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i)
    {
      auto t0 = Clock::now();
      djvu_pixel_image_free(djvu_render(nullptr, page, 0, 0, w * f - 1, h * f - 1, 0, w, h));
      auto t1 = Clock::now();
      djvu_pixel_image_free(djvu_render(nullptr, page, 0, 0, W - 1, H - 1, 0, W / f, H / f));
      auto t2 = Clock::now();
      a.push_back(Ms(t0, t1));
      b.push_back(Ms(t1, t2));
    }
    *exact = Median(a);
    *divided = Median(b);
  }
  djvu_halfcoded_image_free(page);
  djvu_document_free(doc);
}

} // namespace

int main(int argc, char **argv)
{
  const std::string screen = vellum_test::Env("BENCH_SCREEN", "1280x1024x24");
  if (int status = vellum_test::RerunUnderXvfb(argc, argv, screen.c_str()); status >= 0)
    return status;
  const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 7;
  const std::string corpus = vellum_test::Env("VELLUM_CORPUS", VELLUM_CORPUS_DIR);
  const std::string single = corpus + "/djvu/compound-flower-fg44-bg44.djvu";
  char tmpl[] = "/tmp/book-view-bench.XXXXXX";
  if (!mkdtemp(tmpl))
    return 1;
  const std::string dir = tmpl;
  const std::string home = dir + "/home";
  std::system(("mkdir -p '" + home + "/config'").c_str());
  const std::string book = MakeBook(dir, corpus, 500);
  if (book.empty())
  {
    std::fprintf(stderr, "book_view_bench: could not make the book (djvm -c)\n");
    return 1;
  }

  int status = 0;
  CVellumApp *app = vellum_test::StartQuietViewer(argv[0], &status);
  if (!app)
    return status;
  CVellumDoc &doc = *app->Document();
  CVellumView &view = *doc.View();
  auto openAndPaint = [&](const std::string &path)
  {
    const auto t0 = Clock::now();
    doc.Modify(false);
    doc.Open(path, vellum::kKindNone, 0);
    PaintNow(view);
    const double ms = Ms(t0, Clock::now());
    Pump();
    return ms;
  };

  // Interleaved, so both see the same machine load; the first round warms
  // the file cache.
  std::vector<double> singleMs, bookMs, turnMs;
  for (int i = 0; i <= runs; ++i)
  {
    const double s = openAndPaint(single), b = openAndPaint(book);
    if (i > 0)
    {
      singleMs.push_back(s);
      bookMs.push_back(b);
    }
  }
  const int fitted = view.m_nZoom;
  openAndPaint(book);
  for (int i = 0; i < 4 * runs; ++i)
  {
    const auto t0 = Clock::now();
    view.GoToPage(2);
    PaintNow(view);
    turnMs.push_back(Ms(t0, Clock::now()));
    Pump();
  }
  struct FitRow
  {
    int f;
    double exact, divided;
  };
  std::vector<FitRow> fits;
  for (int f = 2; f <= 8; ++f)
  {
    FitRow row{f, 0, 0};
    FitRender(single, f, runs, &row.exact, &row.divided);
    fits.push_back(row);
  }
  vellum_test::StopViewer(app);

  // Another build of the program beside this one (e.g. the one before a
  // change), measured in the same run.
  const std::string baseline = argc > 2 ? argv[2] : "";
  std::vector<std::pair<std::string, std::string>> cases = {{VELLUM_PROGRAM, single}, {VELLUM_PROGRAM, book}};
  if (!baseline.empty())
    cases.push_back({baseline, single});
  const std::vector<double> starts = StartToFirstPaint(cases, home, 2 * runs);
  const double startSingle = starts[0], startBook = starts[1],
               startBaseline = baseline.empty() ? -1 : starts[2];
  std::system(("rm -rf '" + dir + "'").c_str());

  std::printf("book_view_bench: medians of %d runs, page %s, fit step %d\n", runs, single.c_str(), fitted);
  std::printf("  open + first paint, single page       %8.1f ms\n", Median(singleMs));
  std::printf("  open + first paint, 500-page book p1  %8.1f ms  (%.2f x the single page; target <= 1.5 x)\n",
              Median(bookMs), Median(bookMs) / std::max(Median(singleMs), 0.001));
  std::printf("  page turn in the book (+ paint)       %8.1f ms  (%.2f x the single page's first paint; "
              "target <= 1 x)\n",
              Median(turnMs), Median(turnMs) / std::max(Median(singleMs), 0.001));
  std::printf("  render reduced by f: exact subsample (the viewer) / size divided down (before)\n");
  for (const FitRow &r : fits)
    std::printf("    f = %d: %6.1f ms / %6.1f ms%s\n", r.f, r.exact, r.divided,
                2550 % r.f || 3300 % r.f ? "  (a letter page's size does not divide)" : "");
  std::printf("  start to first paint, single page     %8.1f ms  (target <= 300 ms)\n", startSingle);
  std::printf("  start to first paint, book page 1     %8.1f ms\n", startBook);
  if (!baseline.empty())
    std::printf("  start to first paint, single page, %s: %.1f ms\n", baseline.c_str(), startBaseline);
  return 0;
}
