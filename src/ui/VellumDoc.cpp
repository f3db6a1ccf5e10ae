#include "VellumDoc.h"

#include <wx/display.h>
#include <wx/utils.h>

#include "MainFrame.h"
#include "MessageBox.h"
#include "Scanner.h"
#include "UiHooks.h"
#include "VellumApp.h"
#include "VellumView.h"
#include "ZoomLogic.h"

using namespace vellum;

wxIMPLEMENT_DYNAMIC_CLASS(CVellumDoc, wxDocument);

std::function<bool(CVellumDoc &)> CVellumDoc::s_saveAs;

CVellumDoc::CVellumDoc() {}

void CVellumDoc::SetSaveAsHook(std::function<bool(CVellumDoc &)> hook)
{
  s_saveAs = std::move(hook);
}

CVellumView *CVellumDoc::View() const
{
  return dynamic_cast<CVellumView *>(GetFirstView());
}

void CVellumDoc::SetDocTitle(const std::string &title)
{
  m_model.m_strTitle = title;
  SetTitle(wxString::FromUTF8(title));
  if (CMainFrame *frame = wxGetApp().MainFrame())
    frame->UpdateTitle();
}

bool CVellumDoc::DeleteContents()
{
  m_model.DeleteContents();
  SetDocTitle(std::string());
  return true;
}

RenderEnv CVellumDoc::Env() const
{
  const CVellumSettings &s = wxGetApp().m_settings;
  RenderEnv env;
  CVellumView *view = View();
  env.layer = view ? view->m_nLayer : 0;
  env.screenBpp = ScreenDepth();
  env.dither = s.Dither != 0;
  env.fancyZoom = s.FancyZoom != 0;
  env.gamma = s.DisplayGamma;
  env.jpegDct = s.JpegDecodeDCT;
  return env;
}

int CVellumDoc::FitZoom(const CDibImage &page) const
{
  CMainFrame *frame = wxGetApp().MainFrame();
  const djvu_halfcoded_image *decoded = static_cast<const djvu_halfcoded_image *>(page.m_pDocument);
  if (!decoded || !frame)
    return 0;
  // One rule for the document and the view: the page's full size, as drawn.
  return frame->FitStepFor({decoded->width, decoded->height}, decoded->dpi, decoded->dpi);
}

int CVellumDoc::Rerender(bool useDither, bool fancyZoom, int zoom)
{
  return m_model.Rerender(useDither, fancyZoom, zoom, Env());
}

bool CVellumDoc::AskSaveFirst()
{
  if (!IsModified())
    return true;
  const std::string question = SaveFirstQuestion(DocTitle());
  const int answer = VellumMessageBox(question.c_str(), kProductName, VMB_YESNOCANCEL | VMB_ICONQUESTION);
  if (answer == VID_CANCEL)
    return false;
  if (answer == VID_YES && s_saveAs)
    s_saveAs(*this);
  Modify(false);
  return true;
}

bool CVellumDoc::OnOpenDocument(const wxString &path)
{
  CMainFrame *frame = wxGetApp().MainFrame();
  const std::string file = path.utf8_string();
  CDocumentModel::OpenResult result;
  {
    wxBusyCursor wait;
    CDocumentModel::FitZoomFn fit;
    if (frame)
      fit = [this](const CDibImage &page, int) { return FitZoom(page); };
    result = m_model.OpenFile(file, Env(), fit);
    if (result == CDocumentModel::kOpened)
    {
      SetFilename(path, false);
      if (wxGetApp().m_pDocManager)
        wxGetApp().m_pDocManager->AddFileToHistory(path);
      Modify(false);
    }
    SetDocTitle(m_model.m_strTitle);
  }
  if (frame)
  {
    if (CVellumView *view = View())
    {
      view->m_bHasSelection = false;
      view->ScrollToOrigin();
    }
    UpdateAllViews();
    frame->ShowImageInfo();
    frame->Raise();
  }
  return true;
}

bool CVellumDoc::OnNewDocument()
{
  // What the framework's new document does: empty, unmodified, no path.
  DeleteContents();
  Modify(false);
  SetFilename(wxString(), false);
  if (m_model.m_bFirstNewDocument)
  {
    m_model.m_bFirstNewDocument = 0;
    return true;
  }
  {
    wxBusyCursor wait;
    const std::vector<uint8_t> dib = Scanner::Instance().Acquire();
    if (dib.empty() || !m_model.TakeScannedDib(dib))
      VellumMessageBox(kMsgAcquireFailed, kProductName, VMB_OK | VMB_ICONHAND);
    else
    {
      if (CVellumView *view = View())
        view->ScrollToOrigin();
      SetDocTitle(kTitleScanned);
      UpdateAllViews();
      Modify(true);
    }
  }
  if (CMainFrame *frame = wxGetApp().MainFrame())
    frame->ShowImageInfo();
  return true;
}

bool CVellumDoc::OnSaveDocument(const wxString &)
{
  return false;
}
