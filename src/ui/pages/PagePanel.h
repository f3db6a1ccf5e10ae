// CPagePanel: the page-thumbnail side panel of a document of many pages, a
// wxAUI pane of the main frame beside the view (View > Page Thumbnails).
//
// The panel shows one cell per page in a scrolled grid (PageLogic.h) and
// renders only the cells in sight, one per idle turn, so that opening a
// long book costs no more than opening its page; rendered thumbnails are
// kept in a bounded cache. A click on a cell asks the host to go to that
// page (the host goes through the same road as Go to Page, so an edited
// page is asked about first); the current page's cell is highlighted.
#ifndef VELLUM_UI_PAGES_PAGEPANEL_H
#define VELLUM_UI_PAGES_PAGEPANEL_H

#include <string>
#include <vector>

#include <wx/bitmap.h>
#include <wx/scrolwin.h>

#include "PageLogic.h"
#include "ThumbRender.h"

namespace vellum
{

// Commands of the panel (apart from the frame's own list).
enum
{
  ID_VIEW_PAGE_BAR = wxID_HIGHEST + 400 // View > Page Thumbnails
};

extern const char kPageBarName[];    // wxAUI pane name
extern const char kPageBarCaption[]; // "Pages"
extern const char kPageBarMenu[];    // "Page &Thumbnails"
extern const char kPageBarHelp[];    // "Show or hide the page thumbnails"

// What the panel asks of the window it serves.
class IPageHost
{
public:
  virtual ~IPageHost() = default;
  // The user chose page index (0-based).
  virtual void OnThumbnailChosen(int index) = 0;
  // Page index as a picture fitted to box; false when it cannot be read.
  virtual bool RenderPageThumbnail(int index, Extent box, ThumbPicture &out) = 0;
};

class CPagePanel : public wxScrolledCanvas
{
public:
  CPagePanel(wxWindow *parent, IPageHost &host);

  // The document shown: key names it (a new key empties the cache), count
  // pages, current page index.
  void SetDocument(const std::string &key, int count, int current);
  int PageCount() const { return m_grid.count; }
  int CurrentPage() const { return m_current; }

  // The page under a client point, or -1.
  int PageAtClient(wxPoint p) const;
  // Client rectangle of page index's cell (empty for a page out of range).
  wxRect CellRectClient(int index) const;
  // A click at a client point: the page there is chosen.
  void ClickAt(wxPoint client);
  // Renders up to max visible thumbnails not rendered yet; returns how many
  // were (the idle handler renders one per turn).
  int RenderVisible(int max);
  // Thumbnails rendered since the document was set (tests: only the ones in
  // sight are), and the ones held.
  int RenderCount() const { return m_renders; }
  size_t CachedCount() const { return m_cache.Size(); }
  // The thumbnail held for page index (not Ok: unreadable), or null.
  const wxBitmap *ThumbBitmap(int index);

  static constexpr int kBoxWidth = 96, kBoxHeight = 128, kGap = 8;
  static constexpr size_t kCacheCapacity = 256;

private:
  struct Thumb
  {
    wxBitmap bitmap; // not Ok: the page could not be read
  };
  void Relayout();
  int LabelHeight() const;
  void OnPaint(wxPaintEvent &);
  void OnLeftDown(wxMouseEvent &);
  void OnSize(wxSizeEvent &);
  void OnIdle(wxIdleEvent &);

  IPageHost &m_host;
  std::string m_key;
  int m_current = -1;
  ThumbGrid m_grid;
  CThumbCache<Thumb> m_cache{kCacheCapacity};
  int m_renders = 0;
};

} // namespace vellum

#endif
