// Byte streams: the DjVuLibre stream over caller routines, the PNM stream
// that codes samples straight into runs, and pixel image to run image.
//
// The PNM stream never holds the picture: it pulls input through a growable
// buffer (512 bytes at first, always one byte kept for a terminating zero),
// turns each sample into 0..255 and extends the current run or starts a new
// one. Runs run on across row ends, as the run image format wants. The entry
// array is allocated for the worst case (one entry per pixel) and trimmed to
// the entries written at the end.
#include "StreamInt.h"

#include "ApiError.h"
#include "PixImageInt.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "GException.h"

using namespace vellum_api;

// ---------------------------------------------------------------------------
// DjVu_IOSubByteStream

DjVu_IOSubByteStream::DjVu_IOSubByteStream(djvu_read_routine read, djvu_write_routine write, void *userdata)
    : read_routine(read), write_routine(write), position(0), userdata(userdata)
{
}

DjVu_IOSubByteStream::~DjVu_IOSubByteStream() = default;

size_t DjVu_IOSubByteStream::read(void *buffer, size_t size)
{
  if (size == 0)
    return 0;
  // The routines take an int: larger requests are served in part, which the
  // stream contract allows.
  int ask = size > (size_t)INT_MAX ? INT_MAX : (int)size;
  size_t got;
  if (read_routine)
  {
    int n = read_routine(userdata, buffer, ask);
    if (n < 0)
      DJVU_API_THROW("DjVu_IOSubByteStream: unable to read requested data");
    got = std::min((size_t)n, (size_t)ask);
  }
  else
  {
    FILE *f = userdata ? (FILE *)userdata : stdin;
    got = std::fread(buffer, 1, (size_t)ask, f);
  }
  position += (int64_t)got;
  return got;
}

size_t DjVu_IOSubByteStream::write(const void *buffer, size_t size)
{
  const char *p = (const char *)buffer;
  size_t left = size;
  while (left > 0)
  {
    int piece = left > (size_t)INT_MAX ? INT_MAX : (int)left;
    size_t put;
    if (write_routine)
    {
      int n = write_routine(userdata, p, piece);
      put = n < 0 ? 0 : (size_t)n;
    }
    else
    {
      FILE *f = userdata ? (FILE *)userdata : stdout;
      put = std::fwrite(p, 1, (size_t)piece, f);
    }
    if (put != (size_t)piece)
      DJVU_API_THROW("DjVu_IOSubByteStream: unable to write requested data");
    position += piece;
    p += piece;
    left -= (size_t)piece;
  }
  return size;
}

long DjVu_IOSubByteStream::tell() const
{
  return (long)position;
}

