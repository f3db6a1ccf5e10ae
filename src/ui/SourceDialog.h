// Select Source: a modal list of the scanners SANE knows. The choice is kept
// by the Scanner layer for the rest of the run.
#ifndef VELLUM_UI_SOURCEDIALOG_H
#define VELLUM_UI_SOURCEDIALOG_H

class wxWindow;

// Shows the list (current choice selected); true when the user chose one.
bool ChooseScanSource(wxWindow *parent);

#endif
