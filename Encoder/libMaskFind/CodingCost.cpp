// Coding cost of a connected component of dark runs.
//
// The estimate compares coding the component as flat-coloured foreground
// with leaving it to the background layer. It reads the band's pixels around
// each run: a dilated run (the run grown over the columns that touch other
// foreground vertically) gives the background on either side, an eroded run
// (the interior columns covered by foreground above and below) gives the
// component's own samples. Items per channel:
//   A  spread of the interior samples around their median (uneven colour)
//   B  interior change against the row above (texture inside)
//   E  background change between the two sides of each run
//   P  step at the lower edge, Q the same against the best background row
//      above (sharpness of the outline)
// cost = L(A) + 1.5 (L(Q) + L(E)) + runs + 200 - (L(B) + L(P)), L being the
// luminance weighting, plus 400 for each of height, width and area below 2.
#include "MaskFindInternal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace maskfind
{

const int *ValueTable()
{
  // The exponent is fixed at 1.0, which makes T the identity; the table keeps
  // the rounding of the general formula.
  static const struct Table
  {
    int v[256];
    Table()
    {
      const double gamma = 1.0;
      for (int i = 0; i < 256; i++)
        v[i] = (int)std::floor(255.0 * std::pow(i / 255.0, gamma) + 0.5);
    }
  } table;
  return table.v;
}

BandView ViewOf(const MaskFindBand &band)
{
  BandView v;
  v.data = band.data + band.offset;
  v.rowsize = band.rowsize;
  v.pixsize = band.pixsize;
  v.w = band.w;
  v.h = band.h;
  v.bgr = band.pixsize == 3 && (band.flags & MASKFIND_BGR) && !(band.flags & MASKFIND_RGB);
  return v;
}

int BandView::diff(int32_t y1, int32_t x1, int32_t y2, int32_t x2) const
{
  int d = 0;
  for (int c = 0; c < 3; c++)
    d += std::abs(px(y1, x1, c) - px(y2, x2, c));
  return d;
}

void ErosionStage(const BandView &band, const RunList &runs, const CompTable &table, PassData &pd)
{
  const int32_t W = band.w, H = band.h, n = runs.count;
  const size_t pixels = mf_mul((size_t)W, (size_t)H);
  if (pd.scratch.size() != pixels)
    pd.scratch.reset(pixels);
  std::memset(pd.scratch.get(), 0, pixels);
  pd.dil.reset(mf_mul((size_t)(n ? n : 1), 3));
  pd.ero.reset(mf_mul((size_t)(n ? n : 1), 4));
  uint8_t *S = pd.scratch.get();
  for (int32_t r = 0; r < n; r++)
  {
    const int32_t *run = runs.at(r);
    const int32_t y = run[RUN_Y], x1 = run[RUN_X1], x2 = run[RUN_X2];
    if (y < 0 || y >= H)
      MF_FATAL("runy>= y dimension ");
    if (x1 < 0 || x2 >= W || x2 < x1)
      MF_FATAL("copy_cc:illegal run size");
    for (int32_t yy : {y - 1, y + 1})
      if (yy >= 0 && yy < H)
      {
        uint8_t *row = S + (size_t)yy * W;
        for (int32_t x = x1; x <= x2; x++)
          row[x]++;
      }
  }

  // Nearest zero byte at or left of / right of each column, per row.
  Buf<int32_t> lz((size_t)W), nz((size_t)W);
  int32_t r = 0;
  while (r < n)
  {
    const int32_t y = runs.at(r)[RUN_Y];
    const uint8_t *row = S + (size_t)y * W;
    int32_t last = -1;
    for (int32_t x = 0; x < W; x++)
    {
      if (row[x] == 0)
        last = x;
      lz[x] = last;
    }
    int32_t next = W;
    for (int32_t x = W - 1; x >= 0; x--)
    {
      if (row[x] == 0)
        next = x;
      nz[x] = next;
    }
    for (; r < n && runs.at(r)[RUN_Y] == y; r++)
    {
      const int32_t x1 = runs.at(r)[RUN_X1], x2 = runs.at(r)[RUN_X2];
      int32_t *d = pd.dilOf(r);
      d[0] = y;
      d[1] = x1 == 0 ? -1 : (x1 >= 2 ? lz[x1 - 2] + 1 : 0);
      d[2] = (x2 + 2 < W ? nz[x2 + 2] : W) - 1;

      int32_t *e = pd.eroOf(r);
      int32_t start = -1, end = -1;
      for (int32_t j = x1 + 1; j < x2; j++)
        if (row[j] == 2)
        {
          start = j;
          break;
        }
      if (start >= 0)
        for (int32_t j = x2 - 1; j > x1; j--)
          if (row[j] >= 2)
          {
            end = j;
            break;
          }
      if (start < 0)
      {
        e[0] = -1;
        e[1] = x1;
        e[2] = x2;
        e[3] = 0;
        continue;
      }
      if (end < start)
        MF_FATAL("runx2<runx1");
      if (end - start > 9)
      {
        start++;
        end--;
      }
      if (end - start > 20)
      {
        start++;
        end--;
      }
      if (end >= W)
      {
        std::printf("%d %d\n", end, W);
        MF_FATAL("runx2>=dim1");
      }
      e[0] = y;
      e[1] = start;
      e[2] = end;
      e[3] = 0;
    }
  }

  // Every run gets a non-empty eroded run.
  for (int32_t c = 0; c < table.count; c++)
  {
    const int32_t *idx = table.runsOf(c);
    const int32_t m = table.at(c)[CC_RUNS];
    bool anyEroded = false;
    for (int32_t k = 0; k < m && !anyEroded; k++)
      anyEroded = pd.eroOf(idx[k])[0] >= 0;
    if (!anyEroded)
    {
      int32_t longest = idx[0], len = -1;
      for (int32_t k = 0; k < m; k++)
      {
        const int32_t *run = runs.at(idx[k]);
        if (run[RUN_X2] - run[RUN_X1] > len)
        {
          len = run[RUN_X2] - run[RUN_X1];
          longest = idx[k];
        }
      }
      const int32_t *run = runs.at(longest);
      int32_t *e = pd.eroOf(longest);
      e[0] = run[RUN_Y];
      e[1] = run[RUN_X1];
      e[2] = run[RUN_X2];
      e[3] = 1;
    }
    for (int32_t k = 0; k < m; k++)
    {
      int32_t *e = pd.eroOf(idx[k]);
      if (e[0] >= 0)
        continue;
      const int32_t *run = runs.at(idx[k]);
      const int32_t y = run[RUN_Y], x1 = run[RUN_X1], x2 = run[RUN_X2];
      int32_t col = (x1 + x2) / 2;
      if (x2 - x1 == 1)
      {
        const int32_t *d = pd.dilOf(idx[k]);
        int dL = band.diff(y, x1, y, d[1] - 1 > 0 ? d[1] - 1 : 0);
        int dR = band.diff(y, x2, y, d[2] + 1 < W - 2 ? d[2] + 1 : W - 2);
        col = dL > dR ? x1 : x2;
      }
      e[0] = y;
      e[1] = col;
      e[2] = col;
      e[3] = 1;
    }
  }
}

namespace
{

enum
{
  ITEM_A = 0,
  ITEM_B = 3,
  ITEM_P = 6,
  ITEM_Q = 9,
  ITEM_E = 12
};

// Interior items A, B, E and the colour. False when no sample was taken.
bool InteriorItems(const BandView &band, const CompTable &table, int32_t c, FilterParams &params,
                   PassData &pd, int32_t *col)
{
  const int *T = ValueTable();
  const int32_t W = band.w;
  const int32_t *idx = table.runsOf(c);
  const int32_t m = col[CC_RUNS], area = col[CC_AREA];
  float A[3] = {0, 0, 0}, B[3] = {0, 0, 0}, E[3] = {0, 0, 0};
  // Samples are half-integers 0..255: a histogram of 2s finds the median.
  int32_t hist[3][511];
  std::memset(hist, 0, sizeof hist);
  int32_t n = 0;
  auto t = [&](int32_t y, int32_t x, int ch) { return (float)T[band.px(y, x, ch)]; };

  // pass 0 accumulates B, E and the histogram; pass 1 accumulates A around
  // the median m, visiting the samples in the same order.
  float med[3] = {0, 0, 0};
  for (int pass = 0; pass < 2; pass++)
  {
    for (int32_t k = 0; k < m; k++)
    {
      const int32_t r = idx[k];
      const int32_t *e = pd.eroOf(r);
      if (e[0] <= 0)
        continue;
      const int32_t y = e[0];
      const int32_t *d = pd.dilOf(r);
      if (d[0] != y)
        MF_FATAL("runy != dil_run[RUN_Y]");
      const int32_t dl = d[1], dr = d[2], es = e[1], ee = e[2];
      if (pass == 0)
      {
        n += ee - es + 1;
        if (n > area)
        {
          std::printf("%d>%d:", n, area);
          MF_FATAL("not enough list alocated");
        }
      }
      const int32_t l2 = dl - 2 > 0 ? dl - 2 : 0, l1 = dl - 1 > 0 ? dl - 1 : 0;
      const int32_t rx = dr + 1 < W - 2 ? dr + 1 : W - 2;
      for (int ch = 0; ch < 3; ch++)
      {
        const float leftBg = (t(y, l2, ch) + t(y, l1, ch)) / 2.0f;
        const float rightBg = (t(y, rx, ch) + t(y, rx + 1, ch)) / 2.0f;
        const float rightBgUp = (t(y - 1, rx, ch) + t(y - 1, rx + 1, ch)) / 2.0f;
        if (pass == 0)
          E[ch] += std::fabs((rightBgUp + leftBg) / 2.0f - rightBg);
        float prev = leftBg;
        for (int32_t x = es; x <= ee; x++)
        {
          float s;
          if (x < ee)
          {
            s = (t(y, x, ch) + t(y, x + 1, ch)) / 2.0f;
            if (pass == 0)
              B[ch] += std::fabs(((t(y - 1, x, ch) + t(y - 1, x + 1, ch)) / 2.0f + prev) / 2.0f - s);
          }
          else
          {
            s = t(y, ee, ch);
            if (pass == 0)
              B[ch] += std::fabs((t(y - 1, ee, ch) + prev) / 2.0f - s);
          }
          if (pass == 0)
            hist[ch][(int)(2.0f * s)]++;
          else
            A[ch] += std::fabs(s - med[ch]);
          prev = s;
        }
        if (pass == 0)
          B[ch] += std::fabs((rightBgUp + prev) / 2.0f - rightBg);
      }
    }
    if (pass == 0)
    {
      if (n == 0)
        return false;
      const int32_t kth = n / 2 + 1;
      if (kth < 1)
        std::printf("Warning: k < 1 (k=%ld)\n", (long)kth);
      if (kth > n)
        std::printf("Warning: k > n (k=%ld,n=%ld)\n", (long)kth, (long)n);
      for (int ch = 0; ch < 3; ch++)
      {
        int32_t seen = 0, v = 0;
        for (; v < 511; v++)
        {
          seen += hist[ch][v];
          if (seen >= kth)
            break;
        }
        med[ch] = (float)v / 2.0f;
      }
    }
  }
  for (int ch = 0; ch < 3; ch++)
  {
    params.items[ITEM_A + ch] = A[ch];
    params.items[ITEM_B + ch] = B[ch];
    params.items[ITEM_E + ch] = E[ch];
    col[CC_COLOR + ch] = med[ch] > 255.0f ? 255 : (int32_t)med[ch];
  }
  return true;
}

// Profile and edge items P, Q.
void EdgeItems(const BandView &band, const CompTable &table, int32_t c, FilterParams &params, PassData &pd,
               const int32_t *col)
{
  const int *T = ValueTable();
  const int32_t W = band.w, H = band.h;
  const int32_t left = col[CC_LEFT], right = col[CC_RIGHT];
  const int32_t width = right - left + 1;
  if (right >= W)
    MF_FATAL("cc_right>=dim1");
  if (left < 0 || width <= 0)
    MF_FATAL("runx1<left! ");
  if (pd.prof.size() < (size_t)W * 4)
    pd.prof.reset((size_t)W * 4);
  int32_t *top = pd.prof.get(), *up = top + width, *bottom = up + width, *down = bottom + width;
  for (int32_t p = 0; p < width; p++)
    top[p] = up[p] = bottom[p] = down[p] = -1;
  const int32_t *idx = table.runsOf(c);
  const int32_t m = col[CC_RUNS];
  for (int32_t k = 0; k < m; k++)
  {
    const int32_t *e = pd.eroOf(idx[k]);
    if (e[0] < 0)
      continue;
    if (e[1] < left)
      MF_FATAL("runx1<left! ");
    if (e[2] > right)
    {
      std::printf("%d>%d\n", e[2], right);
      MF_FATAL("runx2>= x dimension ");
    }
    for (int32_t x = e[1]; x <= e[2]; x++)
    {
      if (top[x - left] < 0)
        top[x - left] = e[0];
      bottom[x - left] = e[0];
    }
  }
  const uint8_t *S = pd.scratch.get();
  for (int32_t p = 0; p < width; p++)
  {
    if (top[p] < 0)
      continue;
    const int32_t x = left + p;
    int32_t best = 0;
    int32_t from = top[p] - 4 > 0 ? top[p] - 4 : 0;
    up[p] = from < top[p] ? from : -1;
    for (int32_t y = from; y < top[p]; y++)
      if (S[(size_t)y * W + x] == 0)
      {
        int d = band.diff(y, x, top[p], x);
        if (d > best)
        {
          best = d;
          up[p] = y;
        }
      }
    best = 0;
    int32_t to = bottom[p] + 4 < H - 1 ? bottom[p] + 4 : H - 1;
    down[p] = bottom[p] + 1 <= to ? bottom[p] + 1 : -1;
    for (int32_t y = bottom[p] + 1; y <= to; y++)
      if (S[(size_t)y * W + x] == 0)
      {
        int d = band.diff(y, x, bottom[p], x);
        if (d > best)
        {
          best = d;
          down[p] = y;
        }
      }
  }

  float P[3] = {0, 0, 0}, Q[3] = {0, 0, 0};
  const int32_t x0 = left > 1 ? left : 1;
  for (int32_t x = x0; x <= right; x++)
  {
    if (right >= W)
      MF_FATAL("cc_right>=dim1");
    const int32_t p = x - x0;
    if (top[p] <= 0)
      continue;
    const int32_t U = up[p], D = bottom[p], DD = down[p];
    if (top[p] >= H)
      MF_FATAL("up_profile out of bound");
    if (U < 0 || U >= H)
      MF_FATAL("up_up_profile out of bound");
    if (D < 0 || D >= H)
      MF_FATAL("down_profile out of bound");
    if (DD < 0 || DD >= H)
      MF_FATAL("down_down_profile out of bound");
    for (int ch = 0; ch < 3; ch++)
    {
      const int tdd1 = T[band.px(DD, x - 1, ch)], tdd = T[band.px(DD, x, ch)];
      Q[ch] += (float)std::abs(tdd1 + T[band.px(U, x, ch)] - 2 * tdd) / 2.0f;
      P[ch] += (float)std::abs(tdd1 + T[band.px(D, x, ch)] - 2 * tdd) / 2.0f;
    }
  }
  for (int ch = 0; ch < 3; ch++)
  {
    params.items[ITEM_P + ch] = P[ch];
    params.items[ITEM_Q + ch] = Q[ch];
  }
}

float Lum(const FilterParams &params, int item)
{
  const float *w = params.weights;
  const float *v = params.items + item;
  return w[0] * v[0] + w[1] * v[1] + w[2] * v[2];
}

} // namespace

bool CostComponent(const BandView &band, const CompTable &table, int32_t c, const RunList &,
                   FilterParams &params, PassData &pd, int32_t *col)
{
  if (!InteriorItems(band, table, c, params, pd, col))
    return false;
  EdgeItems(band, table, c, params, pd, col);

  static const struct
  {
    int item;
    int code;
  } checks[] = {{ITEM_A, 33}, {ITEM_B, 34}, {ITEM_P, 37}, {ITEM_Q, 37}, {ITEM_E, 48}};
  for (const auto &ck : checks)
  {
    const float *v = params.items + ck.item;
    if (v[0] < 0 || v[1] < 0 || v[2] < 0)
    {
      std::printf("%d %f %f %f\n", ck.code, v[0], v[1], v[2]);
      MF_FATAL("total_coding cost uses an item that has not been set");
    }
  }
  const float cost = Lum(params, ITEM_A) + 1.5f * (Lum(params, ITEM_Q) + Lum(params, ITEM_E)) +
                     (float)params.runs + 200.0f - (Lum(params, ITEM_B) + Lum(params, ITEM_P));
  int32_t ic;
  if (!(cost > -2.0e9f))
    ic = -2000000000;
  else if (!(cost < 2.0e9f))
    ic = 2000000000;
  else
    ic = (int32_t)cost;
  if (params.height < 2)
    ic += 400;
  if (params.width < 2)
    ic += 400;
  if (params.area < 2)
    ic += 400;
  col[CC_COST] = ic;
  return true;
}

} // namespace maskfind
