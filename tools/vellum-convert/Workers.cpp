// vellum-convert's workers: the items of a run split into shares, each
// converted in a forked process that reports its lines through a pipe, and
// the main process relaying them whole to the terminal.
#include "ConvertInternal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <new>

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellum_convert
{

namespace
{

// A worker's end of its pipe: one record per line, tagged E (error line),
// O (output line), S (input started), P (encoder step), D (input done).
class PipeSink : public Sink
{
public:
  PipeSink(int fd, bool progress) : m_fd(fd), m_progress(progress) {}
  void Line(bool error, const std::string &text) override { Send(error ? 'E' : 'O', text); }
  void Start(size_t input) override { Send('S', std::to_string(input)); }
  void Progress(size_t, const std::string &text) override
  {
    if (m_progress)
      Send('P', text);
  }
  void Done(size_t input) override { Send('D', std::to_string(input)); }

private:
  void Send(char tag, std::string text)
  {
    for (char &c : text)
      if (c == '\n' || c == '\r')
        c = '?';
    std::string record = tag + text + '\n';
    const char *p = record.data();
    size_t left = record.size();
    while (left)
    {
      ssize_t n = write(m_fd, p, left);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return;
      p += n;
      left -= (size_t)n;
    }
  }
  int m_fd;
  bool m_progress;
};

// The items in groups, in order of first appearance. Items with the same
// share key stay in one group, in order, and one worker converts a group:
// for inputs the key is the name stem, so that two inputs writing the same
// output name behave as in a one-by-one run.
std::vector<std::vector<size_t>> Groups(const std::vector<std::string> &keys)
{
  std::map<std::string, size_t> groupOf;
  std::vector<std::vector<size_t>> groups;
  for (size_t i = 0; i < keys.size(); i++)
  {
    auto it = groupOf.emplace(keys[i], groups.size()).first;
    if (it->second == groups.size())
      groups.emplace_back();
    groups[it->second].push_back(i);
  }
  return groups;
}

// Converts the items of the groups the shared counter hands out, one group
// at a time, until none is left: a worker that drew short pages takes more
// of them, so the workers finish together. Returns the number that failed.
int ConvertGroups(Context &cx, const std::vector<std::vector<size_t>> &groups, std::atomic<size_t> &next)
{
  int failed = 0;
  for (size_t g; (g = next.fetch_add(1)) < groups.size();)
    for (size_t i : groups[g])
    {
      cx.input = i;
      cx.sink->Start(i);
      if (!cx.convert(cx, i))
        failed++;
      cx.sink->Done(i);
    }
  return failed;
}

struct Worker
{
  pid_t pid = -1;
  int fd = -1;
  std::string buffer;
  size_t current = 0; // the item it reported starting last
};

// What the main process has heard of each item.
enum ItemState : char
{
  kNotStarted,
  kStarted,
  kDone
};

// Hands one record of a worker's pipe to the display.
void Dispatch(Worker &w, const std::string &record, Display &display, const std::vector<std::string> &items,
              std::vector<ItemState> &state)
{
  if (record.empty())
    return;
  std::string text = record.substr(1);
  size_t index = w.current;
  if (record[0] == 'S' || record[0] == 'D')
  {
    index = std::strtoul(text.c_str(), nullptr, 10);
    if (index >= items.size())
      return;
  }
  switch (record[0])
  {
  case 'E':
  case 'O':
    display.Line(record[0] == 'E', text);
    break;
  case 'S':
    w.current = index;
    state[index] = kStarted;
    display.Start(index);
    break;
  case 'P':
    display.Progress(index, text);
    break;
  case 'D':
    state[index] = kDone;
    display.Done(index);
    break;
  default:
    break;
  }
}

// Converts the items in up to jobs forked workers, each with its own pipe,
// drawing groups from one counter in memory they share, and relays their
// lines whole. Returns true when every item converted.
bool RunWorkers(Context &cx, Display &display, int jobs, bool status, FILE *out, FILE *err)
{
  const std::vector<std::vector<size_t>> groups = Groups(cx.shareKeys);
  void *shared =
      mmap(nullptr, sizeof(std::atomic<size_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED)
  {
    std::atomic<size_t> next(0);
    return ConvertGroups(cx, groups, next) == 0;
  }
  std::atomic<size_t> &next = *new (shared) std::atomic<size_t>(0);
  std::vector<Worker> workers;
  std::fflush(out);
  std::fflush(err);
  const size_t count = std::min(groups.size(), (size_t)jobs);
  for (size_t k = 0; k < count; k++)
  {
    int fds[2];
    if (pipe(fds) != 0)
      break;
    const pid_t pid = fork();
    if (pid < 0)
    {
      close(fds[0]);
      close(fds[1]);
      break;
    }
    if (pid == 0)
    {
      close(fds[0]);
      for (Worker &w : workers)
        close(w.fd);
      signal(SIGPIPE, SIG_IGN);
      PipeSink sink(fds[1], status);
      cx.sink = &sink;
      int failed = ConvertGroups(cx, groups, next);
      close(fds[1]);
      _exit(failed ? 1 : 0);
    }
    close(fds[1]);
    Worker w;
    w.pid = pid;
    w.fd = fds[0];
    workers.push_back(std::move(w));
  }
  bool ok = true;
  if (workers.empty())
  {
    // No worker could be started: the items are converted here.
    ok = ConvertGroups(cx, groups, next) == 0;
    munmap(shared, sizeof(std::atomic<size_t>));
    return ok;
  }
  std::vector<ItemState> state(cx.items.size(), kNotStarted);
  for (;;)
  {
    std::vector<pollfd> fds;
    std::vector<Worker *> owners;
    for (Worker &w : workers)
      if (w.fd >= 0)
      {
        fds.push_back({w.fd, POLLIN, 0});
        owners.push_back(&w);
      }
    if (fds.empty())
      break;
    if (poll(fds.data(), fds.size(), -1) < 0)
    {
      if (errno == EINTR)
        continue;
      break;
    }
    for (size_t k = 0; k < fds.size(); k++)
    {
      if (!fds[k].revents)
        continue;
      Worker &w = *owners[k];
      char buf[4096];
      ssize_t n = read(w.fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
      {
        close(w.fd);
        w.fd = -1;
        continue;
      }
      w.buffer.append(buf, (size_t)n);
      size_t nl;
      while ((nl = w.buffer.find('\n')) != std::string::npos)
      {
        Dispatch(w, w.buffer.substr(0, nl), display, cx.items, state);
        w.buffer.erase(0, nl + 1);
      }
    }
  }
  std::string why; // why a worker stopped without finishing, when one did
  for (Worker &w : workers)
  {
    if (w.fd >= 0)
      close(w.fd);
    int st = 0;
    while (waitpid(w.pid, &st, 0) < 0 && errno == EINTR)
    {
    }
    if (WIFEXITED(st) && WEXITSTATUS(st) == 0)
      continue;
    ok = false;
    if (WIFEXITED(st) && WEXITSTATUS(st) == 1)
      continue; // its failures are reported
    why = WIFSIGNALED(st) ? "conversion stopped by signal " + std::to_string(WTERMSIG(st))
                          : "conversion stopped";
  }
  munmap(shared, sizeof(std::atomic<size_t>));
  // The item a stopped worker was on, the rest of its group, and anything
  // no worker was left to take.
  for (size_t i = 0; i < state.size(); i++)
    if (state[i] != kDone && !why.empty())
      display.Line(true, "vellum-convert: " + cx.items[i] + ": " + why);
    else if (state[i] == kNotStarted)
      ok = false;
  return ok;
}

} // namespace

bool RunItems(Context &cx, Display &display, int jobs, bool status, FILE *out, FILE *err)
{
  if (jobs == 1 || cx.items.size() < 2)
  {
    // In the order given, as one group.
    std::vector<std::vector<size_t>> all(1);
    for (size_t i = 0; i < cx.items.size(); i++)
      all[0].push_back(i);
    std::atomic<size_t> next(0);
    return ConvertGroups(cx, all, next) == 0;
  }
  return RunWorkers(cx, display, jobs, status, out, err);
}

} // namespace vellum_convert
