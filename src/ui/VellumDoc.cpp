#include "VellumDoc.h"

#include <algorithm>
#include <memory>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/filectrl.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include "CommandIds.h"
#include "Dialogs.h"
#include "DocumentView.h"
#include "FileChooserHooks.h"
#include "FrameHost.h"
#include "MessageBox.h"
#include "PageLogic.h"
#include "SaveBook.h"
#include "SaveImage.h"
#include "Scanner.h"
#include "UiHooks.h"
#include "ZoomLogic.h"

using namespace vellum;

namespace
{
const char kMsgFailedToRotate[] = "Failed to rotate!";
} // namespace

wxIMPLEMENT_CLASS(CVellumDoc, wxDocument);

// clang-format off
wxBEGIN_EVENT_TABLE(CVellumDoc, wxDocument)
  EVT_MENU(ID_IMAGE_CROP, CVellumDoc::OnCrop)
  EVT_MENU(ID_IMAGE_RESIZE, CVellumDoc::OnResize)
  EVT_MENU(wxID_CUT, CVellumDoc::OnCut)
  EVT_MENU(wxID_COPY, CVellumDoc::OnCopy)
  EVT_MENU(wxID_PASTE, CVellumDoc::OnPaste)
  EVT_MENU(ID_EDIT_PASTE_NEW, CVellumDoc::OnPasteNew)
  EVT_MENU(ID_EDIT_CLEAR, CVellumDoc::OnClear)
  EVT_MENU(ID_EDIT_EMPTY_CLIPBOARD, CVellumDoc::OnEmptyClipboard)
  EVT_UPDATE_UI(ID_IMAGE_CROP, CVellumDoc::OnUpdateEdit)
  EVT_UPDATE_UI(ID_IMAGE_RESIZE, CVellumDoc::OnUpdateEdit)
  EVT_UPDATE_UI(wxID_CUT, CVellumDoc::OnUpdateEdit)
  EVT_UPDATE_UI(wxID_COPY, CVellumDoc::OnUpdateEdit)
  EVT_UPDATE_UI(wxID_PASTE, CVellumDoc::OnUpdateEdit)
  EVT_UPDATE_UI(ID_EDIT_PASTE_NEW, CVellumDoc::OnUpdateEdit)
  EVT_UPDATE_UI(ID_EDIT_CLEAR, CVellumDoc::OnUpdateEdit)
  EVT_UPDATE_UI(ID_EDIT_EMPTY_CLIPBOARD, CVellumDoc::OnUpdateEdit)
  EVT_MENU(ID_FILE_SAVE, CVellumDoc::OnSave)
  EVT_MENU(ID_FILE_SAVE_AS, CVellumDoc::OnSaveAs)
  EVT_UPDATE_UI(ID_FILE_SAVE, CVellumDoc::OnUpdateSave)
  EVT_UPDATE_UI(ID_FILE_SAVE_AS, CVellumDoc::OnUpdateSaveAs)
  EVT_MENU_RANGE(ID_IMAGE_FLIP, ID_IMAGE_GRAY, CVellumDoc::OnImageOperation)
  EVT_UPDATE_UI_RANGE(ID_IMAGE_FLIP, ID_IMAGE_GRAY, CVellumDoc::OnUpdateHasImage)
  EVT_MENU(ID_EDIT_UNDO, CVellumDoc::OnUndo)
  EVT_MENU(ID_EDIT_EMPTY_UNDO, CVellumDoc::OnEmptyUndo)
  EVT_UPDATE_UI(ID_EDIT_UNDO, CVellumDoc::OnUpdateUndo)
  EVT_MENU(ID_EDIT_REDO, CVellumDoc::OnRedo)
  EVT_UPDATE_UI(ID_EDIT_REDO, CVellumDoc::OnUpdateRedo)
  EVT_UPDATE_UI(ID_EDIT_EMPTY_UNDO, CVellumDoc::OnUpdateUndo)
wxEND_EVENT_TABLE()
// clang-format on

std::function<bool(CVellumDoc &)> CVellumDoc::s_saveAs;

CVellumDoc::CVellumDoc(CVellumSettings &settings, IFrameHost *host) : m_settings(settings), m_pHost(host) {}

CVellumDoc *CVellumDoc::First(wxDocManager *manager)
{
  if (!manager || manager->GetDocuments().empty())
    return nullptr;
  return dynamic_cast<CVellumDoc *>(manager->GetDocuments().front());
}

