#include "VellumApp.h"

#include <climits>

#include <wx/filehistory.h>
#include <wx/filename.h>

#include "DibImage.h"
#include "DocumentNames.h"
#include "FrameLogic.h"
#include "HintHelp.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "Scanner.h"
#include "UiHooks.h"
#include "VellumDoc.h"
#include "VellumView.h"

using namespace vellum;

// ------------------------------------------------------ document manager

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
  CVellumDoc *doc = wxGetApp().Document();
  if (!history || n >= history->GetCount() || !doc)
    return;
  const wxString path = history->GetHistoryFile(n);
  // The recent-file list asks the framework's question, not "Save %s first?".
  if (doc->IsModified())
  {
    const std::string question = "Save changes to " + doc->DocTitle() + "?";
    const int answer =
        VellumMessageBox(question.c_str(), kProductName, VMB_YESNOCANCEL | VMB_SAVE_LABELS | VMB_ICONQUESTION);
    if (answer == VID_CANCEL)
      return;
    // Yes saves first (the path name, or the save dialog when there is
    // none); a save that does not happen abandons the open.
    if (answer == VID_YES && !doc->Save())
      return;
    doc->Modify(false);
  }
  // The entry opens at the page it was left at.
  doc->m_model.m_nOpenKind = 0;
  doc->m_model.m_nPageIndex = wxGetApp().RememberedPage(path.utf8_string());
  doc->OnOpenDocument(path);
}

void CVellumDocManager::OnUpdatePrint(wxUpdateUIEvent &event)
{
  const CMainFrame *frame = wxGetApp().MainFrame();
  event.Enable(frame && FrameCommandEnabled(kCmdPrint, frame->CommandState()));
}

// ----------------------------------------------------------- application

CVellumApp::CVellumApp() {}

CVellumDoc *CVellumApp::Document() const
{
  if (!m_pDocManager || m_pDocManager->GetDocuments().empty())
    return nullptr;
  return dynamic_cast<CVellumDoc *>(m_pDocManager->GetDocuments().front());
}

bool CVellumApp::OnInit()
{
  return InitInstance();
}

bool CVellumApp::InitInstance()
{
  m_strProgramDir = CVellumSettings::ProgramDir() + "/";
  m_strProfileName = m_strSettingsOverride.empty() ? CVellumSettings::SettingsPath() : m_strSettingsOverride;
  m_settings.LoadSettings(m_strProfileName);
  SetMaxImagePixels(m_settings.MaxPixels);
  if (!m_bQuiet)
    InstallWxMessageBox();
  SetStartupHintHook(&RunHintDialog);

  // Constructed without initialising: the base constructor would create the
  // file history before our five-entry override is in place.
  m_pDocManager = new CVellumDocManager;
  m_pDocManager->Initialize();
  new wxDocTemplate(m_pDocManager, "Quarto", "", "", "", "Vellum.Document", "Quarto Document",
                    wxCLASSINFO(CVellumDoc), wxCLASSINFO(CVellumView));

  m_pMainFrame = new CMainFrame(m_pDocManager);
  SetTopWindow(m_pMainFrame);
  for (int i = CVellumSettings::kRecentFiles - 1; i >= 0; --i)
    if (!m_settings.RecentFiles[i].empty())
    {
      m_pDocManager->AddFileToHistory(wxString::FromUTF8(m_settings.RecentFiles[i]));
      RememberPage(m_settings.RecentFiles[i], m_settings.RecentPages[i]);
    }
  m_pDocManager->FileHistoryUseMenu(m_pMainFrame->RecentFilesMenu());
  m_pDocManager->FileHistoryAddFilesToMenu();

  // The one document: the framework's start-up new document (no scan).
  wxDocument *created = m_pDocManager->CreateDocument(wxString(), wxDOC_NEW);
  CVellumDoc *doc = dynamic_cast<CVellumDoc *>(created);
  if (!doc || !doc->View())
  {
    m_pMainFrame->Destroy();
    m_pMainFrame = nullptr;
    return false;
  }
  m_pMainFrame->Show();
  m_pMainFrame->UpdateTitle();
  doc->View()->OnInitialUpdate();

  // "vellum FILE [--page N]": the page shown first of a document of many
  // pages (1-based; past the end opens nothing but says so).
  wxString file;
  long page = 1;
  for (int i = 1; i < argc; i++)
  {
    const wxString arg = argv[i];
    if (arg == "--page" && i + 1 < argc)
      argv[++i].ToLong(&page);
    else if (arg.StartsWith("--page=", nullptr))
      arg.Mid(7).ToLong(&page);
    else if (file.empty())
      file = arg;
  }
  if (!m_bQuiet && !file.empty())
  {
    wxFileName name(file);
    name.MakeAbsolute();
    doc->m_model.m_nOpenKind = 0;
    doc->m_model.m_nPageIndex = page >= 1 && page <= INT_MAX ? (int)page - 1 : 0;
    doc->OnOpenDocument(name.GetFullPath());
  }
  m_pMainFrame->Update();
  // Listing scanners loads every SANE backend: done once the window is up,
  // on the scanner's helper thread.
  CallAfter([] { Scanner::Instance().StartProbe(); });

  if (!m_bQuiet && !m_settings.NoStartupInfo)
    m_settings.NoStartupInfo = ShowStartupHint(m_pMainFrame, false) ? 1 : 0;
  WarnColorDepth();
  return true;
}

bool CVellumApp::WarnColorDepth()
{
  const std::string warning = ColorDepthWarning(ScreenDepth());
  if (warning.empty())
    return false;
  VellumMessageBox(warning.c_str(), kProductName, VMB_OK | VMB_ICONEXCLAMATION);
  return true;
}

void CVellumApp::SaveSettings()
{
  if (m_pDocManager && m_pDocManager->GetFileHistory())
  {
    const wxFileHistory *history = m_pDocManager->GetFileHistory();
    for (int i = 0; i < CVellumSettings::kRecentFiles; ++i)
    {
      m_settings.RecentFiles[i] = static_cast<size_t>(i) < history->GetCount()
                                      ? history->GetHistoryFile(i).utf8_string()
                                      : std::string();
      m_settings.RecentPages[i] = RememberedPage(m_settings.RecentFiles[i]);
    }
  }
  m_settings.SaveSettings(m_strProfileName);
}

void CVellumApp::RememberPage(const std::string &path, int pageIndex)
{
  if (!path.empty())
    m_recentPages[path] = pageIndex > 0 ? pageIndex : 0;
}

int CVellumApp::RememberedPage(const std::string &path) const
{
  const auto it = m_recentPages.find(path);
  return it == m_recentPages.end() ? 0 : it->second;
}

int CVellumApp::OnExit()
{
  Scanner::Instance().Shutdown();
  m_pMainFrame = nullptr;
  delete m_pDocManager;
  m_pDocManager = nullptr;
  return wxApp::OnExit();
}
