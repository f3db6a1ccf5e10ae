// vellum-convert's workers: the items of a run split into shares, each
// converted in a forked process that reports its lines through a pipe, and
// the main process relaying them whole to the terminal.
#include "ConvertInternal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>

#include <poll.h>
#include <signal.h>
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

// The items split into at most jobs shares. Items with the same share key
// stay in one share, in order: for inputs the name stem, so that two inputs
// writing the same output name behave as in a one-by-one run.
std::vector<std::vector<size_t>> Shares(const std::vector<std::string> &keys, int jobs)
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
  std::vector<std::vector<size_t>> shares(std::min(groups.size(), (size_t)jobs));
  for (size_t g = 0; g < groups.size(); g++)
    for (size_t i : groups[g])
      shares[g % shares.size()].push_back(i);
  return shares;
}

// Converts the given inputs in this process; returns the number that failed.
int ConvertShare(Context &cx, const std::vector<size_t> &share)
{
  int failed = 0;
  for (size_t i : share)
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
  std::vector<size_t> share;
  std::vector<bool> done;
  size_t current = 0; // the input it reported starting last
};

// Hands one record of a worker's pipe to the display.
void Dispatch(Worker &w, const std::string &record, Display &display, const std::vector<std::string> &items)
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
    display.Start(index);
    break;
  case 'P':
    display.Progress(index, text);
    break;
  case 'D':
    for (size_t k = 0; k < w.share.size(); k++)
      if (w.share[k] == index)
        w.done[k] = true;
    display.Done(index);
    break;
  default:
    break;
  }
}

// Converts the inputs in up to jobs forked workers, each with its own share
// and its own pipe, and relays their lines whole. Returns true when every
// input converted.
bool RunWorkers(Context &cx, Display &display, int jobs, bool status, FILE *out, FILE *err)
{
  std::vector<Worker> workers;
  std::vector<size_t> local; // shares no worker could be started for
  std::fflush(out);
  std::fflush(err);
  for (std::vector<size_t> &share : Shares(cx.shareKeys, jobs))
  {
    int fds[2];
    pid_t pid = -1;
    if (pipe(fds) == 0)
    {
      pid = fork();
      if (pid < 0)
      {
        close(fds[0]);
        close(fds[1]);
      }
    }
    if (pid < 0)
    {
      local.insert(local.end(), share.begin(), share.end());
      continue;
    }
    if (pid == 0)
    {
      close(fds[0]);
      for (Worker &w : workers)
        close(w.fd);
      signal(SIGPIPE, SIG_IGN);
      PipeSink sink(fds[1], status);
      cx.sink = &sink;
      int failed = ConvertShare(cx, share);
      close(fds[1]);
      _exit(failed ? 1 : 0);
    }
    close(fds[1]);
    Worker w;
    w.pid = pid;
    w.fd = fds[0];
    w.share = share;
    w.done.assign(share.size(), false);
    w.current = share.front();
    workers.push_back(std::move(w));
  }
  bool ok = true;
  if (!local.empty())
    ok = ConvertShare(cx, local) == 0;
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
        Dispatch(w, w.buffer.substr(0, nl), display, cx.items);
        w.buffer.erase(0, nl + 1);
      }
    }
  }
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
    std::string why = WIFSIGNALED(st) ? "conversion stopped by signal " + std::to_string(WTERMSIG(st))
                                      : "conversion stopped";
    for (size_t k = 0; k < w.share.size(); k++)
      if (!w.done[k])
        display.Line(true, "vellum-convert: " + cx.items[w.share[k]] + ": " + why);
  }
  return ok;
}

} // namespace

bool RunItems(Context &cx, Display &display, int jobs, bool status, FILE *out, FILE *err)
{
  if (jobs == 1 || cx.items.size() < 2)
  {
    std::vector<size_t> all(cx.items.size());
    for (size_t i = 0; i < all.size(); i++)
      all[i] = i;
    return ConvertShare(cx, all) == 0;
  }
  return RunWorkers(cx, display, jobs, status, out, err);
}

} // namespace vellum_convert
