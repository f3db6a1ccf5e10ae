// Slideshow sequence, print scaling and the help chain, without a display.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HelpLogic.h"
#include "PrintLogic.h"
#include "SlideshowLogic.h"

using namespace vellum;

TEST(Slideshow, CyclesThroughTheNamesWithItsStatusText)
{
  CSlideSequence seq("/data/scans/", {"a.djvu", "b.jpg"});
  ASSERT_EQ(seq.Count(), 2);
  std::vector<std::string> shown;
  for (int i = 0; i < 3; ++i)
  {
    shown.push_back(seq.CurrentPath() + " " + seq.StatusText());
    seq.Advance();
  }
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "/data/scans/a.djvu Showing image 1/2. Press ESC or Q to quit.",
                       "/data/scans/b.jpg Showing image 2/2. Press ESC or Q to quit.",
                       "/data/scans/a.djvu Showing image 1/2. Press ESC or Q to quit.",
                   }));
  CSlideSequence none("/", {});
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(none.CurrentPath(), "");
  none.Advance(); // no division by zero
  CSlideSequence root("/", {"x.bmp"});
  EXPECT_EQ(root.CurrentPath(), "/x.bmp");
}

TEST(Slideshow, DelayAndQuitKeys)
{
  struct
  {
    int in, ms;
  } delays[] = {{5, 5000}, {1, 1000}, {600, 600000}, {0, 1000}, {-3, 1000}, {100000, 600000}};
  for (const auto &d : delays)
    EXPECT_EQ(SlideDelayMillis(d.in), d.ms) << d.in;
  EXPECT_TRUE(IsSlideshowQuitKey(27));
  EXPECT_TRUE(IsSlideshowQuitKey('Q'));
  EXPECT_TRUE(IsSlideshowQuitKey('q'));
  EXPECT_FALSE(IsSlideshowQuitKey(' '));
  EXPECT_FALSE(IsSlideshowQuitKey(13));
}

namespace
{

PrintInput A4At300(int printSize, int shrink)
{
  PrintInput in;
  in.printSize = printSize;
  in.shrinkPrint = shrink;
  in.imageW = 2480;
  in.imageH = 3508;
  in.xdpi = in.ydpi = 300;
  in.printerPpiX = in.printerPpiY = 600;
  in.printableMmW = 200;
  in.printableMmH = 287;
  return in;
}

} // namespace

TEST(PrintScale, OriginalSizeOnAFinerPrinter)
{
  PrintPlan p = PlanPrint(A4At300(0, 0));
  ASSERT_EQ(p.outcome, PrintPlan::kDraw);
  EXPECT_EQ(p.px, 200);
  EXPECT_EQ(p.py, 200);
  EXPECT_EQ(p.drawnW, 4960);
  EXPECT_EQ(p.drawnH, 7016);
  EXPECT_EQ(p.pageW, 4724); // floor(200 x 600 / 25.4 + 0.5)
  EXPECT_EQ(p.pageH, 6780);
  EXPECT_EQ(p.offsetX, 0); // wider than the page: not centred
  EXPECT_EQ(p.offsetY, 0);

  PrintInput big = A4At300(0, 0);
  big.printableMmW = 500;
  big.printableMmH = 700;
  p = PlanPrint(big);
  EXPECT_EQ(p.offsetX, (p.pageW - 4960) / 2);
  EXPECT_EQ(p.offsetY, (p.pageH - 7016) / 2);
}

TEST(PrintScale, ShrinkKeepsProportions)
{
  const PrintPlan p = PlanPrint(A4At300(0, 1));
  ASSERT_EQ(p.outcome, PrintPlan::kDraw);
  EXPECT_NEAR(p.sx, 1.905, 0.001);
  EXPECT_NEAR(p.sy, 1.905, 0.001);
  EXPECT_EQ(p.px, 191);
  EXPECT_EQ(p.py, 191);
  EXPECT_EQ(p.drawnW, 2480 * 191 / 100);
  // Rounding the percentage up overshoots the width by 12 pixels: no
  // centring on that axis.
  EXPECT_EQ(p.drawnW, 4736);
  EXPECT_EQ(p.offsetX, 0);
  EXPECT_EQ(p.offsetY, (p.pageH - 3508 * 191 / 100) / 2);
}

TEST(PrintScale, ScreenSizeAspectAndSettings)
{
  PrintInput in = A4At300(1, 0);
  in.zoomPercent = 100;
  in.screenPpiX = in.screenPpiY = 96;
  PrintPlan p = PlanPrint(in);
  EXPECT_EQ(p.px, 625);
  EXPECT_EQ(p.py, 625);

  // Fax resolution: the screen size stretches the coarse axis, the
  // original size keeps the physical shape without any factor.
  in.xdpi = 200;
  in.ydpi = 100;
  p = PlanPrint(in);
  EXPECT_EQ(p.px, 625);
  EXPECT_EQ(p.py, 1250);
  in.printSize = 0;
  p = PlanPrint(in);
  EXPECT_EQ(p.px, 300);
  EXPECT_EQ(p.py, 600);

  in.printSize = 2;
  EXPECT_EQ(PlanPrint(in).outcome, PrintPlan::kUnknownSetting);
  in.printSize = 0;
  in.xdpi = 0;
  EXPECT_EQ(PlanPrint(in).outcome, PrintPlan::kBlank);
  in.xdpi = 300;
  in.ydpi = 0;
  EXPECT_EQ(PlanPrint(in).outcome, PrintPlan::kBlank); // no division by zero
  in.ydpi = 300;
  in.imageW = 0;
  EXPECT_EQ(PlanPrint(in).outcome, PrintPlan::kBlank);

  double ax, ay;
  PrintAspectFactors(100, 300, &ax, &ay);
  EXPECT_DOUBLE_EQ(ax, 3.0);
  EXPECT_DOUBLE_EQ(ay, 1.0);
  PrintAspectFactors(0, 300, &ax, &ay);
  EXPECT_DOUBLE_EQ(ax, 1.0);

  EXPECT_TRUE(NeedsResolutionPrompt(0, 0, 300));
  EXPECT_TRUE(NeedsResolutionPrompt(0, 300, 0));
  EXPECT_FALSE(NeedsResolutionPrompt(0, 300, 300));
  EXPECT_FALSE(NeedsResolutionPrompt(1, 0, 0));
  EXPECT_EQ(ScreenPpi(1920, 508), 96);
  EXPECT_EQ(ScreenPpi(1920, 0), 96);
  EXPECT_EQ(ScreenPpi(1000, 300), 84);
  EXPECT_EQ(
      std::string(kMsgResolutionUnknown),
      "The original document resolution is unknown.\nDo you want to try to reproduce the displayed\nimage "
      "size instead?");
}

