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
  ID_RECENT_FILES_MENU,
  ID_FILE_SAVE,
  ID_FILE_SAVE_AS,
  ID_OPTIONS_GENERAL,
  ID_OPTIONS_DJVU,
  ID_OPTIONS_IW44,
  ID_OPTIONS_JPEG,
  ID_IMAGE_FLIP,
  ID_IMAGE_MIRROR,
  ID_IMAGE_ROTATE_LEFT,
  ID_IMAGE_ROTATE_RIGHT,
  ID_IMAGE_ROTATE_180,
  ID_IMAGE_NEGATIVE,
  ID_IMAGE_GRAY,
  ID_EDIT_UNDO,
  ID_EDIT_EMPTY_UNDO,
  ID_EDIT_PASTE_NEW,       // Edit > Paste As New (Cut, Copy, Paste use wxID_CUT, wxID_COPY, wxID_PASTE)
  ID_EDIT_CLEAR,           // Edit > Clear
  ID_EDIT_EMPTY_CLIPBOARD, // Edit > Empty Clipboard
  ID_IMAGE_CROP,
  ID_IMAGE_RESIZE,
  ID_TOOL_SELECT,        // toolbar "Select": mouse mode select
  ID_VIEW_SELECTION_BAR, // shows or hides the directory browser bar
  ID_VIEW_FIT_PAGE,      // the step showing the whole page in the view
  ID_VIEW_FIT_WIDTH,     // the step showing the page's width
  ID_VIEW_ACTUAL_SIZE,   // the step closest to the page's physical size
  ID_VIEW_FULL_SCREEN,   // toggles full screen
  ID_EDIT_REDO,          // Edit > Redo
  ID_PAGE_GOTO           // View > Go to Page (Ctrl+G)
};

#endif
