// Timing program for the viewer (not a test): the time to open and first
// paint a 300-dpi DjVu page in a running program, and the time one zoom step
// takes on it (re-render plus paint). Run under a display (xvfb-run):
//   ui_viewer_bench [page.djvu]
// The start-to-first-paint time of the whole program is measured by
// tests/ui/first-paint-bench.sh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>
#include <vector>

#include <wx/log.h>

#include "CommandIds.h"
#include "Dialogs.h"
#include "HintHelp.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "VellumApp.h"
#include "VellumDoc.h"
#include "VellumView.h"
#include "ViewerStart.h"

wxIMPLEMENT_APP_NO_MAIN(CVellumApp);

namespace
{

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b)
{
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// Process CPU time in ms: on a loaded machine closer to the idle wall time.
double CpuMs()
{
  return 1000.0 * std::clock() / CLOCKS_PER_SEC;
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

double Median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
  const char *corpus = std::getenv("VELLUM_CORPUS");
  std::string page =
      argc > 1 ? argv[1]
               : std::string(corpus ? corpus : VELLUM_CORPUS_DIR) + "/djvu/compound-flower-fg44-bg44.djvu";
  int status = 0;
  CVellumApp *app = vellum_test::StartQuietViewer(argv[0], &status);
  if (!app)
    return status;
  CVellumDoc &doc = *app->Document();
  CVellumView &view = *doc.View();

  // Open and first paint, warm (the file is read once before timing).
  std::vector<double> open, firstPaint, firstPaintCpu;
  for (int i = 0; i < 6; ++i)
  {
    const double c0 = CpuMs();
    const auto t0 = Clock::now();
    doc.Open(page, vellum::kKindNone, 0);
    const auto t1 = Clock::now();
    PaintNow(view);
    const auto t2 = Clock::now();
    if (i > 0)
    {
      open.push_back(Ms(t0, t1));
      firstPaint.push_back(Ms(t0, t2));
      firstPaintCpu.push_back(CpuMs() - c0);
    }
    Pump();
  }
  std::printf("page %s, %dx%d, fit step %d\n", page.c_str(), doc.m_model.m_pImage->m_nSourceWidth,
              doc.m_model.m_pImage->m_nSourceHeight, view.m_nZoom);
  std::printf("open (decode + render at the fit step): median %.1f ms\n", Median(open));
  std::printf("open to first paint:                    median %.1f ms (CPU %.1f ms)\n", Median(firstPaint),
              Median(firstPaintCpu));

  // Zoom steps through the range: re-render (reduced steps) plus paint.
  app->m_settings.WindowFit = 0;
  std::vector<double> reduced, magnified, paints, reducedCpu, all;
  // Per step: the zoom command (re-render, scroll sizes) apart from the paint.
  std::vector<std::vector<double>> stepCommand(9), stepPaint(9);
  for (int round = 0; round < 2; ++round)
    for (int z = -5; z <= 3; ++z)
    {
      const double c0 = CpuMs();
      const auto t0 = Clock::now();
      view.SetZoom(z, CVellumView::kZoomBox);
      const auto t1 = Clock::now();
      PaintNow(view);
      const double ms = Ms(t0, Clock::now());
      if (z < 0)
        reducedCpu.push_back(CpuMs() - c0);
      (z < 0 ? reduced : magnified).push_back(ms);
      all.push_back(ms);
      paints.push_back(view.m_nLastPaintMicros / 1000.0);
      stepCommand[z + 5].push_back(Ms(t0, t1));
      stepPaint[z + 5].push_back(Ms(t1, Clock::now()));
      Pump();
    }
  for (int z = -5; z <= 3; ++z)
    std::printf("  step %+d (%4d %%): command %6.1f ms, paint %6.1f ms (medians of %zu)\n", z,
                z >= 0 ? 100 * (z + 1) : 100 / (1 - z), Median(stepCommand[z + 5]), Median(stepPaint[z + 5]),
                stepCommand[z + 5].size());
  std::printf("zoom step, any (command + paint):       median %.1f ms, worst %.1f ms\n", Median(all),
              *std::max_element(all.begin(), all.end()));
  std::printf("zoom step, reduced (re-render + paint): median %.1f ms (CPU %.1f ms), worst %.1f ms\n",
              Median(reduced), Median(reducedCpu), *std::max_element(reduced.begin(), reduced.end()));
  std::printf("zoom step, 100 %%..400 %% (paint):       median %.1f ms, worst %.1f ms\n", Median(magnified),
              *std::max_element(magnified.begin(), magnified.end()));
  std::printf("paint alone:                            median %.1f ms\n", Median(paints));

  // Steps taken faster than the program goes idle: nothing rendered ahead,
  // each step in renders (the page opened afresh each time).
  std::vector<double> rapid;
  for (int i = 0; i < 3; ++i)
  {
    doc.m_model.m_nOpenKind = 0;
    doc.OnOpenDocument(wxString::FromUTF8(page));
    PaintNow(view);
    for (int z = view.m_nZoom + 1; z <= 0; ++z)
    {
      const auto t0 = Clock::now();
      view.SetZoom(z, CVellumView::kZoomBox);
      PaintNow(view);
      rapid.push_back(Ms(t0, Clock::now()));
    }
    Pump();
  }
  if (!rapid.empty())
    std::printf("zoom step in, no idle between (command + paint): median %.1f ms, worst %.1f ms\n",
                Median(rapid), *std::max_element(rapid.begin(), rapid.end()));

  // Image operations on the page held at full scale (2550 x 3300 x 24 for
  // the default page), each to the repaint; undone after each run.
  app->m_settings.FancyZoom = 0;
  doc.Open(page, vellum::kKindNone, 0);
  view.SetZoom(-3, CVellumView::kZoomBox);
  PaintNow(view);
  std::printf("held image %dx%dx%d\n", doc.m_model.m_pImage->m_nWidth, doc.m_model.m_pImage->m_nHeight,
              doc.m_model.m_pImage->m_nBitsPerPixel);
  struct Op
  {
    const char *name;
    int id;
  };
  const Op ops[] = {{"Rotate Right", ID_IMAGE_ROTATE_RIGHT},
                    {"Rotate 180", ID_IMAGE_ROTATE_180},
                    {"Flip", ID_IMAGE_FLIP},
                    {"Mirror", ID_IMAGE_MIRROR},
                    {"Negative", ID_IMAGE_NEGATIVE},
                    {"Convert To Gray", ID_IMAGE_GRAY},
                    {"Crop", ID_IMAGE_CROP}};
  std::vector<double> undo;
  for (const Op &op : ops)
  {
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i)
    {
      if (op.id == ID_IMAGE_CROP)
      {
        view.m_rcSelection = {100, 100, 2000, 2800};
        view.m_bHasSelection = true;
      }
      const auto t0 = Clock::now();
      if (op.id == ID_IMAGE_CROP)
        doc.CropToSelection();
      else
        doc.ImageOperation(op.id);
      PaintNow(view);
      runs.push_back(Ms(t0, Clock::now()));
      const auto u0 = Clock::now();
      doc.UndoEdit();
      PaintNow(view);
      undo.push_back(Ms(u0, Clock::now()));
      Pump();
    }
    std::printf("%-16s to the repaint: median %.1f ms, worst %.1f ms\n", op.name, Median(runs),
                *std::max_element(runs.begin(), runs.end()));
  }
  std::printf("%-16s to the repaint: median %.1f ms\n", "Undo", Median(undo));

  // Dialogs: construction to the first paint (the first one, then warm).
  for (int i = 0; i < 2; ++i)
  {
    const auto t0 = Clock::now();
    {
      vellum::CDjVuSettingsDlg dlg(app->MainFrame(), app->m_settings, doc.DialogDoc());
      dlg.Show();
      dlg.Update();
      std::printf("DjVu Settings dialog (%s): %.1f ms\n", i == 0 ? "first" : "again", Ms(t0, Clock::now()));
      dlg.Hide();
    }
    Pump();
  }
  for (int i = 0; i < 2; ++i)
  {
    const auto t0 = Clock::now();
    vellum::ShowHelpTopic(app->MainFrame(), nullptr);
    wxWindow *help = nullptr;
    for (wxWindow *w : wxTopLevelWindows)
      if (w != app->MainFrame() && w->IsShown())
        help = w;
    if (help)
      help->Update();
    std::printf("Help window (%s): %.1f ms%s\n", i == 0 ? "first" : "again", Ms(t0, Clock::now()),
                help ? "" : " (no window)");
    Pump();
  }
  vellum_test::StopViewer(app);
  return 0;
}
