// The viewer's entry point.
#include "VellumApp.h"

wxIMPLEMENT_APP(CVellumApp);
