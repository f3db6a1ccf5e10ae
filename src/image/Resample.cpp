// Resampling of the image record to a new size.
//
// Each output pixel covers a span of ratio r = old / new source cells per
// axis. A cell's weight is the part of it the span covers, multiplied by a
// kernel entry chosen by the number of cells the span touches (ceil(r) or
// ceil(r) + 1): all ones for the grid average, cubes of a tent for the
// centre-favouring method, and a single centre cell for the single-sample
// method when shrinking. The two axes are separable: rows are first summed
// per column, then the columns of each output pixel.
//
// 1 bit: the weighted share of set bits decides the output bit. 8 bits with a
// grey ramp and 24 bits: weighted mean, truncated. 8 bits with any other
// palette: resampled in colour through the palette into a 24-bit image
// (averaging palette indices gives wrong colours). 4 bits: the source cell at
// the centre of the span (nearest sample), so every output nibble is a real
// colour of its span.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "DibImage.h"
#include "DibImageInternal.h"

namespace
{

struct Axis
{
  std::vector<int> first;     // first source cell of each output pixel
  std::vector<int> count;     // cells covered
  std::vector<size_t> offset; // start of its weights in weight
  std::vector<double> weight;
  std::vector<double> sum;
  std::vector<int> nearest; // the cell under the span's centre
};

// Kernel entries for spans of P (a) and P + 1 (b) cells.
void BuildKernel(double r, int method, int P, std::vector<double> &a, std::vector<double> &b)
{
  a.assign((size_t)P + 1, 1.0);
  b.assign((size_t)P + 1, 1.0);
  if (method == DIB_RESAMPLE_CENTRE)
  {
    const double c = (P - 1) * 0.5, d = P * 0.5;
    for (int m = 0; m <= P; m++)
    {
      double g = c - std::fabs(c - m) + 1, h = d - std::fabs(d - m) + 1;
      a[(size_t)m] = g * g * g;
      b[(size_t)m] = h * h * h;
    }
  }
  else if (method == DIB_RESAMPLE_SINGLE && r > 1)
  {
    std::fill(a.begin(), a.end(), 0.0);
    std::fill(b.begin(), b.end(), 0.0);
    a[(size_t)(P / 2)] = r;
    b[(size_t)((P + 1) / 2)] = r;
  }
}

void BuildAxis(int n, int newN, int method, Axis &axis)
{
  const double r = (double)n / newN;
  const int P = (int)std::ceil(r);
  std::vector<double> a, b;
  BuildKernel(r, method, P, a, b);
  axis.first.resize((size_t)newN);
  axis.count.resize((size_t)newN);
  axis.offset.resize((size_t)newN);
  axis.sum.resize((size_t)newN);
  axis.nearest.resize((size_t)newN);
  axis.weight.clear();
  for (int l = 0; l < newN; l++)
  {
    const double lo = r * l;
    double hi = r * (l + 1);
    if (hi > n) // rounding at the last span
      hi = n;
    const int f = (int)std::floor(lo);
    const double e = std::ceil(hi);
    int v = (int)e - f;
    if (v < 1)
      v = 1;
    const std::vector<double> *kernel = v == P ? &a : v == P + 1 ? &b : nullptr;
    axis.first[(size_t)l] = f;
    axis.offset[(size_t)l] = axis.weight.size();
    double sum = 0;
    int kept = 0;
    for (int m = 0; m < v && f + m < n; m++)
    {
      double cover = 1;
      if (m == 0)
        cover = 1 - (lo - f);
      if (m == v - 1)
        cover = 1 - (e - hi);
      double w = cover * (kernel ? (*kernel)[(size_t)m] : 1.0);
      axis.weight.push_back(w);
      sum += w;
      kept++;
    }
    axis.count[(size_t)l] = kept;
    axis.sum[(size_t)l] = sum;
    int centre = (int)std::floor(r * (l + 0.5));
    axis.nearest[(size_t)l] = centre < 0 ? 0 : centre >= n ? n - 1 : centre;
  }
}

inline unsigned char Truncate(double value)
{
  // The small bias keeps exact means (such as a uniform area) from falling
  // one below through rounding of the weights.
  value += 1e-9;
  if (value <= 0)
    return 0;
  if (value >= 255)
    return 255;
  return (unsigned char)value;
}

} // namespace