void CVellumDoc::SetSaveAsHook(std::function<bool(CVellumDoc &)> hook)
{
  s_saveAs = std::move(hook);
}

IDocumentView *CVellumDoc::ShownView() const
{
  return dynamic_cast<IDocumentView *>(GetFirstView());
}

FrameState CVellumDoc::CommandState() const
{
  FrameState state;
  state.hasImage = m_model.HasImage();
  state.modified = IsModified();
  return state;
}

void CVellumDoc::SetDocTitle(const std::string &title)
{
  m_model.m_strTitle = title;
  SetTitle(wxString::FromUTF8(title));
  if (m_pHost)
    m_pHost->UpdateTitle();
}

bool CVellumDoc::DeleteContents()
{
  m_model.DeleteContents();
  SetDocTitle(std::string());
  return true;
}

RenderEnv CVellumDoc::Env() const
{
  const CVellumSettings &s = m_settings;
  RenderEnv env;
  const IDocumentView *view = ShownView();
  env.layer = view ? view->ShownLayer() : 0;
  env.deviceScale = view ? view->DeviceScale() : 1;
  env.screenBpp = ScreenDepth();
  env.dither = s.Dither != 0;
  env.fancyZoom = s.FancyZoom != 0;
  env.gamma = s.DisplayGamma;
  env.jpegDct = s.JpegDecodeDCT;
  return env;
}

int CVellumDoc::FitZoom(const CDibImage &page) const
{
  const djvu_halfcoded_image *decoded = static_cast<const djvu_halfcoded_image *>(page.m_pDocument);
  if (!decoded || !m_pHost)
    return 0;
  // One rule for the document and the view: the page's full size, as drawn.
  // (Dividing an IW44 page by 3 here rendered it at another step than the
  // view then shows in its zoom box.)
  return m_pHost->FitStepFor({decoded->width, decoded->height}, decoded->dpi, decoded->dpi);
}

int CVellumDoc::Rerender(bool useDither, bool fancyZoom, int zoom)
{
  return m_model.Rerender(useDither, fancyZoom, zoom, Env());
}

int CVellumDoc::RenderAhead(int zoom)
{
  const CVellumSettings &s = m_settings;
  return m_model.RenderAhead(s.Dither != 0, s.FancyZoom != 0, zoom, Env());
}

bool CVellumDoc::IsRenderedAhead(int zoom) const
{
  const CVellumSettings &s = m_settings;
  return m_model.IsRendered(s.Dither != 0, s.FancyZoom != 0, zoom, Env());
}

bool CVellumDoc::AskSaveFirst()
{
  return AskToSave(SaveFirstQuestion(DocTitle()));
}

bool CVellumDoc::AskSavePageFirst()
{
  return AskToSave(PageChangeQuestion(m_model.HasImage() ? m_model.m_pImage->m_nPageIndex : 0));
}

bool CVellumDoc::AskToSave(const std::string &question)
{
  if (!IsModified())
    return true;
  const int answer =
      VellumMessageBox(question.c_str(), kProductName, VMB_YESNOCANCEL | VMB_SAVE_LABELS | VMB_ICONQUESTION);
  if (answer == VID_CANCEL)
    return false;
  if (answer == VID_YES)
  {
    // A cancelled or failed save keeps the image and stops what asked:
    // dropping the changes here would lose the user's work.
    const bool saved = s_saveAs ? s_saveAs(*this) : SaveAs();
    if (!saved)
      return false;
  }
  Modify(false);
  return true;
}

bool CVellumDoc::OnOpenDocument(const wxString &path)
{
  Open(path.utf8_string(), kKindNone, 0);
  return true;
}

