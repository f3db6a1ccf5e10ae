#include "AppPaths.h"

#include "FileSystem.h"

#include <climits>
#include <cstdlib>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace vellum
{

const char kAppId[] = "org.vellum.Vellum";
const char kBuildTreeMarker[] = "vellum-res-dir";

namespace
{

// How many folders above the program's own the build-tree marker is looked
// for: build/src/ui/vellum and build/tests/<area>/<test> are two below it; a
// project that adds Vellum as a subdirectory puts it deeper.
const int kMarkerLevels = 4;

bool Exists(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The canonical absolute form of an existing path; "" when it does not exist.
std::string Canonical(const std::string &path)
{
  char buf[PATH_MAX];
  if (!realpath(path.c_str(), buf))
    return std::string();
  return buf;
}

// The folder named by a build tree's marker file, when it is one.
std::string MarkerDirectory(const std::string &marker)
{
  std::ifstream in(marker);
  std::string line;
  if (!in || !std::getline(in, line))
    return std::string();
  while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  if (line.empty() || line[0] != '/' || !IsDirectory(line))
    return std::string();
  return line;
}

} // namespace

std::string ProgramPath()
{
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0)
    return std::string();
  return std::string(buf, (size_t)n);
}

std::string ProgramDirectory()
{
  const std::string exe = ProgramPath();
  size_t slash = exe.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string InstalledPrefixFor(const std::string &programDir)
{
  if (programDir.empty())
    return std::string();
  const std::string prefix = Canonical(JoinPath(programDir, ".."));
  if (prefix.empty() || !IsDirectory(JoinPath(prefix, "share/vellum")))
    return std::string();
  return prefix;
}

std::string DataDirectoryFor(const std::string &programDir)
{
  if (const char *env = std::getenv("VELLUM_DATA_DIR"))
    if (env[0])
      return env;
  if (programDir.empty())
    return std::string();
  const std::string prefix = InstalledPrefixFor(programDir);
  if (!prefix.empty())
    return JoinPath(prefix, "share/vellum");
  std::string dir = Canonical(programDir);
  for (int level = 0; level <= kMarkerLevels && !dir.empty(); level++)
  {
    const std::string found = MarkerDirectory(JoinPath(dir, kBuildTreeMarker));
    if (!found.empty())
      return found;
    if (dir == "/")
      break;
    size_t slash = dir.find_last_of('/');
    dir = slash == 0 ? "/" : dir.substr(0, slash);
  }
  return std::string();
}

std::string InstalledPrefix()
{
  return InstalledPrefixFor(ProgramDirectory());
}

std::string DataDirectory()
{
  return DataDirectoryFor(ProgramDirectory());
}

std::string DataPath(const std::string &relative)
{
  const std::string dir = DataDirectory();
  if (dir.empty())
    return std::string();
  const std::string path = JoinPath(dir, relative);
  return Exists(path) ? path : std::string();
}

std::string InstalledDesktopEntryFor(const std::string &programDir)
{
  const std::string prefix = InstalledPrefixFor(programDir);
  if (prefix.empty())
    return std::string();
  const std::string entry = JoinPath(prefix, std::string("share/applications/") + kAppId + ".desktop");
  return Exists(entry) ? entry : std::string();
}

std::string InstalledDesktopEntry()
{
  return InstalledDesktopEntryFor(ProgramDirectory());
}

} // namespace vellum
