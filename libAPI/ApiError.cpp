// Error reporting and the allocator family of the Image API.
#include "ApiError.h"
#include "djvuapi.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "DjVuMessage.h"
#include "GException.h"

namespace
{
djvu_error_callback g_callback = nullptr;
djvu_malloc_fn g_malloc = std::malloc;
djvu_calloc_fn g_calloc = std::calloc;
djvu_realloc_fn g_realloc = std::realloc;
djvu_free_fn g_free = std::free;
std::atomic<int64_t> g_maxPixels{DJVU_DEFAULT_MAX_PIXELS};
} // namespace

namespace vellum_api
{

void raise(const char *message, const char *file, int line)
{
  throw Error{message ? message : "", file ? file : "", line};
}

std::string source_id(const char *path)
{
  if (!path)
    return std::string();
  std::string p(path);
#ifdef VELLUM_SOURCE_ROOT
  const std::string root = VELLUM_SOURCE_ROOT "/";
  if (p.compare(0, root.size(), root) == 0)
    p.erase(0, root.size());
  else
#endif
      if (p.compare(0, 3, "../") == 0 || p.compare(0, 2, "./") == 0)
  {
    // Relative to the build folder (as compiler caches rewrite paths): the
    // part after the leading ../ and ./ is already below the source tree.
    size_t start = 0;
    while (p.compare(start, 3, "../") == 0 || p.compare(start, 2, "./") == 0)
      start += p[start + 1] == '.' ? 3 : 2;
    p.erase(0, start);
  }
  else
  {
    for (const char *root : {"libAPI/", "Encoder/", "libdjvu/", "src/"})
    {
      size_t at = p.rfind(root);
      if (at != std::string::npos)
      {
        p = p.substr(at);
        break;
      }
    }
  }
  size_t slash = p.rfind('/');
  size_t dot = p.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    p.erase(dot);
  return p;
}

void report(const char *message, const char *file, int line)
{
  std::string id = source_id(file);
  if (g_callback)
  {
    g_callback(message ? message : "", id.c_str(), line);
    return;
  }
  std::fprintf(stderr, "DjVu Error: '%s' at %s(%d)\r\n", message ? message : "", id.c_str(), line);
  std::fflush(stderr);
  std::exit(10);
}

std::string library_text(const char *cause)
{
  if (!cause || !*cause)
    return std::string();
  static const bool language = []
  {
    DJVU::DjVuMessage::use_language();
    return true;
  }();
  (void)language;
  GUTF8String text = DJVU::DjVuMessage::LookUpUTF8(GUTF8String(cause));
  std::string in = text.length() ? (const char *)text : cause;
  std::string s;
  size_t at = 0;
  while (at < in.size())
  {
    size_t eol = in.find('\n', at);
    std::string line = in.substr(at, eol == std::string::npos ? std::string::npos : eol - at);
    if (line.size() > 2 && line[0] == '[')
    {
      size_t close = line.find("] ");
      if (close != std::string::npos && line.find_first_not_of("0123456789-", 1) == close)
        line.erase(0, close + 2);
    }
    s += line;
    if (eol == std::string::npos)
      break;
    s += '\n';
    at = eol + 1;
  }
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
    s.pop_back();
  return s;
}

void report_current_exception()
{
  try
  {
    throw;
  }
  catch (const Error &e)
  {
    report(e.message.c_str(), e.file.c_str(), e.line);
  }
  catch (const DJVU::GException &e)
  {
    // Library causes are message ids ("\003" prefixed, tab-separated
    // arguments); turn them into text.
    std::string text = library_text(e.get_cause());
    report(text.empty() ? "Unknown error" : text.c_str(), e.get_file(), e.get_line());
  }
  catch (const std::bad_alloc &)
  {
    report("Out of memory", __FILE__, __LINE__);
  }
  catch (const std::exception &e)
  {
    report(e.what(), __FILE__, __LINE__);
  }
  catch (...)
  {
    report("Unknown error", __FILE__, __LINE__);
  }
}

size_t checked_mul(size_t a, size_t b, const char *file, int line)
{
  if (a != 0 && b > SIZE_MAX / a)
    raise("Image too large", file, line);
  return a * b;
}

size_t checked_add(size_t a, size_t b, const char *file, int line)
{
  if (b > SIZE_MAX - a)
    raise("Image too large", file, line);
  return a + b;
}

} // namespace vellum_api

extern "C" {

djvu_error_callback djvu_set_error_callback(djvu_error_callback callback)
{
  djvu_error_callback old = g_callback;
  g_callback = callback;
  return old;
}

void djvu_set_allocator(djvu_malloc_fn m, djvu_calloc_fn c, djvu_realloc_fn r, djvu_free_fn f)
{
  g_malloc = m ? m : std::malloc;
  g_calloc = c ? c : std::calloc;
  g_realloc = r ? r : std::realloc;
  g_free = f ? f : std::free;
}

void djvu_set_max_pixels(int64_t pixels)
{
  g_maxPixels.store(pixels > 0 ? pixels : DJVU_DEFAULT_MAX_PIXELS, std::memory_order_relaxed);
}

int64_t djvu_get_max_pixels(void)
{
  return g_maxPixels.load(std::memory_order_relaxed);
}

int djvu_check_pixels(int64_t width, int64_t height, char *message, size_t size)
{
  const int64_t limit = djvu_get_max_pixels();
  // Divided, not multiplied: the sizes come from hostile headers.
  if (width > 0 && height > 0 && width <= limit && height <= limit / width)
    return 1;
  if (message && size)
  {
    if (width <= 0 || height <= 0)
      std::snprintf(message, size, "Image size is invalid: %lld x %lld pixels", (long long)width,
                    (long long)height);
    else
      std::snprintf(
          message, size, "Image too large: %lld x %lld pixels (%.1f megapixels; the limit is %g megapixels)",
          (long long)width, (long long)height, (double)width * (double)height / 1e6, (double)limit / 1e6);
  }
  return 0;
}

void *djvu_malloc(size_t size)
{
  return g_malloc(size ? size : 1);
}
void *djvu_calloc(size_t count, size_t size)
{
  return g_calloc(count ? count : 1, size ? size : 1);
}
void *djvu_realloc(void *ptr, size_t size)
{
  return g_realloc(ptr, size ? size : 1);
}
void djvu_free(void *ptr)
{
  if (ptr)
    g_free(ptr);
}

} // extern "C"
