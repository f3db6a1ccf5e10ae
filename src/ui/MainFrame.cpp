#include "MainFrame.h"

#include <algorithm>
#include <functional>

#include <wx/aboutdlg.h>
#include <wx/artprov.h>
#include <wx/generic/aboutdlgg.h>
#include <wx/combobox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/iconbndl.h>
#include <wx/image.h>
#include <wx/accel.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/textentry.h>
#include <wx/toolbar.h>

#include "AppPaths.h"
#include "Associations.h"
#include "CommandIds.h"
#include "Dialogs.h"
#include "DocManager.h"
#include "DocumentNames.h"
#include "HintHelp.h"
#include "MessageBox.h"
#include "PageLogic.h"
#include "PagePanel.h"
#include "Scanner.h"
#include "SourceDialog.h"
#include "UiHooks.h"
#include "VellumDoc.h"
#include "VellumView.h"

using namespace vellum;

namespace
{

// Files dropped anywhere on the frame.
class FrameDropTarget : public wxFileDropTarget
{
public:
  explicit FrameDropTarget(CMainFrame *frame) : m_frame(frame) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString &names) override
  {
    std::vector<std::string> files;
    for (const wxString &n : names)
      files.push_back(n.utf8_string());
    m_frame->OpenDroppedFiles(files);
    return true;
  }

private:
  CMainFrame *m_frame;
};

// A drawn tool bitmap in 16 and 32 pixels, so that a screen of device scale
// 2 gets its own rather than a doubled one: draw(dc, scale) on white, which
// becomes transparent when maskWhite is set.
wxBitmapBundle DrawnToolBitmap(const std::function<void(wxDC &, int)> &draw, bool maskWhite)
{
  wxVector<wxBitmap> sizes;
  for (int scale : {1, 2})
  {
    wxBitmap drawn(16 * scale, 16 * scale);
    {
      wxMemoryDC dc(drawn);
      dc.SetBackground(*wxWHITE_BRUSH);
      dc.Clear();
      draw(dc, scale);
    }
    if (maskWhite)
      drawn.SetMask(new wxMask(drawn, *wxWHITE));
    sizes.push_back(drawn);
  }
  return wxBitmapBundle::FromBitmaps(sizes);
}

// A toolbar bitmap from the icon theme (a bundle: the theme gives each size
// its own icon), or a plain drawn one when the theme has none.
wxBitmapBundle ToolBitmap(const wxArtID &id, const char *fallbackText)
{
  wxBitmapBundle themed = wxArtProvider::GetBitmapBundle(id, wxART_TOOLBAR, wxSize(16, 16));
  if (themed.IsOk())
    return themed;
  return DrawnToolBitmap(
      [fallbackText](wxDC &dc, int scale)
      {
        dc.SetFont(wxFont(wxFontInfo(7 * scale)));
        dc.SetTextForeground(*wxBLACK);
        dc.DrawText(fallbackText, scale, 2 * scale);
      },
      false);
}

// The "Select" tool: a dashed selection frame.
wxBitmapBundle SelectToolBitmap()
{
  return DrawnToolBitmap(
      [](wxDC &dc, int scale)
      {
        dc.SetPen(wxPen(*wxBLACK, scale, wxPENSTYLE_SHORT_DASH));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(2 * scale, 3 * scale, 12 * scale, 10 * scale);
      },
      true);
}

// The built-in window icon: a page with a folded corner and two lines of
// text, drawn on a 32-unit grid at 32 x scale pixels.
wxIcon BuiltInIcon(int scale)
{
  wxBitmap drawn(32 * scale, 32 * scale);
  {
    wxMemoryDC dc(drawn);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    dc.SetUserScale(scale, scale);
    const wxPoint page[] = {{5, 1}, {21, 1}, {27, 7}, {27, 30}, {5, 30}};
    dc.SetPen(wxPen(wxColour(40, 40, 40)));
    dc.SetBrush(wxBrush(wxColour(250, 248, 235)));
    dc.DrawPolygon(WXSIZEOF(page), page);
    dc.DrawLine(21, 1, 21, 7);
    dc.DrawLine(21, 7, 27, 7);
    dc.SetPen(wxPen(wxColour(30, 60, 140), 2));
    dc.DrawLine(9, 14, 23, 14);
    dc.DrawLine(9, 20, 20, 20);
  }
  drawn.SetMask(new wxMask(drawn, *wxBLACK));
  wxIcon icon;
  icon.CopyFromBitmap(drawn);
  return icon;
}

