#include "HintHelp.h"

#include <memory>
#include <sys/stat.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filename.h>
#include <wx/html/helpctrl.h>
#include <wx/module.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include "AppPaths.h"
#include "FileSystem.h"
#include "MessageBox.h"
#include "Settings.h"

namespace vellum
{

// ------------------------------------------------------------------- hint

CHintDlg::CHintDlg(wxWindow *parent, bool noStartupInfo) : wxDialog(parent, wxID_ANY, kHintCaption)
{
  auto *sizer = new wxBoxSizer(wxVERTICAL);

  // The advice on white, in Arial of weight 500.
  auto *paper =
      new wxPanel(this, wxID_ANY, wxDefaultPosition, ConvertDialogToPixels(wxSize(289, 92)), wxBORDER_SUNKEN);
  paper->SetBackgroundColour(*wxWHITE);
  auto *text = new wxStaticText(paper, IDC_HINT_TEXT, kHintText);
  wxFont font(wxFontInfo().FaceName("Arial"));
  font.SetNumericWeight(500);
  text->SetFont(font);
  text->SetBackgroundColour(*wxWHITE);
  text->SetForegroundColour(*wxBLACK);
  text->Wrap(ConvertDialogToPixels(wxSize(277, 0)).x);
  auto *paperSizer = new wxBoxSizer(wxVERTICAL);
  paperSizer->Add(text, 1, wxEXPAND | wxALL, ConvertDialogToPixels(wxSize(6, 0)).x);
  paper->SetSizer(paperSizer);
  paper->SetMinSize(ConvertDialogToPixels(wxSize(289, 92)));
  sizer->Add(paper, 1, wxEXPAND | wxALL, 8);

  auto *row = new wxBoxSizer(wxHORIZONTAL);
  m_check = new wxCheckBox(this, IDC_HINT_CHECK, kHintCheck);
  m_check->SetValue(noStartupInfo);
  row->Add(m_check, 1, wxALIGN_CENTER_VERTICAL);
  auto *close = new wxButton(this, wxID_OK, kHintClose);
  close->SetDefault();
  row->Add(close, 0);
  sizer->Add(row, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);

  SetEscapeId(wxID_OK);
  SetSizerAndFit(sizer);
  CentreOnParent();
}

bool CHintDlg::NotAgain() const
{
  return m_check->GetValue();
}

bool RunHintDialog(wxWindow *parent, bool noStartupInfo)
{
  CHintDlg dlg(parent, noStartupInfo);
  dlg.ShowModal();
  return dlg.NotAgain();
}

void ShowHint(wxWindow *parent, CVellumSettings &settings)
{
  settings.NoStartupInfo = RunHintDialog(parent, settings.NoStartupInfo != 0) ? 1 : 0;
}

// ------------------------------------------------------------------- help

namespace
{

// The controller lives until the library shuts down.
std::unique_ptr<wxHtmlHelpController> g_controller;
std::unique_ptr<CHelpChain> g_chain;

class CHelpModule : public wxModule
{
public:
  bool OnInit() override { return true; }
  void OnExit() override
  {
    g_controller.reset();
    g_chain.reset();
  }

private:
  wxDECLARE_DYNAMIC_CLASS(CHelpModule);
};
wxIMPLEMENT_DYNAMIC_CLASS(CHelpModule, wxModule);

class CWxHelpBackend : public IHelpBackend
{
public:
  CWxHelpBackend(wxWindow *owner, std::string book) : m_owner(owner), m_book(std::move(book)) {}

  bool LoadViewer() override
  {
    if (m_book.empty())
      return false;
    auto controller = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE);
    if (!controller->AddBook(wxFileName(wxString::FromUTF8(m_book.c_str())), false))
      return false;
    g_controller = std::move(controller);
    return true;
  }
  bool ShowInViewer(const char *topic) override
  {
    if (!g_controller)
      return false;
    g_controller->SetParentWindow(m_owner);
    return topic ? g_controller->Display(wxString::FromUTF8(topic)) : g_controller->DisplayContents();
  }
  bool OpenFile(const std::string &path) override
  {
    return IsRegularFile(path) && wxLaunchDefaultApplication(wxString::FromUTF8(path.c_str()));
  }
  bool OpenPage(const std::string &path) override
  {
    if (!IsRegularFile(path))
      return false;
    return wxLaunchDefaultBrowser(wxFileName::FileNameToURL(wxFileName(wxString::FromUTF8(path.c_str()))));
  }
  void ShowFailure(const char *text) override { VellumMessageBox(text, "Vellum", VMB_OK | VMB_ICONHAND); }

private:
  wxWindow *m_owner;
  std::string m_book;
};

std::string CompiledHelpFile()
{
  return JoinPath(CVellumSettings::ProgramDir(), kHelpFileName);
}

} // namespace

std::string HelpDirectory()
{
  return FindHelpDir(HelpDirCandidates(CVellumSettings::ProgramDir(), DataDirectory()));
}

HelpResult ShowHelp(wxWindow *owner, const char *topic)
{
  const std::string dir = HelpDirectory();
  const std::string chm = CompiledHelpFile();
  if (!g_chain)
    g_chain = std::make_unique<CHelpChain>(chm, dir);
  // The book: the compiled file when there is one, else the pages' project.
  std::string book = IsRegularFile(chm) ? chm : std::string();
  if (book.empty() && !dir.empty() && IsRegularFile(JoinPath(dir, kHelpBookName)))
    book = JoinPath(dir, kHelpBookName);
  CWxHelpBackend backend(owner, book);
  return g_chain->Show(backend, topic);
}

void ShowHelpTopic(wxWindow *owner, const char *topic)
{
  ShowHelp(owner, topic);
}

} // namespace vellum
