// Helpers shared by the file readers and writers (BMP, PNM, TIFF, JPEG, PNG);
// not for callers of the record.
#ifndef VELLUM_IMAGE_IMAGEFILES_H
#define VELLUM_IMAGE_IMAGEFILES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Formats a message into g_szLastImageError (printf style).
void SetImageError(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Reads the whole file into data. On failure (cannot open, cannot read,
// larger than maxBytes) sets g_szLastImageError and returns false.
bool ReadImageFile(const char *path, std::vector<unsigned char> &data, size_t maxBytes = (size_t)1 << 31);

// The header check of every reader: true when a width x height image is
// within the pixel limit (see SetMaxImagePixels); otherwise false with the
// message naming the size in g_szLastImageError. Call it as soon as the
// size is known, before allocating anything for the pixels.
bool CheckImagePixels(int64_t width, int64_t height);

// A file written under a hidden temporary name beside its target
// (vellum::CreateTempBeside) and renamed over it only when everything was
// written: a failed save never damages an existing file and leaves no
// partial file behind, not even when a signal stops the process. A target
// that exists and is not a regular file (a device, a pipe) is written
// directly.
class CSafeFile
{
public:
  CSafeFile() = default;
  ~CSafeFile() { Abort(); }
  CSafeFile(const CSafeFile &) = delete;
  CSafeFile &operator=(const CSafeFile &) = delete;

  // Opens the temporary file for binary writing; null (and the message set)
  // on failure. The stream belongs to this object.
  FILE *Open(const char *path);
  // Flushes, syncs, closes and renames into place. False (message set, the
  // temporary removed) when any of it fails or the stream had an error.
  bool Commit();
  // Closes and removes the temporary file (nothing when not open).
  void Abort();

private:
  FILE *m_fp = nullptr;
  std::string m_target;
  std::string m_temp; // empty when writing the target directly
};

// Writes all bytes; false on a short write.
inline bool WriteAll(FILE *fp, const void *data, size_t size)
{
  return size == 0 || std::fwrite(data, 1, size, fp) == size;
}

#endif
