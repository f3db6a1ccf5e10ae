// What wxWidgets' GTK file dialog does not pass on: the chooser's filter
// changes. The hook runs on every change of the chosen file type and may
// rename what the user typed (a save dialog gives the name the new type's
// extension this way).
#ifndef VELLUM_UI_FILECHOOSERHOOKS_H
#define VELLUM_UI_FILECHOOSERHOOKS_H

#include <functional>
#include <string>

class wxFileDialog;

// rename(filterIndex, typed) gets the new filter's index (0-based, as
// wxFileDialog counts) and the name in the name box; a non-empty answer
// replaces the name. The hook lives as long as the dialog.
void OnFileDialogFilterChange(wxFileDialog &dialog,
                              std::function<std::string(int filterIndex, const std::string &typed)> rename);

// The name in the dialog's name box, and choosing its filter as a user
// does (the hook above runs); for tests.
std::string FileDialogTypedName(wxFileDialog &dialog);
void ChooseFileDialogFilter(wxFileDialog &dialog, int filterIndex);

#endif