// The window's icons: the installed program's theme icon in every size it
// was installed in (the window manager picks the one it needs), else the
// built-in one. Read from the prefix rather than looked up in the icon
// theme, so that a program installed under any prefix shows its own.
wxIconBundle FrameIcons()
{
  wxIconBundle icons;
  const std::string prefix = vellum::InstalledPrefix();
  if (!prefix.empty())
  {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
      wxImage::AddHandler(new wxPNGHandler);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    {
      const wxString path = wxString::Format("%s/share/icons/hicolor/%dx%d/apps/%s.png",
                                             wxString::FromUTF8(prefix), size, size, vellum::kAppId);
      if (!wxFileExists(path))
        continue;
      wxIcon icon(path, wxBITMAP_TYPE_PNG);
      if (icon.IsOk())
        icons.AddIcon(icon);
    }
  }
  if (icons.IsEmpty())
    for (int scale : {1, 2})
      icons.AddIcon(BuiltInIcon(scale));
  return icons;
}

} // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(CMainFrame, wxDocParentFrame)
  EVT_MENU(ID_FILE_OPEN_IMAGE, CMainFrame::OnOpen)
  EVT_MENU(ID_FILE_NEW_SCAN, CMainFrame::OnNewScan)
  EVT_MENU(ID_FILE_SELECT_SOURCE, CMainFrame::OnSelectSource)
  EVT_UPDATE_UI(ID_FILE_NEW_SCAN, CMainFrame::OnUpdateScanner)
  EVT_UPDATE_UI(ID_FILE_SELECT_SOURCE, CMainFrame::OnUpdateScanner)
  EVT_MENU(wxID_EXIT, CMainFrame::OnExitCommand)
  EVT_MENU(wxID_ABOUT, CMainFrame::OnAbout)
  EVT_MENU(ID_HELP_STARTUP_INFO, CMainFrame::OnStartupInfo)
  EVT_COMBOBOX(ID_ZOOM_BOX, CMainFrame::OnZoomBox)
  EVT_TEXT_ENTER(ID_ZOOM_BOX, CMainFrame::OnZoomText)
  EVT_MENU(ID_OPTIONS_GENERAL, CMainFrame::OnGeneralSettings)
  EVT_MENU(ID_OPTIONS_DJVU, CMainFrame::OnDjVuSettings)
  EVT_MENU(ID_OPTIONS_IW44, CMainFrame::OnIw44Settings)
  EVT_MENU(ID_OPTIONS_JPEG, CMainFrame::OnJpegSettings)
  EVT_MENU(ID_VIEW_SELECTION_BAR, CMainFrame::OnSelectionBar)
  EVT_UPDATE_UI(ID_VIEW_SELECTION_BAR, CMainFrame::OnUpdateSelectionBar)
  EVT_UPDATE_UI(ID_TOOL_SELECT, CMainFrame::OnUpdateSelectTool)
  EVT_MENU(wxID_HELP_CONTENTS, CMainFrame::OnHelpTopics)
  EVT_MENU(ID_VIEW_FULL_SCREEN, CMainFrame::OnFullScreen)
wxEND_EVENT_TABLE()
// clang-format on

CMainFrame::CMainFrame(wxDocManager *manager, CVellumSettings &settings, std::function<void()> saveSettings)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, kProductName, wxDefaultPosition, wxSize(600, 500)),
      m_settings(settings), m_saveSettings(std::move(saveSettings))
{
  // The bars in their order: toolbar, status bar, then the selection bar,
  // which writes its first status text.
  m_aui.SetManagedWindow(this);
  SetIcons(FrameIcons());
  CreateMenus();
  CreateBars();
  CreateBrowserBar();
  CreatePageBar();
  SetAccelerators();
  SetDropTarget(MakeDropTarget());
  SetDialogHelpHook(&ShowHelpTopic);
  // Bound, not in the table: the framework frame binds its own close
  // handler, and handlers bound later run first.
  Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnCloseWindow, this);
  // Before any window of the frame sees a key: the commands' keys work
  // wherever the focus is.
  Bind(wxEVT_CHAR_HOOK, &CMainFrame::OnCharHook, this);
}

