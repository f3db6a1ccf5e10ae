// The GUI tests' viewer (ViewerStart.h) with the test framework: a failed
// wx assertion fails the test that caused it, and the program's tests run
// between start-up and shut-down.
#ifndef VELLUM_TESTS_UI_VIEWERTESTAPP_H
#define VELLUM_TESTS_UI_VIEWERTESTAPP_H

#include <gtest/gtest.h>

#include <cstdio>

#include "VellumDoc.h"
#include "VellumView.h"
#include "ViewerStart.h"

namespace vellum_test
{

inline void FailTestOnAssert(const wxString &file, int line, const wxString &func, const wxString &cond,
                             const wxString &msg)
{
  std::fprintf(stderr, "wx assertion %s at %s:%d in %s: %s\n", cond.utf8_str().data(), file.utf8_str().data(),
               line, func.utf8_str().data(), msg.utf8_str().data());
  ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " at " << file.utf8_string() << ":" << line
                << ": " << msg.utf8_string();
}

// The running viewer's parts.
inline CVellumApp &App()
{
  return wxGetApp();
}
inline CMainFrame &Frame()
{
  return *wxGetApp().MainFrame();
}
inline CVellumDoc &Doc()
{
  return *wxGetApp().Document();
}
inline CVellumView &View()
{
  return *Doc().View();
}

// The test program's tests against the started viewer: their result, or 1
// when the display is missing and 2 when the viewer does not start.
inline int RunViewerTests(const char *argv0, const ViewerStart &start)
{
  ViewerStart withAsserts = start;
  withAsserts.assertHandler = FailTestOnAssert;
  int failure = 0;
  CVellumApp *app = StartViewer(argv0, withAsserts, &failure);
  if (!app)
    return failure;
  const int rc = RUN_ALL_TESTS();
  StopViewer(app);
  return rc;
}

} // namespace vellum_test

#endif
