// SANE scanner layer. The listing probe runs once on a helper thread; every
// other SANE call happens on the caller's thread after joining it, under one
// mutex, so the library is never entered by two threads at once.
#include "Scanner.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <thread>

namespace vellum
{

struct Scanner::State
{
  std::mutex mutex; // guards SANE and the fields below
  std::thread probe;
  bool probeStarted = false;
  bool initialised = false;
  bool listed = false;
  int probeResult = kUnknown; // written by the probe under mutex
  std::vector<ScanDevice> devices;
  std::string selected;
  std::vector<std::pair<std::string, std::string>> options;
  std::string lastError;

  // With mutex held.
  void ListLocked()
  {
    devices.clear();
    if (!initialised)
    {
      SANE_Int version = 0;
      initialised = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
    }
    const SANE_Device **list = nullptr;
    if (initialised && sane_get_devices(&list, SANE_FALSE) == SANE_STATUS_GOOD && list)
    {
      for (int i = 0; list[i]; ++i)
      {
        ScanDevice d;
        d.name = list[i]->name ? list[i]->name : "";
        d.vendor = list[i]->vendor ? list[i]->vendor : "";
        d.model = list[i]->model ? list[i]->model : "";
        d.type = list[i]->type ? list[i]->type : "";
        devices.push_back(d);
      }
    }
    listed = true;
    probeResult = devices.empty() ? kUnavailable : kAvailable;
  }

  void JoinProbe()
  {
    if (probe.joinable())
      probe.join();
  }