void CMainFrame::CreateMenus()
{
  wxMenu *file = new wxMenu;
  file->Append(ID_FILE_OPEN_IMAGE, L"&Open…\tCtrl+O", "Open an image file");
  file->Append(ID_FILE_NEW_SCAN, L"&New Scan…\tCtrl+N", "Scan a new page");
  file->Append(ID_FILE_SELECT_SOURCE, L"Select &Source…", "Choose the scanner");
  file->AppendSeparator();
  file->Append(ID_FILE_SAVE, "&Save\tCtrl+S", "Save the image");
  file->Append(ID_FILE_SAVE_AS, L"Save &As…\tCtrl+Shift+S",
               "Save the image under a new name or in another format");
  file->AppendSeparator();
  file->Append(wxID_PRINT, L"&Print…\tCtrl+P", "Print the image");
  file->Append(wxID_PREVIEW, L"Print Pre&view…", "Display the page as it will be printed");
  file->Append(wxID_PRINT_SETUP, L"P&rint Setup…", "Change the printer and printing options");
  file->AppendSeparator();
  m_pRecentMenu = new wxMenu;
  file->AppendSubMenu(m_pRecentMenu, "Recent &Files");
  file->AppendSeparator();
  file->Append(wxID_EXIT, "E&xit", "Quit the program");

  wxMenu *edit = new wxMenu;
  edit->Append(ID_EDIT_UNDO, "&Undo\tCtrl+Z", "Undo the last edit");
  edit->Append(ID_EDIT_REDO, "&Redo\tCtrl+Shift+Z", "Redo the edit undone last");
  edit->AppendSeparator();
  edit->Append(wxID_CUT, "Cu&t\tCtrl+X", "Cut the selection and put it on the clipboard");
  edit->Append(wxID_COPY, "&Copy\tCtrl+C", "Copy the selection and put it on the clipboard");
  edit->Append(wxID_PASTE, "&Paste\tCtrl+V", "Insert the clipboard image");
  edit->Append(ID_EDIT_PASTE_NEW, "Paste As &New\tCtrl+Shift+V", "Replace the image by the clipboard image");
  edit->Append(ID_EDIT_CLEAR, "C&lear", "Empty the document");
  edit->AppendSeparator();
  edit->Append(ID_EDIT_EMPTY_CLIPBOARD, "Empty &Clipboard", "Remove the image from the clipboard");
  edit->Append(ID_EDIT_EMPTY_UNDO, "Empty &Undo Buffer", "Free the memory held by the undo image");

  wxMenu *rotate = new wxMenu;
  rotate->Append(ID_IMAGE_ROTATE_LEFT, "90 degrees &left", "Rotate the image a quarter turn to the left");
  rotate->Append(ID_IMAGE_ROTATE_RIGHT, "90 degrees &right", "Rotate the image a quarter turn to the right");
  rotate->Append(ID_IMAGE_ROTATE_180, "&180 degrees", "Turn the image upside down");

  wxMenu *image = new wxMenu;
  image->Append(ID_IMAGE_FLIP, "&Flip", "Flip the image vertically");
  image->Append(ID_IMAGE_MIRROR, "&Mirror", "Mirror the image horizontally");
  image->AppendSubMenu(rotate, "&Rotate");
  image->AppendSeparator();
  image->Append(ID_IMAGE_CROP, "&Crop", "Crop the image to the selection");
  image->Append(ID_IMAGE_RESIZE, L"&Resize…", "Change the size of the image");
  image->AppendSeparator();
  image->Append(ID_IMAGE_NEGATIVE, "&Negative", "Invert the colours of the image");
  image->Append(ID_IMAGE_GRAY, "Convert To &Gray", "Convert the image to grey levels");

  wxMenu *layers = new wxMenu;
  layers->AppendRadioItem(ID_VIEW_LAYER_COLOR, "&Color", "Show all layers");
  layers->AppendRadioItem(ID_VIEW_LAYER_BW, "&Black And White", "Show the mask");
  layers->AppendRadioItem(ID_VIEW_LAYER_BACKGROUND, "Back&ground", "Show the background layer");
  layers->AppendRadioItem(ID_VIEW_LAYER_FOREGROUND, "&Foreground", "Show the foreground layer");

  wxMenu *view = new wxMenu;
  view->Append(ID_VIEW_ZOOM_IN, "Zoom &In\tKP_ADD", "Enlarge the view");
  view->Append(ID_VIEW_ZOOM_OUT, "Zoom &Out\tKP_SUBTRACT", "Reduce the view");
  view->Append(ID_VIEW_FIT_PAGE, "Fit &Page", "Show the whole page");
  view->Append(ID_VIEW_FIT_WIDTH, "Fit &Width", "Show the page's full width");
  view->Append(ID_VIEW_ACTUAL_SIZE, "&Actual Size\tCtrl+0", "Show the page at its printed size");
  view->Append(ID_VIEW_FULL_SCREEN, "F&ull Screen\tF11", "Use the whole screen for the page");
  view->AppendSeparator();
  view->Append(ID_VIEW_REFRESH, "&Refresh\tF5", "Draw the image again");
  view->AppendSeparator();
  view->AppendCheckItem(ID_VIEW_SELECTION_BAR, kSelectionBarMenu, kSelectionBarHelp);
  view->AppendCheckItem(ID_VIEW_PAGE_BAR, kPageBarMenu, kPageBarHelp);
  view->AppendSeparator();
  view->AppendSubMenu(layers, "DjVu &Layer");
  view->AppendSeparator();
  view->Append(ID_PAGE_FIRST, "&First Page\tHome", "Show the first page");
  view->Append(ID_PAGE_PREVIOUS, "&Previous Page\tPgUp", "Show the previous page");
  view->Append(ID_PAGE_NEXT, "&Next Page\tPgDn", "Show the next page");
  view->Append(ID_PAGE_LAST, "&Last Page\tEnd", "Show the last page");
  view->Append(ID_PAGE_GOTO, L"&Go to Page…\tCtrl+G", "Show the page of the number given");

  wxMenu *options = new wxMenu;
  options->Append(ID_OPTIONS_GENERAL, L"&General Settings…", "Show general settings");
  options->Append(ID_OPTIONS_DJVU, L"&DjVu Settings…", "Show DjVu specific settings");
  options->Append(ID_OPTIONS_IW44, L"&IW44 Settings…", "Show IW44 specific settings");
  options->Append(ID_OPTIONS_JPEG, L"&JPEG Settings…", "Show JPEG specific settings");

  wxMenu *help = new wxMenu;
  help->Append(wxID_HELP_CONTENTS, "&Help Topics\tF1", "Show the help contents");
  help->Append(ID_HELP_STARTUP_INFO, L"Start&up Information…", "Show the start-up hints");
  help->Append(wxID_ABOUT, L"&About Vellum…", "Program information and revision");

  wxMenuBar *bar = new wxMenuBar;
  bar->Append(file, "&File");
  bar->Append(edit, "&Edit");
  bar->Append(view, "&View");
  bar->Append(image, "&Image");
  bar->Append(options, "&Options");
  bar->Append(help, "&Help");
  SetMenuBar(bar);
}