TEST(PrintScale, HugeScalesStayInRange)
{
  PrintInput in = A4At300(0, 0);
  in.xdpi = in.ydpi = 1;
  in.printerPpiX = in.printerPpiY = 1e9;
  const PrintPlan p = PlanPrint(in);
  EXPECT_GT(p.px, 0);
  EXPECT_GT(p.drawnW, 0);
}

namespace
{

struct FakeHelp : IHelpBackend
{
  bool viewerLoads = true, viewerShows = true, fileOpens = false, pageOpens = false;
  std::vector<std::string> calls;
  bool LoadViewer() override
  {
    calls.push_back("load");
    return viewerLoads;
  }
  bool ShowInViewer(const char *topic) override
  {
    calls.push_back(std::string("viewer ") + (topic ? topic : "(contents)"));
    return viewerShows;
  }
  bool OpenFile(const std::string &path) override
  {
    calls.push_back("file " + path);
    return fileOpens;
  }
  bool OpenPage(const std::string &path) override
  {
    calls.push_back("page " + path);
    return pageOpens;
  }
  void ShowFailure(const char *text) override { calls.push_back(std::string("fail ") + text); }
};

} // namespace

TEST(Help, ViewerFirstThenTheFallbacks)
{
  CHelpChain chain("/opt/vellum/Vellum.chm", "/opt/vellum/HtmlHelp");
  FakeHelp ok;
  EXPECT_EQ(chain.Show(ok, kHelpResize), kHelpViewer);
  EXPECT_EQ(chain.Show(ok, nullptr), kHelpViewer);
  EXPECT_EQ(ok.calls, (std::vector<std::string>{"load", "viewer Resize.html", "viewer (contents)"}));

  // No viewer, no help file: the topic's page; the viewer is not tried again.
  CHelpChain chain2("/opt/vellum/Vellum.chm", "/opt/vellum/HtmlHelp");
  FakeHelp none;
  none.viewerLoads = false;
  none.pageOpens = true;
  EXPECT_EQ(chain2.Show(none, kHelpResize), kHelpPage);
  EXPECT_TRUE(chain2.ViewerFailed());
  EXPECT_EQ(chain2.Show(none, ""), kHelpPage);
  EXPECT_EQ(none.calls, (std::vector<std::string>{
                            "load", "file /opt/vellum/Vellum.chm", "page /opt/vellum/HtmlHelp/Resize.html",
                            "file /opt/vellum/Vellum.chm", "page /opt/vellum/HtmlHelp/Contents.html"}));

  // Everything fails: the message.
  CHelpChain chain3("", "/x");
  FakeHelp fails;
  fails.viewerShows = false;
  EXPECT_EQ(chain3.Show(fails, kHelpJpegOptions), kHelpFailed);
  ASSERT_EQ(fails.calls.size(), 4u);
  EXPECT_EQ(fails.calls[3],
            "fail Failed to load HtmlHelp!\n\nCompiled HtmlHelp needs Internet Explorer 4.\nHelp "
            "can also be accessed from the Contents.html file in the HtmlHelp directory.");
}

TEST(Help, EveryTopicHasAPageInTheBook)
{
  const std::string dir = VELLUM_HELP_SOURCE_DIR;
  EXPECT_EQ(FindHelpDir({"/nonexistent", dir}), dir);
  EXPECT_EQ(FindHelpDir({"/nonexistent"}), "");
  std::ifstream hhp(dir + "/" + kHelpBookName);
  ASSERT_TRUE(hhp.good());
  std::stringstream book;
  book << hhp.rdbuf();
  for (const char *topic : {kHelpDjvuOptions, kHelpAdvDjvuOptions, kHelpIw44Options, kHelpJpegOptions,
                            kHelpGeneralOptions, kHelpResize, kHelpContentsPage})
  {
    std::ifstream page(HelpPagePath(dir, topic));
    EXPECT_TRUE(page.good()) << topic;
    EXPECT_NE(book.str().find(topic), std::string::npos) << topic;
  }
  const std::vector<std::string> c = HelpDirCandidates("/opt/vellum/bin", "/opt/vellum/share/vellum");
  ASSERT_GE(c.size(), 2u);
  EXPECT_EQ(c[c.size() - 2], "/opt/vellum/bin/HtmlHelp");
  EXPECT_EQ(c.back(), "/opt/vellum/share/vellum/help");
}

TEST(Hint, Texts)
{
  EXPECT_STREQ(kHintCaption, "Vellum Hint");
  EXPECT_STREQ(kHintCheck, "Do &not show this message again");
  EXPECT_EQ(std::string(kHintText).substr(0, 17), "Did you know...\n\n");
}
