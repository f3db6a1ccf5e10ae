// CVellumApp: start-up and shut-down of the viewer.
//
// OnInit loads the settings, sets up the document manager (five recent
// files, DocManager.h), creates the main frame, then the single document
// template (CVellumDoc, CVellumView, made with the settings and the frame as
// their host) and the one document, opens the file named on the command
// line, shows the start-up hint and warns about a display of 8 bits per
// pixel or fewer. The settings are written when the frame closes.
#ifndef VELLUM_UI_VELLUMAPP_H
#define VELLUM_UI_VELLUMAPP_H

#include <string>

#include <wx/app.h>

#include "DocManager.h"
#include "Settings.h"

class CMainFrame;
class CVellumDoc;

class CVellumApp : public wxApp
{
public:
  CVellumApp();

  bool OnInit() override;
  int OnExit() override;

  // The whole start-up; false ends the program. Tests call it directly.
  bool InitInstance();

  // Settings of the run (read at start-up, written when the frame closes).
  CVellumSettings m_settings;
  std::string m_strProfileName; // the settings file

  // Where the settings file is; empty: the usual place.
  std::string m_strSettingsOverride;
  // Tests: do not open argv[1], do not show the hint or the depth warning.
  bool m_bQuiet = false;

  CVellumDocManager *m_pDocManager = nullptr;
  CMainFrame *m_pMainFrame = nullptr;

  CVellumDoc *Document() const;
  CMainFrame *MainFrame() const { return m_pMainFrame; }

  // The colour-depth warning for a display of 8 bits per pixel or fewer;
  // true when it was shown.
  bool WarnColorDepth();

  // Copies the recent-file list (with each entry's page) into the settings
  // and writes them.
  void SaveSettings();
};

wxDECLARE_APP(CVellumApp);

#endif