void CMainFrame::CreateBars()
{
  wxToolBar *tb = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
  tb->AddTool(ID_FILE_OPEN_IMAGE, "Open", ToolBitmap(wxART_FILE_OPEN, "O"), "Open");
  tb->AddTool(ID_FILE_NEW_SCAN, "Scan", ToolBitmap(wxART_NEW, "S"), "New Scan");
  tb->AddSeparator();
  tb->AddTool(ID_PAGE_FIRST, "First", ToolBitmap(wxART_GOTO_FIRST, "|<"), "First Page");
  tb->AddTool(ID_PAGE_PREVIOUS, "Previous", ToolBitmap(wxART_GO_BACK, "<"), "Previous Page");
  tb->AddTool(ID_PAGE_NEXT, "Next", ToolBitmap(wxART_GO_FORWARD, ">"), "Next Page");
  tb->AddTool(ID_PAGE_LAST, "Last", ToolBitmap(wxART_GOTO_LAST, ">|"), "Last Page");
  tb->AddSeparator();
  tb->AddTool(ID_VIEW_ZOOM_OUT, "Zoom Out", ToolBitmap(wxART_MINUS, "-"), "Zoom Out");
  // Position 9: the zoom box.
  wxArrayString zooms;
  for (int i = 0; i < kZoomBoxEntries; ++i)
    zooms.Add(ZoomBoxLabel(i));
  m_pZoomBox = new wxComboBox(tb, ID_ZOOM_BOX, zooms[ZoomBoxIndex(0)], wxDefaultPosition, wxDefaultSize,
                              zooms, wxCB_DROPDOWN | wxTE_PROCESS_ENTER);
  m_pZoomBox->SetToolTip("Zoom Ratio");
  m_pZoomBox->SetSelection(ZoomBoxIndex(0));
  tb->AddControl(m_pZoomBox, "Set zoom ratio");
  tb->AddTool(ID_VIEW_ZOOM_IN, "Zoom In", ToolBitmap(wxART_PLUS, "+"), "Zoom In");
  tb->AddSeparator();
  tb->AddTool(ID_VIEW_REFRESH, "Refresh", ToolBitmap(wxART_REDO, "R"), "Refresh");
  tb->AddSeparator();
  tb->AddCheckTool(ID_TOOL_SELECT, "Select", SelectToolBitmap(), wxBitmapBundle(), "Select",
                   "Select a part of the image");
  tb->AddTool(wxID_PRINT, "Print", ToolBitmap(wxART_PRINT, "P"), "Print");
  // Fly-by help: the status prompt of the matching menu command.
  for (size_t i = 0; i < tb->GetToolsCount(); ++i)
  {
    const int id = tb->GetToolByPos(static_cast<int>(i))->GetId();
    if (id == ID_ZOOM_BOX)
      tb->SetToolLongHelp(id, "Set zoom ratio");
    else if (GetMenuBar() && GetMenuBar()->FindItem(id) && tb->GetToolLongHelp(id).empty())
      tb->SetToolLongHelp(id, GetMenuBar()->GetHelpString(id));
  }
  tb->Realize();

  // The three panes and, last, the page of a document of many pages.
  wxStatusBar *status = CreateStatusBar(kStatusPanes + 1);
  wxClientDC dc(status);
  dc.SetFont(status->GetFont());
  // The field's text starts a border in from its edge and needs the same
  // room on the right.
  int widths[kStatusPanes + 1];
  const int margin = 2 * status->GetBorderX() + 8;
  StatusPaneWidths(dc.GetTextExtent(kPaneSizeSample).x, dc.GetTextExtent(kPaneDpiSample).x, margin, widths);
  widths[kStatusPanes] = dc.GetTextExtent(kPagePaneSample).x + margin;
  status->SetStatusWidths(kStatusPanes + 1, widths);
  status->SetStatusText(kPaneSizeText, 1);
  status->SetStatusText(kPaneDpiText, 2);
}

void CMainFrame::CreateBrowserBar()
{
  m_pBrowser = new CBrowserPanel(this, m_settings, *this);
  const wxSize best = m_pBrowser->GetMinSize();
  wxAuiPaneInfo pane;
  pane.Name(kSelectionBarName)
      .Caption(kSelectionBarCaption)
      .Bottom()
      .Layer(0)
      .TopDockable(SelectionBarMayDock(kDockTop))
      .BottomDockable(SelectionBarMayDock(kDockBottom))
      .LeftDockable(SelectionBarMayDock(kDockLeft))
      .RightDockable(SelectionBarMayDock(kDockRight))
      .Floatable(true)
      .CloseButton(true)
      .MinSize(wxSize(-1, best.y / 2))
      .BestSize(best);
  m_aui.AddPane(m_pBrowser, pane);
  m_aui.Update();
}

void CMainFrame::SetAccelerators()
{
  // The second keys of the Edit commands (the menus carry the first).
  wxAcceleratorEntry keys[] = {
      {wxACCEL_SHIFT, WXK_DELETE, wxID_CUT},
      {wxACCEL_CTRL, WXK_INSERT, wxID_COPY},
      {wxACCEL_SHIFT, WXK_INSERT, wxID_PASTE},
      {wxACCEL_ALT, WXK_BACK, ID_EDIT_UNDO},
  };
  SetAcceleratorTable(wxAcceleratorTable(WXSIZEOF(keys), keys));
}

