// The start-up hint window and the help access.
//
// RunHintDialog matches the start-up hint hook of UiHooks.h and
// ShowHelpTopic the dialogs' help hook, so the frame installs them with
//   SetStartupHintHook(&vellum::RunHintDialog);
//   SetDialogHelpHook(&vellum::ShowHelpTopic);
// Help goes through the chain of HelpLogic.h: the wxHtmlHelpController on
// the help book (Vellum.chm beside the program when present, else
// HtmlHelp/vellum.hhp), the desktop's program for Vellum.chm, the default
// browser on HtmlHelp/<topic>, then the failure message.
#ifndef VELLUM_UI_HELP_HINTHELP_H
#define VELLUM_UI_HELP_HINTHELP_H

#include <wx/dialog.h>

#include "HelpLogic.h"

class wxCheckBox;
class CVellumSettings;

namespace vellum
{

// The hint dialog ("Vellum Hint"): the advice on a white background and
// the "Do &not show this message again" check box.
class CHintDlg : public wxDialog
{
public:
  CHintDlg(wxWindow *parent, bool noStartupInfo);
  // The check box state.
  bool NotAgain() const;

  enum
  {
    IDC_HINT_TEXT = 1116,
    IDC_HINT_CHECK = 1115
  };

private:
  wxCheckBox *m_check = nullptr;
};

// Runs the hint modally with the check box = noStartupInfo; returns the
// check box state however the dialog was closed (the new "NoStartupInfo").
bool RunHintDialog(wxWindow *parent, bool noStartupInfo);
// The Help menu's "Start&up Information" and start-up: the hint with the
// check box = "NoStartupInfo", stored back afterwards.
void ShowHint(wxWindow *parent, CVellumSettings &settings);

// Shows a help topic (null or "": the contents) for owner.
void ShowHelpTopic(wxWindow *owner, const char *topic);
// The same, telling which way the help was shown.
HelpResult ShowHelp(wxWindow *owner, const char *topic);
// The help directory found (empty when none).
std::string HelpDirectory();

} // namespace vellum

#endif
