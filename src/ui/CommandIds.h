// Command identifiers of the viewer's menus, toolbar and zoom box.
#ifndef VELLUM_UI_COMMANDIDS_H
#define VELLUM_UI_COMMANDIDS_H

#include <wx/defs.h>

enum
{
  ID_FILE_OPEN_IMAGE = wxID_HIGHEST + 100,
  ID_FILE_NEW_SCAN,
  ID_FILE_SELECT_SOURCE,
  ID_VIEW_ZOOM_IN,
  ID_VIEW_ZOOM_OUT,
  ID_VIEW_REFRESH,
  ID_VIEW_LAYER_COLOR,      // layer 0
  ID_VIEW_LAYER_BW,         // layer 1
  ID_VIEW_LAYER_BACKGROUND, // layer 2
  ID_VIEW_LAYER_FOREGROUND, // layer 3
  ID_PAGE_FIRST,
  ID_PAGE_PREVIOUS,
  ID_PAGE_NEXT,
  ID_PAGE_LAST,
  ID_HELP_STARTUP_INFO,
  ID_ZOOM_BOX,
  ID_RECENT_FILES_MENU
};

#endif
