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

namespace
{

// The one template: the document and the view are made with the run's
// settings and the frame that hosts them.
class CVellumDocTemplate : public wxDocTemplate
{
public:
  CVellumDocTemplate(wxDocManager *manager, CVellumSettings &settings, IFrameHost *host)
      : wxDocTemplate(manager, "Quarto", "", "", "", "Vellum.Document", "Quarto Document",
                      wxCLASSINFO(CVellumDoc), wxCLASSINFO(CVellumView)),
        m_settings(settings), m_host(host)
  {
  }
  wxDocument *DoCreateDocument() override { return new CVellumDoc(m_settings, m_host); }
  wxView *DoCreateView() override { return new CVellumView(m_settings, m_host); }

private:
  CVellumSettings &m_settings;
  IFrameHost *m_host;
};

} // namespace

// ----------------------------------------------------------- application

CVellumApp::CVellumApp() {}

CVellumDoc *CVellumApp::Document() const
{
  return CVellumDoc::First(m_pDocManager);
}

bool CVellumApp::OnInit()
{
  return InitInstance();
}

bool CVellumApp::InitInstance()
{
  m_strProfileName = m_strSettingsOverride.empty() ? CVellumSettings::SettingsPath() : m_strSettingsOverride;
  m_settings.LoadSettings(m_strProfileName);
  SetMaxImagePixels(m_settings.MaxPixels);
  if (!m_bQuiet)
    InstallWxMessageBox();
  SetStartupHintHook(&RunHintDialog);

  m_pDocManager = new CVellumDocManager;
  m_pDocManager->Initialize();

  m_pMainFrame = new CMainFrame(m_pDocManager, m_settings, [this] { SaveSettings(); });
  // The application must not reach a frame that is gone.
  m_pMainFrame->Bind(wxEVT_DESTROY,
                     [this](wxWindowDestroyEvent &event)
                     {
                       if (event.GetEventObject() == m_pMainFrame)
                         m_pMainFrame = nullptr;
                       event.Skip();
                     });
  new CVellumDocTemplate(m_pDocManager, m_settings, m_pMainFrame);
  SetTopWindow(m_pMainFrame);
  for (int i = CVellumSettings::kRecentFiles - 1; i >= 0; --i)
    if (!m_settings.RecentFiles[i].empty())
    {
      m_pDocManager->AddFileToHistory(wxString::FromUTF8(m_settings.RecentFiles[i]));
      m_pDocManager->RememberPage(m_settings.RecentFiles[i], m_settings.RecentPages[i]);
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
    doc->Open(name.GetFullPath().utf8_string(), kKindNone, page >= 1 && page <= INT_MAX ? (int)page - 1 : 0);
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
      m_settings.RecentPages[i] = m_pDocManager->RememberedPage(m_settings.RecentFiles[i]);
    }
  }
  m_settings.SaveSettings(m_strProfileName);
}

int CVellumApp::OnExit()
{
  Scanner::Instance().Shutdown();
  m_pMainFrame = nullptr;
  delete m_pDocManager;
  m_pDocManager = nullptr;
  return wxApp::OnExit();
}