int CDibImage::Resample(int newWidth, int newHeight, int method)
{
  const int bits = m_nBitsPerPixel;
  if (!m_pBlock || newWidth <= 0 || newHeight <= 0 || m_nWidth <= 0 || m_nHeight <= 0 ||
      (bits != 1 && bits != 4 && bits != 8 && bits != 24))
    return 0;
  if (method < 0 || method > 2)
    method = DIB_RESAMPLE_AVERAGE;
  const bool colourPalette = bits == 8 && !IsGreyRamp();
  const int outBits = colourPalette ? 24 : bits;
  const int channels = bits == 24 || colourPalette ? 3 : 1;
  DibLayout layout;
  if (!ComputeDibLayout(newWidth, newHeight, outBits, layout))
    return 0;
  unsigned char *block = nullptr;
  try
  {
    Axis ax, ay;
    BuildAxis(m_nWidth, newWidth, method, ax);
    BuildAxis(m_nHeight, newHeight, method, ay);
    std::vector<double> acc;
    if (bits != 4)
      acc.resize((size_t)m_nWidth * channels);
    block = static_cast<unsigned char *>(std::calloc(1, layout.total));
    if (!block)
      return 0;
    std::memcpy(block, m_pBlock, 40);
    if (outBits <= 8)
      std::memcpy(block + 40, m_pBlock + m_nPaletteOffset, (size_t)layout.palette);
    unsigned char *pixels = block + 40 + layout.palette;
    const DibRgbQuad *palette = Palette();
    const int entries = PaletteEntries();
    for (int l = 0; l < newHeight; l++)
    {
      unsigned char *out = pixels + (size_t)l * (size_t)layout.stride;
      if (bits == 4)
      {
        const unsigned char *src = Row(ay.nearest[(size_t)l]);
        for (int k = 0; k < newWidth; k++)
          SetIndex(out, k, 4, GetIndex(src, ax.nearest[(size_t)k], 4));
        continue;
      }
      // Weighted sum of the span's rows, per column and channel.
      std::fill(acc.begin(), acc.end(), 0.0);
      const double *wy = &ay.weight[ay.offset[(size_t)l]];
      for (int m = 0; m < ay.count[(size_t)l]; m++)
      {
        const unsigned char *src = Row(ay.first[(size_t)l] + m);
        const double w = wy[m];
        if (bits == 1)
          for (int x = 0; x < m_nWidth; x++)
            acc[(size_t)x] += w * GetIndex(src, x, 1);
        else if (colourPalette)
          for (int x = 0; x < m_nWidth; x++)
          {
            int i = src[x];
            if (i >= entries)
              continue;
            acc[3 * (size_t)x] += w * palette[i].rgbBlue;
            acc[3 * (size_t)x + 1] += w * palette[i].rgbGreen;
            acc[3 * (size_t)x + 2] += w * palette[i].rgbRed;
          }
        else
          for (size_t x = 0; x < acc.size(); x++)
            acc[x] += w * src[x];
      }
      const double Q = ay.sum[(size_t)l];
      for (int k = 0; k < newWidth; k++)
      {
        const double *wx = &ax.weight[ax.offset[(size_t)k]];
        const size_t f = (size_t)ax.first[(size_t)k];
        const double norm = ax.sum[(size_t)k] * Q;
        for (int c = 0; c < channels; c++)
        {
          double total = 0;
          for (int m = 0; m < ax.count[(size_t)k]; m++)
            total += wx[m] * acc[(f + (size_t)m) * channels + c];
          double value = norm > 0 ? total / norm : 0;
          if (bits == 1)
            SetIndex(out, k, 1, value > 0.5);
          else
            out[(size_t)k * channels + c] = Truncate(value);
        }
      }
    }
  }
  catch (const std::bad_alloc &)
  {
    std::free(block);
    return 0;
  }
  if (colourPalette)
  {
    m_nChannelOrder = DIB_CHANNELS_BGR;
    m_nPhotometric = DIB_PHOTOMETRIC_RGB;
  }
  AdoptDibBlock(*this, block, newWidth, newHeight, outBits, layout);
  Header()->biXPelsPerMeter = 0;
  Header()->biYPelsPerMeter = 0;
  if (colourPalette)
    Header()->biClrUsed = Header()->biClrImportant = 0;
  m_nSourceWidth = newWidth;
  m_nSourceHeight = newHeight;
  m_nRenderFactor = m_nRenderScale = 0; // its pixels are the image's own
  m_nXDpi = m_nYDpi = 0;
  m_nResolutionUnit = 0;
  m_nOrientation = 0;
  m_bNegative = 0;
  // A page of a DjVu document stays that page: the document is saved with it.
  if (!m_pBook)
  {
    m_nPageIndex = 0;
    m_nPageCount = 1;
  }
  ReleaseImageDocument(m_pDocument);
  m_pDocument = nullptr;
  m_bGrey = outBits == 8 ? IsGreyRamp() : 0;
  return 1;
}
