// The document's edit commands (Edit menu, Crop and Resize) and the
// full-scale protocol they share; the rest of CVellumDoc is VellumDoc.cpp.
#include "VellumDoc.h"

#include <wx/utils.h>

#include "ClipboardDib.h"
#include "CommandIds.h"
#include "DibRowsOf.h"
#include "Dialogs.h"
#include "DocumentView.h"
#include "FrameHost.h"
#include "MessageBox.h"

using namespace vellum;

namespace
{
const char kMsgCropFailed[] = "Failed to crop the image!";
const char kMsgCutFailed[] = "Failed to cut the selection!";
const char kMsgInsertFailed[] = "Failed to insert sub-image!";

void StopBox(const char *text)
{
  VellumMessageBox(text, kProductName, VMB_OK | VMB_ICONHAND);
}
} // namespace

CVellumDoc::FullScale CVellumDoc::BeginFullScale()
{
  const CVellumSettings &s = m_settings;
  FullScale state;
  state.zoom = m_model.m_nZoom;
  if (s.Dither || s.FancyZoom)
    state.rendered = Rerender(false, s.FancyZoom != 0, 0);
  return state;
}

void CVellumDoc::EndFullScale(const FullScale &state)
{
  const CVellumSettings &s = m_settings;
  m_model.m_nZoom = state.zoom;
  if (state.rendered == 1)
    Rerender(s.Dither != 0, s.FancyZoom != 0, state.zoom);
}

SelRect CVellumDoc::SelectionOrWhole() const
{
  const IDocumentView *view = ShownView();
  if (const SelRect *selection = view ? view->Selection() : nullptr)
    return *selection;
  const CDibImage &image = *m_model.m_pImage;
  return {0, 0, image.m_nWidth - 1, image.m_nHeight - 1};
}

void CVellumDoc::EditDone()
{
  Modify(true);
  UpdateAllViews();
  if (m_pHost)
    m_pHost->ShowImageInfo();
}

void CVellumDoc::BaseNewDocument()
{
  DeleteContents();
  Modify(false);
  SetFilename(wxString(), false);
}

std::vector<uint8_t> CVellumDoc::MakeSelectionBitmap(const SelRect &rect)
{
  if (!m_model.HasImage())
    return {};
  const CDibImage &image = *m_model.m_pImage;
  DibSource src;
  src.headerKind = image.m_nHeaderKind;
  src.header = image.m_pBlock;
  src.rows = DibRowsOf(image);
  src.xdpi = image.m_nXDpi;
  src.ydpi = image.m_nYDpi;
  std::vector<uint8_t> block;
  switch (BuildSelectionBitmap(src, rect, block))
  {
  case kSelectionOk:
    break;
  case kSelectionNoMemory:
    StopBox(kMsgSelectionNoMemory);
    break;
  case kSelectionBadDepth:
    VellumMessageBox(UnsupportedSelectionText(image.m_nBitsPerPixel).c_str(), kProductName, VMB_OK);
    break;
  case kSelectionBadRect:
    break;
  }
  return block;
}

bool CVellumDoc::CopySelection()
{
  wxBusyCursor wait;
  if (!m_model.HasImage())
    return false;
  const FullScale state = BeginFullScale();
  bool put = false;
  if (m_model.HasImage())
  {
    const std::vector<uint8_t> block = MakeSelectionBitmap(SelectionOrWhole());
    put = !block.empty() && ClipboardPutDib(block);
  }
  EndFullScale(state);
  return put;
}

bool CVellumDoc::CutSelection()
{
  if (!m_model.HasImage())
    return false;
  bool cut = false;
  {
    wxBusyCursor wait;
    m_model.SaveUndo();
    const FullScale state = BeginFullScale();
    if (m_model.HasImage())
    {
      const SelRect rect = SelectionOrWhole();
      const std::vector<uint8_t> block = MakeSelectionBitmap(rect);
      // Clearing what did not reach the clipboard would lose it.
      if (!block.empty() && ClipboardPutDib(block))
      {
        if (m_model.m_pImage->ClearRect(rect.left, rect.top, rect.right, rect.bottom))
        {
          if (IDocumentView *view = ShownView())
            view->ClearSelection();
          m_model.m_nContentKind = kKindBmp;
          cut = true;
          EditDone();
        }
        else
          StopBox(kMsgCutFailed);
      }
    }
    EndFullScale(state);
  }
  UpdateAllViews();
  return cut;
}

