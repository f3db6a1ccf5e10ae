// The Image API's error reports as a test sees them, and corpus paths.
#ifndef VELLUM_TESTS_LIBAPI_REPORT_UTIL_H
#define VELLUM_TESTS_LIBAPI_REPORT_UTIL_H

#include "djvuapi.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace apitest
{

// Messages reported while a Reports is alive.
inline std::vector<std::string> g_messages;
inline void record(const char *m, const char *, int)
{
  g_messages.push_back(m);
}

struct Reports
{
  djvu_error_callback old;
  Reports() : old(djvu_set_error_callback(record)) { g_messages.clear(); }
  ~Reports() { djvu_set_error_callback(old); }
};

inline std::string corpus(const std::string &rel)
{
  const char *c = std::getenv("VELLUM_CORPUS");
  return std::string(c ? c : VELLUM_CORPUS_DIR) + "/" + rel;
}

} // namespace apitest

#endif
