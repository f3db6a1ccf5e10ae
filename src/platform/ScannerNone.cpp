// The scanner layer of a build without SANE: there is never a source, and
// every scan fails with that message.
#include "Scanner.h"

namespace vellum
{

namespace
{
const char kNoScanner[] = "This build of Vellum has no scanner support (SANE).";
} // namespace

struct Scanner::State
{
  std::string selected;
};

Scanner &Scanner::Instance()
{
  static Scanner scanner;
  return scanner;
}

Scanner::Scanner() : m(new State) {}
Scanner::~Scanner() = default;

void Scanner::StartProbe() {}

Scanner::Availability Scanner::Poll()
{
  return kUnavailable;
}

bool Scanner::IsSourceManagerAvailable()
{
  return false;
}

std::vector<ScanDevice> Scanner::Devices()
{
  return {};
}

void Scanner::Refresh() {}

void Scanner::SelectSource(const std::string &name)
{
  m->selected = name;
}

std::string Scanner::SelectedSource() const
{
  return m->selected;
}

void Scanner::SetOption(const std::string &, const std::string &) {}
void Scanner::ClearOptions() {}

std::vector<uint8_t> Scanner::Acquire()
{
  return {};
}

std::string Scanner::LastError() const
{
  return kNoScanner;
}

void Scanner::Shutdown() {}

} // namespace vellum
