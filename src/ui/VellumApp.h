// CVellumApp: start-up and shut-down of the viewer.
//
// OnInit loads the settings, sets up the document manager (five recent
// files) and the single document template (CVellumDoc, CMainFrame,
// CVellumView), creates the main frame and the one document, opens the file
// named on the command line, lets the frame accept dropped files, shows the
// start-up hint and warns about a display of 8 bits per pixel or fewer. The
// settings are written by the frame when it closes.
#ifndef VELLUM_UI_VELLUMAPP_H
#define VELLUM_UI_VELLUMAPP_H

#include <map>
#include <string>

#include <wx/app.h>
#include <wx/docview.h>

#include "Settings.h"

class CMainFrame;
class CVellumDoc;

// The document manager: a five-entry recent-file list whose entries open
// through the document; Print, Print Preview and Print Setup (the
// framework's commands) enabled only while the image holds a pixel block.
class CVellumDocManager : public wxDocManager
{
public:
  CVellumDocManager() : wxDocManager(0, false) {}
  wxFileHistory *OnCreateFileHistory() override;

private:
  void OnRecentFile(wxCommandEvent &event);
  void OnUpdatePrint(wxUpdateUIEvent &event);
  wxDECLARE_EVENT_TABLE();
};

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
  std::string m_strProgramDir;  // ends with "/"
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

  // The page a file was last shown at (0-based; 0 for a file not seen),
  // kept for the recent-file list.
  void RememberPage(const std::string &path, int pageIndex);
  int RememberedPage(const std::string &path) const;

private:
  std::map<std::string, int> m_recentPages; // path -> page index
};

wxDECLARE_APP(CVellumApp);

#endif
