#include "HandCursors.h"

#include <wx/cursor.h>
#include <wx/image.h>

namespace vellum
{

namespace
{

// 16 x 16 pictures: '#' outline, '.' fill, ' ' transparent.
const char *const kOpenHand[16] = {
    "      ##        ", "   ## #..###    ", "  #..##..#..#   ", "  #..##..#..# # ",
    "   #..#..#..##.#", "   #..#..#..#..#", " ## #.......#..#", "#..##..........#",
    "#...#.........# ", " #............# ", "  #...........# ", "  #..........#  ",
    "   #.........#  ", "    #.......#   ", "     #......#   ", "     #......#   "};
const char *const kClosedHand[16] = {
    "                ", "                ", "                ", "                ",
    "    ## ## ##    ", "   #..#..#..##  ", "   #........#.# ", "    #.........# ",
    "   ##.........# ", "  #...........# ", "  #...........# ", "   #.........#  ",
    "    #........#  ", "     #.......#  ", "     #......#   ", "     #......#   "};

wxCursor MakeCursor(const char *const rows[16])
{
  wxImage image(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
    {
      const char c = rows[y][x];
      if (c == '#')
        image.SetRGB(x, y, 0, 0, 0);
      else if (c == '.')
        image.SetRGB(x, y, 255, 255, 255);
      else
        image.SetRGB(x, y, 1, 2, 3);
    }
  image.SetMaskColour(1, 2, 3);
  image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, 8);
  image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, 8);
  return wxCursor(image);
}

} // namespace

const wxCursor &OpenHandCursor()
{
  static const wxCursor cursor = MakeCursor(kOpenHand);
  return cursor;
}

const wxCursor &ClosedHandCursor()
{
  static const wxCursor cursor = MakeCursor(kClosedHand);
  return cursor;
}

} // namespace vellum
