#include "FileSystem.h"

#include "MessageBox.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include <sys/stat.h>

namespace vellum
{

namespace
{
const char kCaption[] = "Vellum";
} // namespace

bool IsDirectory(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JoinPath(const std::string &dir, const std::string &name)
{
  if (dir.empty())
    return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string FileNameOf(const std::string &path)
{
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EnsureDirectory(const std::string &path, int mode)
{
  if (path.empty())
    return false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0)
    return true;
  const int err = errno;

  // The two "not found" cases: the last component alone is missing (the
  // parent exists), or a folder on the way is missing.
  bool fileNotFound = false, pathNotFound = false;
  if (err == ENOENT)
  {
    std::string listed = path;
    if (listed.size() > 1 && listed.back() == '/')
      listed.pop_back();
    const size_t slash = listed.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    if (IsDirectory(parent))
      fileNotFound = true;
    else
      pathNotFound = true;
  }
  else if (err == ENOTDIR)
    pathNotFound = true;

  if (fileNotFound && mode != kEnsureDirectoryMode)
    return true;
  if (!fileNotFound && !pathNotFound)
  {
    char text[64];
    std::snprintf(text, sizeof text, "GetFileAttributes error %d", err);
    VellumMessageBox(text, kCaption, VMB_OK);
    return false;
  }

  const std::string question = path + "\n\nDirectory path does not exist.\nDo you want to create it?";
  if (VellumMessageBox(question.c_str(), kCaption, VMB_YESNO | VMB_ICONQUESTION) != VID_YES)
    return false;

  // Every folder before a "/" (the leading one of an absolute path
  // excepted), and in directory mode the whole path.
  std::vector<std::string> dirs;
  for (size_t i = 1; i < path.size(); ++i)
    if (path[i] == '/' && path[i - 1] != '/')
      dirs.push_back(path.substr(0, i));
  if (mode == kEnsureDirectoryMode && !(path.size() > 1 && path.back() == '/'))
    dirs.push_back(path);
  bool ok = true;
  std::string last;
  for (const std::string &d : dirs)
  {
    last = d;
    ok = mkdir(d.c_str(), 0777) == 0 || (errno == EEXIST && IsDirectory(d));
  }
  if (!ok)
  {
    const std::string text = "Failed to create " + last;
    VellumMessageBox(text.c_str(), kCaption, VMB_OK | VMB_ICONHAND);
  }
  return ok;
}

} // namespace vellum
