#include "ReplaceFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The temporary files a fatal signal must remove: fixed slots, so that the
// handler reads only memory that is never freed or moved. A slot's name is
// complete before its flag is set, and the flag is cleared before the name
// is reused.
const int kTempSlots = 16;
struct TempSlot
{
  std::atomic<int> used{0};
  char name[PATH_MAX];
};
TempSlot g_temps[kTempSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");

void OnFatalSignal(int sig)
{
  for (TempSlot &slot : g_temps)
    if (slot.used.load() == 2)
      unlink(slot.name);
  signal(sig, SIG_DFL);
  raise(sig);
}

void Remember(const char *name)
{
  if (std::strlen(name) >= PATH_MAX)
    return;
  for (TempSlot &slot : g_temps)
  {
    int expected = 0;
    if (slot.used.compare_exchange_strong(expected, 1))
    {
      std::strcpy(slot.name, name);
      slot.used.store(2);
      return;
    }
  }
  // All slots taken: this file is still removed on every ordinary failure,
  // only not on a signal.
}

} // namespace

namespace vellum
{

int CreateTempBeside(const std::string &target, std::string &tempName)
{
  size_t slash = target.find_last_of('/');
  std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string tmpl = dir + "." + base + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0)
    return -1;
  tempName = name.data();
  Remember(tempName.c_str());
  return fd;
}

void ForgetTemp(const std::string &tempName)
{
  for (TempSlot &slot : g_temps)
    if (slot.used.load() == 2 && tempName == slot.name)
    {
      slot.used.store(0);
      return;
    }
}

void RemoveTempsOnSignal()
{
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnFatalSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    sigaddset(&sa.sa_mask, sig);
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
  {
    // A signal the caller ignores (nohup) stays ignored.
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
      continue;
    sigaction(sig, &sa, nullptr);
  }
}

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

std::string ReplaceTargetOf(const std::string &path)
{
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

int MoveTempOver(const std::string &tempName, const std::string &target, int err)
{
  if (!err && rename(tempName.c_str(), target.c_str()) != 0)
    err = errno ? errno : EIO;
  if (err)
    unlink(tempName.c_str());
  ForgetTemp(tempName);
  return err;
}

int ReplaceFileContents(const std::string &path, const std::string &text, unsigned dirMode)
{
  const std::string target = ReplaceTargetOf(path);
  size_t slash = target.find_last_of('/');
  if (slash != std::string::npos && !MakeDirs(slash == 0 ? "/" : target.substr(0, slash), dirMode))
    return kReplaceNoFolder;
  std::string name;
  int fd = CreateTempBeside(target, name);
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
  return MoveTempOver(name, target, err);
}

} // namespace vellum
