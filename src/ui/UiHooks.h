// Small seams between the wx program and what tests replace: the screen
// depth, the real message box, the start-up hint window, the whole-document
// save window's pages.
#ifndef VELLUM_UI_UIHOOKS_H
#define VELLUM_UI_UIHOOKS_H

class wxWindow;

namespace vellum
{

// The display's bits per pixel (what the screen reports), unless a test set
// an override (0 clears it).
int ScreenDepth();
void SetScreenDepthOverride(int bitsPerPixel);

// Routes VellumMessageBox to wxMessageBox (stop, exclamation and question
// icons; OK, Yes/No and Yes/No/Cancel buttons).
void InstallWxMessageBox();
int WxMessageBoxHook(const char *text, const char *caption, unsigned style);

// The start-up hint window: shown modally; afterwards returns the state of
// its "do not show again" check box. The program sets the hint dialog
// (HintHelp.h) at start-up; without a hook nothing is shown.
using StartupHintFn = bool (*)(wxWindow *parent, bool currentNoStartupInfo);
void SetStartupHintHook(StartupHintFn hook);
// Shows the hint through the hook; returns the new "NoStartupInfo" value.
bool ShowStartupHint(wxWindow *parent, bool currentNoStartupInfo);

// Called by the whole-document save window before each page is encoded,
// with that window (its Cancel button has the id wxID_CANCEL): tests press
// Cancel through it. Empty by default.
using BookSavePageFn = void (*)(wxWindow *progressWindow, int page, int count);
void SetBookSavePageHook(BookSavePageFn hook);
void CallBookSavePageHook(wxWindow *progressWindow, int page, int count);

} // namespace vellum

#endif