void CVellumDoc::Open(const std::string &file, int kind, int pageIndex)
{
  m_model.m_nOpenKind = kind;
  m_model.m_nPageIndex = pageIndex;
  CDocumentModel::OpenResult result;
  {
    wxBusyCursor wait;
    CDocumentModel::FitZoomFn fit;
    if (m_pHost)
      fit = [this](const CDibImage &page, int) { return FitZoom(page); };
    result = m_model.OpenFile(file, Env(), fit);
  }
  // A failed open has said why; the page on screen stays as it was.
  if (result != CDocumentModel::kOpened)
    return;
  SetFilename(wxString::FromUTF8(file), false);
  Modify(false);
  SetDocTitle(m_model.m_strTitle);
  if (!m_pHost)
    return;
  if (IDocumentView *view = ShownView())
  {
    view->ClearSelection();
    view->ScrollToOrigin();
  }
  UpdateAllViews();
  m_pHost->ShowImageInfo();
  m_pHost->OnDocumentOpened(file, m_model.m_pImage->m_nPageIndex);
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
      if (IDocumentView *view = ShownView())
        view->ScrollToOrigin();
      SetDocTitle(kTitleScanned);
      UpdateAllViews();
      Modify(true);
    }
  }
  if (m_pHost)
    m_pHost->ShowImageInfo();
  return true;
}

namespace
{

// The modeless "Save in progress" window: one text, no controls, centred on
// the main window, up for the duration of the write. It also shows the wait
// cursor around the writer call.
class SaveProgressWindow : public wxDialog, public CSaveProgress
{
public:
  SaveProgressWindow(wxWindow *owner, const std::string &message)
      : wxDialog(owner, wxID_ANY, "Save in progress", wxDefaultPosition, wxDefaultSize, wxCAPTION)
  {
    wxBoxSizer *sizer = new wxBoxSizer(wxVERTICAL);
    wxStaticText *text = new wxStaticText(this, wxID_ANY, wxString::FromUTF8(message));
    text->Wrap(ConvertDialogToPixels(wxSize(180, 0)).x);
    sizer->Add(text, 1, wxALL | wxEXPAND, FromDIP(12));
    SetSizerAndFit(sizer);
    if (owner)
      CentreOnParent();
    Show();
    Update();
  }
  // The window is painted once; the encoder's steps do not update it.
  void OnSaveProgress(const char *, int) override {}
  void OnSaveBegin() override { wxBeginBusyCursor(); }
  void OnSaveEnd() override { wxEndBusyCursor(); }
};

// The window of a whole-document save: the file, the page being encoded
// ("Page 3 of 12"), the encoder's step, and Cancel. The save runs on this
// thread, so between steps the window lets the user's input through to
// itself alone (the other windows are disabled meanwhile); Cancel takes
// effect before the next page and nothing is written.
class BookSaveProgressWindow : public wxDialog, public CBookSaveProgress
{
public:
  BookSaveProgressWindow(wxWindow *owner, const std::string &message)
      : wxDialog(owner, wxID_ANY, "Save in progress", wxDefaultPosition, wxDefaultSize, wxCAPTION)
  {
    wxBoxSizer *sizer = new wxBoxSizer(wxVERTICAL);
    wxStaticText *text = new wxStaticText(this, wxID_ANY, wxString::FromUTF8(message));
    text->Wrap(ConvertDialogToPixels(wxSize(180, 0)).x);
    sizer->Add(text, 0, wxALL | wxEXPAND, FromDIP(12));
    m_page = new wxStaticText(this, wxID_ANY, " ");
    sizer->Add(m_page, 0, wxLEFT | wxRIGHT | wxEXPAND, FromDIP(12));
    m_step = new wxStaticText(this, wxID_ANY, " ");
    sizer->Add(m_step, 0, wxLEFT | wxRIGHT | wxTOP | wxEXPAND, FromDIP(12));
    wxButton *cancel = new wxButton(this, wxID_CANCEL, "Cancel");
    cancel->Bind(wxEVT_BUTTON,
                 [this, cancel](wxCommandEvent &)
                 {
                   m_cancelled = true;
                   cancel->Disable();
                   m_step->SetLabel("Stopping after this page...");
                 });
    sizer->Add(cancel, 0, wxALL | wxALIGN_CENTER_HORIZONTAL, FromDIP(12));
    // Wide enough for the page and step texts that come later.
    sizer->SetMinSize(ConvertDialogToPixels(wxSize(200, 0)));
    SetSizerAndFit(sizer);
    if (owner)
      CentreOnParent();
    Show();
    Update();
    m_disabler.reset(new wxWindowDisabler(this));
  }
  void OnBookPage(int page, int count) override
  {
    m_page->SetLabel(wxString::FromUTF8(BookSavePageText(page, count)));
    if (!m_cancelled)
      m_step->SetLabel(" ");
    CallBookSavePageHook(this, page, count);
    LetInputThrough();
  }
  bool Cancelled() override
  {
    LetInputThrough();
    return m_cancelled;
  }
  void OnSaveProgress(const char *text, int percent) override
  {
    if (m_cancelled)
      return LetInputThrough();
    const wxString step = wxString::Format("%s %d%%", text ? text : "", percent);
    if (step != m_step->GetLabel())
      m_step->SetLabel(step);
    LetInputThrough();
  }
  void OnSaveBegin() override { wxBeginBusyCursor(); }
  void OnSaveEnd() override { wxEndBusyCursor(); }

private:
  void LetInputThrough()
  {
    if (wxEventLoopBase *loop = wxEventLoopBase::GetActive())
      loop->YieldFor(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_USER_INPUT);
  }
  wxStaticText *m_page, *m_step;
  bool m_cancelled = false;
  std::unique_ptr<wxWindowDisabler> m_disabler;
};

} // namespace