namespace
{

struct CommandKey
{
  int modifiers;
  int key;
  int command;
};

// The keys of the commands, those the menus show and this desktop's usual
// ones beside them (Ctrl+= and Ctrl++ zoom, Ctrl+W closes, F1 help, ...).
const CommandKey kCommandKeys[] = {
    {wxMOD_CONTROL, 'O', ID_FILE_OPEN_IMAGE},
    {wxMOD_CONTROL, 'N', ID_FILE_NEW_SCAN},
    {wxMOD_CONTROL, 'S', ID_FILE_SAVE},
    {wxMOD_CONTROL | wxMOD_SHIFT, 'S', ID_FILE_SAVE_AS},
    {wxMOD_CONTROL | wxMOD_ALT, 'S', ID_FILE_SAVE_AS},
    {wxMOD_CONTROL, 'P', wxID_PRINT},
    {wxMOD_CONTROL, 'W', ID_EDIT_CLEAR},
    {wxMOD_CONTROL, 'Q', wxID_EXIT},
    {wxMOD_CONTROL, 'Z', ID_EDIT_UNDO},
    {wxMOD_CONTROL | wxMOD_SHIFT, 'Z', ID_EDIT_REDO},
    {wxMOD_CONTROL, 'Y', ID_EDIT_REDO},
    {wxMOD_ALT, WXK_BACK, ID_EDIT_UNDO},
    {wxMOD_CONTROL, 'X', wxID_CUT},
    {wxMOD_SHIFT, WXK_DELETE, wxID_CUT},
    {wxMOD_CONTROL, 'C', wxID_COPY},
    {wxMOD_CONTROL, WXK_INSERT, wxID_COPY},
    {wxMOD_CONTROL, 'V', wxID_PASTE},
    {wxMOD_SHIFT, WXK_INSERT, wxID_PASTE},
    {wxMOD_CONTROL | wxMOD_SHIFT, 'V', ID_EDIT_PASTE_NEW},
    {wxMOD_NONE, WXK_NUMPAD_ADD, ID_VIEW_ZOOM_IN},
    {wxMOD_CONTROL, WXK_NUMPAD_ADD, ID_VIEW_ZOOM_IN},
    {wxMOD_CONTROL, '=', ID_VIEW_ZOOM_IN},
    {wxMOD_CONTROL, '+', ID_VIEW_ZOOM_IN},
    {wxMOD_CONTROL | wxMOD_SHIFT, '=', ID_VIEW_ZOOM_IN},
    {wxMOD_CONTROL | wxMOD_SHIFT, '+', ID_VIEW_ZOOM_IN},
    {wxMOD_NONE, WXK_NUMPAD_SUBTRACT, ID_VIEW_ZOOM_OUT},
    {wxMOD_CONTROL, WXK_NUMPAD_SUBTRACT, ID_VIEW_ZOOM_OUT},
    {wxMOD_CONTROL, '-', ID_VIEW_ZOOM_OUT},
    {wxMOD_CONTROL, '0', ID_VIEW_ACTUAL_SIZE},
    {wxMOD_CONTROL, WXK_NUMPAD0, ID_VIEW_ACTUAL_SIZE},
    {wxMOD_NONE, WXK_F5, ID_VIEW_REFRESH},
    {wxMOD_NONE, WXK_F11, ID_VIEW_FULL_SCREEN},
    {wxMOD_NONE, WXK_F1, wxID_HELP_CONTENTS},
};

// The navigation keys, for the page and the toolbar (a list or a text box
// keeps its own).
bool NavKeyFor(int modifiers, int key, NavKey *nav)
{
  if (modifiers == wxMOD_SHIFT && key == WXK_SPACE)
    return *nav = kNavShiftSpace, true;
  if (modifiers != wxMOD_NONE)
    return false;
  switch (key)
  {
  case WXK_HOME:
  case WXK_NUMPAD_HOME:
    return *nav = kNavHome, true;
  case WXK_END:
  case WXK_NUMPAD_END:
    return *nav = kNavEnd, true;
  case WXK_PAGEUP:
  case WXK_NUMPAD_PAGEUP:
    return *nav = kNavPageUp, true;
  case WXK_PAGEDOWN:
  case WXK_NUMPAD_PAGEDOWN:
    return *nav = kNavPageDown, true;
  case WXK_SPACE:
    return *nav = kNavSpace, true;
  case WXK_UP:
  case WXK_NUMPAD_UP:
    return *nav = kNavUp, true;
  case WXK_DOWN:
  case WXK_NUMPAD_DOWN:
    return *nav = kNavDown, true;
  case WXK_LEFT:
  case WXK_NUMPAD_LEFT:
    return *nav = kNavLeft, true;
  case WXK_RIGHT:
  case WXK_NUMPAD_RIGHT:
    return *nav = kNavRight, true;
  default:
    return false;
  }
}

} // namespace