bool CVellumDoc::CropToSelection()
{
  IDocumentView *view = ShownView();
  if (!m_model.HasImage() || !view || !view->Selection())
    return false;
  bool ok = false;
  {
    wxBusyCursor wait;
    m_model.SaveUndo();
    const FullScale state = BeginFullScale();
    const SelRect r = *view->Selection();
    ok = m_model.HasImage() && m_model.m_pImage->Crop(r.left, r.top, r.right, r.bottom);
    if (ok)
    {
      view->ClearSelection();
      m_model.m_nContentKind = kKindBmp;
      EditDone();
    }
    else
      StopBox(kMsgCropFailed);
    EndFullScale(state);
  }
  UpdateAllViews();
  return ok;
}

bool CVellumDoc::ResampleTo(int width, int height, int method)
{
  if (!m_model.HasImage())
    return false;
  wxBusyCursor wait;
  m_model.SaveUndo();
  if (!m_model.m_pImage->Resample(width, height, method))
    return false;
  m_model.m_nContentKind = kKindBmp;
  EditDone();
  return true;
}

bool CVellumDoc::ResizeImage()
{
  if (!m_model.HasImage())
    return false;
  const FullScale state = BeginFullScale();
  bool ok = false;
  int width = 0, height = 0, method = 1;
  if (m_model.HasImage() &&
      RunResizeDialog(m_pHost ? m_pHost->HostWindow() : nullptr, m_model.m_pImage->m_nWidth,
                      m_model.m_pImage->m_nHeight, &width, &height, &method))
    ok = ResampleTo(width, height, method);
  EndFullScale(state);
  UpdateAllViews();
  return ok;
}

int CVellumDoc::ReadClipboardInto(CDibImage &target)
{
  const std::vector<uint8_t> dib = ClipboardGetDib();
  DibBlockParts parts;
  if (dib.empty() || !SplitDibBlock(dib.data(), dib.size(), &parts))
    return 0;
  // Read into a fresh record: a block the record refuses leaves the
  // document as it was.
  CDibImage fresh;
  const uint8_t *base = dib.data();
  if (!fresh.SetFromDib(base, parts.headerSize, base + parts.tableOffset, parts.tableSize,
                        base + parts.bitsOffset, parts.bitsSize, DIB_HEADER_INFO))
    return 0;
  if (&target == m_model.m_pImage.get())
  {
    BaseNewDocument();
    DeleteContents();
  }
  CDibImage &into = &target == m_model.m_pImage.get() ? *m_model.m_pImage : target;
  into.Reset();
  return into.CopyFrom(fresh);
}

bool CVellumDoc::PasteFromClipboard()
{
  m_model.SaveUndo();
  if (!m_model.HasImage())
    return PasteAsNew();
  m_model.m_pInsertImage.reset(new CDibImage);
  if (!ReadClipboardInto(*m_model.m_pInsertImage))
  {
    m_model.m_pInsertImage->Reset();
    return false;
  }
  m_model.m_bInsertPending = 1;
  if (IDocumentView *view = ShownView())
    view->StartPlacing();
  return true;
}

bool CVellumDoc::PasteAsNew()
{
  if (IsModified() && !AskSaveFirst())
    return false;
  m_model.SaveUndo();
  if (!ReadClipboardInto(*m_model.m_pImage))
    return false;
  m_model.m_nContentKind = kKindBmp;
  IDocumentView *view = ShownView();
  if (view)
    view->ClearSelection();
  SetDocTitle(kTitleClipboard);
  if (m_pHost)
    m_pHost->ShowImageInfo();
  if (view)
    view->ScrollToOrigin();
  UpdateAllViews();
  Modify(true);
  return true;
}

