// The main frame's side of the page panel and the page pane: the
// thumbnail pane beside the view, its View menu item and remembered state,
// and the host the panel renders through.
#include "MainFrame.h"

#include <sys/stat.h>

#include <wx/statusbr.h>

#include "ImageFiles.h"
#include "PagePanel.h"
#include "VellumDoc.h"
#include "VellumView.h"

using namespace vellum;

namespace
{

// Thumbnails of the document shown, read from its file; a choice goes
// through the view's page change.
class CFramePageHost : public IPageHost
{
public:
  explicit CFramePageHost(CMainFrame &frame) : m_frame(frame) {}

  void OnThumbnailChosen(int index) override
  {
    if (CVellumView *view = m_frame.View())
      view->ShowPage(index);
  }

  bool RenderPageThumbnail(int index, Extent box, ThumbPicture &out) override
  {
    const CVellumDoc *doc = m_frame.Doc();
    if (!doc)
      return false;
    const std::string &path = doc->m_model.m_strLastOpenedPath;
    const CDibImage &image = *doc->m_model.m_pImage;
    // The document already open, when the record still holds it.
    djvu_document *book = image.m_strSourcePath == path ? image.m_pBook : nullptr;
    return RenderThumbnail(path, GetImageFileType(path.c_str()), index, book, box, out);
  }

private:
  CMainFrame &m_frame;
};

} // namespace

void CMainFrame::CreatePageBar()
{
  m_pPageHost.reset(new CFramePageHost(*this));
  m_pPages = new CPagePanel(this, *m_pPageHost);
  wxAuiPaneInfo pane;
  pane.Name(kPageBarName)
      .Caption(kPageBarCaption)
      .Left()
      .Layer(1)
      .Floatable(true)
      .CloseButton(true)
      .MinSize(m_pPages->GetMinSize())
      .BestSize(wxSize(m_pPages->GetMinSize().x, 400))
      .Hide();
  // Hidden until a document of many pages comes; the view's pane, added
  // next, lays the frame out.
  m_aui.AddPane(m_pPages, pane);
  Bind(wxEVT_MENU, &CMainFrame::OnPageBar, this, ID_VIEW_PAGE_BAR);
  Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdatePageBar, this, ID_VIEW_PAGE_BAR);
  // The pane's own close button turns the setting off, as the menu does.
  m_aui.Bind(wxEVT_AUI_PANE_CLOSE,
             [this](wxAuiManagerEvent &event)
             {
               if (event.GetPane() && event.GetPane()->name == kPageBarName)
                 m_settings.PageBar = 0;
               event.Skip();
             });
}

bool CMainFrame::IsPageBarShown() const
{
  wxAuiManager &aui = const_cast<wxAuiManager &>(m_aui);
  const wxAuiPaneInfo &pane = aui.GetPane(kPageBarName);
  return pane.IsOk() && pane.IsShown();
}

void CMainFrame::ShowPageInfo()
{
  const CVellumDoc *doc = Doc();
  const bool has = doc && doc->m_model.HasImage();
  const int count = has ? doc->m_model.m_pImage->m_nPageCount : 0;
  const int index = has ? doc->m_model.m_pImage->m_nPageIndex : 0;
  SetPaneText(kStatusPanes, PagePaneText(index, count));
  if (!m_pPages)
    return;
  const bool many = count >= 2;
  // The file's time in the key: thumbnails of a file written since (a
  // saved page) are rendered again.
  std::string key;
  if (many)
  {
    struct stat st;
    const std::string &path = doc->m_model.m_strLastOpenedPath;
    key = path + "\n" +
          (stat(path.c_str(), &st) == 0
               ? std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec)
               : std::string());
  }
  m_pPages->SetDocument(key, many ? count : 0, index);
  wxAuiPaneInfo &pane = m_aui.GetPane(kPageBarName);
  const bool show = many && m_settings.PageBar != 0;
  if (pane.IsOk() && pane.IsShown() != show)
  {
    pane.Show(show);
    m_aui.Update();
  }
}

void CMainFrame::OnPageBar(wxCommandEvent &)
{
  CVellumSettings &s = m_settings;
  s.PageBar = s.PageBar ? 0 : 1;
  ShowPageInfo();
}

void CMainFrame::OnUpdatePageBar(wxUpdateUIEvent &event)
{
  event.Check(m_settings.PageBar != 0);
}
