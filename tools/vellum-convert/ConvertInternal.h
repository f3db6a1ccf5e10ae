// vellum-convert's inside, shared by its parts: Convert.cpp (one input,
// the run as a whole, thumbnails), Options.cpp (the command line),
// Workers.cpp (the forked workers and the terminal) and BookWriter.cpp (one
// document of many pages).
#ifndef VELLUM_TOOLS_CONVERTINTERNAL_H
#define VELLUM_TOOLS_CONVERTINTERNAL_H

#include <cstdio>
#include <string>
#include <vector>

#include "Convert.h"
#include "DibImage.h"
#include "DocumentNames.h"
#include "FileSystem.h"
#include "SaveImage.h"
#include "Settings.h"

namespace vellum_convert
{

// The folder check and the software text are the program's own.
using vellum::IsDirectory;
using vellum::SoftwareText;

// Anything at path, a dangling link included.
bool Exists(const std::string &path);
// The file name without its folder and last extension.
std::string Stem(const std::string &path);
// First line of the last library message, or fallback.
std::string LastError(const char *fallback);

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
    std::fprintf(m_err, "[%zu/%zu] %s%s%s", m_done, m_items.size(), name.c_str(), m_step.empty() ? "" : ": ",
                 m_step.c_str());
    std::fflush(m_err);
    m_shown = true;
  }
  const std::vector<std::string> &m_items; // what is shown for each work item
  FILE *m_out, *m_err;
  bool m_status, m_shown = false;
  size_t m_done = 0;
  std::string m_current, m_step;
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
struct BookJob; // BookWriter.cpp
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
  const BookJob *book = nullptr; // when writing one document
  explicit Context(const Options &o) : opt(o), sink(nullptr), toDirectory(false), type(0) {}
};

// Reads page (0-based) of input into img. A DjVu page comes from the
// document img already holds when it holds input's. false with the reason
// in why.
bool Load(Context &cx, CDibImage &img, const std::string &input, int kind, int page, std::string &why);
// The command line's image operations in order; false with the reason.
bool Apply(const Context &cx, CDibImage &img, std::string &why);

// Runs the items of cx in this process or in up to jobs workers; true when
// every item converted.
bool RunItems(Context &cx, Display &display, int jobs, bool status, FILE *out, FILE *err);

// Writes one document of every page asked for: the pages are encoded (in
// parallel) into a hidden staging folder beside the output, then bundled.
// Without --keep-going a failed page means no document is written.
bool RunBook(Context &cx, Display &display, int jobs, bool status, FILE *out, FILE *err);

} // namespace vellum_convert

#endif
