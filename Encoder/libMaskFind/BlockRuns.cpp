// Block statistics, two-level clustering, thresholds and run extraction.
//
// The 6-bit plane is cut into 12 x 12 blocks (the last row and column of
// blocks moved back to end at the edge). Each block gets a histogram of its
// 3 x 3-smoothed values and a boundary histogram: bound[x] grows with the
// length of edge that binarising the block at level x would make. Each 2 x 2
// group of blocks is split into a dark and a light level by maximising a
// two-cluster score that rewards tight clusters with the dark one G times
// tighter, and penalises boundary length. Groups without a split (uniform)
// are voted dark or light by their neighbours in a forward and a backward
// pass. Every block then picks its levels among the groups containing it,
// scored against running row and column predictions, and gets five
// thresholds around the midpoint. The scan applies them with hysteresis:
// a pixel below a previous row's run, or with dark neighbours, begins and
// continues a run more easily.
//
// Single precision and truncation points follow the reference arithmetic
// exactly so that every machine finds the same mask.
#include "MaskFindInternal.h"

#include <cmath>

namespace maskfind
{

RunList::RunList(int32_t initialCapacity)
{
  if (initialCapacity > 0)
  {
    runs.reset((size_t)initialCapacity * RUN_STRIDE);
    capacity = initialCapacity;
  }
}

int32_t *RunList::add(int32_t y, int32_t x1, int32_t x2, int32_t id)
{
  if (count >= capacity)
  {
    int64_t cap = 2 * (int64_t)count;
    if (cap < 16)
      cap = 16;
    if (cap > INT32_MAX / RUN_STRIDE)
      MF_FATAL("out of memory");
    runs.grow((size_t)cap * RUN_STRIDE);
    capacity = (int32_t)cap;
  }
  int32_t *r = at(count++);
  r[RUN_Y] = y;
  r[RUN_X1] = x1;
  r[RUN_X2] = x2;
  r[RUN_ID] = id;
  return r;
}

void RunList::trim()
{
  if (count == capacity)
    return;
  if (count == 0)
    runs.clear();
  else
    runs.grow((size_t)count * RUN_STRIDE);
  capacity = count;
}

void BlockStats::init(int32_t height, int32_t width)
{
  R = (height + 11) / 12;
  K = (width + 11) / 12;
  Rn = R - 1;
  Kn = K - 1;
  size_t blocks = mf_mul((size_t)R, (size_t)K);
  size_t groups = mf_mul((size_t)Rn, (size_t)Kn);
  hist.reset(mf_mul(blocks, 64));
  bound.reset(mf_mul(blocks, 64));
  lo.reset(blocks);
  hi.reset(blocks);
  thresholds.reset(mf_mul(blocks, 5));
  frac.reset(groups);
  levels.reset(mf_mul(groups, 2));
  rowPred.reset((size_t)R * 2);
  colPred.reset((size_t)K * 2);
}

void ComputeBlockStats(const GreyPlane &plane, BlockStats &bs)
{
  const int32_t H = plane.h, W = plane.w;
  if (!plane.grey)
    MF_FATAL("Not a grey image with 1 byte/pixel");
  if (H < 12 || W < 12)
    MF_FATAL("Diff. image dimensions");
  int32_t hs[15][13]; // horizontal 3-sums of rows y0-1 .. y0+13
  int32_t S[13][13];
  for (int32_t i = 0; i < bs.R; i++)
  {
    int32_t y0 = 12 * i + 12 < H ? 12 * i : H - 12;
    for (int32_t j = 0; j < bs.K; j++)
    {
      int32_t x0 = 12 * j + 12 < W ? 12 * j : W - 12;
      for (int r = 0; r < 15; r++)
      {
        const uint8_t *p = plane.row(y0 - 1 + r) + x0;
        for (int c = 0; c < 13; c++)
          hs[r][c] = p[c - 1] + p[c] + p[c + 1];
      }
      for (int r = 0; r < 13; r++)
        for (int c = 0; c < 13; c++)
        {
          S[r][c] = (hs[r][c] + hs[r + 1][c] + hs[r + 2][c]) / 9;
          if (S[r][c] > 63)
            MF_FATAL("Pixel value too large for allocated histogram");
        }
      uint8_t *hist = bs.hist.get() + bs.blk(i, j) * 64;
      int32_t D[64];
      std::memset(hist, 0, 64);
      std::memset(D, 0, sizeof D);
      int32_t lo = 64, hi = 0;
      for (int r = 0; r < 12; r++)
        for (int c = 0; c < 12; c++)
        {
          int32_t t = S[r][c], u = S[r][c + 1], v = S[r + 1][c];
          if (t < lo)
            lo = t;
          if (t > hi)
            hi = t;
          hist[t]++;
          if (u == v)
          {
            int32_t a = t < u ? t : u, b = t < u ? u : t;
            D[a] += 4;
            D[b] -= 4;
          }
          else
          {
            int32_t a = u < v ? u : v, b = u < v ? v : u;
            D[a] += 1;
            D[b] -= 1;
            if (t < a)
            {
              D[t] += 4;
              D[a] -= 4;
            }
            else if (t > b)
            {
              D[b] += 4;
              D[t] -= 4;
            }
          }
        }
      uint8_t *bound = bs.bound.get() + bs.blk(i, j) * 64;
      int32_t acc = 0;
      for (int x = 0; x < 64; x++)
      {
        acc += D[x];
        bound[x] = (uint8_t)((acc / 2) & 0xff); // only the low 8 bits are kept
      }
      bs.lo[bs.blk(i, j)] = lo;
      bs.hi[bs.blk(i, j)] = hi;
    }
  }
}

void ClusterLevels(const BlockStats &bs, int32_t l, int32_t d, const int32_t *n, const int32_t *b,
                   float &frac, float &F, float &B)
{
  if (d < 0 || d + 1 > 64)
    MF_FATAL("diff>MAX_HISTO");
  float C0[64] = {}, C1[64] = {}, C2[64] = {};
  float c0 = 0, c1 = 0, c2 = 0;
  for (int32_t k = 0; k <= d; k++)
  {
    c0 += (float)n[k];
    c1 += (float)(k * n[k]);
    c2 += (float)(k * k * n[k]);
    C0[k] = c0;
    C1[k] = c1;
    C2[k] = c2;
  }
  const float N = C0[d], S = C1[d];
  const float G2 = bs.G * bs.G;
  float best = S * S / N;
  bool chosen = false;
  float cnD = 0, cmD = 0, cmL = 0;
  for (int32_t k = 0; k < d; k++)
  {
    if (n[k] == 0)
      continue;
    float nD = C0[k], sD = C1[k];
    float nL = N - nD, sL = S - sD;
    float mD = sD / nD, mL = sL / nL;
    float score = G2 * sD * mD - (G2 - 1.0f) * C2[k] + sL * mL + nD * bs.lnG - bs.Wb * (float)b[k] -
                  0.1f * N * (mL - mD + 10.0f);
    if (score > best)
    {
      best = score;
      chosen = true;
      cnD = nD;
      cmD = mD;
      cmL = mL;
    }
  }
  if (chosen)
  {
    frac = cnD / N;
    F = (float)l + cmD;
    B = (float)l + cmL;
  }
  else
  {
    frac = 0.0f;
    F = B = (float)l + S / N;
  }
}

void ClusterGroups(BlockStats &bs)
{
  int32_t n[64], b[64];
  for (int32_t i = 0; i < bs.Rn; i++)
    for (int32_t j = 0; j < bs.Kn; j++)
    {
      const size_t blocks[4] = {bs.blk(i, j), bs.blk(i, j + 1), bs.blk(i + 1, j), bs.blk(i + 1, j + 1)};
      int32_t l = 64, h = 0;
      for (size_t q : blocks)
      {
        if (bs.lo[q] < l)
          l = bs.lo[q];
        if (bs.hi[q] > h)
          h = bs.hi[q];
      }
      if (h >= 64)
        MF_FATAL("last>=MAX_HISTO");
      int32_t d = h - l;
      if (d + 1 > 64)
        MF_FATAL("diff>MAX_HISTO");
      size_t g = bs.grp(i, j);
      float &frac = bs.frac[g];
      float &F = bs.levels[2 * g];
      float &B = bs.levels[2 * g + 1];
      if (d <= 0)
      {
        frac = 0.0f;
        F = B = (float)l;
        continue;
      }
      for (int32_t k = 0; k <= d; k++)
      {
        n[k] = b[k] = 0;
        for (size_t q : blocks)
        {
          n[k] += bs.hist[q * 64 + l + k];
          b[k] += bs.bound[q * 64 + l + k];
        }
      }
      ClusterLevels(bs, l, d, n, b, frac, F, B);
    }
}

void LabelUniformGroups(BlockStats &bs)
{
  const int32_t Rn = bs.Rn, Kn = bs.Kn;
  if (Rn <= 0 || Kn <= 0)
    return;
  const float G = bs.G;
  Buf<float> conf((size_t)Rn * Kn, true);
  auto E = [&](int32_t i, int32_t j) { return bs.frac[bs.grp(i, j)]; };
  auto F = [&](int32_t i, int32_t j) { return bs.levels[2 * bs.grp(i, j)]; };
  auto B = [&](int32_t i, int32_t j) { return bs.levels[2 * bs.grp(i, j) + 1]; };
  auto uniform = [&](int32_t i, int32_t j) { return F(i, j) == B(i, j); };

  for (int32_t i = 0; i < Rn; i++)
    for (int32_t j = 0; j < Kn; j++)
    {
      if (!uniform(i, j))
        continue;
      size_t g = bs.grp(i, j);
      if (i == 0 || j == 0 || i == Rn - 1 || j == Kn - 1)
      {
        bs.frac[g] = 0.0f;
        continue;
      }
      float eUL = E(i - 1, j - 1), eU = E(i - 1, j), eUR = E(i - 1, j + 1), eL = E(i, j - 1);
      float w = eU + eL + (eUL + eUR) / 2.0f;
      float w2 = 3.0f - w;
      float fgEst =
          ((eUL * F(i - 1, j - 1) + eUR * F(i - 1, j + 1)) / 2.0f + eL * F(i, j - 1) + eU * F(i - 1, j)) /
          (w + 0.1f);
      float bgEst = (((1.0f - eUR) * B(i - 1, j + 1) + (1.0f - eUL) * B(i - 1, j - 1)) / 2.0f +
                     (1.0f - eU) * B(i - 1, j) + (1.0f - eL) * B(i, j - 1) + 6.4f) /
                    (w2 + 0.1f);
      float thr = (G * fgEst + bgEst) / (G + 1.0f);
      if (F(i, j) <= thr)
      {
        bs.frac[g] = 1.0f;
        conf[g] = w;
      }
      else
      {
        bs.frac[g] = 0.0f;
        conf[g] = w2;
      }
    }

  for (int32_t i = Rn - 1; i >= 1; i--)
    for (int32_t j = Kn - 1; j >= 1; j--)
    {
      if (!uniform(i, j))
        continue;
      size_t g = bs.grp(i, j);
      if (i == Rn - 1 || j == Kn - 1)
      {
        bs.frac[g] = 0.0f;
        continue;
      }
      float eDL = E(i + 1, j - 1), eD = E(i + 1, j), eDR = E(i + 1, j + 1), eR = E(i, j + 1);
      float w = eD + eR + (eDL + eDR) / 2.0f;
      float w2 = 3.0f - w;
      float fgEst = ((eDL * F(i + 1, j - 1) + eDR * F(i + 1, j + 1)) / 2.0f + eR * F(i, j + 1) +
                     eD * F(i + 1, j) - 6.4f) /
                    (w + 0.1f);
      float bgEst = (((1.0f - eDL) * B(i + 1, j - 1) + (1.0f - eDR) * B(i + 1, j + 1)) / 2.0f +
                     (1.0f - eR) * B(i, j + 1) + (1.0f - eD) * B(i + 1, j) + 12.8f) /
                    (w2 + 0.1f);
      float thr = (G * fgEst + bgEst) / (G + 1.0f);
      if (w == 0.0f)
        bs.frac[g] = 0.0f;
      else if (F(i, j) <= thr)
      {
        if (2.0f * conf[g] < w)
          bs.frac[g] = 1.0f;
      }
      else if (conf[g] / 2.0f < w2)
        bs.frac[g] = 0.0f;
    }
}

void ChooseThresholds(BlockStats &bs)
{
  const float G = bs.G, G2 = G * G, lnG = bs.lnG, Wb = bs.Wb;
  const int32_t s = (int32_t)(Wb * 4.0f / (G * 20.0f));
  for (int32_t i = 0; i < bs.R; i++)
  {
    bs.rowPred[2 * i] = 0.0f;
    bs.rowPred[2 * i + 1] = 63.0f;
  }
  for (int32_t j = 0; j < bs.K; j++)
  {
    bs.colPred[2 * j] = 0.0f;
    bs.colPred[2 * j + 1] = 63.0f;
  }
  for (int32_t i = 0; i < bs.R; i++)
    for (int32_t j = 0; j < bs.K; j++)
    {
      float *rp = bs.rowPred.get() + 2 * i;
      float *cp = bs.colPred.get() + 2 * j;
      const float predF = (cp[0] + rp[0]) / 2.0f;
      const float predB = (rp[1] + cp[1]) / 2.0f;
      const size_t q = bs.blk(i, j);
      const uint8_t *hist = bs.hist.get() + q * 64;
      const uint8_t *bound = bs.bound.get() + q * 64;
      const int32_t lo = bs.lo[q], hi = bs.hi[q];
      float N = 0, S1 = 0, S2 = 0;
      for (int32_t x = lo; x < hi; x++)
      {
        N += (float)hist[x];
        S1 += (float)(x * hist[x]);
        S2 += (float)(x * x * hist[x]);
      }
      float best = -1.0e9f, bF = 0.0f, bB = 0.0f;
      int32_t be = 0;
      for (int32_t gi = i - 1; gi <= i; gi++)
      {
        if (gi < 0 || gi >= bs.Rn)
          continue;
        for (int32_t gj = j - 1; gj <= j; gj++)
        {
          if (gj < 0 || gj >= bs.Kn)
            continue;
          const size_t g = bs.grp(gi, gj);
          const float F = bs.levels[2 * g], B = bs.levels[2 * g + 1], E = bs.frac[g];
          const float base = B * (2.0f * S1 - B * N);
          float score, e;
          if (F != B)
          {
            int32_t t = (int32_t)((float)(int32_t)(G * F + B) / (G + 1.0f));
            if (t < lo)
            {
              score = base - 0.2f * N * std::fabs(B - predB);
              e = 0.0f;
            }
            else if (t >= hi)
            {
              score =
                  G2 * F * (2.0f * S1 - F * N) - (G2 - 1.0f) * S2 + N * lnG - 0.2f * N * std::fabs(F - predF);
              e = 1.0f;
            }
            else
            {
              float nD = 0, sD = 0, qD = 0;
              for (int32_t x = lo; x <= t; x++)
              {
                nD += (float)hist[x];
                sD += (float)(x * hist[x]);
                qD += (float)(x * x * hist[x]);
              }
              float nL = N - nD, sL = S1 - sD;
              score = nD * lnG + G2 * F * (2.0f * sD - F * nD) - (G2 - 1.0f) * qD + B * (2.0f * sL - B * nL) -
                      Wb * (float)bound[t] - 0.2f * (nD * std::fabs(predF - F) + nL * std::fabs(B - predB));
              e = E;
            }
          }
          else
          {
            float P = E != 0.0f ? predF : predB;
            score = base - 0.2f * N * std::fabs(B - P);
            e = E;
          }
          if (score > best)
          {
            best = score;
            bF = F;
            bB = B;
            be = (int32_t)e;
          }
        }
      }
      int32_t *T = bs.thr(i, j);
      if (bF != bB)
      {
        int32_t mid = (int32_t)std::floor((bF + bB) / 2.0f + 0.5f);
        for (int k = 0; k < 5; k++)
          T[k] = mid - 2 * s + k * s;
        rp[0] = cp[0] = bF;
        rp[1] = cp[1] = bB;
      }
      else if (be == 1)
      {
        for (int k = 0; k < 5; k++)
          T[k] = 64;
        rp[0] = cp[0] = bF;
      }
      else
      {
        for (int k = 0; k < 5; k++)
          T[k] = -1;
        rp[1] = cp[1] = bB;
      }
    }
}

void ExtractRuns(const GreyPlane &plane, const BlockStats &bs, RunList &list)
{
  const int32_t H = plane.h, W = plane.w;
  int32_t prevStart = 0, prevEnd = 0; // runs of row y - 1 in list
  for (int32_t y = 0; y + 1 < H; y++)
  {
    const uint8_t *row = plane.row(y);
    const uint8_t *below = plane.row(y + 1);
    const int32_t *thrRow = bs.thresholds.get() + (size_t)(y / 12) * bs.K * 5;
    const int32_t curStart = list.count;
    int32_t pos = 0;
    bool inRun = false;
    int32_t open = -1; // index of the open run

    // Scans columns pos .. limit - 1; cont selects continuation mode.
    auto scan = [&](int32_t limit, bool cont)
    {
      if (limit > W)
        limit = W;
      while (pos < limit)
      {
        const int32_t *T = thrRow + (size_t)(pos / 12) * 5;
        const int32_t mid = T[2];
        if (!inRun && mid == -1)
        {
          pos = (pos / 12) * 12 + 12;
          continue;
        }
        const int v = row[pos];
        const bool bDark = below[pos] < mid, rDark = row[pos + 1] < mid;
        const int k = rDark == bDark ? (bDark ? 1 : -1) : 0;
        const int idx = k + (cont ? 1 : 0);
        if (!inRun)
        {
          if (v < T[idx + 1])
          {
            open = list.count;
            list.add(y, pos, pos, 0);
            inRun = true;
          }
        }
        else if (v >= T[idx + 2])
        {
          list.at(open)[RUN_X2] = pos - 1;
          inRun = false;
        }
        pos++;
      }
    };

    for (int32_t p = prevStart; p < prevEnd; p++)
    {
      const int32_t x1 = list.at(p)[RUN_X1], x2 = list.at(p)[RUN_X2];
      scan(x1, false);
      scan(x2 + 1, true);
    }
    scan(W, false);
    if (inRun)
      list.at(open)[RUN_X2] = W - 1;
    prevStart = curStart;
    prevEnd = list.count;
  }
}

void FindBlockRuns(const GreyPlane &plane, RunList &list)
{
  // A band of at most 12 rows or columns has no block groups, so every block
  // is empty and nothing is scanned. Below 12 the last block would start
  // before the plane: it is not built at all.
  if (plane.h < 12 || plane.w < 12)
  {
    list.trim();
    list.width = plane.w;
    list.height = plane.h;
    return;
  }
  BlockStats bs;
  bs.init(plane.h, plane.w);
  ComputeBlockStats(plane, bs);
  ClusterGroups(bs);
  LabelUniformGroups(bs);
  ChooseThresholds(bs);
  bs.hist.clear();
  bs.bound.clear();
  ExtractRuns(plane, bs, list);
  list.trim();
  list.width = plane.w;
  list.height = plane.h;
}

} // namespace maskfind
