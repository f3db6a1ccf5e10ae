// Byte streams of the Image API (implemented in Stream.cpp).
//
// DjVu_IOSubByteStream is a DjVuLibre byte stream over the caller's read and
// write routines; it only moves forward. PnmStream codes raw or plain PNM
// samples pulled from a callback straight into a run image, and
// pixel_to_run_image() feeds it a pixel image. Everything here raises on
// failure (DJVU_API_THROW or GException); the public djvu_* functions that
// use it report once.
#ifndef VELLUM_LIBAPI_STREAMINT_H
#define VELLUM_LIBAPI_STREAMINT_H

#include "djvuapi.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ByteStream.h"

// Byte stream over caller routines. Without a read (write) routine the user
// data is a FILE* (stdin / stdout when null). Forward seeks read and discard.
class DjVu_IOSubByteStream : public DJVU::ByteStream
{
public:
  DjVu_IOSubByteStream(djvu_read_routine read, djvu_write_routine write, void *userdata);
  ~DjVu_IOSubByteStream() override;

  // Bytes read (0 at end); a negative routine result raises
  // "DjVu_IOSubByteStream: unable to read requested data".
  size_t read(void *buffer, size_t size) override;
  // Returns size; a short write raises
  // "DjVu_IOSubByteStream: unable to write requested data".
  size_t write(const void *buffer, size_t size) override;
  long tell() const override;
  // whence SEEK_SET or SEEK_CUR, never backwards; EOF before the target
  // raises the library's "EOF". With nothrow a failure returns -1.
  int seek(long offset, int whence = SEEK_SET, bool nothrow = false) override;

private:
  djvu_read_routine read_routine;
  djvu_write_routine write_routine;
  int64_t position;
  void *userdata;
};

namespace vellum_api
{

// Source of a PnmStream: same contract as djvu_read_routine (bytes
// delivered, 0 at the end, negative on error).
typedef int (*PnmSource)(void *userdata, void *buffer, int size);

// Codes PNM samples into a run image. type is the character of the PNM magic
// ('1'..'6'): '2'/'5' grey (runtype 1), '3'/'6' colour (runtype 2), '1'/'4'
// bitonal (runtype 0, PBM 1 = black). Plain types read decimal numbers (or
// 0/1 digits for '1'); raw types read 1-byte samples (2-byte big-endian when
// maxval > 255; packed bits for '4'). Values are scaled from 0..maxval to
// 0..255. Conversion stops after width*height samples or at the end of the
// input.
class PnmStream
{
public:
  PnmStream(int width, int height, char type, int maxval, int xdpi, int ydpi);
  ~PnmStream();
  PnmStream(const PnmStream &) = delete;
  PnmStream &operator=(const PnmStream &) = delete;

  // New run image owned by the caller (djvu_run_image_free). swap: 3-byte
  // samples arrive blue, green, red.
  djvu_run_image *convert(PnmSource source, void *userdata, bool swap);

private:
  bool fill();               // reads more input; false at the end
  void compact(size_t keep); // moves the last keep bytes to the front
  bool next_number(unsigned &v);
  bool next_bit(int &bit);

  int width, height;
  char type;
  int maxval;
  int xdpi, ydpi;
  unsigned char *buf;
  size_t bufsize;
  size_t held; // bytes in buf
  size_t pos;  // next unread byte
  bool eof;
  PnmSource source;
  void *userdata;
};

// The pixel image as a run image through a PNM stream ('5' grey, '6'
// colour, maxval 255, the image's resolution). Non-square pixels are first
// resampled to the larger resolution. Owned by the caller.
djvu_run_image *pixel_to_run_image(const djvu_pixel_image *img);

} // namespace vellum_api

#endif
