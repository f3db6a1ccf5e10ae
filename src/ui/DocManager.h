// CVellumDocManager: the document manager of the viewer. A five-entry
// recent-file list whose entries open through the document at the page each
// was left at; Print, Print Preview and Print Setup (the framework's
// commands) enabled only while the image holds a pixel block.
#ifndef VELLUM_UI_DOCMANAGER_H
#define VELLUM_UI_DOCMANAGER_H

#include <map>
#include <string>

#include <wx/docview.h>

class CVellumDocManager : public wxDocManager
{
public:
  // Constructed without initialising: the base constructor would create the
  // file history before our five-entry override is in place (the caller
  // runs Initialize).
  CVellumDocManager() : wxDocManager(0, false) {}
  wxFileHistory *OnCreateFileHistory() override;

  // The page a file was last shown at (0-based; 0 for a file not seen),
  // kept for the recent-file list.
  void RememberPage(const std::string &path, int pageIndex);
  int RememberedPage(const std::string &path) const;

private:
  void OnRecentFile(wxCommandEvent &event);
  void OnUpdatePrint(wxUpdateUIEvent &event);

  std::map<std::string, int> m_recentPages; // path -> page index
  wxDECLARE_EVENT_TABLE();
};

#endif