DialogDocument CVellumDoc::DialogDoc()
{
  DialogDocument d;
  d.hasImage = m_model.HasImage();
  d.fileKind = m_model.m_nContentKind;
  d.bitsPerPixel = d.hasImage ? m_model.m_pImage->m_nSourceBitsPerPixel : 0;
  d.setModified = [this] { Modify(true); };
  return d;
}

bool CVellumDoc::OnSaveDocument(const wxString &path)
{
  if (!m_model.HasImage())
    return false;
  CVellumSettings &s = m_settings;
  const std::string file = path.utf8_string();
  wxWindow *frame = m_pHost ? m_pHost->HostWindow() : nullptr;
  int result = 0;
  if (SavesTiffAsBook())
  {
    // Every page of the TIFF file, the one shown with its edits; the
    // others are read from the file one at a time.
    BookSaveProgressWindow progress(frame, SaveProgressMessage(file));
    BookOptions options;
    options.lossless = s.DjvuLossless != 0;
    result = SaveTiffAsBook(file, m_model.m_strLastOpenedPath, m_model.m_pImage->m_nPageCount,
                            m_model.m_pImage->m_nPageIndex, *m_model.m_pImage, s, options, &progress);
    if (result)
      Modify(false);
    progress.Destroy();
  }
  else
  {
    SaveProgressWindow progress(frame, SaveProgressMessage(file));
    // Full scale for the writer; the view's rendering comes back afterwards.
    const int zoom = m_model.m_nZoom;
    const bool fullScale = s.Dither != 0 || s.FancyZoom != 0;
    int rendered = 0;
    if (fullScale)
      rendered = Rerender(false, s.FancyZoom != 0, 0);
    if (m_model.m_strSoftware.empty())
      m_model.m_strSoftware = SoftwareText();
    result = SaveImage(file, m_model.m_nSaveKind, *m_model.m_pImage, s, m_model.m_strSoftware.c_str(),
                       &progress, m_model.m_nSaveScope);
    m_model.m_nZoom = zoom;
    if ((fullScale && rendered) || (!fullScale && zoom != 0))
      Rerender(s.Dither != 0, s.FancyZoom != 0, zoom);
    if (m_pHost && wxStricmp(wxString::FromUTF8(s.LCOpenDir), wxString::FromUTF8(s.SaveDir)) == 0 &&
        (s.LCOpenType == s.SaveType || s.LCOpenType == 100))
      m_pHost->RefreshBrowser();
    if (result)
      Modify(false);
    progress.Destroy();
  }
  UpdateAllViews();
  return result != 0;
}

bool CVellumDoc::SavesTiffAsBook() const
{
  return m_model.HasImage() && m_model.m_nSaveKind == IMAGE_FILE_DJVU &&
         m_model.m_nSaveScope == kSaveWholeDocument && m_model.m_nContentKind == kKindTiff &&
         m_model.m_pImage->m_nPageCount > 1 && !m_model.m_pImage->m_pBook;
}

bool CVellumDoc::Save()
{
  if (!m_model.HasImage() || !IsModified())
    return false;
  const std::string pathName = GetFilename().utf8_string();
  // No kind the file was saved as (none yet, or a file of another kind
  // opened since): the name and kind are asked for.
  if (pathName.empty() || m_model.m_nSaveKind == kKindNone)
    return SaveAs();
  // A document of pages saved back into its file keeps its page in the title.
  const CDibImage &image = *m_model.m_pImage;
  const std::string title = pathName == m_model.m_strLastOpenedPath
                                ? OpenedTitle(pathName, image.m_nPageIndex, image.m_nPageCount)
                                : SavedTitle(m_model.m_strLastOpenedPath, pathName);
  if (!OnSaveDocument(GetFilename()))
    return SaveAs();
  SetDocTitle(title);
  return true;
}

