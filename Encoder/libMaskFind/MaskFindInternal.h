// Internal interface of the mask finder, shared by its source files and by
// its unit tests. Nothing here is part of the public contract (maskfind.h).
//
// Stages of one band:
//   grey preparation    MakeGreyPlane, RgbToGrey, QuantiseGrey, SplitGrey
//   block statistics    ComputeBlockStats, ClusterGroups, LabelUniformGroups
//   thresholds, runs    ChooseThresholds, ExtractRuns (FindBlockRuns = all)
//   component filter    LabelComponents, ErosionStage, JudgeComponent,
//                       FilterSinglePlane, FilterTwoPlanes
//
// Fatal errors are raised with MF_FATAL, which throws maskfind::Fatal; the
// public entry catches it, releases the call's memory and reports it.
#ifndef VELLUM_MASKFIND_INTERNAL_H
#define VELLUM_MASKFIND_INTERNAL_H

#include "maskfind.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace maskfind
{

// ---------------------------------------------------------------------------
// Errors and memory

struct Fatal
{
  char message[256];
  const char *file;
  int line;
};

[[noreturn]] void fatal(const char *file, int line, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
#define MF_FATAL(...) ::maskfind::fatal(__FILE__, __LINE__, __VA_ARGS__)

// "Encoder/libMaskFind/BlockRuns" from a __FILE__ path.
const char *source_id(const char *path, char *buf, size_t size);

// Allocation through the hooks. While a MaskFinderEntry call runs, every
// block is linked into that call's arena so that a fatal error can release
// them all. A null hook result raises "Memory Exhausted". mf_realloc to size
// 0 frees the block and returns null.
void *mf_alloc(size_t size);
void *mf_alloc_zero(size_t size);
void *mf_realloc(void *ptr, size_t size);
void mf_free(void *ptr);
// Removes a block from the arena so that it survives the call (results).
void mf_detach(void *ptr);

// Overflow-checked size arithmetic ("out of memory" on overflow).
size_t mf_mul(size_t a, size_t b);
size_t mf_add(size_t a, size_t b);

// One call's allocations. Installed for the current thread by Scope.
class Arena
{
public:
  struct Hdr
  {
    Hdr *prev;
    Hdr *next;
    Arena *owner;
    size_t pad;
  };
  Hdr head{&head, &head, nullptr, 0};
  void release_all();

  class Scope
  {
  public:
    explicit Scope(Arena *a);
    ~Scope();

  private:
    Arena *saved_;
  };
};

// Owning array from the finder's allocator.
template <class T> class Buf
{
public:
  Buf() = default;
  explicit Buf(size_t n, bool zero = false) { reset(n, zero); }
  ~Buf() { mf_free(p_); }
  Buf(const Buf &) = delete;
  Buf &operator=(const Buf &) = delete;
  Buf(Buf &&o) noexcept : p_(o.p_), n_(o.n_)
  {
    o.p_ = nullptr;
    o.n_ = 0;
  }
  Buf &operator=(Buf &&o) noexcept
  {
    std::swap(p_, o.p_);
    std::swap(n_, o.n_);
    return *this;
  }
  void reset(size_t n, bool zero = false)
  {
    mf_free(p_);
    p_ = nullptr;
    n_ = 0;
    if (n)
    {
      size_t bytes = mf_mul(n, sizeof(T));
      p_ = static_cast<T *>(zero ? mf_alloc_zero(bytes) : mf_alloc(bytes));
      n_ = n;
    }
  }
  void grow(size_t n)
  {
    p_ = static_cast<T *>(mf_realloc(p_, mf_mul(n, sizeof(T))));
    n_ = n;
  }
  void clear()
  {
    mf_free(p_);
    p_ = nullptr;
    n_ = 0;
  }
  // Gives up ownership of the block.
  T *release()
  {
    T *p = p_;
    p_ = nullptr;
    n_ = 0;
    return p;
  }
  T *get() const { return p_; }
  size_t size() const { return n_; }
  T &operator[](size_t i) const { return p_[i]; }

private:
  T *p_ = nullptr;
  size_t n_ = 0;
};

// ---------------------------------------------------------------------------
// Runs

enum
{
  RUN_STRIDE = 4
};

struct Run4
{
  int32_t v[RUN_STRIDE];
};

// Growable list of runs (y, x1, x2, id).
struct RunList
{
  Buf<int32_t> runs;
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t width = 0;
  int32_t height = 0;

  explicit RunList(int32_t initialCapacity = 0);
  int32_t *at(int32_t i) const { return runs.get() + (size_t)i * RUN_STRIDE; }
  // Appends a run; the capacity doubles (twice the new run's index) when full.
  int32_t *add(int32_t y, int32_t x1, int32_t x2, int32_t id);
  void trim();
};

// ---------------------------------------------------------------------------
// Grey preparation

struct GreyPlane
{
  int32_t w = 0;
  int32_t h = 0;
  int32_t margin = 0;
  size_t rowsize = 0;
  Buf<uint8_t> buf;
  bool grey = true; // the plane holds one grey byte per pixel

  uint8_t *row(int32_t y) const { return buf.get() + (size_t)(y + margin) * rowsize + margin; }
  uint8_t at(int32_t y, int32_t x) const { return row(y)[x]; }
};

// Read-only view of an 8-bit grey source: the band itself or a plane.
struct GreySource
{
  const uint8_t *data; // row 0, column 0
  ptrdiff_t rowsize;
  int32_t w;
  int32_t h;
  const uint8_t *row(int32_t y) const { return data + y * rowsize; }
};

void MakeGreyPlane(GreyPlane &plane, int32_t height, int32_t width, int32_t margin = 2);
void RgbToGrey(const MaskFindBand &band, GreyPlane &plane);
GreySource SourceOf(const GreyPlane &plane);
GreySource SourceOf(const MaskFindBand &band);
// plane = source >> 2. The source may be the plane itself.
void QuantiseGrey(const GreySource &src, GreyPlane &plane);
// Split mode planes; either output may be null; an output may share its
// storage with the source.
void SplitGrey(const GreySource &src, GreyPlane *light, GreyPlane *dark, int32_t level);

// ---------------------------------------------------------------------------
// Block statistics, thresholds and runs

struct BlockStats
{
  float lnG = 0.6931472f;
  float G = 2.0f;
  float Wb = 60.0f;
  int32_t R = 0, K = 0;    // block rows and columns
  int32_t Rn = 0, Kn = 0;  // group rows and columns (R - 1, K - 1)
  Buf<uint8_t> hist;       // R x K x 64
  Buf<uint8_t> bound;      // R x K x 64
  Buf<int32_t> lo, hi;     // R x K
  Buf<int32_t> thresholds; // R x K x 5
  Buf<float> frac;         // Rn x Kn
  Buf<float> levels;       // Rn x Kn x 2 (F, B)
  Buf<float> rowPred;      // R x 2
  Buf<float> colPred;      // K x 2

  void init(int32_t height, int32_t width);
  size_t blk(int32_t i, int32_t j) const { return (size_t)i * K + j; }
  size_t grp(int32_t i, int32_t j) const { return (size_t)i * Kn + j; }
  int32_t *thr(int32_t i, int32_t j) const { return thresholds.get() + blk(i, j) * 5; }
};

void ComputeBlockStats(const GreyPlane &plane, BlockStats &bs);
void ClusterGroups(BlockStats &bs);
void LabelUniformGroups(BlockStats &bs);
void ChooseThresholds(BlockStats &bs);
void ExtractRuns(const GreyPlane &plane, const BlockStats &bs, RunList &list);
void FindBlockRuns(const GreyPlane &plane, RunList &list);

// Clustering of one group's pooled histogram: levels l..l+d with counts n[]
// and boundary sums b[]. Writes frac, F, B.
void ClusterLevels(const BlockStats &bs, int32_t l, int32_t d, const int32_t *n, const int32_t *b,
                   float &frac, float &F, float &B);

// ---------------------------------------------------------------------------
// Components

enum
{
  CC_RUNS = 0,
  CC_FIRST = 1,
  CC_BGCOUNT = 2,
  CC_AREA = 3,
  CC_LEFT = 4,
  CC_TOP = 5,
  CC_RIGHT = 6,
  CC_BOTTOM = 7,
  CC_STATE = 8,
  CC_COST = 9,
  CC_COLOR = 10,
  CC_COLS = 13
};

struct CompTable
{
  Buf<int32_t> cols; // CC_COLS per component
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t labelled = 0; // components from labelling; later ones are split pieces
  Buf<int32_t> order;   // run indices in component order
  Buf<int32_t> extra;   // run indices of components appended by the split
  int32_t extraCount = 0;

  int32_t *at(int32_t c) const { return cols.get() + (size_t)c * CC_COLS; }
  // Run indices of component c (its runs in run order).
  const int32_t *runsOf(int32_t c) const;
  int32_t append(const int32_t *runIdx, int32_t n, const RunList &runs);
};

// Union-find labelling of runs sorted by row then x1. Writes RUN_ID and fills
// the table (statistics, component order).
void LabelComponents(RunList &runs, CompTable &table);

struct FilterParams
{
  float gamma = 1.0f;
  int32_t splitParam = 5;
  int32_t threshold = 0;
  int32_t minHoles = 6;
  int32_t holeFactor = 3;
  bool noInversion = false;
  int32_t minInvArea = 10000;
  float weights[3] = {0.299f, 0.587f, 0.114f};
  float items[15];
  int32_t area = 0, runs = 0, width = 0, height = 0;
  int32_t backgroundCount = 0, holeArea = 0;
};

// Band pixels as rows x columns x 3 channels.
struct BandView
{
  const uint8_t *data;
  ptrdiff_t rowsize;
  int32_t pixsize;
  int32_t w, h;
  bool bgr;

  // Channel c of pixel (y, x); a grey band gives the grey values at x, x + 1
  // and x + 2 of the row, the last pixel of the row standing in beyond it.
  int px(int32_t y, int32_t x, int c) const
  {
    const uint8_t *r = data + y * rowsize;
    if (pixsize == 3)
      return r[x * 3 + c];
    int32_t xx = x + c < w ? x + c : w - 1;
    return r[xx];
  }
  int diff(int32_t y1, int32_t x1, int32_t y2, int32_t x2) const;
};
BandView ViewOf(const MaskFindBand &band);

const int *ValueTable(); // T: 256 entries

// Per pass: scratch raster, dilated runs (y, left, right), eroded runs
// (y, start, end, mark).
struct PassData
{
  Buf<uint8_t> scratch;
  Buf<int32_t> dil;
  Buf<int32_t> ero;
  // per component work space
  Buf<int32_t> prof; // 4 x width of the band
  int32_t *dilOf(int32_t r) const { return dil.get() + (size_t)r * 3; }
  int32_t *eroOf(int32_t r) const { return ero.get() + (size_t)r * 4; }
};

void ErosionStage(const BandView &band, const RunList &runs, const CompTable &table, PassData &pd);
void JudgeComponent(const BandView &band, CompTable &table, int32_t c, const RunList &runs,
                    FilterParams &params, PassData &pd);
// The cost part of judging (interior, profile, edges, total); false when no
// interior sample could be taken.
bool CostComponent(const BandView &band, const CompTable &table, int32_t c, const RunList &runs,
                   FilterParams &params, PassData &pd, int32_t *col);

struct FilterSetup
{
  FilterParams normal;
  FilterParams inverse;
};
void MakeFilterParams(const MaskFindParams &p, const MaskFindBand &band, FilterSetup &fs);

void FilterSinglePlane(const MaskFindBand &band, RunList &runs, const MaskFindParams &params);
void FilterTwoPlanes(const MaskFindBand &band, RunList &lightRuns, RunList &darkRuns, RunList &result,
                     const MaskFindParams &params);

} // namespace maskfind

#endif
