// Connected components of the dark runs and the keep/drop filter.
//
// Runs are labelled by union-find over vertically overlapping runs of
// consecutive rows (diagonal contact does not connect). Every component is
// judged: a large dark area holding six or more light holes of small total
// area is an inversion candidate; anything else is kept when its coding cost
// (CodingCost.cpp) is below the filter level. A large rejected component is
// cut where its eroded runs overlap by less than splitParam columns and the
// pieces are judged again. Finally the light runs inside rejected components
// of more than 10 runs are judged as light-on-dark text against a threshold
// 400 higher.
#include "MaskFindInternal.h"

#include <algorithm>
#include <cstdio>

namespace maskfind
{
namespace
{

int32_t Find(int32_t *parent, int32_t a)
{
  while (parent[a] != a)
    a = parent[a];
  return a;
}

// Labels runs (stride ints each, sorted by row then x1). A run connects to a
// run of the previous row when min(x2 - x1', x2' - x1) >= minOverlap (0: they
// share a column). Writes component numbers 0, 1, ... in order of first run
// into labels and returns the number of components.
int32_t LabelRuns(const int32_t *runs, int32_t n, int stride, int32_t minOverlap, int32_t *labels)
{
  if (n == 0)
    return 0;
  Buf<int32_t> parent((size_t)n);
  int32_t next = 0;
  int32_t prevStart = 0, prevEnd = 0, rowStart = 0;
  int32_t p = 0;
  for (int32_t r = 0; r < n; r++)
  {
    const int32_t *cur = runs + (size_t)r * stride;
    if (r == 0 || cur[RUN_Y] != runs[(size_t)(r - 1) * stride + RUN_Y])
    {
      bool adjacent = r > 0 && cur[RUN_Y] == runs[(size_t)(r - 1) * stride + RUN_Y] + 1;
      prevStart = adjacent ? rowStart : r;
      prevEnd = r;
      rowStart = r;
      p = prevStart;
    }
    int32_t label = -1;
    while (p < prevEnd)
    {
      const int32_t *q = runs + (size_t)p * stride;
      if (q[RUN_X1] > cur[RUN_X2])
        break;
      const int32_t a = cur[RUN_X2] - q[RUN_X1], b = q[RUN_X2] - cur[RUN_X1];
      if ((a < b ? a : b) >= minOverlap)
      {
        if (label < 0)
          label = labels[p];
        else
        {
          int32_t ra = Find(parent.get(), label), rb = Find(parent.get(), labels[p]);
          if (ra < rb)
            parent[rb] = ra;
          else if (rb < ra)
            parent[ra] = rb;
        }
      }
      if (q[RUN_X2] >= cur[RUN_X2])
        break; // examined again for the next run of the row
      p++;
    }
    if (label < 0)
    {
      label = next;
      parent[next] = next;
      next++;
    }
    labels[r] = label;
  }
  // Roots are the smallest labels of their trees; number them in order.
  Buf<int32_t> number((size_t)next);
  int32_t count = 0;
  for (int32_t l = 0; l < next; l++)
  {
    int32_t root = Find(parent.get(), l);
    number[l] = root == l ? count++ : number[root];
  }
  for (int32_t r = 0; r < n; r++)
    labels[r] = number[Find(parent.get(), labels[r])];
  return count;
}

void InitStats(int32_t *col)
{
  std::memset(col, 0, CC_COLS * sizeof(int32_t));
  col[CC_LEFT] = col[CC_TOP] = 10000000;
  col[CC_RIGHT] = col[CC_BOTTOM] = -1;
  col[CC_STATE] = 1;
  col[CC_COLOR] = col[CC_COLOR + 1] = col[CC_COLOR + 2] = 255;
}

void AddRun(int32_t *col, const int32_t *run)
{
  col[CC_RUNS]++;
  col[CC_AREA] += run[RUN_X2] - run[RUN_X1] + 1;
  col[CC_LEFT] = std::min(col[CC_LEFT], run[RUN_X1]);
  col[CC_TOP] = std::min(col[CC_TOP], run[RUN_Y]);
  col[CC_RIGHT] = std::max(col[CC_RIGHT], run[RUN_X2]);
  col[CC_BOTTOM] = std::max(col[CC_BOTTOM], run[RUN_Y]);
}

void Reserve(CompTable &table, int32_t count)
{
  if (count <= table.capacity)
    return;
  int64_t cap = std::max<int64_t>(count, 2 * (int64_t)table.capacity);
  if (cap > INT32_MAX / CC_COLS)
    MF_FATAL("out of memory");
  table.cols.grow((size_t)cap * CC_COLS);
  table.capacity = (int32_t)cap;
}

// Background runs of the frame around component c: labelled, they give the
// number of background components and the area of the holes.
void BackgroundAnalysis(const CompTable &table, int32_t c, const RunList &runs, FilterParams &params)
{
  const int32_t *col = table.at(c);
  const int32_t left = col[CC_LEFT], right = col[CC_RIGHT], top = col[CC_TOP], bottom = col[CC_BOTTOM];
  const int32_t *idx = table.runsOf(c);
  const int32_t m = col[CC_RUNS];
  RunList bg(m + 2 * (bottom - top + 1) + 2);
  if (top > 0)
    bg.add(top - 1, left, right + 1, 0);
  int32_t k = 0;
  for (int32_t y = top; y <= bottom; y++)
  {
    int32_t lastx2 = left - 2;
    for (; k < m && runs.at(idx[k])[RUN_Y] == y; k++)
    {
      const int32_t *run = runs.at(idx[k]);
      if (lastx2 + 1 <= run[RUN_X1] - 1)
        bg.add(y, lastx2 + 1, run[RUN_X1] - 1, 0);
      else
        std::printf("%d %s %d  %s %d\n", y, "(1+ lastx2)", lastx2 + 1, "(1- runx1)", run[RUN_X1] - 1);
      lastx2 = run[RUN_X2];
    }
    if (lastx2 + 1 <= right + 1)
      bg.add(y, lastx2 + 1, right + 1, 0);
    else
      std::printf("%d %s %d  %s %d\n", y, "right", right + 1, "left", lastx2 + 1);
  }
  bg.add(bottom + 1, left - 1, right + 1, 0);
  Buf<int32_t> labels((size_t)bg.count);
  params.backgroundCount = LabelRuns(bg.runs.get(), bg.count, RUN_STRIDE, 0, labels.get());
  int64_t holes = 0;
  for (int32_t r = 0; r < bg.count; r++)
    if (labels[r] != labels[0])
      holes += bg.at(r)[RUN_X2] - bg.at(r)[RUN_X1] + 1;
  params.holeArea = (int32_t)std::min<int64_t>(holes, INT32_MAX);
}

} // namespace

const int32_t *CompTable::runsOf(int32_t c) const
{
  const int32_t first = at(c)[CC_FIRST];
  return c < labelled ? order.get() + first : extra.get() + first;
}

int32_t CompTable::append(const int32_t *runIdx, int32_t n, const RunList &runs)
{
  Reserve(*this, count + 1);
  if ((size_t)extraCount + n > extra.size())
    extra.grow(std::max<size_t>((size_t)extraCount + n, 2 * extra.size()));
  int32_t c = count++;
  int32_t *col = at(c);
  InitStats(col);
  col[CC_FIRST] = extraCount;
  for (int32_t k = 0; k < n; k++)
  {
    extra[extraCount++] = runIdx[k];
    AddRun(col, runs.at(runIdx[k]));
  }
  return c;
}

void LabelComponents(RunList &runs, CompTable &table)
{
  const int32_t n = runs.count;
  Buf<int32_t> labels((size_t)(n ? n : 1));
  const int32_t count = LabelRuns(runs.runs.get(), n, RUN_STRIDE, 0, labels.get());
  table.count = 0;
  table.extraCount = 0;
  Reserve(table, count);
  table.count = table.labelled = count;
  for (int32_t c = 0; c < count; c++)
    InitStats(table.at(c));
  for (int32_t r = 0; r < n; r++)
  {
    int32_t *run = runs.at(r);
    run[RUN_ID] = labels[r];
    AddRun(table.at(labels[r]), run);
  }
  // Component order by a stable counting sort; the runs of each component
  // come out ascending, i.e. by row.
  int32_t first = 0;
  for (int32_t c = 0; c < count; c++)
  {
    table.at(c)[CC_FIRST] = first;
    first += table.at(c)[CC_RUNS];
  }
  if (first != n)
    MF_FATAL("internal error in CC analysis");
  table.order.reset((size_t)(n ? n : 1));
  Buf<int32_t> fill((size_t)(count ? count : 1));
  for (int32_t c = 0; c < count; c++)
    fill[c] = table.at(c)[CC_FIRST];
  for (int32_t r = 0; r < n; r++)
    table.order[fill[labels[r]]++] = r;
}

void JudgeComponent(const BandView &band, CompTable &table, int32_t c, const RunList &runs,
                    FilterParams &params, PassData &pd)
{
  int32_t *col = table.at(c);
  params.area = col[CC_AREA];
  params.runs = col[CC_RUNS];
  params.width = col[CC_RIGHT] - col[CC_LEFT] + 1;
  params.height = col[CC_BOTTOM] - col[CC_TOP] + 1;
  for (float &v : params.items)
    v = -1.0f;
  col[CC_STATE] = 0;

  BackgroundAnalysis(table, c, runs, params);
  col = table.at(c);
  col[CC_BGCOUNT] = params.backgroundCount;

  if (!params.noInversion && params.area > params.minInvArea &&
      (float)params.area > 0.2f * (float)params.width * (float)params.height &&
      params.backgroundCount >= params.minHoles && (int64_t)params.holeArea * params.holeFactor < params.area)
  {
    col[CC_STATE] = -1;
    return;
  }
  if (params.area > 1000000)
    return;
  if (!CostComponent(band, table, c, runs, params, pd, col))
    return;
  if (col[CC_COST] < params.threshold)
    col[CC_STATE] = 1;
}

namespace
{

// Cuts component c where its eroded runs overlap by less than splitParam and
// judges the pieces; retained pieces end up in the table with state 1.
void TrySplit(const BandView &band, CompTable &table, int32_t c, RunList &runs, FilterParams &params,
              PassData &pd)
{
  const int32_t m = table.at(c)[CC_RUNS];
  Buf<int32_t> idx((size_t)m);
  std::memcpy(idx.get(), table.runsOf(c), (size_t)m * sizeof(int32_t));
  Buf<int32_t> ero((size_t)m * RUN_STRIDE);
  for (int32_t k = 0; k < m; k++)
  {
    const int32_t *e = pd.eroOf(idx[k]);
    ero[(size_t)k * RUN_STRIDE + RUN_Y] = e[0];
    ero[(size_t)k * RUN_STRIDE + RUN_X1] = e[1];
    ero[(size_t)k * RUN_STRIDE + RUN_X2] = e[2];
    ero[(size_t)k * RUN_STRIDE + RUN_ID] = 0;
  }
  Buf<int32_t> piece((size_t)m);
  const int32_t pieces = LabelRuns(ero.get(), m, RUN_STRIDE, params.splitParam, piece.get());
  if (pieces <= 1)
    return;
  // Runs of each piece, in run order.
  Buf<int32_t> start((size_t)pieces + 1, true);
  for (int32_t k = 0; k < m; k++)
    start[piece[k] + 1]++;
  for (int32_t p = 0; p < pieces; p++)
    start[p + 1] += start[p];
  Buf<int32_t> sorted((size_t)m);
  {
    Buf<int32_t> fill((size_t)pieces);
    for (int32_t p = 0; p < pieces; p++)
      fill[p] = start[p];
    for (int32_t k = 0; k < m; k++)
      sorted[fill[piece[k]]++] = idx[k];
  }
  for (int32_t p = 0; p < pieces; p++)
  {
    const int32_t nc = table.append(sorted.get() + start[p], start[p + 1] - start[p], runs);
    for (int32_t k = start[p]; k < start[p + 1]; k++)
      runs.at(sorted[k])[RUN_ID] = nc;
    JudgeComponent(band, table, nc, runs, params, pd);
  }
}

void CopyKept(const CompTable &table, const RunList &runs, RunList &out)
{
  for (int32_t c = 0; c < table.count; c++)
  {
    const int32_t *col = table.at(c);
    if (col[CC_STATE] != 1)
      continue;
    const int32_t *idx = table.runsOf(c);
    for (int32_t k = 0; k < col[CC_RUNS]; k++)
    {
      const int32_t *r = runs.at(idx[k]);
      out.add(r[RUN_Y], r[RUN_X1], r[RUN_X2], r[RUN_ID]);
    }
  }
}

// The light intervals between the runs of rejected components, as a sorted run
// list. A gap between two neighbouring runs of a row is taken once even when
// several rejected components enclose it.
void CollectLightRuns(const CompTable &table, const RunList &runs, RunList &light)
{
  Buf<uint8_t> taken((size_t)(runs.count ? runs.count : 1), true);
  for (int32_t c = 0; c < table.labelled; c++)
  {
    const int32_t *col = table.at(c);
    if (col[CC_STATE] >= 1 || col[CC_RUNS] <= 10)
      continue;
    const int32_t *idx = table.runsOf(c);
    for (int32_t k = 0; k + 1 < col[CC_RUNS]; k++)
    {
      const int32_t a = idx[k], b = idx[k + 1];
      if (runs.at(a)[RUN_Y] != runs.at(b)[RUN_Y])
        continue;
      // Plane runs between a and b split the gap: they are other components.
      for (int32_t q = a; q < b; q++)
      {
        if (taken[q])
          continue;
        taken[q] = 1;
        const int32_t y = runs.at(q)[RUN_Y];
        const int32_t x1 = runs.at(q)[RUN_X2] + 1, x2 = runs.at(q + 1)[RUN_X1] - 1;
        if (x1 > x2)
        {
          std::printf("%d %s %d  %s %d\n", y, "try-x1", x1, "try-x2", x2);
          continue;
        }
        light.add(y, x1, x2, 0);
      }
    }
  }
  std::sort(reinterpret_cast<Run4 *>(light.runs.get()),
            reinterpret_cast<Run4 *>(light.runs.get()) + light.count,
            [](const Run4 &p, const Run4 &q)
            { return p.v[RUN_Y] != q.v[RUN_Y] ? p.v[RUN_Y] < q.v[RUN_Y] : p.v[RUN_X1] < q.v[RUN_X1]; });
}

// Normal and inversion pass over the runs of one plane; the retained runs are
// appended to out.
void FilterPlane(const BandView &band, RunList &runs, const FilterSetup &setup, RunList &out)
{
  if (runs.count == 0)
    return;
  FilterParams normal = setup.normal;
  CompTable table;
  PassData pd;
  LabelComponents(runs, table);
  ErosionStage(band, runs, table, pd);
  const int32_t labelled = table.labelled;
  for (int32_t c = 0; c < labelled; c++)
  {
    JudgeComponent(band, table, c, runs, normal, pd);
    const int32_t *col = table.at(c);
    if (col[CC_STATE] == 0 && (col[CC_RIGHT] - col[CC_LEFT]) + (col[CC_BOTTOM] - col[CC_TOP]) > 20)
      TrySplit(band, table, c, runs, normal, pd);
  }
  CopyKept(table, runs, out);
  if (normal.noInversion)
    return;

  RunList light(64);
  CollectLightRuns(table, runs, light);
  table = CompTable();
  if (light.count == 0)
    return;
  FilterParams inverse = setup.inverse;
  CompTable ltable;
  LabelComponents(light, ltable);
  ErosionStage(band, light, ltable, pd);
  for (int32_t c = 0; c < ltable.labelled; c++)
    JudgeComponent(band, ltable, c, light, inverse, pd);
  CopyKept(ltable, light, out);
}

} // namespace

void MakeFilterParams(const MaskFindParams &p, const MaskFindBand &band, FilterSetup &fs)
{
  FilterParams base;
  base.noInversion = (p.switches & MASKFIND_NO_INV_FILTER) != 0;
  const bool bgr = band.pixsize == 3 && (band.flags & MASKFIND_BGR) && !(band.flags & MASKFIND_RGB);
  if (bgr)
  {
    base.weights[0] = 0.114f;
    base.weights[2] = 0.299f;
  }
  for (float &v : base.items)
    v = -1.0f;
  fs.normal = base;
  fs.normal.threshold = p.filter_level;
  fs.inverse = base;
  fs.inverse.threshold = (int32_t)std::min<int64_t>((int64_t)p.filter_level + 400, INT32_MAX);
}

namespace
{
bool Unfiltered(const MaskFindParams &p)
{
  const int all = MASKFIND_NO_COLOR_FILTER | MASKFIND_NO_SIZE_FILTER | MASKFIND_NO_INV_FILTER;
  return (p.switches & all) == all;
}

void Finish(const MaskFindBand &band, RunList &list)
{
  list.trim();
  list.width = band.w;
  list.height = band.h;
}
} // namespace

void FilterSinglePlane(const MaskFindBand &band, RunList &runs, const MaskFindParams &params)
{
  if (!Unfiltered(params))
  {
    FilterSetup fs;
    MakeFilterParams(params, band, fs);
    RunList out(runs.count > 0 ? runs.count : 0);
    FilterPlane(ViewOf(band), runs, fs, out);
    runs = std::move(out);
  }
  Finish(band, runs);
}

void FilterTwoPlanes(const MaskFindBand &band, RunList &lightRuns, RunList &darkRuns, RunList &result,
                     const MaskFindParams &params)
{
  if (Unfiltered(params))
  {
    for (RunList *l : {&lightRuns, &darkRuns})
      for (int32_t r = 0; r < l->count; r++)
      {
        const int32_t *v = l->at(r);
        result.add(v[RUN_Y], v[RUN_X1], v[RUN_X2], v[RUN_ID]);
      }
  }
  else
  {
    FilterSetup fs;
    MakeFilterParams(params, band, fs);
    const BandView view = ViewOf(band);
    FilterPlane(view, lightRuns, fs, result);
    FilterPlane(view, darkRuns, fs, result);
  }
  Finish(band, result);
}

} // namespace maskfind
