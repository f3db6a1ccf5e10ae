// Shared file helpers of the readers and writers: whole-file reading with a
// size bound, messages, and writing through a temporary file.
#include "ImageFiles.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "DibImage.h"
#include "ReplaceFile.h"

void SetImageError(const char *fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(g_szLastImageError, sizeof g_szLastImageError, fmt, ap);
  va_end(ap);
}

void SetMaxImagePixels(int64_t pixels)
{
  djvu_set_max_pixels(pixels);
}

int64_t GetMaxImagePixels()
{
  return djvu_get_max_pixels();
}

bool CheckImagePixels(int64_t width, int64_t height)
{
  return djvu_check_pixels(width, height, g_szLastImageError, sizeof g_szLastImageError) != 0;
}

bool ReadImageFile(const char *path, std::vector<unsigned char> &data, size_t maxBytes)
{
  data.clear();
  if (!path || !*path)
  {
    SetImageError("No file name given");
    return false;
  }
  FILE *fp = std::fopen(path, "rb");
  if (!fp)
  {
    SetImageError("Cannot open %s: %s", path, std::strerror(errno));
    return false;
  }
  struct stat st;
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode))
  {
    std::fclose(fp);
    SetImageError("%s is not a regular file", path);
    return false;
  }
  if ((uint64_t)st.st_size > maxBytes)
  {
    std::fclose(fp);
    SetImageError("%s is too large", path);
    return false;
  }
  try
  {
    data.resize((size_t)st.st_size);
  }
  catch (...)
  {
    std::fclose(fp);
    SetImageError("Out of memory reading %s", path);
    return false;
  }
  size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), fp);
  bool err = std::ferror(fp) != 0;
  std::fclose(fp);
  if (err || got != data.size())
  {
    data.clear();
    SetImageError("Cannot read %s", path);
    return false;
  }
  return true;
}

FILE *CSafeFile::Open(const char *path)
{
  Abort();
  if (!path || !*path)
  {
    SetImageError("No file name given");
    return nullptr;
  }
  // Replace what a symbolic link points to, not the link.
  m_target = vellum::ReplaceTargetOf(path);
  struct stat st;
  bool exists = stat(m_target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode))
  {
    if (S_ISDIR(st.st_mode))
    {
      SetImageError("Cannot write %s: it is a directory", path);
      return nullptr;
    }
    m_temp.clear();
    m_fp = std::fopen(m_target.c_str(), "wb");
    if (!m_fp)
      SetImageError("Cannot write %s: %s", path, std::strerror(errno));
    return m_fp;
  }
  std::string name;
  int fd = vellum::CreateTempBeside(m_target, name);
  if (fd < 0)
  {
    SetImageError("Cannot write %s: %s", path, std::strerror(errno));
    return nullptr;
  }
  // The mode a new file would get, or that of the file being replaced.
  mode_t mode;
  if (exists)
    mode = st.st_mode & 07777;
  else
  {
    mode_t mask = umask(022);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);
  m_temp = name;
  m_fp = fdopen(fd, "wb");
  if (!m_fp)
  {
    SetImageError("Cannot write %s: %s", path, std::strerror(errno));
    close(fd);
    unlink(m_temp.c_str());
    vellum::ForgetTemp(m_temp);
    m_temp.clear();
  }
  return m_fp;
}

bool CSafeFile::Commit()
{
  if (!m_fp)
    return false;
  bool ok = std::fflush(m_fp) == 0 && !std::ferror(m_fp);
  if (ok && !m_temp.empty() && fsync(fileno(m_fp)) != 0)
    ok = false;
  int err = errno;
  if (std::fclose(m_fp) != 0)
  {
    if (ok)
      err = errno;
    ok = false;
  }
  m_fp = nullptr;
  if (!m_temp.empty())
  {
    err = vellum::MoveTempOver(m_temp, m_target, ok ? 0 : (err ? err : EIO));
    ok = err == 0;
  }
  if (!ok)
    SetImageError("Cannot write %s: %s", m_target.c_str(), std::strerror(err ? err : EIO));
  m_temp.clear();
  return ok;
}

void CSafeFile::Abort()
{
  if (m_fp)
  {
    std::fclose(m_fp);
    m_fp = nullptr;
    if (!m_temp.empty())
      unlink(m_temp.c_str());
  }
  vellum::ForgetTemp(m_temp);
  m_temp.clear();
}