  // Waits for the probe (starting a synchronous listing when none ran).
  void EnsureListed()
  {
    JoinProbe();
    std::lock_guard<std::mutex> lock(mutex);
    if (!listed)
      ListLocked();
  }
};

Scanner &Scanner::Instance()
{
  static Scanner scanner;
  return scanner;
}

Scanner::Scanner() : m(new State) {}

Scanner::~Scanner()
{
  Shutdown();
}

void Scanner::StartProbe()
{
  {
    std::lock_guard<std::mutex> lock(m->mutex);
    if (m->probeStarted || m->listed)
      return;
    m->probeStarted = true;
  }
  m->probe = std::thread(
      [s = m.get()]
      {
        std::lock_guard<std::mutex> lock(s->mutex);
        if (!s->listed)
          s->ListLocked();
      });
}

Scanner::Availability Scanner::Poll()
{
  std::unique_lock<std::mutex> lock(m->mutex, std::try_to_lock);
  if (!lock.owns_lock())
    return kUnknown; // the probe is listing right now
  return static_cast<Availability>(m->probeResult);
}

bool Scanner::IsSourceManagerAvailable()
{
  m->EnsureListed();
  std::lock_guard<std::mutex> lock(m->mutex);
  return !m->devices.empty();
}

std::vector<ScanDevice> Scanner::Devices()
{
  m->EnsureListed();
  std::lock_guard<std::mutex> lock(m->mutex);
  return m->devices;
}

void Scanner::Refresh()
{
  m->JoinProbe();
  std::lock_guard<std::mutex> lock(m->mutex);
  m->ListLocked();
}

void Scanner::SelectSource(const std::string &name)
{
  std::lock_guard<std::mutex> lock(m->mutex);
  m->selected = name;
}

std::string Scanner::SelectedSource() const
{
  std::lock_guard<std::mutex> lock(m->mutex);
  return m->selected;
}

void Scanner::SetOption(const std::string &name, const std::string &value)
{
  std::lock_guard<std::mutex> lock(m->mutex);
  for (auto &o : m->options)
    if (o.first == name)
    {
      o.second = value;
      return;
    }
  m->options.emplace_back(name, value);
}

void Scanner::ClearOptions()
{
  std::lock_guard<std::mutex> lock(m->mutex);
  m->options.clear();
}

std::string Scanner::LastError() const
{
  std::lock_guard<std::mutex> lock(m->mutex);
  return m->lastError;
}

namespace
{

bool IsYes(const std::string &v)
{
  return !strcasecmp(v.c_str(), "yes") || !strcasecmp(v.c_str(), "true") || v == "1";
}

void ApplyOption(SANE_Handle h, const std::string &name, const std::string &value)
{
  const SANE_Option_Descriptor *count = sane_get_option_descriptor(h, 0);
  SANE_Int n = 0;
  if (!count || sane_control_option(h, 0, SANE_ACTION_GET_VALUE, &n, nullptr) != SANE_STATUS_GOOD)
    return;
  for (SANE_Int i = 1; i < n; ++i)
  {
    const SANE_Option_Descriptor *d = sane_get_option_descriptor(h, i);
    if (!d || !d->name || name != d->name)
      continue;
    if (!SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap))
      return;
    SANE_Int info = 0;
    switch (d->type)
    {
    case SANE_TYPE_BOOL:
    {
      SANE_Bool b = IsYes(value) ? SANE_TRUE : SANE_FALSE;
      sane_control_option(h, i, SANE_ACTION_SET_VALUE, &b, &info);
      break;
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED:
    {
      if (d->size != static_cast<SANE_Int>(sizeof(SANE_Word)))
        return; // arrays are not set by name
      SANE_Word w = d->type == SANE_TYPE_INT ? static_cast<SANE_Word>(std::atol(value.c_str()))
                                             : SANE_FIX(std::atof(value.c_str()));
      sane_control_option(h, i, SANE_ACTION_SET_VALUE, &w, &info);
      break;
    }
    case SANE_TYPE_STRING:
    {
      if (d->size <= 0)
        return;
      std::vector<char> buf(static_cast<size_t>(d->size), '\0');
      std::strncpy(buf.data(), value.c_str(), buf.size() - 1);
      sane_control_option(h, i, SANE_ACTION_SET_VALUE, buf.data(), &info);
      break;
    }
    default:
      break;
    }
    return;
  }
}

// Value of a numeric option by name, 0 when missing or inactive.
int NumericOption(SANE_Handle h, const char *name)
{
  SANE_Int n = 0;
  if (sane_control_option(h, 0, SANE_ACTION_GET_VALUE, &n, nullptr) != SANE_STATUS_GOOD)
    return 0;
  for (SANE_Int i = 1; i < n; ++i)
  {
    const SANE_Option_Descriptor *d = sane_get_option_descriptor(h, i);
    if (!d || !d->name || std::strcmp(d->name, name) || !SANE_OPTION_IS_ACTIVE(d->cap) ||
        d->size != static_cast<SANE_Int>(sizeof(SANE_Word)))
      continue;
    SANE_Word w = 0;
    if (sane_control_option(h, i, SANE_ACTION_GET_VALUE, &w, nullptr) != SANE_STATUS_GOOD)
      return 0;
    if (d->type == SANE_TYPE_INT)
      return static_cast<int>(w);
    if (d->type == SANE_TYPE_FIXED)
      return static_cast<int>(std::floor(SANE_UNFIX(w) + 0.5));
    return 0;
  }
  return 0;
}

// Reads one frame after sane_start; false with *error on failure.
bool ReadFrame(SANE_Handle h, ScanFrame &f, int64_t budget, bool *last, std::string *error)
{
  SANE_Parameters p;
  SANE_Status st = sane_get_parameters(h, &p);
  if (st != SANE_STATUS_GOOD)
  {
    *error = sane_strstatus(st);
    return false;
  }
  *last = p.last_frame;
  f.format = static_cast<int>(p.format);
  f.depth = p.depth;
  f.pixelsPerLine = p.pixels_per_line;
  f.bytesPerLine = p.bytes_per_line;
  if (p.bytes_per_line <= 0 || p.pixels_per_line <= 0)
  {
    *error = "Scanner reports an empty frame";
    return false;
  }
  // Known length: read that many lines; unknown (hand scanner): to the end.
  const int64_t expected = p.lines > 0 ? static_cast<int64_t>(p.lines) * p.bytes_per_line : -1;
  if (expected > budget)
  {
    *error = "Scanned image too large";
    return false;
  }
  if (expected > 0)
    f.data.reserve(static_cast<size_t>(expected));
  uint8_t chunk[65536];
  for (;;)
  {
    SANE_Int got = 0;
    st = sane_read(h, chunk, sizeof chunk, &got);
    if (st == SANE_STATUS_EOF)
      break;
    if (st != SANE_STATUS_GOOD)
    {
      *error = sane_strstatus(st);
      return false;
    }
    if (got < 0 || got > static_cast<SANE_Int>(sizeof chunk))
    {
      *error = "Scanner returned a bad length";
      return false;
    }
    if (static_cast<int64_t>(f.data.size()) + got > budget)
    {
      *error = "Scanned image too large";
      return false;
    }
    f.data.insert(f.data.end(), chunk, chunk + got);
  }
  f.lines = static_cast<int>(static_cast<int64_t>(f.data.size()) / p.bytes_per_line);
  if (expected > 0)
    f.lines = std::min(f.lines, p.lines);
  return true;
}

} // namespace

std::vector<uint8_t> Scanner::Acquire()
{
  m->EnsureListed();
  std::lock_guard<std::mutex> lock(m->mutex);
  m->lastError.clear();
  std::vector<uint8_t> dib;
  if (m->devices.empty())
  {
    m->lastError = "No scanner found";
    return dib;
  }
  const std::string name = m->selected.empty() ? m->devices.front().name : m->selected;
  SANE_Handle h = nullptr;
  SANE_Status st = sane_open(name.c_str(), &h);
  if (st != SANE_STATUS_GOOD || !h)
  {
    m->lastError = std::string("Cannot open the scanner: ") + sane_strstatus(st);
    return dib;
  }
  for (const auto &o : m->options)
    ApplyOption(h, o.first, o.second);
  int xdpi = NumericOption(h, SANE_NAME_SCAN_X_RESOLUTION);
  int ydpi = NumericOption(h, SANE_NAME_SCAN_Y_RESOLUTION);
  if (xdpi <= 0)
    xdpi = NumericOption(h, SANE_NAME_SCAN_RESOLUTION);
  if (ydpi <= 0)
    ydpi = xdpi;

  std::vector<ScanFrame> frames;
  int64_t budget = kMaxScanBytes;
  bool ok = true;
  for (int pass = 0; pass < 3 && ok; ++pass)
  {
    st = sane_start(h);
    if (st != SANE_STATUS_GOOD)
    {
      m->lastError = sane_strstatus(st);
      ok = false;
      break;
    }
    ScanFrame f;
    bool last = true;
    ok = ReadFrame(h, f, budget, &last, &m->lastError);
    if (!ok)
      break;
    budget -= static_cast<int64_t>(f.data.size());
    frames.push_back(std::move(f));
    if (last)
      break;
  }
  sane_cancel(h);
  sane_close(h);
  if (ok)
    dib = PackFramesToDib(frames, xdpi, ydpi, &m->lastError);
  return dib;
}

void Scanner::Shutdown()
{
  m->JoinProbe();
  std::lock_guard<std::mutex> lock(m->mutex);
  if (m->initialised)
    sane_exit();
  m->initialised = false;
  m->listed = false;
  m->probeStarted = false;
  m->probeResult = kUnknown;
  m->devices.clear();
}

} // namespace vellum
