// The viewer started in a program under a (virtual) display, for the GUI
// tests (ViewerTestApp.h) and the timing programs: one CVellumApp, quiet
// (no argv file, no hint, no depth warning), with its own settings file and
// optionally a private SANE configuration, log messages to stderr instead
// of modal boxes. The caller reruns itself under xvfb first when it has no
// display (GuiTestSupport.h).
#ifndef VELLUM_TESTS_UI_VIEWERSTART_H
#define VELLUM_TESTS_UI_VIEWERSTART_H

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>

#include <wx/app.h>
#include <wx/debug.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "MainFrame.h"
#include "MessageBox.h"
#include "VellumApp.h"

namespace vellum_test
{

struct ViewerStart
{
  std::string settingsFile; // the program's settings file
  // A SANE configuration of its own in saneDir whose dll.conf holds
  // saneBackends (empty: no scanner at all); an empty saneDir leaves SANE's
  // configuration as the environment has it.
  std::string saneDir;
  std::string saneBackends;
  // The test's hooks (message boxes, modal dialogs, image handlers), set
  // once the toolkit is up and before the program starts.
  std::function<void()> hooks;
  // After the program has started (e.g. the window's size).
  std::function<void(CVellumApp &)> started;
  // What a failed wx assertion does (none: the toolkit's default).
  wxAssertHandler_t assertHandler = nullptr;
};

// Runs the event loop for about ms milliseconds (bounded), sleeping
// sleepMs between rounds.
inline void PumpFor(int ms, int sleepMs = 5)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do
  {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
    wxMilliSleep(sleepMs);
  } while (std::chrono::steady_clock::now() < end);
}

// Starts the viewer as start says; null (after a line on stderr) when the
// display (*status 1) or the program's start-up (*status 2) fails.
inline CVellumApp *StartViewer(const char *argv0, const ViewerStart &start, int *status = nullptr)
{
  int ignored = 0;
  int &failure = status ? *status : ignored;
  if (!start.saneDir.empty())
  {
    mkdir(start.saneDir.c_str(), 0700);
    std::ofstream(start.saneDir + "/dll.conf") << start.saneBackends;
    setenv("SANE_CONFIG_DIR", start.saneDir.c_str(), 1);
  }
  CVellumApp *app = new CVellumApp;
  app->m_bQuiet = true;
  app->m_strSettingsOverride = start.settingsFile;
  wxApp::SetInstance(app);
  int wxArgc = 1;
  char *wxArgv[] = {const_cast<char *>(argv0), nullptr};
  if (!wxEntryStart(wxArgc, wxArgv))
  {
    std::fprintf(stderr, "no display\n");
    failure = 1;
    return nullptr;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr); // no modal log boxes
  if (start.assertHandler)
    wxSetAssertHandler(start.assertHandler);
  if (start.hooks)
    start.hooks();
  if (!app->CallOnInit())
  {
    std::fprintf(stderr, "the viewer did not start\n");
    failure = 2;
    return nullptr;
  }
  if (start.started)
    start.started(*app);
  PumpFor(100);
  return app;
}

// Closes the window and ends the program started by StartViewer.
inline void StopViewer(CVellumApp *app)
{
  if (wxTheApp->GetTopWindow())
    wxTheApp->GetTopWindow()->Destroy();
  PumpFor(20);
  app->OnExit();
  wxEntryCleanup();
}

// The viewer started for a timing program: no settings file, no scanner
// probe competing for the CPU, message boxes written to stderr and answered
// No. Null (status set) when it does not start.
inline int AnswerNoOnStderr(const char *text, const char *, unsigned)
{
  std::fprintf(stderr, "message: %s\n", text);
  return VID_NO;
}
inline CVellumApp *StartQuietViewer(const char *argv0, int *status)
{
  setenv("SANE_CONFIG_DIR", "/nonexistent", 1);
  ViewerStart start;
  start.settingsFile = "/dev/null";
  start.hooks = [] { VellumSetMessageBoxHook(AnswerNoOnStderr); };
  return StartViewer(argv0, start, status);
}

} // namespace vellum_test

#endif