int DjVu_IOSubByteStream::seek(long offset, int whence, bool nothrow)
{
  int64_t target;
  if (whence == SEEK_SET)
    target = offset;
  else if (whence == SEEK_CUR)
    target = position + offset;
  else
  {
    if (nothrow)
      return -1;
    DJVU_API_THROW("Illegal argument for DjVu_IOSubByteStream::seek()");
  }
  if (target < position)
  {
    if (nothrow)
      return -1;
    DJVU_API_THROW("Cannot seek backwards in DjVu_IOSubByteStream::seek()");
  }
  char scratch[512];
  while (position < target)
  {
    size_t want = (size_t)std::min<int64_t>((int64_t)sizeof(scratch), target - position);
    if (read(scratch, want) == 0)
    {
      if (nothrow)
        return -1;
      G_THROW(DJVU::ByteStream::EndOfFile);
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// PNM stream

namespace
{

// Appends runs of equal samples to the entry array of a run image.
class RunWriter
{
public:
  RunWriter(unsigned char *out, int runtype) : out(out), runtype(runtype) {}

  void add(const unsigned char *s)
  {
    const int maxlen = runtype == 0 ? 128 : 256;
    const int n = runtype == 2 ? 3 : 1;
    if (len > 0 && len < maxlen && std::memcmp(s, value, (size_t)n) == 0)
    {
      len++;
      return;
    }
    flush();
    std::memcpy(value, s, (size_t)n);
    len = 1;
  }

  void flush()
  {
    if (len == 0)
      return;
    switch (runtype)
    {
    case 0:
      *out++ = (unsigned char)((value[0] ? 0x80 : 0) | (len - 1));
      break;
    case 1:
      *out++ = (unsigned char)(len - 1);
      *out++ = value[0];
      break;
    default:
      *out++ = (unsigned char)(len - 1);
      *out++ = value[0];
      *out++ = value[1];
      *out++ = value[2];
      break;
    }
    count++;
    len = 0;
  }

  size_t count = 0;

private:
  unsigned char *out;
  int runtype;
  int len = 0;
  unsigned char value[3] = {0, 0, 0};
};

struct RunImageOwner
{
  djvu_run_image *img = nullptr;
  ~RunImageOwner() { djvu_run_image_free(img); }
  djvu_run_image *release()
  {
    djvu_run_image *r = img;
    img = nullptr;
    return r;
  }
};

} // namespace

PnmStream::PnmStream(int width, int height, char type, int maxval, int xdpi, int ydpi)
    : width(width), height(height), type(type), maxval(maxval), xdpi(xdpi), ydpi(ydpi), buf(nullptr),
      bufsize(0), held(0), pos(0), eof(false), source(nullptr), userdata(nullptr)
{
}

PnmStream::~PnmStream()
{
  djvu_free(buf);
}

void PnmStream::compact(size_t keep)
{
  if (keep > held)
    keep = held;
  std::memmove(buf, buf + held - keep, keep);
  held = keep;
  pos = 0;
  buf[held] = 0;
}

bool PnmStream::fill()
{
  if (eof)
    return false;
  if (held + 1 >= bufsize)
  {
    size_t nsize = DJVU_API_MUL(bufsize, 2);
    unsigned char *nbuf = (unsigned char *)djvu_realloc(buf, nsize);
    if (!nbuf)
      DJVU_API_THROW("realloc failed");
    buf = nbuf;
    bufsize = nsize;
  }
  size_t room = bufsize - 1 - held;
  int ask = room > (size_t)INT_MAX ? INT_MAX : (int)room;
  int n = source(userdata, buf + held, ask);
  if (n < 0)
    DJVU_API_THROW("I/O Read Error");
  if (n == 0)
  {
    eof = true;
    return false;
  }
  held += std::min((size_t)n, (size_t)ask);
  buf[held] = 0;
  return true;
}

static inline bool is_space(unsigned char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool PnmStream::next_number(unsigned &v)
{
  for (;;)
  {
    while (pos < held && is_space(buf[pos]))
      pos++;
    if (pos < held)
      break;
    compact(0);
    if (!fill())
      return false;
  }
  if (buf[pos] < '0' || buf[pos] > '9')
    return false; // not a number: the input ends here
  // The number may continue past the bytes held: read on until a delimiter.
  size_t end = pos;
  for (;;)
  {
    while (end < held && buf[end] >= '0' && buf[end] <= '9')
      end++;
    if (end < held)
      break;
    size_t keep = held - pos;
    compact(keep);
    end = keep;
    if (!fill())
      break;
  }
  uint64_t value = 0;
  for (size_t i = pos; i < end; i++)
  {
    value = value * 10 + (unsigned)(buf[i] - '0');
    if (value > UINT_MAX)
      value = UINT_MAX;
  }
  pos = end;
  v = (unsigned)value;
  return true;
}

bool PnmStream::next_bit(int &bit)
{
  for (;;)
  {
    while (pos < held && is_space(buf[pos]))
      pos++;
    if (pos < held)
      break;
    compact(0);
    if (!fill())
      return false;
  }
  if (buf[pos] != '0' && buf[pos] != '1')
    return false;
  bit = buf[pos++] - '0';
  return true;
}

djvu_run_image *PnmStream::convert(PnmSource src, void *user, bool swap)
{
  if (!src || width <= 0 || height <= 0)
    DJVU_API_THROW("No Input specified");
  int runtype;
  int channels = 1;
  switch (type)
  {
  case '1':
  case '4':
    runtype = 0;
    break;
  case '2':
  case '5':
    runtype = 1;
    break;
  case '3':
  case '6':
    runtype = 2;
    channels = 3;
    break;
  default:
    DJVU_API_THROW("Unknown PNM type");
  }
  if (runtype != 0 && (maxval < 1 || maxval > 65535))
    DJVU_API_THROW("Invalid PNM maximum value");
  source = src;
  userdata = user;
  eof = false;
  held = pos = 0;
  if (!buf)
  {
    buf = (unsigned char *)djvu_malloc(512);
    if (!buf)
      DJVU_API_THROW("malloc failed");
    bufsize = 512;
  }
  buf[0] = 0;

  const size_t pixels = DJVU_API_MUL(width, height);
  const size_t entry = runtype == 0 ? 1 : runtype == 1 ? 2 : 4;
  RunImageOwner owner;
  owner.img = (djvu_run_image *)djvu_calloc(1, sizeof(djvu_run_image));
  if (!owner.img)
    DJVU_API_THROW("calloc failed");
  djvu_run_image *ri = owner.img;
  ri->width = width;
  ri->height = height;
  ri->xdpi = xdpi;
  ri->ydpi = ydpi;
  ri->runtype = runtype;
  ri->data = (unsigned char *)djvu_calloc(pixels, entry);
  if (!ri->data)
    DJVU_API_THROW("calloc failed");

  // v * (floor(256(m+1)/m) - 1) / (m+1): maps 0..m onto 0..255.
  const uint64_t m = (uint64_t)(maxval > 0 ? maxval : 1);
  const uint64_t mul = (256 * (m + 1)) / m - 1;
  auto scale = [&](uint64_t v) -> unsigned char
  {
    uint64_t s = v * mul / (m + 1);
    return (unsigned char)(s > 255 ? 255 : s);
  };
  const bool identity = maxval == 255;

  RunWriter runs(ri->data, runtype);
  size_t taken = 0;
  unsigned char sample[3];
  if (type == '5' || type == '6')
  {
    const size_t bps = maxval > 255 ? 2 : 1;
    const size_t need = bps * (size_t)channels;
    while (taken < pixels)
    {
      if (held - pos < need)
      {
        compact(held - pos);
        if (!fill())
          break;
        continue;
      }
      // Consume every whole sample held.
      while (taken < pixels && held - pos >= need)
      {
        const unsigned char *p = buf + pos;
        for (int c = 0; c < channels; c++)
        {
          unsigned v = bps == 2 ? (unsigned)(p[2 * c] << 8 | p[2 * c + 1]) : p[c];
          sample[c] = identity ? (unsigned char)v : scale(v);
        }
        if (swap && channels == 3)
          std::swap(sample[0], sample[2]);
        runs.add(sample);
        pos += need;
        taken++;
      }
    }
  }
  else if (type == '2' || type == '3')
  {
    while (taken < pixels)
    {
      unsigned v[3];
      bool ok = true;
      for (int c = 0; c < channels && ok; c++)
        ok = next_number(v[c]);
      if (!ok)
        break;
      for (int c = 0; c < channels; c++)
        sample[c] = scale(v[c]);
      if (swap && channels == 3)
        std::swap(sample[0], sample[2]);
      runs.add(sample);
      taken++;
    }
  }
  else if (type == '1')
  {
    int bit;
    while (taken < pixels && next_bit(bit))
    {
      sample[0] = bit ? 0 : 255; // PBM 1 is black
      runs.add(sample);
      taken++;
    }
  }
  else // '4': packed rows, MSB first, each row padded to a byte
  {
    const size_t rowbytes = ((size_t)width + 7) / 8;
    size_t col = 0; // byte within the row
    while (taken < pixels)
    {
      if (pos >= held)
      {
        compact(0);
        if (!fill())
          break;
        continue;
      }
      unsigned char byte = buf[pos++];
      int bits = (int)std::min<size_t>(8, (size_t)width - col * 8);
      for (int b = 0; b < bits && taken < pixels; b++)
      {
        sample[0] = (byte & (0x80 >> b)) ? 0 : 255;
        runs.add(sample);
        taken++;
      }
      if (++col == rowbytes)
        col = 0;
    }
  }
  runs.flush();

  ri->count = (int32_t)runs.count;
  unsigned char *trimmed = (unsigned char *)djvu_realloc(ri->data, runs.count * entry);
  if (trimmed)
    ri->data = trimmed;
  return owner.release();
}

// ---------------------------------------------------------------------------
// Pixel image to run image

namespace
{

// Hands out the picture top row first, 1 or 3 bytes per pixel.
struct PixelSource
{
  const djvu_pixel_image *img;
  int bytes; // per pixel delivered
  int y = 0, x = 0;

  static int read(void *self, void *buffer, int size)
  {
    PixelSource &s = *(PixelSource *)self;
    const djvu_pixel_image *img = s.img;
    unsigned char *out = (unsigned char *)buffer;
    int n = 0;
    while (s.y < img->h && size - n >= s.bytes)
    {
      const unsigned char *row = pix_row(img, s.y);
      int fit = std::min(img->w - s.x, (size - n) / s.bytes);
      if (img->pixsize == s.bytes)
      {
        std::memcpy(out + n, row + (size_t)s.x * (size_t)s.bytes, (size_t)fit * (size_t)s.bytes);
        n += fit * s.bytes;
      }
      else
      {
        const unsigned char *p = row + (size_t)s.x * (size_t)img->pixsize;
        for (int i = 0; i < fit; i++, p += img->pixsize)
          for (int c = 0; c < s.bytes; c++)
            out[n++] = p[c];
      }
      s.x += fit;
      if (s.x == img->w)
      {
        s.x = 0;
        s.y++;
      }
    }
    return n;
  }
};

struct RecordOwner
{
  djvu_pixel_image *img = nullptr;
  ~RecordOwner()
  {
    if (img)
    {
      try
      {
        pix_free_record(img);
      }
      catch (...)
      {
      }
    }
  }
};

} // namespace

djvu_run_image *vellum_api::pixel_to_run_image(const djvu_pixel_image *img)
{
  if (!img)
    DJVU_API_THROW("No Input specified");
  pix_validate(img);
  RecordOwner square;
  const djvu_pixel_image *src = img;
  const bool dpi = (img->flags & DJVU_HAS_DPI) != 0;
  if (dpi && img->xdpi != img->ydpi && img->xdpi > 0 && img->ydpi > 0)
  {
    // Square pixels at the larger resolution: round(count * larger / smaller).
    int64_t big = std::max(img->xdpi, img->ydpi), small = std::min(img->xdpi, img->ydpi);
    int64_t w = img->w, h = img->h;
    if (img->xdpi < img->ydpi)
      w = (small + 2 * big * w) / (2 * small);
    else
      h = (small + 2 * big * h) / (2 * small);
    if (w > INT_MAX || h > INT_MAX)
      DJVU_API_THROW("Image too large");
    DJVU_API_MUL(DJVU_API_MUL(w, h), 3);
    square.img = pix_scale(img, 1, 0);
    pix_transform(square.img, 0, (int)w, (int)h);
    square.img->flags |= DJVU_HAS_DPI;
    square.img->xdpi = square.img->ydpi = (int32_t)big;
    src = square.img;
  }
  const bool gray = pix_is_gray(src);
  PixelSource ps{src, gray ? 1 : 3};
  int xd = 0, yd = 0;
  if (src->flags & DJVU_HAS_DPI)
  {
    xd = src->xdpi;
    yd = src->ydpi;
  }
  PnmStream pnm(src->w, src->h, gray ? '5' : '6', 255, xd, yd);
  return pnm.convert(&PixelSource::read, &ps, !gray && (src->flags & DJVU_BGR) != 0);
}
