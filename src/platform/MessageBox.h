// One replaceable message box for the whole application.
//
// Everything that shows a modal message goes through VellumMessageBox. With
// no hook installed (tools, tests, no GUI) the text goes to stderr and the
// default answer is returned, so nothing ever blocks on a dialog. The GUI
// installs a hook that shows a real box; tests install a recording stub.
// Free of any GUI toolkit so the lower libraries can use it.
#ifndef VELLUM_PLATFORM_MESSAGEBOX_H
#define VELLUM_PLATFORM_MESSAGEBOX_H

// Style bits (values of the Windows MB_* flags the texts were written for).
enum : unsigned
{
  VMB_OK = 0x0000,
  VMB_OKCANCEL = 0x0001,
  VMB_YESNOCANCEL = 0x0003,
  VMB_YESNO = 0x0004,
  VMB_ICONHAND = 0x0010, // stop: failures
  VMB_ICONSTOP = VMB_ICONHAND,
  VMB_ICONQUESTION = 0x0020,
  VMB_ICONEXCLAMATION = 0x0030, // warnings
  VMB_ICONINFORMATION = 0x0040,
  VMB_SAVE_LABELS = 0x0100, // with VMB_YESNOCANCEL: buttons "Save", "Don't Save", "Cancel"
  VMB_BUTTON_MASK = 0x000F,
  VMB_ICON_MASK = 0x00F0
};

// Answers.
enum
{
  VID_OK = 1,
  VID_CANCEL = 2,
  VID_YES = 6,
  VID_NO = 7
};

typedef int (*VellumMessageBoxHook)(const char *text, const char *caption, unsigned style);

// Shows text with the caption and style; returns the answer (VID_*).
int VellumMessageBox(const char *text, const char *caption, unsigned style);

// Installs hook (null restores the default) and returns the previous one.
VellumMessageBoxHook VellumSetMessageBoxHook(VellumMessageBoxHook hook);

// What the default hook answers: OK for OK and OK/Cancel boxes, Yes for
// Yes/No and Yes/No/Cancel boxes.
int VellumDefaultMessageBoxAnswer(unsigned style);

#endif
