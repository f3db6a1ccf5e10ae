#include "Convert.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "DibImage.h"
#include "SaveBook.h"
#include "SaveImage.h"
#include "Settings.h"

namespace vellum_convert
{

namespace
{

bool ParseInt(const std::string &text, int lo, int hi, int &value)
{
  if (text.empty())
    return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end || errno == ERANGE || v < lo || v > hi)
    return false;
  value = (int)v;
  return true;
}

// "a,b,c,d" (crop) or "WxH" (resize).
bool ParseInts(const std::string &text, char sep, int count, int *out)
{
  size_t start = 0;
  for (int i = 0; i < count; i++)
  {
    size_t end = i + 1 < count ? text.find(sep, start) : text.size();
    if (end == std::string::npos || !ParseInt(text.substr(start, end - start), 0, INT_MAX, out[i]))
      return false;
    start = end + 1;
  }
  return true;
}

// "1-5,9": page ranges from 1, stored from 0.
bool ParsePageRanges(const std::string &text, std::vector<std::pair<int, int>> &ranges)
{
  ranges.clear();
  size_t start = 0;
  while (start <= text.size())
  {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t dash = part.find('-');
    int a, b;
    if (dash == std::string::npos)
    {
      if (!ParseInt(part, 1, 65536, a))
        return false;
      b = a;
    }
    else if (!ParseInt(part.substr(0, dash), 1, 65536, a) || !ParseInt(part.substr(dash + 1), 1, 65536, b) ||
             b < a)
      return false;
    ranges.emplace_back(a - 1, b - 1);
    if (comma == std::string::npos)
      break;
    start = comma + 1;
  }
  return !ranges.empty();
}

int ParseDct(const std::string &text)
{
  if (text == "int" || text == "islow" || text == "0")
    return 0;
  if (text == "fast" || text == "ifast" || text == "1")
    return 1;
  if (text == "float" || text == "2")
    return 2;
  return -1;
}

int ParseType(const std::string &text)
{
  if (text == "djvu" || text == "djv")
    return IMAGE_FILE_DJVU;
  if (text == "iw44" || text == "iw4")
    return IMAGE_FILE_IW44;
  if (text == "bmp")
    return IMAGE_FILE_BMP;
  if (text == "pnm" || text == "pbm" || text == "pgm" || text == "ppm")
    return IMAGE_FILE_PNM;
  if (text == "jpeg" || text == "jpg")
    return IMAGE_FILE_JPEG;
  if (text == "png")
    return IMAGE_FILE_PNG;
  return 0;
}

bool IsDirectory(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string Stem(const std::string &path)
{
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// First line of the last library message, or fallback.
std::string LastError(const char *fallback)
{
  std::string text = g_szLastImageError;
  // The Image API's report reads "DjVu error!\n\nFile: ...\nCause: ...".
  size_t cause = text.find("Cause: ");
  if (cause != std::string::npos)
    text = text.substr(cause + 7);
  size_t nl = text.find('\n');
  if (nl != std::string::npos)
    text = text.substr(0, nl);
  return text.empty() ? fallback : text;
}

// Where a conversion's lines go: straight to the terminal in the main
// process, through a pipe to the main process in a worker.
class Sink
{
public:
  virtual ~Sink() = default;
  virtual void Line(bool error, const std::string &text) = 0;
  virtual void Start(size_t input) = 0;
  virtual void Progress(size_t input, const std::string &text) = 0;
  virtual void Done(size_t input) = 0;
};

// The main process's output: whole lines to out and err, and on a terminal
// a status line on err ("[done/total] name: step") rewritten in place.
class Display : public Sink
{
public:
  Display(const std::vector<std::string> &items, FILE *out, FILE *err, bool status)
      : m_items(items), m_out(out), m_err(err), m_status(status)
  {
  }
  void Line(bool error, const std::string &text) override
  {
    Clear();
    std::fprintf(error ? m_err : m_out, "%s\n", text.c_str());
    std::fflush(error ? m_err : m_out);
    Show();
  }
  void Start(size_t input) override
  {
    m_current = m_items[input];
    m_step.clear();
    Show();
  }
  void Progress(size_t input, const std::string &text) override
  {
    m_current = m_items[input];
    m_step = text;
    Show();
  }
  void Done(size_t) override
  {
    m_done++;
    m_step.clear();
    Show();
  }
  void Clear()
  {
    if (m_shown)
      std::fputs("\r\033[K", m_err);
    m_shown = false;
  }

private:
  void Show()
  {
    if (!m_status)
      return;
    Clear();
    std::string name = m_current;
    size_t slash = name.find_last_of('/');
    if (slash != std::string::npos)
      name = name.substr(slash + 1);
    if (name.size() > 40)
      name = "..." + name.substr(name.size() - 37);
    std::fprintf(m_err, "[%zu/%zu] %s%s%s", m_done, m_items.size(), name.c_str(),
                 m_step.empty() ? "" : ": ", m_step.c_str());
    std::fflush(m_err);
    m_shown = true;
  }
  const std::vector<std::string> &m_items; // what is shown for each work item
  FILE *m_out, *m_err;
  bool m_status, m_shown = false;
  size_t m_done = 0;
  std::string m_current, m_step;
};

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

// The encoder's steps as "Encoding Mask 40%" to the sink.
class StepProgress : public CSaveProgress
{
public:
  StepProgress(Sink &sink, size_t input) : m_sink(sink), m_input(input) {}
  void OnSaveProgress(const char *text, int percent) override
  {
    std::string step = std::string(text ? text : "") + " " + std::to_string(percent) + "%";
    if (step != m_last)
      m_sink.Progress(m_input, m_last = step);
  }

private:
  Sink &m_sink;
  size_t m_input;
  std::string m_last;
};

struct Context;
// Converts work item i (an input file, or a page of a book) and reports a
// failure as one line; false when it failed.
using ItemConverter = bool (*)(Context &cx, size_t item);

struct Context
{
  const Options &opt;
  CVellumSettings settings; // with the command line's overrides
  Sink *sink;
  size_t input = 0; // index of the item being converted
  bool toDirectory;
  int type;
  // The work items: their names on the status line, the key that keeps
  // items in one worker's share, and the conversion of one.
  std::vector<std::string> items, shareKeys;
  ItemConverter convert = nullptr;
  const struct BookJob *book = nullptr; // when writing one document
  explicit Context(const Options &o) : opt(o), sink(nullptr), toDirectory(false), type(0) {}
};

// Reads page (0-based) of input into img. A DjVu page comes from the
// document img already holds when it holds input's.
bool Load(Context &cx, CDibImage &img, const std::string &input, int kind, int page, std::string &why)
{
  g_szLastImageError[0] = 0;
  int ok = 0;
  const char *path = input.c_str();
  switch (kind)
  {
  case IMAGE_FILE_BMP:
    ok = img.LoadBmp(path, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_PNM:
    ok = img.LoadPnm(path, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_JPEG:
    ok = img.LoadJpeg(path, 24, cx.opt.decodeDct >= 0 ? cx.opt.decodeDct : cx.settings.JpegDecodeDCT,
                      DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_TIFF:
    ok = img.LoadTiff(path, page, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_PNG:
    ok = img.LoadPng(path, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_DJVU:
  case IMAGE_FILE_IW44:
    ok = img.OpenDjVu(path, kind, page, img.m_strSourcePath == input ? img.m_pBook : nullptr) &&
         img.RenderDjVu(0, 24, 0, cx.settings.DisplayGamma, DIB_HEADER_INFO, kind);
    break;
  default:
    why = "File type not recognized!";
    return false;
  }
  if (!ok)
    why = LastError("Failed to open the image!");
  return ok != 0;
}

bool Apply(const Context &cx, CDibImage &img, std::string &why)
{
  for (const Operation &op : cx.opt.operations)
  {
    int ok = 0;
    const char *name = "";
    switch (op.kind)
    {
    case Operation::RotateLeft:
      name = "rotate left";
      ok = img.RotateLeft();
      break;
    case Operation::RotateRight:
      name = "rotate right";
      ok = img.RotateRight();
      break;
    case Operation::Rotate180:
      name = "rotate 180";
      ok = img.Rotate180();
      break;
    case Operation::Flip:
      name = "flip";
      ok = img.FlipRows(1);
      break;
    case Operation::Mirror:
      name = "mirror";
      ok = img.Mirror();
      break;
    case Operation::Negative:
      name = "negative";
      ok = img.Negative();
      break;
    case Operation::Grey:
      name = "grey";
      ok = img.ConvertToGray();
      break;
    case Operation::Crop:
      name = "crop";
      if (op.a > op.c || op.b > op.d || op.c >= img.m_nWidth || op.d >= img.m_nHeight)
      {
        why = "crop rectangle " + std::to_string(op.a) + "," + std::to_string(op.b) + "," +
              std::to_string(op.c) + "," + std::to_string(op.d) + " is not inside the " +
              std::to_string(img.m_nWidth) + "x" + std::to_string(img.m_nHeight) + " image";
        return false;
      }
      ok = img.Crop(op.a, op.b, op.c, op.d);
      break;
    case Operation::Resize:
      name = "resize";
      ok = img.Resample(op.a, op.b, cx.opt.method);
      break;
    }
    if (!ok)
    {
      why = std::string(name) + " failed";
      return false;
    }
  }
  return true;
}

bool Save(Context &cx, CDibImage &img, const std::string &target, int scope, std::string &why)
{
  if (!cx.opt.force && Exists(target))
  {
    why = target + " exists (use -f to overwrite)";
    return false;
  }
  g_szLastImageError[0] = 0;
  std::string comment = cx.opt.commentGiven ? cx.opt.comment : SoftwareText();
  StepProgress progress(*cx.sink, cx.input);
  int ok = SaveImage(target, cx.type, img, cx.settings, comment.c_str(), &progress, scope);
  if (!ok)
    why = "cannot write " + target + ": " + LastError("Failed to save the image!");
  return ok != 0;
}

std::string Target(const Context &cx, const std::string &input, const CDibImage &img, int page, int count)
{
  if (!cx.toDirectory)
    return cx.opt.output;
  std::string target = cx.opt.output;
  if (target.back() != '/')
    target += '/';
  target += Stem(input);
  if (cx.opt.allPages && count > 1)
    target += "-p" + std::to_string(page + 1);
  return target + DefaultSaveExtension(cx.type, img.m_nBitsPerPixel, img.m_bGrey);
}

// Converts one input (all its pages when asked); false after printing one
// line for the failure. A DjVu document converted to DjVu without a page
// choice stays one document: every page is re-encoded into it (with the
// operations) and it is written once, with its outline and included files.
bool ConvertOne(Context &cx, const std::string &input)
{
  auto fail = [&](const std::string &why)
  {
    cx.sink->Line(true, "vellum-convert: " + input + ": " + why);
    return false;
  };
  int kind = GetImageFileType(input.c_str());
  if (kind == IMAGE_FILE_UNKNOWN)
    return fail("File type not recognized!");
  std::string why;
  CDibImage img;
  const bool paged = kind == IMAGE_FILE_TIFF || kind == IMAGE_FILE_DJVU;
  int first = paged && cx.opt.page > 0 ? cx.opt.page : 0;
  if (kind == IMAGE_FILE_DJVU && first > 0)
  {
    // The page count first: a page past the end is a usage error, not a
    // decoding failure.
    if (!Load(cx, img, input, kind, 0, why))
      return fail(why);
    if (first >= img.m_nPageCount)
      first = -1;
  }
  if (first >= 0 && !Load(cx, img, input, kind, first, why))
    return fail(why);
  int count = paged ? img.m_nPageCount : 1;
  if (first < 0 || first >= count)
    return fail("page " + std::to_string(cx.opt.page + 1) + " does not exist (the file has " +
                std::to_string(count) + (count == 1 ? " page)" : " pages)"));
  const bool wholeDocument = img.m_pBook && cx.type == IMAGE_FILE_DJVU && cx.opt.page < 0 && !cx.opt.allPages;
  int last = cx.opt.allPages || wholeDocument ? count - 1 : first;
  for (int page = first; page <= last; page++)
  {
    if (page != first && !Load(cx, img, input, kind, page, why))
      return fail(why);
    if (!Apply(cx, img, why))
      return fail(why);
    if (wholeDocument && page < last)
    {
      StepProgress progress(*cx.sink, cx.input);
      if (!EncodeDocumentPage(img, cx.settings, &progress))
        return fail("page " + std::to_string(page + 1) + ": " + LastError("Failed to save the image!"));
      continue;
    }
    const std::string target = Target(cx, input, img, page, count);
    if (!Save(cx, img, target, wholeDocument ? kSaveWholeDocument : kSaveCurrentPage, why))
      return fail(why);
    if (!cx.opt.quiet)
      cx.sink->Line(false, input + " -> " + target);
  }
  return true;
}

bool ConvertInput(Context &cx, size_t item) { return ConvertOne(cx, cx.opt.inputs[item]); }

// A page source: a page of an input file, and where its encoding goes.
struct PageSource
{
  size_t input;
  int page;      // from 0
  int pageCount; // pages of the input
};

struct BookJob
{
  std::vector<PageSource> pages;
  CBookStaging staging;
};

// Encodes one page of the book into the staging folder, as a single page
// would be saved.
bool ConvertBookPage(Context &cx, size_t item)
{
  const PageSource &src = cx.book->pages[item];
  const std::string &input = cx.opt.inputs[src.input];
  auto fail = [&](const std::string &why)
  {
    cx.sink->Line(true, "vellum-convert: " + input + ": page " + std::to_string(src.page + 1) + ": " + why);
    return false;
  };
  std::string why;
  CDibImage img;
  if (!Load(cx, img, input, GetImageFileType(input.c_str()), src.page, why))
    return fail(why);
  if (!Apply(cx, img, why))
    return fail(why);
  g_szLastImageError[0] = 0;
  StepProgress progress(*cx.sink, item);
  std::string comment = SoftwareText();
  if (!SaveImage(cx.book->staging.PagePath(item), IMAGE_FILE_DJVU, img, cx.settings, comment.c_str(), &progress))
    return fail(LastError("Failed to encode the page!"));
  return true;
}

// The pages the command line asks for, in order; false (each failure
// reported) when an input cannot be read or lacks a page asked for.
bool ListBookPages(Context &cx, std::vector<PageSource> &pages)
{
  const Options &o = cx.opt;
  bool ok = true;
  for (size_t i = 0; i < o.inputs.size(); i++)
  {
    const std::string &input = o.inputs[i];
    int kind = GetImageFileType(input.c_str());
    if (kind == IMAGE_FILE_UNKNOWN)
    {
      cx.sink->Line(true, "vellum-convert: " + input + ": File type not recognized!");
      ok = false;
      continue;
    }
    int count = 1;
    if (kind == IMAGE_FILE_TIFF)
    {
      CDibImage img;
      std::string why;
      if (!Load(cx, img, input, kind, 0, why))
      {
        cx.sink->Line(true, "vellum-convert: " + input + ": " + why);
        ok = false;
        continue;
      }
      count = img.m_nPageCount;
    }
    std::vector<std::pair<int, int>> ranges = o.pageRanges;
    if (o.allPages)
      ranges = {{0, count - 1}};
    else if (count == 1)
      ranges = {{0, 0}};
    else if (ranges.empty())
      ranges = {{std::max(o.page, 0), std::max(o.page, 0)}};
    for (const auto &r : ranges)
      for (int page = r.first; page <= r.second; page++)
      {
        if (page >= count)
        {
          // A range past the end of a shorter input is cut; a page number
          // alone must exist.
          if (r.first == r.second || page == r.first)
          {
            cx.sink->Line(true, "vellum-convert: " + input + ": page " + std::to_string(page + 1) +
                                    " does not exist (the file has " + std::to_string(count) +
                                    (count == 1 ? " page)" : " pages)"));
            ok = false;
          }
          break;
        }
        pages.push_back(PageSource{i, page, count});
      }
  }
  return ok;
}

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

// Runs the items of cx in this process or in up to jobs workers; true when
// every item converted.
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

// Writes one document of every page asked for: the pages are encoded (in
// parallel) into a hidden staging folder beside the output, then bundled.
// Without --keep-going a failed page means no document is written.
bool RunBook(Context &cx, Display &display, int jobs, bool status, FILE *out, FILE *err)
{
  const Options &o = cx.opt;
  auto fail = [&](const std::string &why)
  {
    display.Line(true, "vellum-convert: " + o.output + ": " + why);
    return false;
  };
  if (!o.force && Exists(o.output))
    return fail("exists (use -f to overwrite)");
  BookJob job;
  cx.book = &job;
  bool listed = ListBookPages(cx, job.pages);
  if (!listed && !o.keepGoing)
    return fail("not written: some input failed (--keep-going writes the others)");
  if (job.pages.empty())
    return fail("not written: no page to write");
  g_szLastImageError[0] = 0;
  if (!job.staging.Create(o.output))
    return fail(LastError("cannot create the staging folder"));
  cx.items.clear();
  cx.shareKeys.clear();
  for (const PageSource &src : job.pages)
  {
    const std::string &input = o.inputs[src.input];
    cx.items.push_back(src.pageCount > 1 ? input + " p" + std::to_string(src.page + 1) : input);
    cx.shareKeys.push_back(std::to_string(cx.shareKeys.size()));
  }
  cx.convert = ConvertBookPage;
  RunItems(cx, display, jobs, status, out, err);
  // A page converted when its file is in the staging folder: the writers
  // rename it into place only once it is whole.
  std::vector<BookPage> pages;
  size_t failed = 0;
  for (size_t i = 0; i < job.pages.size(); i++)
  {
    const std::string file = job.staging.PagePath(i);
    if (!Exists(file))
    {
      failed++;
      continue;
    }
    const PageSource &src = job.pages[i];
    std::string id = BookPageId(o.inputs[src.input], src.page, src.pageCount);
    pages.push_back(BookPage{file, id, id.substr(0, id.size() - 5)});
  }
  if (failed && !o.keepGoing)
    return fail("not written: " + std::to_string(failed) + (failed == 1 ? " page" : " pages") +
                " failed (--keep-going writes the others)");
  if (pages.empty())
    return fail("not written: no page converted");
  BookOptions options;
  options.indirect = o.indirect;
  options.pagesPerDict = o.pagesPerDict;
  options.share = o.pagesPerDict > 1;
  options.lossless = cx.settings.DjvuLossless != 0;
  g_szLastImageError[0] = 0;
  if (!WriteDjVuBook(o.output, pages, options, nullptr))
    return fail("cannot write: " + LastError("Failed to save the document!"));
  if (!o.quiet)
    display.Line(false, std::to_string(pages.size()) + (pages.size() == 1 ? " page -> " : " pages -> ") +
                            o.output);
  return failed == 0 && listed;
}

// The command line's overrides of the settings for output kind type.
void ApplyOverrides(const Options &o, int type, CVellumSettings &s)
{
  if (o.quality >= 0)
  {
    if (type == IMAGE_FILE_DJVU)
      s.DjvuPhotoQty = o.quality;
    else if (type == IMAGE_FILE_IW44)
      s.Iw44PhotoQty = o.quality;
    else
      s.JpegQty = o.quality;
  }
  if (o.filterLevel != -1000)
    s.DjvuFilterLevel = o.filterLevel;
  if (o.upsample >= 0)
    s.DjvuUpsample = o.upsample;
  if (o.profile >= 0)
    s.DjvuProfile = o.profile;
  if (o.lossless)
    s.DjvuLossless = 1;
  if (o.noThicken)
    s.DjvuNoThick = 1;
  if (o.textOnly)
    s.DjvuTextOnly = 1;
  if (o.smoothing >= 0)
    s.JpegSmooth = o.smoothing;
  if (o.optimize >= 0)
    s.JpegOptHuff = o.optimize;
  if (o.encodeDct >= 0)
    s.JpegEncodeDCT = o.encodeDct;
}

} // namespace

std::string SoftwareText()
{
  // The revision keyword without its "$" delimiters.
  std::string keyword = "$Revision: 1.12 $";
  size_t first = keyword.find('$'), last = keyword.rfind('$');
  std::string revision = keyword.substr(first + 1, last - first - 1);
  char text[128];
  std::snprintf(text, sizeof text, "Orvale %s %s", "Vellum", revision.c_str());
  return text;
}

void PrintUsage(FILE *out)
{
  std::fputs("Usage: vellum-convert [options] INPUT... -o OUTPUT_OR_DIR\n"
             "\n"
             "       vellum-convert --thumbnail SIZE INPUT OUTPUT\n"
             "\n"
             "Converts BMP, PBM/PGM/PPM, TIFF, JPEG, PNG, DjVu and IW44 files to DjVu, IW44,\n"
             "BMP, PNM, JPEG or PNG.\n"
             "With one input, OUTPUT is a file name whose extension chooses the kind; with\n"
             "several inputs, a folder as input or --all-pages it is an existing folder and\n"
             "--type chooses. A folder as input stands for the image files in it.\n"
             "Several pages (inputs, --all-pages, --pages) and an OUTPUT named FILE.djvu\n"
             "that is not a folder make one DjVu document of all the pages, in order.\n"
             "\n"
             "Output:\n"
             "  -o, --output PATH      output file or folder (required)\n"
             "  -t, --type KIND        djvu, iw44, bmp, pnm, jpeg or png\n"
             "  -f, --force            overwrite existing files\n"
             "      --page N           convert page N (from 1) of a TIFF file or DjVu document\n"
             "      --all-pages        convert every page of a TIFF file or DjVu document, each\n"
             "                         to a file of its own (NAME-pN.EXT), or into one\n"
             "                         document for an OUTPUT FILE.djvu; without either, a\n"
             "                         DjVu document converted to DjVu stays one document\n"
             "      --pages LIST       pages of multi-page inputs, such as 1-5,9\n"
             "Documents (OUTPUT FILE.djvu):\n"
             "      --indirect         index file OUTPUT plus one file per page beside it\n"
             "      --pages-per-dict N pages sharing one dictionary of shapes (default 10,\n"
             "                         1 shares none)\n"
             "      --keep-going       write the pages that converted when some failed\n"
             "      --thumbnail SIZE   write OUTPUT as a PNG of at most SIZE x SIZE pixels of\n"
             "                         the first page of INPUT, for file managers\n"
             "Encoding (defaults from Vellum.ini):\n"
             "      --quality N        DjVu, IW44 or JPEG quality, 0 to 100\n"
             "DjVu:\n"
             "      --filter-level N   mask filter level, -200 to 200\n"
             "      --lossless         code the mask without loss\n"
             "      --no-thicken       do not thicken thin strokes\n"
             "      --profile compact|classic   layer coding: compact (smaller pages) or\n"
             "                         classic (the long-standing layers)\n"
             "      --text-only        mask only, no colour layers\n"
             "      --upsample CODE    resolution the page is tuned for: 0 high, 1 medium,\n"
             "                         2 low, 3 very low (or high|medium|low|very-low)\n"
             "JPEG:\n"
             "      --smooth N         smoothing factor, 0 to 100\n"
             "      --optimize, --no-optimize   optimised Huffman tables or not\n"
             "      --dct int|fast|float        DCT method for writing\n"
             "      --decode-dct int|fast|float DCT method for reading JPEG input\n"
             "      --comment TEXT     comment marker (default: the program's name)\n"
             "Image operations, applied in the order given:\n"
             "      --rotate left|right|180\n"
             "      --flip             upside down\n"
             "      --mirror           left to right\n"
             "      --negative\n"
             "      --grey             convert to 8-bit grey\n"
             "      --crop L,T,R,B     keep the rectangle (inclusive, top row 0)\n"
             "      --resize WxH       scale to W x H pixels\n"
             "      --method single|centre|average   scaling method (default average)\n"
             "Other:\n"
             "      --settings FILE    read settings from FILE instead of Vellum.ini\n"
             "      --max-pixels N     refuse images of more than N pixels (width x height;\n"
             "                         default: MaxPixels of Vellum.ini, 300000000)\n"
             "  -j, --jobs N           convert N files or pages at a time (default: the\n"
             "                         processors); a document is the same for every N\n"
             "  -q, --quiet            print only failures\n"
             "  -h, --help             show this help\n"
             "      --version          show the version\n"
             "\n"
             "Existing files are never overwritten without -f. Each failed input is\n"
             "reported on one line; the others are still converted. Exit status: 0 all\n"
             "converted, 1 some input failed, 2 usage error. A document with a failed page\n"
             "is not written at all unless --keep-going is given.\n",
             out);
}

bool ParseArguments(int argc, char **argv, Options &o, std::string &error)
{
  bool optionsDone = false;
  for (int i = 1; i < argc; i++)
  {
    std::string arg = argv[i];
    if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-")
    {
      o.inputs.push_back(arg);
      continue;
    }
    if (arg == "--")
    {
      optionsDone = true;
      continue;
    }
    std::string name = arg, value;
    bool inlineValue = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos)
    {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    else if (arg.size() > 2 && arg.rfind("-j", 0) == 0) // -jN
    {
      name = "-j";
      value = arg.substr(2);
      inlineValue = true;
    }
    auto needValue = [&]() -> bool
    {
      if (inlineValue)
        return true;
      if (i + 1 >= argc)
      {
        error = "option " + name + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto bad = [&](const std::string &what)
    {
      error = "invalid value for " + name + ": \"" + value + "\" (" + what + ")";
      return false;
    };
    Operation op{};
    if (name == "-h" || name == "--help")
      o.help = true;
    else if (name == "--version")
      o.version = true;
    else if (name == "-f" || name == "--force")
      o.force = true;
    else if (name == "-q" || name == "--quiet")
      o.quiet = true;
    else if (name == "--all-pages")
      o.allPages = true;
    else if (name == "--indirect")
      o.indirect = true;
    else if (name == "--keep-going")
      o.keepGoing = true;
    else if (name == "--optimize")
      o.optimize = 1;
    else if (name == "--no-optimize")
      o.optimize = 0;
    else if (name == "--lossless")
      o.lossless = true;
    else if (name == "--no-thicken")
      o.noThicken = true;
    else if (name == "--text-only")
      o.textOnly = true;
    else if (name == "--flip" || name == "--mirror" || name == "--negative" || name == "--grey" ||
             name == "--gray")
    {
      op.kind = name == "--flip"       ? Operation::Flip
                : name == "--mirror"   ? Operation::Mirror
                : name == "--negative" ? Operation::Negative
                                       : Operation::Grey;
      o.operations.push_back(op);
    }
    else if (!needValue())
      return false;
    else if (name == "-o" || name == "--output")
      o.output = value;
    else if (name == "-t" || name == "--type")
    {
      if (!(o.outputType = ParseType(value)))
        return bad("djvu, iw44, bmp, pnm, jpeg or png");
    }
    else if (name == "--thumbnail")
    {
      if (!ParseInt(value, 1, kMaxThumbnailSize, o.thumbnail))
        return bad("1 to " + std::to_string(kMaxThumbnailSize) + " pixels");
    }
    else if (name == "--page")
    {
      int page;
      if (!ParseInt(value, 1, 65536, page))
        return bad("a page number from 1");
      o.page = page - 1;
    }
    else if (name == "--pages")
    {
      if (!ParsePageRanges(value, o.pageRanges))
        return bad("page numbers and ranges from 1, such as 1-5,9");
    }
    else if (name == "--pages-per-dict")
    {
      if (!ParseInt(value, 1, 100000, o.pagesPerDict))
        return bad("1 or more");
    }
    else if (name == "--quality")
    {
      if (!ParseInt(value, 0, 100, o.quality))
        return bad("0 to 100");
    }
    else if (name == "--filter-level")
    {
      if (!ParseInt(value, -200, 200, o.filterLevel))
        return bad("-200 to 200");
    }
    else if (name == "--profile")
    {
      if (value == "classic")
        o.profile = 0;
      else if (value == "compact")
        o.profile = 1;
      else
        return bad("compact or classic");
    }
    else if (name == "--upsample")
    {
      if (value == "high")
        o.upsample = 0;
      else if (value == "medium")
        o.upsample = 1;
      else if (value == "low")
        o.upsample = 2;
      else if (value == "very-low")
        o.upsample = 3;
      else if (!ParseInt(value, 0, 3, o.upsample))
        return bad("0 high, 1 medium, 2 low or 3 very low");
    }
    else if (name == "-j" || name == "--jobs")
    {
      if (!ParseInt(value, 1, 256, o.jobs))
        return bad("1 to 256");
    }
    else if (name == "--smooth")
    {
      if (!ParseInt(value, 0, 100, o.smoothing))
        return bad("0 to 100");
    }
    else if (name == "--dct")
    {
      if ((o.encodeDct = ParseDct(value)) < 0)
        return bad("int, fast or float");
    }
    else if (name == "--decode-dct")
    {
      if ((o.decodeDct = ParseDct(value)) < 0)
        return bad("int, fast or float");
    }
    else if (name == "--comment")
    {
      o.commentGiven = true;
      o.comment = value;
    }
    else if (name == "--settings")
      o.settingsFile = value;
    else if (name == "--max-pixels")
    {
      if (!ParseInt(value, 1, INT_MAX, o.maxPixels))
        return bad("a number of pixels from 1");
    }
    else if (name == "--rotate")
    {
      if (value == "left")
        op.kind = Operation::RotateLeft;
      else if (value == "right")
        op.kind = Operation::RotateRight;
      else if (value == "180")
        op.kind = Operation::Rotate180;
      else
        return bad("left, right or 180");
      o.operations.push_back(op);
    }
    else if (name == "--crop")
    {
      int v[4];
      if (!ParseInts(value, ',', 4, v) || v[0] > v[2] || v[1] > v[3])
        return bad("LEFT,TOP,RIGHT,BOTTOM with left <= right and top <= bottom");
      op.kind = Operation::Crop;
      op.a = v[0], op.b = v[1], op.c = v[2], op.d = v[3];
      o.operations.push_back(op);
    }
    else if (name == "--resize")
    {
      int v[2];
      if (!ParseInts(value, 'x', 2, v) || v[0] < 1 || v[1] < 1)
        return bad("WIDTHxHEIGHT, both at least 1");
      op.kind = Operation::Resize;
      op.a = v[0], op.b = v[1];
      o.operations.push_back(op);
    }
    else if (name == "--method")
    {
      if (value == "single")
        o.method = DIB_RESAMPLE_SINGLE;
      else if (value == "centre" || value == "center")
        o.method = DIB_RESAMPLE_CENTRE;
      else if (value == "average")
        o.method = DIB_RESAMPLE_AVERAGE;
      else
        return bad("single, centre or average");
    }
    else
    {
      error = "unknown option " + name;
      return false;
    }
  }
  if (o.help || o.version)
    return true;
  if (o.thumbnail)
  {
    if (o.inputs.size() != 2 || !o.output.empty() || o.outputType || o.allPages || o.page >= 0 ||
        !o.operations.empty())
    {
      error = "--thumbnail takes exactly SIZE INPUT OUTPUT";
      return false;
    }
    return true;
  }
  if (o.inputs.empty())
  {
    error = "no input file given";
    return false;
  }
  if (o.output.empty())
  {
    error = "no output given (-o FILE or -o FOLDER)";
    return false;
  }
  if ((o.page >= 0) + o.allPages + !o.pageRanges.empty() > 1)
  {
    error = "--page, --pages and --all-pages exclude each other";
    return false;
  }
  return true;
}

int Run(const Options &given, FILE *out, FILE *err)
{
  // A folder among the inputs stands for the image files directly in it,
  // in name order.
  Options options = given;
  options.inputs.clear();
  bool folderInput = false, emptyFolder = false;
  for (const std::string &input : given.inputs)
  {
    if (!IsDirectory(input))
    {
      options.inputs.push_back(input);
      continue;
    }
    folderInput = true;
    std::vector<std::string> found;
    if (DIR *dir = opendir(input.c_str()))
    {
      while (dirent *e = readdir(dir))
      {
        std::string path = input + (input.back() == '/' ? "" : "/") + e->d_name;
        if (e->d_name[0] != '.' && GetImageFileType(path.c_str()) != IMAGE_FILE_UNKNOWN && !IsDirectory(path))
          found.push_back(path);
      }
      closedir(dir);
    }
    std::sort(found.begin(), found.end());
    if (found.empty())
      emptyFolder = true;
    if (found.empty())
      std::fprintf(err, "vellum-convert: %s: no image files in this folder\n", input.c_str());
    options.inputs.insert(options.inputs.end(), found.begin(), found.end());
  }
  if (options.inputs.empty())
    return 1;
  Context cx(options);
  cx.settings.LoadSettings(options.settingsFile.empty() ? CVellumSettings::SettingsPath()
                                                        : options.settingsFile);
  SetMaxImagePixels(options.maxPixels > 0 ? options.maxPixels : cx.settings.MaxPixels);
  // Several pages into a FILE.djvu (not a folder) make one document.
  const bool book = (options.outputType == 0 || options.outputType == IMAGE_FILE_DJVU) &&
                    GetImageFileType(options.output.c_str()) == IMAGE_FILE_DJVU &&
                    options.output.back() != '/' && !IsDirectory(options.output) &&
                    (options.inputs.size() > 1 || folderInput || options.allPages || !options.pageRanges.empty() ||
                     options.indirect);
  cx.toDirectory = !book && (options.inputs.size() > 1 || folderInput || options.allPages ||
                             options.output.back() == '/' || IsDirectory(options.output));
  cx.type = book ? IMAGE_FILE_DJVU : options.outputType;
  if (cx.toDirectory)
  {
    if (!IsDirectory(options.output))
    {
      std::fprintf(err, "vellum-convert: %s is not a folder\n", options.output.c_str());
      return 2;
    }
    if (!cx.type)
    {
      std::fprintf(err, "vellum-convert: converting into a folder needs --type djvu|iw44|bmp|pnm|jpeg|png\n");
      return 2;
    }
  }
  else if (!cx.type)
  {
    int kind = GetImageFileType(options.output.c_str());
    const std::string &o = options.output;
    if (o.size() > 4 && strcasecmp(o.c_str() + o.size() - 4, ".pnm") == 0)
      kind = IMAGE_FILE_PNM;
    if (kind != IMAGE_FILE_BMP && kind != IMAGE_FILE_PNM && kind != IMAGE_FILE_JPEG &&
        kind != IMAGE_FILE_DJVU && kind != IMAGE_FILE_IW44 && kind != IMAGE_FILE_PNG)
    {
      std::fprintf(err,
                   "vellum-convert: cannot tell the output kind of %s (use .djvu, .djv, .iw44, .iw4, .bmp, "
                   ".pnm, .pbm, .pgm, .ppm, .jpg, .png or --type)\n",
                   options.output.c_str());
      return 2;
    }
    cx.type = kind;
  }
  ApplyOverrides(options, cx.type, cx.settings);
  bool status = !options.quiet && err == stderr && isatty(STDERR_FILENO);
  cx.items = options.inputs;
  for (const std::string &input : options.inputs)
    cx.shareKeys.push_back(Stem(input));
  cx.convert = ConvertInput;
  Display display(cx.items, out, err, status);
  cx.sink = &display;
  int jobs = options.jobs;
  if (jobs <= 0)
  {
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    jobs = cores > 0 ? (int)std::min(cores, 256L) : 1;
  }
  bool ok = book ? RunBook(cx, display, jobs, status, out, err) : RunItems(cx, display, jobs, status, out, err);
  display.Clear();
  std::fflush(err);
  return ok && !emptyFolder ? 0 : 1;
}

void ThumbnailFit(int width, int height, int size, int &outWidth, int &outHeight)
{
  outWidth = width;
  outHeight = height;
  const int longer = std::max(width, height);
  if (longer <= size)
    return;
  // Rounded, in 64 bits: the sides can be large.
  outWidth = (int)std::max<int64_t>(1, ((int64_t)width * size + longer / 2) / longer);
  outHeight = (int)std::max<int64_t>(1, ((int64_t)height * size + longer / 2) / longer);
}

int ThumbnailSubsample(int width, int height, int size)
{
  const int longer = std::max(width, height);
  // The renderer's reduced side is the page side divided, rounded down.
  int sub = size > 0 ? longer / size : 1;
  return sub < 1 ? 1 : sub;
}

int Thumbnail(const std::string &input, const std::string &output, int size, FILE *err)
{
  auto fail = [&](const std::string &why)
  {
    std::fprintf(err, "vellum-convert: %s: %s\n", input.c_str(), why.c_str());
    return 1;
  };
  const int kind = GetImageFileType(input.c_str());
  if (kind == IMAGE_FILE_UNKNOWN)
    return fail("File type not recognized!");
  Options options;
  Context cx(options); // the built-in settings: a thumbnailer reads no Vellum.ini
  CDibImage img;
  std::string why;
  g_szLastImageError[0] = 0;
  if (kind == IMAGE_FILE_DJVU || kind == IMAGE_FILE_IW44)
  {
    // Decode, then render straight at the reduction that fits.
    if (!img.OpenDjVu(input.c_str(), kind))
      return fail(LastError("Failed to open the image!"));
    const int sub = ThumbnailSubsample(img.m_nSourceWidth, img.m_nSourceHeight, size);
    if (!img.RenderDjVu(0, 24, 1 - sub, cx.settings.DisplayGamma, DIB_HEADER_INFO, kind))
      return fail(LastError("Failed to open the image!"));
  }
  else if (!Load(cx, img, input, kind, 0, why))
    return fail(why);

  int w, h;
  ThumbnailFit(img.m_nWidth, img.m_nHeight, size, w, h);
  if (w != img.m_nWidth || h != img.m_nHeight)
  {
    // A black-and-white page shrinks to grey, not to scattered bits.
    const DibRgbQuad *pal = img.Palette();
    if (img.m_nBitsPerPixel == 1 && pal[0].rgbRed == pal[0].rgbBlue && pal[1].rgbRed == pal[1].rgbBlue &&
        pal[0].rgbRed == pal[0].rgbGreen && pal[1].rgbRed == pal[1].rgbGreen && !img.ConvertToGray())
      return fail("Out of memory");
    if (!img.Resample(w, h, DIB_RESAMPLE_AVERAGE))
      return fail("Failed to scale the image");
  }
  if (!img.SavePng(output.c_str()))
    return fail("cannot write " + output + ": " + LastError("Failed to save the image!"));
  return 0;
}

} // namespace vellum_convert
