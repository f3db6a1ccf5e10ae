// Internal error convention of the Image API.
//
// Code inside the API raises failures with DJVU_API_THROW (or lets DjVuLibre
// throw its GException); each public function wraps its body in
// vellum_api::guard(), which reports the failure once through the error
// callback and returns the function's failure value. Nothing propagates past
// the C boundary.
#ifndef VELLUM_LIBAPI_APIERROR_H
#define VELLUM_LIBAPI_APIERROR_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vellum_api
{

struct Error
{
  std::string message;
  std::string file; // source path of the raise site (copied: callers may pass a temporary)
  int line;
};

[[noreturn]] void raise(const char *message, const char *file, int line);

// Reports one failure: the installed callback, or stderr and exit(10).
// file may be a full path; it is reduced to the source identifier.
void report(const char *message, const char *file, int line);

// "libAPI/PixImage" from ".../libAPI/PixImage.cpp"; library files keep their
// "libdjvu/..." stem.
std::string source_id(const char *path);

// Text of a DjVuLibre message id list ("\003"-prefixed ids, tab-separated
// arguments), looked up in the library's message files, without the
// "[1-12345] " numbers at the start of each line.
std::string library_text(const char *cause);

// Reports the exception currently being handled (called inside catch(...)).
void report_current_exception();

template <class R, class F> R guard(R fail, F &&body)
{
  try
  {
    return body();
  }
  catch (...)
  {
    report_current_exception();
    return fail;
  }
}

// Overflow-checked size arithmetic: raises "Image too large" on overflow.
size_t checked_mul(size_t a, size_t b, const char *file, int line);
size_t checked_add(size_t a, size_t b, const char *file, int line);

} // namespace vellum_api

// The source a failure reports. A file cut out of a larger one defines
// VELLUM_API_UNIT as the path of the file it came from, before any include,
// so that its reports keep naming the same source.
#ifndef VELLUM_API_UNIT
#define VELLUM_API_UNIT __FILE__
#endif

#define DJVU_API_THROW(msg) ::vellum_api::raise((msg), VELLUM_API_UNIT, __LINE__)
#define DJVU_API_MUL(a, b) ::vellum_api::checked_mul((size_t)(a), (size_t)(b), VELLUM_API_UNIT, __LINE__)
#define DJVU_API_ADD(a, b) ::vellum_api::checked_add((size_t)(a), (size_t)(b), VELLUM_API_UNIT, __LINE__)

#endif