bool CVellumDoc::ClearDocument()
{
  if (IsModified() && !AskSaveFirst())
    return false;
  BaseNewDocument();
  DeleteContents();
  // A pasted image waiting to be placed has nothing to go into any more.
  m_model.m_bInsertPending = 0;
  m_model.m_pInsertImage->Reset();
  if (IDocumentView *view = ShownView())
  {
    view->ClearSelection();
    view->ResetMouseMode();
  }
  UpdateAllViews();
  return true;
}

void CVellumDoc::EmptyClipboard()
{
  ClipboardEmpty();
}

int CVellumDoc::InsertAt(int x, int y)
{
  CDibImage &insert = *m_model.m_pInsertImage;
  if (!m_model.HasImage() || insert.IsEmpty())
    return 0;
  if (m_model.m_pImage->m_nSourceBitsPerPixel < insert.m_nBitsPerPixel)
    return 0;
  int ok = 0;
  {
    wxBusyCursor wait;
    const FullScale state = BeginFullScale();
    if (m_model.HasImage())
    {
      const CDibImage &image = *m_model.m_pImage;
      const std::vector<int32_t> map =
          InsertIndexMap(reinterpret_cast<const uint8_t *>(image.Palette()), image.PaletteEntries(),
                         image.m_nBitsPerPixel, reinterpret_cast<const uint8_t *>(insert.Palette()),
                         insert.PaletteEntries(), insert.m_nBitsPerPixel);
      ok = m_model.m_pImage->Paste(insert, x, y, map.data(), static_cast<int>(map.size()));
    }
    if (ok)
    {
      m_model.m_nContentKind = kKindBmp;
      Modify(true);
    }
    else
      StopBox(kMsgInsertFailed);
    UpdateAllViews();
    if (m_model.m_bInsertPending)
    {
      insert.Reset();
      m_model.m_bInsertPending = 0;
    }
    EndFullScale(state);
  }
  if (m_pHost)
    m_pHost->ShowImageInfo();
  return ok;
}

void CVellumDoc::OnCrop(wxCommandEvent &)
{
  CropToSelection();
}

void CVellumDoc::OnResize(wxCommandEvent &)
{
  ResizeImage();
}

void CVellumDoc::OnCut(wxCommandEvent &)
{
  CutSelection();
}

void CVellumDoc::OnCopy(wxCommandEvent &)
{
  CopySelection();
}

void CVellumDoc::OnPaste(wxCommandEvent &)
{
  PasteFromClipboard();
}

void CVellumDoc::OnPasteNew(wxCommandEvent &)
{
  PasteAsNew();
}

void CVellumDoc::OnClear(wxCommandEvent &)
{
  ClearDocument();
}

void CVellumDoc::OnEmptyClipboard(wxCommandEvent &)
{
  EmptyClipboard();
}

void CVellumDoc::OnUpdateEdit(wxUpdateUIEvent &event)
{
  EditCommand command;
  switch (event.GetId())
  {
  case ID_IMAGE_CROP:
    command = kEditCrop;
    break;
  case ID_IMAGE_RESIZE:
    command = kEditResize;
    break;
  case wxID_CUT:
    command = kEditCut;
    break;
  case wxID_COPY:
    command = kEditCopy;
    break;
  case wxID_PASTE:
    command = kEditPaste;
    break;
  case ID_EDIT_PASTE_NEW:
    command = kEditPasteNew;
    break;
  case ID_EDIT_CLEAR:
    command = kEditClear;
    break;
  default:
    command = kEditEmptyClipboard;
  }
  // Only the clipboard rules ask the clipboard.
  EditState state;
  state.hasImage = m_model.HasImage();
  const IDocumentView *view = ShownView();
  state.hasSelection = view && view->Selection();
  if (command == kEditPaste || command == kEditPasteNew || command == kEditEmptyClipboard)
    state.clipboardHasDib = ClipboardHasDib();
  event.Enable(EditCommandEnabled(command, state));
}
