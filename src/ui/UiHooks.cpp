#include "UiHooks.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "MessageBox.h"

namespace vellum
{

namespace
{
int g_depthOverride = 0;
StartupHintFn g_hint = nullptr;
BookSavePageFn g_bookSavePage = nullptr;
} // namespace

int ScreenDepth()
{
  return g_depthOverride > 0 ? g_depthOverride : wxDisplayDepth();
}

void SetScreenDepthOverride(int bitsPerPixel)
{
  g_depthOverride = bitsPerPixel;
}

int WxMessageBoxHook(const char *text, const char *caption, unsigned style)
{
  long wxStyle = 0;
  switch (style & VMB_BUTTON_MASK)
  {
  case VMB_YESNO:
    wxStyle |= wxYES_NO;
    break;
  case VMB_YESNOCANCEL:
    wxStyle |= wxYES_NO | wxCANCEL;
    break;
  case VMB_OKCANCEL:
    wxStyle |= wxOK | wxCANCEL;
    break;
  default:
    wxStyle |= wxOK;
  }
  switch (style & VMB_ICON_MASK)
  {
  case VMB_ICONHAND:
    wxStyle |= wxICON_ERROR;
    break;
  case VMB_ICONQUESTION:
    wxStyle |= wxICON_QUESTION;
    break;
  case VMB_ICONEXCLAMATION:
    wxStyle |= wxICON_EXCLAMATION;
    break;
  default:
    wxStyle |= wxICON_INFORMATION;
  }
  wxMessageDialog box(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, wxString::FromUTF8(text),
                      wxString::FromUTF8(caption), wxStyle | wxCENTRE);
  // Buttons named by what they do, as this desktop's save questions have them.
  if ((style & VMB_SAVE_LABELS) && (style & VMB_BUTTON_MASK) == VMB_YESNOCANCEL)
    box.SetYesNoCancelLabels("&Save", "Do&n't Save", "&Cancel");
  switch (box.ShowModal())
  {
  case wxID_YES:
    return VID_YES;
  case wxID_NO:
    return VID_NO;
  case wxID_CANCEL:
    return VID_CANCEL;
  default:
    return VID_OK;
  }
}

void InstallWxMessageBox()
{
  VellumSetMessageBoxHook(WxMessageBoxHook);
}

void SetStartupHintHook(StartupHintFn hook)
{
  g_hint = hook;
}

bool ShowStartupHint(wxWindow *parent, bool currentNoStartupInfo)
{
  return g_hint ? g_hint(parent, currentNoStartupInfo) : currentNoStartupInfo;
}

void SetBookSavePageHook(BookSavePageFn hook)
{
  g_bookSavePage = hook;
}

void CallBookSavePageHook(wxWindow *progressWindow, int page, int count)
{
  if (g_bookSavePage)
    g_bookSavePage(progressWindow, page, count);
}

} // namespace vellum