bool CMainFrame::RunCommandIfEnabled(int command)
{
  // The state asked now: the toolkit's own menu accelerators go by the
  // state of the menu's last opening.
  wxUpdateUIEvent update(command);
  update.SetEventObject(this);
  ProcessWindowEvent(update);
  if (update.GetSetEnabled() && !update.GetEnabled())
    return false;
  wxCommandEvent event(wxEVT_MENU, command);
  event.SetEventObject(this);
  ProcessWindowEvent(event);
  return true;
}

bool CMainFrame::HandleKey(int modifiers, int key, wxWindow *focus)
{
  // An editable text box keeps every key it takes.
  if (focus && dynamic_cast<wxTextEntry *>(focus) && dynamic_cast<wxTextEntry *>(focus)->IsEditable())
    return false;
  const int letter = key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
  for (const CommandKey &k : kCommandKeys)
    if (k.modifiers == modifiers && k.key == letter)
    {
      RunCommandIfEnabled(k.command);
      return true;
    }
  NavKey nav;
  const bool onPage = !focus || focus == this || focus == m_pCanvas || focus == GetToolBar() ||
                      (focus->GetParent() && focus->GetParent() == GetToolBar());
  if (m_pView && onPage && NavKeyFor(modifiers, key, &nav))
  {
    m_pView->Navigate(nav);
    return true;
  }
  if (modifiers == wxMOD_NONE && key == WXK_ESCAPE && IsFullScreen())
  {
    ShowFullScreen(false);
    return true;
  }
  return false;
}

void CMainFrame::OnCharHook(wxKeyEvent &event)
{
  if (!HandleKey(event.GetModifiers(), event.GetKeyCode(), FindFocus()))
    event.Skip();
}

void CMainFrame::OnFullScreen(wxCommandEvent &)
{
  ShowFullScreen(!IsFullScreen(), wxFULLSCREEN_NOTOOLBAR | wxFULLSCREEN_NOSTATUSBAR | wxFULLSCREEN_NOBORDER |
                                      wxFULLSCREEN_NOCAPTION);
}

void CMainFrame::SetView(CVellumView *view)
{
  m_pView = view;
  wxWindow *canvas = view ? view->m_pCanvas : nullptr;
  if (canvas == m_pCanvas)
    return;
  if (m_pCanvas)
  {
    m_pCanvas->Unbind(wxEVT_DESTROY, &CMainFrame::OnCanvasDestroyed, this);
    m_aui.DetachPane(m_pCanvas);
  }
  m_pCanvas = canvas;
  if (m_pCanvas)
  {
    m_pCanvas->Bind(wxEVT_DESTROY, &CMainFrame::OnCanvasDestroyed, this);
    m_aui.AddPane(m_pCanvas, wxAuiPaneInfo().Name("view").CenterPane().PaneBorder(false));
  }
  m_aui.Update();
}

void CMainFrame::OnCanvasDestroyed(wxWindowDestroyEvent &event)
{
  // The view destroys its canvas before it lets go of the frame.
  if (event.GetEventObject() == m_pCanvas)
  {
    m_aui.DetachPane(m_pCanvas);
    m_pCanvas = nullptr;
  }
  event.Skip();
}

CMainFrame::~CMainFrame()
{
  if (m_pCanvas)
    m_pCanvas->Unbind(wxEVT_DESTROY, &CMainFrame::OnCanvasDestroyed, this);
  m_pCanvas = nullptr;
  m_aui.UnInit();
  // The document and the view must not reach a frame that is gone.
  if (CVellumDoc *doc = Doc())
    doc->SetHost(nullptr);
  if (m_pView)
    m_pView->SetHost(nullptr);
}

wxDropTarget *CMainFrame::MakeDropTarget()
{
  return new FrameDropTarget(this);
}

CVellumDoc *CMainFrame::Doc() const
{
  return m_pView ? m_pView->Doc() : CVellumDoc::First(GetDocumentManager());
}

void CMainFrame::UpdateTitle()
{
  const CVellumDoc *doc = Doc();
  SetTitle(wxString::FromUTF8(WindowTitle(doc ? doc->DocTitle() : std::string(), doc && doc->IsModified())));
}

void CMainFrame::SetPaneText(int index, const std::string &text)
{
  if (wxStatusBar *status = GetStatusBar())
  {
    status->SetStatusText(wxString::FromUTF8(text), index);
    status->Update();
  }
}

void CMainFrame::ShowImageInfo()
{
  const CVellumDoc *doc = Doc();
  const bool has = doc && doc->m_model.HasImage();
  const CDibImage *image = has ? doc->m_model.m_pImage.get() : nullptr;
  SetPaneText(1, SizePaneText(has, image ? image->m_nSourceWidth : 0, image ? image->m_nSourceHeight : 0,
                              image ? image->m_nSourceBitsPerPixel : 0, image && image->m_bGrey));
  SetPaneText(2, DpiPaneText(has, image ? image->PageXDpi() : 0, image ? image->PageYDpi() : 0));
  ShowPageInfo();
}

void CMainFrame::SelectZoomBoxEntry(int index)
{
  // The text too: a typed one stands until the step is shown again.
  if (m_pZoomBox && (m_pZoomBox->GetSelection() != index ||
                     m_pZoomBox->GetValue() != wxString::FromUTF8(ZoomBoxLabel(index))))
    m_pZoomBox->SetSelection(index);
}