bool CVellumDoc::SaveAs()
{
  if (!m_model.HasImage())
    return false;
  CVellumSettings &s = m_settings;
  const CDibImage &image = *m_model.m_pImage;
  // The image's own depth, which is what the PNM writer goes by (a grey
  // conversion or a 16-bit source would otherwise be proposed as ".ppm").
  const int bits = image.m_nBitsPerPixel, grey = image.m_bGrey ? 1 : 0;
  // The document's counter is the number the next untitled name gets
  // (1 first); ProposeSaveName counts the names already proposed.
  int proposed = m_model.m_nUntitledCounter - 1;
  const std::string proposal = ProposeSaveName(GetFilename().utf8_string(), s.SaveType, bits, grey, proposed);
  m_model.m_nUntitledCounter = proposed + 1;
  wxString wildcard;
  for (const SaveFilter &f : kSaveFilters)
    wildcard += wxString(wildcard.empty() ? "" : "|") + f.description + "|" + f.pattern;
  wxFileDialog dialog(m_pHost ? m_pHost->HostWindow() : nullptr, "Save As", wxString::FromUTF8(s.SaveDir),
                      wxString::FromUTF8(proposal), wildcard, wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  const int filter = FilterIndexFromSaveKind(s.SaveType);
  if (filter > 0)
    dialog.SetFilterIndex(filter - 1);
  // Another file type: the typed name takes that type's extension.
  OnFileDialogFilterChange(dialog,
                           [bits, grey](int filterIndex, const std::string &typed)
                           {
                             const int kind = SaveKindFromFilterIndex(filterIndex + 1);
                             return typed.empty()
                                        ? typed
                                        : ReplaceExtension(typed, DefaultSaveExtension(kind, bits, grey));
                           });
  if (dialog.ShowModal() != wxID_OK)
    return false;
  const wxString path = dialog.GetPath();
  if (path.empty())
    return false;
  return SaveAsTo(path.utf8_string(), dialog.GetFilterIndex() + 1);
}

bool CVellumDoc::SaveAsTo(const std::string &typed, int filterIndex)
{
  if (!m_model.HasImage() || typed.empty())
    return false;
  CVellumSettings &s = m_settings;
  const int kind = SaveKindFromFilterIndex(filterIndex);
  m_model.m_nSaveKind = kind;
  const CDibImage &image = *m_model.m_pImage;
  wxWindow *frame = m_pHost ? m_pHost->HostWindow() : nullptr;
  if (kind == IMAGE_FILE_DJVU &&
      !RunResolutionReview(image.PageXDpi(), image.PageYDpi(), s,
                           [this, frame, &s] { RunDjVuSettingsDialog(frame, s, DialogDoc()); }))
    return false;
  // A page of a book or of a multi-page TIFF file saved as DjVu: the whole
  // document or that page alone. File > Save always writes the whole
  // document.
  m_model.m_nSaveScope = kSaveWholeDocument;
  if (kind == IMAGE_FILE_DJVU && image.m_nPageCount > 1 &&
      (image.m_pBook || m_model.m_nContentKind == kKindTiff))
  {
    const std::string question = BookSaveQuestion(image.m_nPageIndex, image.m_nPageCount);
    const int answer = VellumMessageBox(question.c_str(), kProductName, VMB_YESNOCANCEL | VMB_ICONQUESTION);
    if (answer == VID_CANCEL)
      return false;
    if (answer == VID_NO)
      m_model.m_nSaveScope = kSaveCurrentPage;
  }
  if (frame)
    frame->Update();
  const std::string name = FinalSaveName(typed, kind, image.m_nBitsPerPixel, image.m_bGrey ? 1 : 0);
  if (name.empty())
    return false;
  s.SaveDir = SaveDirectoryOf(name);
  s.SaveType = kind;
  std::string title = SavedTitle(m_model.m_strLastOpenedPath, name);
  const bool wholeBook = kind == IMAGE_FILE_DJVU && image.m_nPageCount > 1 &&
                         m_model.m_nSaveScope == kSaveWholeDocument &&
                         (image.m_pBook || m_model.m_nContentKind == kKindTiff);
  const bool saved = OnSaveDocument(wxString::FromUTF8(name));
  m_model.m_nSaveScope = kSaveWholeDocument;
  if (!saved)
    return false;
  // Every page saved: the document is the new book, its other pages read
  // from it. A TIFF file's pages are in that book too; the page shown takes
  // the book read back, so that a save writes into it. Should the book not
  // read back, the document stays the TIFF file.
  if (wholeBook && (image.m_pBook || m_model.TakeSavedBook(name)))
  {
    m_model.FollowSavedBook(name);
    title = OpenedTitle(name, image.m_nPageIndex, image.m_nPageCount);
  }
  SetFilename(wxString::FromUTF8(name), false);
  if (m_pHost)
    m_pHost->OnDocumentSavedAs(name);
  SetDocTitle(title);
  return true;
}

bool CVellumDoc::ImageOperation(int commandId)
{
  if (!m_model.HasImage())
    return false;
  int ok = 0;
  bool rotation = false;
  {
    wxBusyCursor wait;
    m_model.SaveUndo();
    CDibImage &image = *m_model.m_pImage;
    switch (commandId)
    {
    case ID_IMAGE_FLIP:
      ok = image.FlipRows(1);
      break;
    case ID_IMAGE_MIRROR:
      ok = image.Mirror();
      break;
    case ID_IMAGE_ROTATE_LEFT:
      ok = image.RotateLeft();
      rotation = true;
      break;
    case ID_IMAGE_ROTATE_RIGHT:
      ok = image.RotateRight();
      rotation = true;
      break;
    case ID_IMAGE_ROTATE_180:
      ok = image.Rotate180();
      rotation = true;
      break;
    case ID_IMAGE_NEGATIVE:
      ok = image.Negative();
      break;
    case ID_IMAGE_GRAY:
      ok = image.ConvertToGray();
      break;
    default:
      return false;
    }
  }
  if (rotation && !ok)
    VellumMessageBox(kMsgFailedToRotate, kProductName, VMB_OK | VMB_ICONHAND);
  if (ok || rotation)
  {
    Modify(true);
    UpdateAllViews();
    if (m_pHost)
      m_pHost->ShowImageInfo();
  }
  return ok != 0;
}

bool CVellumDoc::UndoEdit(bool redo)
{
  if (!(redo ? m_model.Redo() : m_model.Undo()))
    return false;
  // The image shown is no longer the one saved: a close must ask first.
  Modify(true);
  UpdateAllViews();
  if (m_pHost)
    m_pHost->ShowImageInfo();
  return true;
}

void CVellumDoc::EmptyUndoBuffer()
{
  if (!m_model.CanUndo())
    return;
  if (VellumMessageBox("Are you sure you want to empty the undo buffer?", kProductName,
                       VMB_YESNO | VMB_ICONEXCLAMATION) == VID_YES)
    m_model.EmptyUndo();
}

// ------------------------------------------ save, image and undo commands

void CVellumDoc::OnSave(wxCommandEvent &)
{
  Save();
}

void CVellumDoc::OnSaveAs(wxCommandEvent &)
{
  SaveAs();
}

void CVellumDoc::OnUpdateSave(wxUpdateUIEvent &event)
{
  event.Enable(FrameCommandEnabled(kCmdSave, CommandState()));
}

void CVellumDoc::OnUpdateSaveAs(wxUpdateUIEvent &event)
{
  event.Enable(FrameCommandEnabled(kCmdSaveAs, CommandState()));
}

void CVellumDoc::OnImageOperation(wxCommandEvent &event)
{
  ImageOperation(event.GetId());
}

void CVellumDoc::OnUpdateHasImage(wxUpdateUIEvent &event)
{
  event.Enable(m_model.HasImage());
}

void CVellumDoc::OnUndo(wxCommandEvent &)
{
  UndoEdit();
}

void CVellumDoc::OnRedo(wxCommandEvent &)
{
  UndoEdit(true);
}

void CVellumDoc::OnEmptyUndo(wxCommandEvent &)
{
  EmptyUndoBuffer();
}

void CVellumDoc::OnUpdateUndo(wxUpdateUIEvent &event)
{
  event.Enable(m_model.CanUndo());
}

void CVellumDoc::OnUpdateRedo(wxUpdateUIEvent &event)
{
  event.Enable(m_model.CanRedo());
}
