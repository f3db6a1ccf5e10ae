#include "ReplaceFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellum
{

bool MakeDirs(const std::string &dir, unsigned mode)
{
  if (dir.empty())
    return true;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash), mode))
    return false;
  return mkdir(dir.c_str(), (mode_t)mode) == 0 || errno == EEXIST;
}

int ReplaceFileContents(const std::string &path, const std::string &text, unsigned dirMode)
{
  std::string target = path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved))
    target = resolved;
  size_t slash = target.find_last_of('/');
  if (slash != std::string::npos && !MakeDirs(slash == 0 ? "/" : target.substr(0, slash), dirMode))
    return kReplaceNoFolder;
  std::string tmp = target + ".XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0)
    return errno ? errno : EIO;
  struct stat st;
  fchmod(fd, stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  int err = 0;
  size_t done = 0;
  while (!err && done < text.size())
  {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      err = n < 0 && errno ? errno : EIO;
    else
      done += (size_t)n;
  }
  if (!err && fsync(fd) != 0)
    err = errno ? errno : EIO;
  if (close(fd) != 0 && !err)
    err = errno ? errno : EIO;
  if (!err && rename(name.data(), target.c_str()) != 0)
    err = errno ? errno : EIO;
  if (err)
    unlink(name.data());
  return err;
}

} // namespace vellum