int CMainFrame::ZoomBoxSelection() const
{
  return m_pZoomBox ? m_pZoomBox->GetSelection() : -1;
}

int CMainFrame::BarsWidth() const
{
  const wxToolBar *tb = GetToolBar();
  int width = tb ? tb->GetBestSize().x : 0;
  // The selection bar, while shown, is not cut either.
  if (m_pBrowser && IsBrowserShown())
    width = std::max(width, m_pBrowser->GetMinSize().x);
  return width;
}

int CMainFrame::FitStepFor(Extent size, int xdpi, int ydpi) const
{
  const CVellumSettings &s = m_settings;
  const wxRect work = wxDisplay(this).GetClientArea();
  const wxSize client = GetClientSize();
  const Extent area =
      FitArea(s.WindowFit != 0, IsMaximized(), {client.x, client.y}, {work.width, work.height});
  return FitStep(AspectCorrect(size, xdpi, ydpi), area, s.ImageFit);
}

void CMainFrame::OpenWithChoice(const std::string &path, int filterIndex)
{
  CVellumDoc *doc = Doc();
  if (!doc)
    return;
  const int kind = KindForOpenFilterIndex(filterIndex);
  Update();
  CVellumSettings &s = m_settings;
  s.OpenDir = DirectoryOf(path);
  s.OpenType = kind;
  doc->Open(path, kind, 0);
  Refresh();
}

