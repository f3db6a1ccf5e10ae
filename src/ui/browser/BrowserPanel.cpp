#include "BrowserPanel.h"

#include <gio/gio.h>

#include <algorithm>

#include <wx/artprov.h>
#include <wx/bmpcbox.h>
#include <wx/choice.h>
#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/sizer.h>

#include "DibImage.h"
#include "Printout.h"
#include "Settings.h"
#include "ZoomLogic.h"

namespace vellum
{

namespace
{

// The desktop's trash (the freedesktop one, through GIO): the file can be
// put back from the file manager.
bool MoveToTrash(const std::string &path, std::string *error)
{
  GFile *file = g_file_new_for_path(path.c_str());
  GError *failure = nullptr;
  const bool moved = g_file_trash(file, nullptr, &failure);
  if (!moved && failure)
    *error = failure->message;
  if (failure)
    g_error_free(failure);
  g_object_unref(file);
  return moved;
}

} // namespace

namespace
{

wxString U8(const std::string &s)
{
  // File names need not be UTF-8: show such a name byte for byte.
  wxString text = wxString::FromUTF8(s.c_str(), s.size());
  if (text.empty() && !s.empty())
    text = wxString(s.c_str(), wxConvISO8859_1, s.size());
  return text;
}

wxBitmap Art(const wxArtID &id)
{
  return wxArtProvider::GetBitmap(id, wxART_LIST, wxSize(16, 16));
}

// A file kind's small icon: a page with a coloured band and the kind's
// initial, so the kinds tell apart in the list.
wxBitmap KindIcon(int kind)
{
  static const struct
  {
    unsigned char r, g, b;
    const char *letter;
  } kLook[] = {{40, 90, 170, "D"},  {120, 60, 160, "I"}, {30, 130, 70, "B"}, {110, 110, 110, "P"},
               {190, 110, 20, "J"}, {170, 40, 40, "T"},  {20, 140, 150, "G"}};
  static_assert(sizeof kLook / sizeof kLook[0] == IMAGE_FILE_LAST, "one look per file kind");
  const auto &look = kLook[(kind - IMAGE_FILE_DJVU) % IMAGE_FILE_LAST];
  wxBitmap drawn(16, 16);
  {
    wxMemoryDC dc(drawn);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    dc.SetPen(wxPen(wxColour(60, 60, 60)));
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(2, 0, 12, 16);
    const wxColour band(look.r, look.g, look.b);
    dc.SetPen(wxPen(band));
    dc.SetBrush(wxBrush(band));
    dc.DrawRectangle(3, 8, 10, 7);
    dc.SetFont(wxFont(wxFontInfo(wxSize(0, 7)).Bold()));
    dc.SetTextForeground(*wxWHITE);
    const wxSize extent = dc.GetTextExtent(look.letter);
    dc.DrawText(look.letter, 8 - extent.x / 2, 11 - extent.y / 2);
  }
  drawn.SetMask(new wxMask(drawn, *wxBLACK));
  return drawn;
}

// Path box image by the logic's image index.
wxBitmap PathImage(int image)
{
  switch (image)
  {
  case kImgRemovable:
    return Art(wxART_REMOVABLE);
  case kImgCdrom:
    return Art(wxART_CDROM);
  case kImgFolderClosed:
    return Art(wxART_FOLDER);
  case kImgFolderOpen:
    return Art(wxART_FOLDER_OPEN);
  default:
    return Art(wxART_HARDDISK);
  }
}

} // namespace

// ------------------------------------------------------------------ panel

CBrowserPanel::CBrowserPanel(wxWindow *parent, CVellumSettings &settings, IBrowserObserver &observer,
                             wxWindowID id)
    : wxPanel(parent, id), m_settings(settings), m_observer(observer)
{
  m_path = new wxBitmapComboBox(this, ID_BROWSER_PATH, wxString(), wxDefaultPosition, wxDefaultSize, 0,
                                nullptr, wxCB_READONLY);
  m_filter = new wxChoice(this, ID_BROWSER_FILTER);
  m_list = new wxListCtrl(this, ID_BROWSER_LIST, wxDefaultPosition, wxDefaultSize, wxLC_LIST);

  auto *top = new wxBoxSizer(wxHORIZONTAL);
  top->Add(m_path, 1, wxEXPAND | wxRIGHT, 4);
  top->Add(m_filter, 0, wxEXPAND);
  auto *sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(top, 0, wxEXPAND | wxALL, 2);
  sizer->Add(m_list, 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 2);
  SetSizer(sizer);
  SetMinSize(ConvertDialogToPixels(wxSize(233, 99)));

  BuildImageLists();
  for (const char *name : kFilterNames)
    m_filter->Append(name);
  const int filterIndex = FilterIndexForType(m_settings.LCOpenType);
  if (filterIndex >= 0)
    m_filter->SetSelection(filterIndex);
  // Filled whatever the filter value: an unknown "LCOpenType" is no reason to leave the path box empty.
  FillPathBox();

  m_list->Bind(wxEVT_LIST_ITEM_ACTIVATED, &CBrowserPanel::OnActivated, this);
  m_list->Bind(wxEVT_LIST_COL_CLICK, &CBrowserPanel::OnColumnClick, this);
  m_list->Bind(wxEVT_CONTEXT_MENU, &CBrowserPanel::OnContextMenu, this);
  m_list->Bind(wxEVT_LEFT_DOWN, &CBrowserPanel::OnListLeftDown, this);
  // The entry under the pointer: name, kind, pages and size.
  m_list->Bind(wxEVT_MOTION,
               [this](wxMouseEvent &event)
               {
                 event.Skip();
                 int flags = 0;
                 const long item = m_list->HitTest(event.GetPosition(), flags);
                 const long index = item >= 0 ? static_cast<long>(m_list->GetItemData(item)) : -1;
                 wxString tip;
                 if (index >= 0 && static_cast<size_t>(index) < m_entries.size())
                   tip = U8(EntryTooltip(m_entries[index]));
                 if (m_list->GetToolTipText() != tip)
                   m_list->SetToolTip(tip);
               });
  m_filter->Bind(wxEVT_CHOICE, &CBrowserPanel::OnFilter, this);
  m_path->Bind(wxEVT_COMBOBOX, &CBrowserPanel::OnPath, this);
  Bind(wxEVT_MENU, &CBrowserPanel::OnMenu, this, ID_BROWSER_DETAILED, ID_BROWSER_DELETE);

  FillFileList(m_settings.LCOpenDir);
}

CBrowserPanel::~CBrowserPanel()
{
  // The observer may be going away with the frame: no restoring here.
  if (m_show)
    m_show->End(false);
}

void CBrowserPanel::BuildImageLists()
{
  // Index = entry kind: directory, then DjVu, IW44, BMP, PNM, JPEG, TIFF, PNG.
  m_smallImages = new wxImageList(16, 16, true);
  m_smallImages->Add(Art(wxART_FOLDER));
  for (int kind = IMAGE_FILE_DJVU; kind <= IMAGE_FILE_LAST; ++kind)
    m_smallImages->Add(KindIcon(kind));
  m_list->AssignImageList(m_smallImages, wxIMAGE_LIST_SMALL);
}

void CBrowserPanel::InsertColumns()
{
  if (m_list->GetColumnCount() > 0)
    return;
  for (int c = 0; c < 4; ++c)
    m_list->InsertColumn(c, kColumnNames[c], kColumnRight[c] ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                         kColumnWidths[c]);
}

void CBrowserPanel::FillFileList(const std::string &dir)
{
  m_dir = ListedDirectory(dir);
  m_settings.LCOpenDir = m_dir;
  ListDirectory(m_dir, m_settings.LCOpenType, m_entries);

  m_list->Freeze();
  m_list->DeleteAllItems();
  if (m_detailed)
    InsertColumns();
  int typeWidth = 0; // of the widest type text ("DjVu, 340 pages")
  for (size_t i = 0; i < m_entries.size(); ++i)
  {
    const FileEntry &e = m_entries[i];
    const int image = e.kind >= 0 && e.kind <= IMAGE_FILE_LAST ? e.kind : -1;
    const long item = m_list->InsertItem(static_cast<long>(i), U8(e.name), image);
    if (item < 0)
      continue;
    m_list->SetItemData(item, static_cast<long>(i));
    if (m_detailed)
    {
      m_list->SetItem(item, kColSize, SizeText(e));
      const wxString type = U8(TypeColumnText(e));
      m_list->SetItem(item, kColType, type);
      typeWidth = std::max(typeWidth, m_list->GetTextExtent(type).x);
      m_list->SetItem(item, kColModified, ModifiedText(e));
    }
  }
  // The Type column widens to show its texts whole; it never narrows, so a
  // width the user chose stays.
  const int typePadding = 16;
  if (m_detailed && typeWidth + typePadding > m_list->GetColumnWidth(kColType))
    m_list->SetColumnWidth(kColType, typeWidth + typePadding);
  SortList();
  m_list->Thaw();
  ShowDirectoryStatus();
}

void CBrowserPanel::RefreshList()
{
  FillFileList(m_settings.LCOpenDir);
}

void CBrowserPanel::FillPathBox()
{
  int selection = -1;
  m_pathItems = BuildPathBox(m_settings.LCOpenDir, PathBoxRoots(), &selection);
  m_path->Clear();
  for (size_t i = 0; i < m_pathItems.size(); ++i)
  {
    const PathBoxItem &item = m_pathItems[i];
    const int image = static_cast<int>(i) == selection ? item.selectedImage : item.image;
    m_path->Append(wxString(' ', 2 * item.indent) + U8(item.text), PathImage(image));
  }
  if (selection >= 0)
    m_path->SetSelection(selection);
}

void CBrowserPanel::SortList()
{
  m_list->SortItems(&CBrowserPanel::CompareItems, reinterpret_cast<wxIntPtr>(this));
}

int wxCALLBACK CBrowserPanel::CompareItems(wxIntPtr a, wxIntPtr b, wxIntPtr panel)
{
  const CBrowserPanel *self = reinterpret_cast<const CBrowserPanel *>(panel);
  const size_t n = self->m_entries.size();
  if (static_cast<size_t>(a) >= n || static_cast<size_t>(b) >= n)
    return 0;
  return CompareEntries(self->m_entries[a], self->m_entries[b], self->m_sort.column, self->m_sort.direction);
}

void CBrowserPanel::ShowDirectoryStatus()
{
  m_observer.OnBrowserStatus(CurrentDirectoryText(m_settings.LCOpenDir));
}

std::vector<std::string> CBrowserPanel::ListedNames() const
{
  std::vector<std::string> names;
  for (long item = 0; item < m_list->GetItemCount(); ++item)
    names.push_back(EntryName(item));
  return names;
}

std::vector<std::string> CBrowserPanel::SelectedNames() const
{
  std::vector<std::string> names;
  for (long item = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); item >= 0;
       item = m_list->GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    names.push_back(EntryName(item));
  return names;
}

std::vector<std::string> CBrowserPanel::SelectedFiles() const
{
  std::vector<std::string> files;
  for (long item = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); item >= 0;
       item = m_list->GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
  {
    const size_t index = static_cast<size_t>(m_list->GetItemData(item));
    if (index < m_entries.size() && m_entries[index].kind != 0)
      files.push_back(m_entries[index].name);
  }
  return files;
}

std::string CBrowserPanel::EntryName(long item) const
{
  const size_t index = static_cast<size_t>(m_list->GetItemData(item));
  return index < m_entries.size() ? m_entries[index].name : std::string();
}

void CBrowserPanel::SelectName(const std::string &name, bool select)
{
  for (long item = 0; item < m_list->GetItemCount(); ++item)
    if (EntryName(item) == name)
      m_list->SetItemState(item, select ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
}

bool CBrowserPanel::IsDetailed() const
{
  return m_detailed;
}

void CBrowserPanel::SetDetailed(bool detailed)
{
  if (detailed == m_detailed)
    return;
  const std::vector<std::string> selected = SelectedNames();
  m_detailed = detailed;
  // Changing the mode drops the items (and in report mode needs columns):
  // list the directory again and keep the selection.
  m_list->SetSingleStyle(wxLC_LIST, !detailed);
  m_list->SetSingleStyle(wxLC_REPORT, detailed);
  FillFileList(m_dir);
  for (const std::string &name : selected)
    SelectName(name);
}

void CBrowserPanel::SelectAll()
{
  const std::vector<std::string> names = ListedNames();
  const std::vector<bool> files = SelectAllFiles(m_dir, names);
  for (size_t i = 0; i < names.size(); ++i)
    if (files[i])
      m_list->SetItemState(static_cast<long>(i), wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

void CBrowserPanel::DeleteSelected()
{
  const std::vector<std::string> names = SelectedNames();
  if (names.empty())
    return;
  if (DeleteFiles(
          m_dir, names, [this](const std::string &text) { m_observer.OnBrowserStatus(text); }, &MoveToTrash))
    FillFileList(m_dir);
}

bool CBrowserPanel::StartSlideshow()
{
  if (m_show)
    return false;
  std::vector<std::string> files = SelectedFiles();
  if (files.empty())
    return false;
  m_show = new CSlideshowWindow(m_observer, CSlideSequence(m_dir, std::move(files)),
                                SlideDelayMillis(m_settings.SlideDelay));
  return true;
}

void CBrowserPanel::ActivateName(const std::string &name)
{
  const Activation a = ActivateEntry(m_dir, name);
  switch (a.kind)
  {
  case Activation::kDirectory:
    m_settings.LCOpenDir = a.path;
    FillFileList(a.path);
    FillPathBox();
    break;
  case Activation::kFile:
    m_observer.OnBrowserOpen(a.path);
    break;
  case Activation::kNothing:
    break;
  }
}

void CBrowserPanel::ClickColumn(int column)
{
  m_sort.Click(column);
  SortList();
}

void CBrowserPanel::ChooseFilter(int index)
{
  m_settings.LCOpenType = TypeForFilterIndex(index);
  if (m_filter->GetSelection() != index && index >= 0 && index < kFilterEntries)
    m_filter->SetSelection(index);
  FillFileList(m_dir);
}

void CBrowserPanel::ChoosePath(int index)
{
  const std::string dir = PathFromPathBox(m_pathItems, index);
  if (dir.empty())
    return;
  m_settings.LCOpenDir = dir;
  FillFileList(dir);
  FillPathBox();
}

void CBrowserPanel::OnActivated(wxListEvent &)
{
  const long item = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  if (item >= 0)
    ActivateName(EntryName(item));
}

void CBrowserPanel::OnColumnClick(wxListEvent &event)
{
  if (event.GetColumn() >= 0 && event.GetColumn() < 4)
    ClickColumn(event.GetColumn());
}

void CBrowserPanel::OnContextMenu(wxContextMenuEvent &event)
{
  ShowDirectoryStatus();
  const bool any = m_list->GetSelectedItemCount() > 0;
  wxMenu menu;
  menu.AppendCheckItem(ID_BROWSER_DETAILED, "Detailed &List");
  menu.Append(ID_BROWSER_SELECT_ALL, "Select &All");
  menu.Append(ID_BROWSER_SLIDESHOW, "&Slideshow", "Show images that are currently selected");
  menu.Append(ID_BROWSER_DELETE, "&Delete");
  menu.Check(ID_BROWSER_DETAILED, m_detailed);
  menu.Enable(ID_BROWSER_SLIDESHOW, any);
  menu.Enable(ID_BROWSER_DELETE, any);
  wxPoint at = event.GetPosition();
  at = at == wxDefaultPosition ? wxDefaultPosition : ScreenToClient(at);
  PopupMenu(&menu, at);
}

void CBrowserPanel::OnListLeftDown(wxMouseEvent &event)
{
  ShowDirectoryStatus();
  event.Skip();
}

void CBrowserPanel::OnFilter(wxCommandEvent &event)
{
  ChooseFilter(event.GetSelection());
}

void CBrowserPanel::OnPath(wxCommandEvent &event)
{
  // Rebuilding the box from its own event: do it once the event is over.
  const int index = event.GetSelection();
  CallAfter([this, index] { ChoosePath(index); });
}

void CBrowserPanel::OnMenu(wxCommandEvent &event)
{
  switch (event.GetId())
  {
  case ID_BROWSER_DETAILED:
    SetDetailed(!m_detailed);
    break;
  case ID_BROWSER_SELECT_ALL:
    SelectAll();
    break;
  case ID_BROWSER_SLIDESHOW:
    StartSlideshow();
    break;
  case ID_BROWSER_DELETE:
    DeleteSelected();
    break;
  default:
    event.Skip();
  }
}

// -------------------------------------------------------------- slideshow

CSlideshowWindow::CSlideshowWindow(IBrowserObserver &observer, CSlideSequence sequence, int delayMs,
                                   bool fullScreen)
    : wxFrame(observer.MainWindow(), wxID_ANY, "Slideshow", wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT | wxFRAME_NO_TASKBAR),
      m_observer(observer), m_sequence(std::move(sequence)), m_delayMs(std::max(delayMs, 1)), m_timer(this)
{
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  m_surface = new wxWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS);
  m_surface->SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_TIMER, &CSlideshowWindow::OnTimer, this);
  Bind(wxEVT_CHAR_HOOK, &CSlideshowWindow::OnCharHook, this);
  m_surface->Bind(wxEVT_KEY_DOWN, &CSlideshowWindow::OnKey, this);
  m_surface->Bind(wxEVT_PAINT, &CSlideshowWindow::OnPaint, this);
  Bind(wxEVT_SIZE, &CSlideshowWindow::OnSize, this);
  Bind(wxEVT_CLOSE_WINDOW, &CSlideshowWindow::OnClose, this);

  m_barWasShown = m_observer.IsBrowserShown();
  if (m_barWasShown)
    m_observer.ShowBrowser(false);
  if (wxWindow *main = m_observer.MainWindow())
    SetSize(main->GetScreenRect());
  Show();
  if (fullScreen)
    ShowFullScreen(true);
  Raise();
  m_surface->SetFocus();
  ShowCurrent();
}

CSlideshowWindow::~CSlideshowWindow()
{
  m_timer.Stop();
}

void CSlideshowWindow::ShowCurrent()
{
  if (m_ended || m_sequence.Empty())
    return;
  m_status = m_sequence.StatusText();
  const CDibImage *image = m_observer.OnSlideshowOpen(m_sequence.CurrentPath());
  if (m_ended) // ended while the file was opened (a message box was up)
    return;
  m_image = image ? DibToWxImage(*image) : wxImage();
  if (m_image.IsOk() && image)
  {
    // Keep the page's physical proportions, as the view does.
    const Extent shown = AspectCorrect({image->m_nWidth, image->m_nHeight}, image->m_nXDpi, image->m_nYDpi);
    if (shown.w != image->m_nWidth || shown.h != image->m_nHeight)
      m_image.Rescale(shown.w, shown.h, wxIMAGE_QUALITY_NEAREST);
  }
  m_observer.OnBrowserStatus(m_status);
  RebuildBitmap();
  m_surface->Refresh();
  m_surface->Update();
  // The image stays for the whole delay from the moment it is shown.
  m_timer.StartOnce(m_delayMs);
}

void CSlideshowWindow::Next()
{
  if (m_ended)
    return;
  m_timer.Stop();
  m_sequence.Advance();
  ShowCurrent();
}

void CSlideshowWindow::HandleKey(int keyCode)
{
  if (IsSlideshowQuitKey(keyCode))
    End();
}

void CSlideshowWindow::End(bool restore)
{
  if (m_ended)
    return;
  m_ended = true;
  m_timer.Stop();
  if (!restore)
  {
    Destroy();
    return;
  }
  if (IsFullScreen())
    ShowFullScreen(false);
  Hide();
  // "Showing image n/m" is over with the show.
  m_observer.OnBrowserStatus(std::string());
  if (m_barWasShown)
    m_observer.ShowBrowser(true);
  if (wxWindow *main = m_observer.MainWindow())
  {
    main->Raise();
    main->SetFocus();
  }
  Destroy();
}

void CSlideshowWindow::OnTimer(wxTimerEvent &)
{
  Next();
}

void CSlideshowWindow::OnCharHook(wxKeyEvent &event)
{
  // Every key is taken here: Esc and Q end the show, the rest are dropped.
  HandleKey(event.GetKeyCode());
}

void CSlideshowWindow::OnKey(wxKeyEvent &event)
{
  if (event.GetEventType() == wxEVT_KEY_DOWN)
    HandleKey(event.GetKeyCode());
}

void CSlideshowWindow::OnClose(wxCloseEvent &)
{
  End();
}

void CSlideshowWindow::OnSize(wxSizeEvent &event)
{
  m_surface->SetSize(GetClientSize());
  RebuildBitmap();
  m_surface->Refresh();
  event.Skip();
}

void CSlideshowWindow::RebuildBitmap()
{
  m_bitmap = wxBitmap();
  const wxSize client = GetClientSize();
  if (!m_image.IsOk() || client.x <= 0 || client.y <= 0)
    return;
  const int w = m_image.GetWidth(), h = m_image.GetHeight();
  // Shrink to the window, never enlarge.
  const double scale = std::min({1.0, static_cast<double>(client.x) / w, static_cast<double>(client.y) / h});
  const int sw = std::max(1, static_cast<int>(w * scale)), sh = std::max(1, static_cast<int>(h * scale));
  m_bitmap = wxBitmap(sw == w && sh == h ? m_image : m_image.Scale(sw, sh, wxIMAGE_QUALITY_HIGH));
}

void CSlideshowWindow::OnPaint(wxPaintEvent &)
{
  wxAutoBufferedPaintDC dc(m_surface);
  dc.SetBackground(*wxBLACK_BRUSH);
  dc.Clear();
  const wxSize client = GetClientSize();
  if (m_bitmap.IsOk())
    dc.DrawBitmap(m_bitmap, (client.x - m_bitmap.GetWidth()) / 2, (client.y - m_bitmap.GetHeight()) / 2);
  dc.SetTextForeground(wxColour(160, 160, 160));
  dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
  const wxString text = U8(m_status);
  const wxSize extent = dc.GetTextExtent(text);
  dc.DrawText(text, 8, client.y - extent.y - 6);
}

} // namespace vellum
