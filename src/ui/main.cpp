// The viewer's entry point.
//
// With VELLUM_BENCH_FIRST_PAINT set in the environment the program prints
// the time from its start to the first paint of an image and quits: the
// start-up benchmark (tests/ui/first-paint-bench.sh) measures through it.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "VellumApp.h"
#include "VellumView.h"

namespace
{

const auto g_start = std::chrono::steady_clock::now();

void ReportFirstPaint(CVellumView *)
{
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_start).count();
  std::printf("first paint after %.1f ms\n", ms);
  std::fflush(stdout);
  CVellumView::s_paintObserver = nullptr;
  std::_Exit(0);
}

class CVellumMainApp : public CVellumApp
{
public:
  bool OnInit() override
  {
    if (std::getenv("VELLUM_BENCH_FIRST_PAINT"))
      CVellumView::s_paintObserver = ReportFirstPaint;
    return CVellumApp::OnInit();
  }
};

} // namespace

wxIMPLEMENT_APP_NO_MAIN(CVellumApp);

int main(int argc, char **argv)
{
  wxApp::SetInstance(new CVellumMainApp);
  return wxEntry(argc, argv);
}