void CMainFrame::OnOpen(wxCommandEvent &)
{
  CVellumDoc *doc = Doc();
  if (!doc || !doc->AskSaveFirst())
    return;
  const CVellumSettings &s = m_settings;
  wxFileDialog dialog(this, "Open", wxString::FromUTF8(s.OpenDir), wxString(),
                      wxString::FromUTF8(OpenFilterWildcard()), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  dialog.SetFilterIndex(OpenFilterIndexForType(s.OpenType) - 1);
  if (dialog.ShowModal() != wxID_OK)
    return;
  OpenWithChoice(dialog.GetPath().utf8_string(), dialog.GetFilterIndex() + 1);
}

bool CMainFrame::OpenDroppedFiles(const std::vector<std::string> &files)
{
  CVellumDoc *doc = Doc();
  if (!doc || !doc->AskSaveFirst())
    return false;
  Raise();
  for (const std::string &file : files)
    doc->Open(file, kKindNone, 0);
  return true;
}

void CMainFrame::NewScan()
{
  CVellumDoc *doc = Doc();
  if (!doc || !Scanner::Instance().IsSourceManagerAvailable())
    return;
  if (!doc->AskSaveFirst())
    return;
  doc->OnNewDocument();
  Refresh();
}

void CMainFrame::SelectSource()
{
  ChooseScanSource(this);
}

void CMainFrame::OnNewScan(wxCommandEvent &)
{
  NewScan();
}

void CMainFrame::OnSelectSource(wxCommandEvent &)
{
  SelectSource();
}

void CMainFrame::OnUpdateScanner(wxUpdateUIEvent &event)
{
  // The device listing runs in the background; until it is done the
  // commands stay disabled.
  event.Enable(FrameCommandEnabled(kCmdNewScan, CommandState()));
}

FrameState CMainFrame::CommandState() const
{
  const CVellumDoc *doc = Doc();
  FrameState state = doc ? doc->CommandState() : FrameState();
  state.scannerAvailable = Scanner::Instance().Poll() == Scanner::kAvailable;
  return state;
}

void CMainFrame::OnExitCommand(wxCommandEvent &)
{
  Close();
}

void CMainFrame::OnAbout(wxCommandEvent &)
{
  wxAboutDialogInfo info;
  info.SetName(kProductName);
  info.SetVersion(wxString::FromUTF8(RevisionText(kRevisionKeyword)));
  info.SetDescription("DjVu document-image viewer and converter");
  info.SetIcon(FrameIcons().GetIcon(wxSize(64, 64), wxIconBundle::FALLBACK_NEAREST_LARGER));
  info.SetLicence("Vellum contains the core of DjVuLibre, which is distributed under the GNU General Public "
                  "License, version 2 or later; a copy of that licence comes with DjVuLibre "
                  "(/usr/share/common-licenses/GPL-2 on Debian).");
  info.AddDeveloper("Built on DjVuLibre (DjVu decoding and encoding), libtiff, libjpeg, libpng, wxWidgets "
                    "and SANE (scanning).");
  // The generic box, laid out by sizers and shown modal like the other
  // dialogs (the library's box is modeless on this platform).
  wxGenericAboutDialog box(info, this);
  box.ShowModal();
}

void CMainFrame::OnStartupInfo(wxCommandEvent &)
{
  CVellumSettings &s = m_settings;
  s.NoStartupInfo = ShowStartupHint(this, s.NoStartupInfo != 0) ? 1 : 0;
}

void CMainFrame::OnHelpTopics(wxCommandEvent &)
{
  ShowHelpTopic(this, nullptr);
}

void CMainFrame::OnZoomBox(wxCommandEvent &event)
{
  if (m_pView)
    m_pView->SetZoom(ZoomFromBoxIndex(event.GetSelection()), CVellumView::kZoomBox);
}

void CMainFrame::OnZoomText(wxCommandEvent &)
{
  int step = 0;
  if (m_pView && ZoomStepForText(m_pZoomBox->GetValue().utf8_string(), &step))
    m_pView->SetZoom(step, CVellumView::kZoomBox);
  // The box shows the step in force, whatever was typed; the keys go back
  // to the page.
  const int index = ZoomBoxIndex(m_pView ? m_pView->m_nZoom : 0);
  m_pZoomBox->SetSelection(index);
  m_pZoomBox->SetValue(wxString::FromUTF8(ZoomBoxLabel(index)));
  if (m_pCanvas)
    m_pCanvas->SetFocus();
}

void CMainFrame::OnCloseWindow(wxCloseEvent &event)
{
  CVellumDoc *doc = Doc();
  if (doc && !doc->AskSaveFirst() && event.CanVeto())
  {
    event.Veto();
    return;
  }
  if (doc)
    doc->Modify(false);
  if (m_saveSettings)
    m_saveSettings();
  event.Skip(); // the framework closes the document and the frame
}

void CMainFrame::OnGeneralSettings(wxCommandEvent &)
{
  CXdgAssociations assoc;
  RunGeneralSettingsDialog(this, m_settings, assoc);
}

void CMainFrame::OnDjVuSettings(wxCommandEvent &)
{
  if (CVellumDoc *doc = Doc())
    RunDjVuSettingsDialog(this, m_settings, doc->DialogDoc());
}

void CMainFrame::OnIw44Settings(wxCommandEvent &)
{
  if (CVellumDoc *doc = Doc())
    RunIw44SettingsDialog(this, m_settings, doc->DialogDoc());
}

void CMainFrame::OnJpegSettings(wxCommandEvent &)
{
  if (CVellumDoc *doc = Doc())
    RunJpegSettingsDialog(this, m_settings, doc->DialogDoc());
}

// ------------------------------------------------------------ selection bar

void CMainFrame::RefreshBrowser()
{
  if (m_pBrowser)
    m_pBrowser->RefreshList();
}

void CMainFrame::OnBrowserStatus(const std::string &text)
{
  SetPaneText(0, text);
}

void CMainFrame::OnBrowserOpen(const std::string &path)
{
  CVellumDoc *doc = Doc();
  if (!doc || !doc->AskSaveFirst())
    return;
  doc->Modify(false);
  doc->Open(path, kKindNone, 0);
  Refresh();
}

const CDibImage *CMainFrame::OnSlideshowOpen(const std::string &path)
{
  // Slides are read apart from the document: the page on screen, its path
  // name and its recent-file entry stay as they were.
  CVellumDoc *doc = Doc();
  m_pSlide.reset(new CDibImage);
  RenderEnv env = doc ? doc->Env() : RenderEnv();
  env.layer = 0;
  CDocumentModel::FitZoomFn fit;
  if (doc)
    fit = [doc](const CDibImage &page, int) { return doc->FitZoom(page); };
  int zoom = 0;
  std::string reason;
  if (CDocumentModel::ReadFile(path, kKindNone, 0, env, fit, *m_pSlide, &zoom, &reason) !=
      CDocumentModel::kOpened)
    return nullptr;
  return m_pSlide.get();
}

void CMainFrame::OnDocumentOpened(const std::string &path, int pageIndex)
{
  GetDocumentManager()->AddFileToHistory(wxString::FromUTF8(path));
  if (auto *manager = dynamic_cast<CVellumDocManager *>(GetDocumentManager()))
    manager->RememberPage(path, pageIndex);
  // Nothing said about the page before stays in the status bar.
  SetPaneText(0, std::string());
  const std::string dir = DirectoryOf(path);
  if (dir.empty())
    return;
  // The dialogs and the selection bar follow the file the user opened.
  CVellumSettings &s = m_settings;
  s.OpenDir = dir;
  s.SaveDir = dir;
  if (m_pBrowser && m_pBrowser->Directory() != dir)
  {
    m_pBrowser->FillFileList(dir);
    m_pBrowser->FillPathBox();
  }
}

void CMainFrame::OnDocumentSavedAs(const std::string &path)
{
  GetDocumentManager()->AddFileToHistory(wxString::FromUTF8(path));
}

bool CMainFrame::IsBrowserShown() const
{
  // GetPane is not const; the pane list itself is not changed.
  wxAuiManager &aui = const_cast<wxAuiManager &>(m_aui);
  const wxAuiPaneInfo &pane = aui.GetPane(kSelectionBarName);
  return pane.IsOk() && pane.IsShown();
}

void CMainFrame::ShowBrowser(bool show)
{
  wxAuiPaneInfo &pane = m_aui.GetPane(kSelectionBarName);
  if (!pane.IsOk() || pane.IsShown() == show)
    return;
  pane.Show(show);
  m_aui.Update();
}

void CMainFrame::OnSelectionBar(wxCommandEvent &)
{
  ShowBrowser(!IsBrowserShown());
}

void CMainFrame::OnUpdateSelectionBar(wxUpdateUIEvent &event)
{
  event.Check(IsBrowserShown());
}

void CMainFrame::OnUpdateSelectTool(wxUpdateUIEvent &event)
{
  // The view decides the check mark (mouse mode); this only applies while
  // the view has no say.
  event.Enable(FrameCommandEnabled(kCmdSelectTool, CommandState()));
}
