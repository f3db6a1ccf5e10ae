// Rules of the page indicator and the page-thumbnail panel, without
// wxWidgets: the status pane's page text, the question asked before an
// edited page is left, and the thumbnail grid (its layout, which cells a
// scrolled window shows, which cell a click hits, the subsample a page is
// rendered at for its cell) and the bounded cache of rendered thumbnails.
// The panel (PagePanel.h) binds them to a window; tests check them without
// a display.
#ifndef VELLUM_UI_PAGES_PAGELOGIC_H
#define VELLUM_UI_PAGES_PAGELOGIC_H

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>

#include "SelectionLogic.h"
#include "ZoomLogic.h"

namespace vellum
{

// Status pane of the page: "Page %d/%d" (pageIndex + 1, pageCount) for a
// document of two pages or more, empty otherwise.
std::string PagePaneText(int pageIndex, int pageCount);
extern const char kPagePaneSample[]; // "Page 99999/99999": the pane's width

// Asked before an edited page is left for another one: "Save changes to
// page %d?" with pageIndex + 1.
std::string PageChangeQuestion(int pageIndex);

// The thumbnail grid: cells of one size in rows, as many columns as the
// window's width holds (at least one), a gap around every cell. Coordinates
// are the panel's unscrolled (virtual) pixels.
struct ThumbGrid
{
  int count = 0;   // pages
  int columns = 1; // cells per row
  int rows = 0;
  Extent cell;  // one cell: the picture's box and its label
  int gap = 0;  // space between cells and around the grid
  Extent total; // the virtual size the grid needs
};

// Cell size from the picture's box and the label's height below it.
ThumbGrid PlanThumbGrid(int count, int clientWidth, Extent box, int labelHeight, int gap);

// Top-left corner of cell index (which must be in 0..count - 1).
IntPoint ThumbCellOrigin(const ThumbGrid &grid, int index);

// The cells a window scrolled to scrollY and clientHeight high shows at
// least in part: [first, last) in page order; first == last when none.
struct ThumbRange
{
  int first = 0;
  int last = 0;
};
ThumbRange VisibleThumbs(const ThumbGrid &grid, int scrollY, int clientHeight);

// The cell under the virtual point p, or -1 (a gap, past the last cell).
int ThumbAt(const ThumbGrid &grid, IntPoint p);

// The scroll position that brings cell index into a window of clientHeight
// now scrolled to scrollY (unchanged when the cell is already whole in it).
int ScrollToShowThumb(const ThumbGrid &grid, int index, int scrollY, int clientHeight);

// The decode subsample for a page of this size shown in box: the largest
// s in 1..maxSubsample whose rendering (the page's size divided by s,
// rounded up) still covers the page fitted to the box, so no more of the
// page is decoded than its thumbnail needs. 12 is the largest subsample the
// DjVu library decodes at directly.
int ThumbSubsample(Extent page, Extent box, int maxSubsample = 12);

// The page scaled to fit box, keeping its proportions (at least 1 x 1).
Extent FitInBox(Extent page, Extent box);

// A least-recently-used cache of at most capacity values by page index.
// Get marks an entry used; Put replaces or adds and drops the entry used
// longest ago when the cache is full.
template <class T> class CThumbCache
{
public:
  explicit CThumbCache(size_t capacity) : m_capacity(capacity ? capacity : 1) {}

  const T *Get(int index)
  {
    auto it = m_map.find(index);
    if (it == m_map.end())
      return nullptr;
    m_order.splice(m_order.begin(), m_order, it->second);
    return &it->second->second;
  }
  void Put(int index, T value)
  {
    auto it = m_map.find(index);
    if (it != m_map.end())
    {
      it->second->second = std::move(value);
      m_order.splice(m_order.begin(), m_order, it->second);
      return;
    }
    if (m_map.size() >= m_capacity)
    {
      m_map.erase(m_order.back().first);
      m_order.pop_back();
    }
    m_order.emplace_front(index, std::move(value));
    m_map[index] = m_order.begin();
  }
  void Erase(int index)
  {
    auto it = m_map.find(index);
    if (it == m_map.end())
      return;
    m_order.erase(it->second);
    m_map.erase(it);
  }
  void Clear()
  {
    m_map.clear();
    m_order.clear();
  }
  bool Contains(int index) const { return m_map.count(index) != 0; }
  size_t Size() const { return m_map.size(); }
  size_t Capacity() const { return m_capacity; }

private:
  using Entry = std::pair<int, T>;
  size_t m_capacity;
  std::list<Entry> m_order; // most recently used first
  std::unordered_map<int, typename std::list<Entry>::iterator> m_map;
};

} // namespace vellum

#endif
