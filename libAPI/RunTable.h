// The run table: the Image API's working form of a page mask, built from a
// djvu_run_image, split into connected components, with overlapping
// components merged, and turned into a DjVuLibre JB2 image (one shape and one
// blit per component).
//
// Coordinates: y counts rows from the bottom (the top raster row is
// height - 1), x columns from the left; a run covers x0..x1 inclusive.
// Component boxes are exclusive on the right and top.
//
// All functions raise failures (DJVU_API_THROW); the public caller reports.
#ifndef VELLUM_LIBAPI_RUNTABLE_H
#define VELLUM_LIBAPI_RUNTABLE_H

#include "ApiError.h"
#include "djvuapi.h"

#include <cstdint>
#include <vector>

#include "GSmartPointer.h"
#include "JB2Image.h"

namespace vellum_api
{

struct Run
{
  int32_t y, x0, x1;
  int32_t id; // component id after analysis, else -1
};

struct Component
{
  int32_t left, bottom, right, top; // right and top exclusive
  std::vector<int32_t> runs;        // indices into RunTable::runs, table order
};

class RunTable
{
public:
  int32_t width = 0;
  int32_t height = 0;
  std::vector<Run> runs;        // sorted by y, then x0
  std::vector<Component> comps; // after connected_components()
  bool analysed = false;

  // Builds the table from a run image. with_image: the encoder also has a
  // page image, so for runtypes 0 and 2 the less frequent colour (dark on a
  // tie) is the foreground; otherwise (and for runtype 1) the dark runs are.
  // Messages: "Unknown runtype", "Negative Cordinates in Run".
  void from_run_image(const djvu_run_image &ri, bool with_image);

  // Labels the runs with union-find (4 or 8 connectivity) and builds the
  // components. "Only 4-connectivity and 8-connectivity are supported".
  void connected_components(int connectivity);

  // Merges components whose boxes overlap by percent of either box (areas
  // within a factor 200); the encoder passes 85. Needs connected_components.
  void merge_overlapping(int percent);

  // One shape (no parent) and one blit per component in id order; runs
  // 8-connectivity analysis first when none was made. The caller sets the
  // page size.
  DJVU::GP<DJVU::JB2Image> to_jb2();

private:
  // Rebuilds comps from per-run root labels (renumbered 0..n-1).
  void build_components(std::vector<int32_t> &label);
};

// The encoder's mask path: run table (with_image as above), 8-connectivity,
// 85 % merge, JB2 image. The caller sets the page size.
DJVU::GP<DJVU::JB2Image> run_image_to_jb2(const djvu_run_image &ri, bool with_image);

// A zeroed run image record from the API allocator (free with
// djvu_run_image_free). Raises "Failed to allocate memory".
djvu_run_image *run_image_new();

} // namespace vellum_api

#endif
