#include "DocManager.h"

#include <wx/filehistory.h>

#include "DocumentNames.h"
#include "FrameLogic.h"
#include "MessageBox.h"
#include "Settings.h"
#include "VellumDoc.h"

using namespace vellum;

// clang-format off
wxBEGIN_EVENT_TABLE(CVellumDocManager, wxDocManager)
  EVT_MENU_RANGE(wxID_FILE1, wxID_FILE9, CVellumDocManager::OnRecentFile)
  EVT_UPDATE_UI(wxID_PRINT, CVellumDocManager::OnUpdatePrint)
  EVT_UPDATE_UI(wxID_PREVIEW, CVellumDocManager::OnUpdatePrint)
  EVT_UPDATE_UI(wxID_PRINT_SETUP, CVellumDocManager::OnUpdatePrint)
wxEND_EVENT_TABLE()
// clang-format on

wxFileHistory *CVellumDocManager::OnCreateFileHistory()
{
  return new wxFileHistory(CVellumSettings::kRecentFiles);
}

void CVellumDocManager::OnRecentFile(wxCommandEvent &event)
{
  wxFileHistory *history = GetFileHistory();
  const size_t n = static_cast<size_t>(event.GetId() - wxID_FILE1);
  CVellumDoc *doc = CVellumDoc::First(this);
  if (!history || n >= history->GetCount() || !doc)
    return;
  const wxString path = history->GetHistoryFile(n);
  // The recent-file list asks the framework's question, not "Save %s first?".
  if (doc->IsModified())
  {
    const std::string question = "Save changes to " + doc->DocTitle() + "?";
    const int answer = VellumMessageBox(question.c_str(), kProductName,
                                        VMB_YESNOCANCEL | VMB_SAVE_LABELS | VMB_ICONQUESTION);
    if (answer == VID_CANCEL)
      return;
    // Yes saves first (the path name, or the save dialog when there is
    // none); a save that does not happen abandons the open.
    if (answer == VID_YES && !doc->Save())
      return;
    doc->Modify(false);
  }
  // The entry opens at the page it was left at.
  doc->Open(path.utf8_string(), kKindNone, RememberedPage(path.utf8_string()));
}

void CVellumDocManager::OnUpdatePrint(wxUpdateUIEvent &event)
{
  const CVellumDoc *doc = CVellumDoc::First(this);
  event.Enable(doc && doc->Host() && FrameCommandEnabled(kCmdPrint, doc->CommandState()));
}

void CVellumDocManager::RememberPage(const std::string &path, int pageIndex)
{
  if (!path.empty())
    m_recentPages[path] = pageIndex > 0 ? pageIndex : 0;
}

int CVellumDocManager::RememberedPage(const std::string &path) const
{
  const auto it = m_recentPages.find(path);
  return it == m_recentPages.end() ? 0 : it->second;
}
