// IFrameHost: what the document and its view ask of the window that hosts
// them. The main frame implements it and hands it, with the settings, to
// the document and the view when the document template creates them; they
// never reach for the application object. The frame may go before the
// document at shut-down: it then detaches itself (CVellumDoc::SetHost).
#ifndef VELLUM_UI_FRAMEHOST_H
#define VELLUM_UI_FRAMEHOST_H

#include <string>

#include "ZoomLogic.h"

class wxDropTarget;
class wxFrame;
class CVellumView;

namespace vellum
{

class IFrameHost
{
public:
  virtual ~IFrameHost() = default;

  // The frame window: parent of the view's canvas and owner of the
  // document's dialogs; the view fits its size to the page ("WindowFit").
  virtual wxFrame *HostWindow() = 0;
  // The view drawing in the frame (null when it closes); its canvas becomes
  // the centre pane.
  virtual void SetView(CVellumView *view) = 0;
  // A drop target opening dropped files in the frame (for the canvas).
  virtual wxDropTarget *MakeDropTarget() = 0;
  // Width of the frame's control bars, which a fitted window must not cut.
  virtual int BarsWidth() const = 0;
  // The fit step of a page of this size and resolution in the area the
  // "WindowFit" and "ImageFit" settings give.
  virtual int FitStepFor(Extent size, int xdpi, int ydpi) const = 0;

  // The window title from the document's title and modified flag.
  virtual void UpdateTitle() = 0;
  // Sets a status pane and repaints it at once.
  virtual void SetPaneText(int index, const std::string &text) = 0;
  // The size, resolution and page panes from the document's image.
  virtual void ShowImageInfo() = 0;
  virtual void SelectZoomBoxEntry(int index) = 0;
  // Lists the browser's directory again (after a save into it, on Refresh).
  virtual void RefreshBrowser() = 0;

  // After a successful open (any way): the file heads the recent-file list,
  // remembered at pageIndex; the dialogs and the browser go to its folder.
  virtual void OnDocumentOpened(const std::string &path, int pageIndex) = 0;
  // After a save under a new name: the file heads the recent-file list.
  virtual void OnDocumentSavedAs(const std::string &path) = 0;
};

} // namespace vellum

#endif
