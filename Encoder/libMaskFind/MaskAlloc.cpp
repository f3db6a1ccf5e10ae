// Allocator hooks, per-call allocation tracking and the error routine.
//
// Every block carries a small header linking it into the arena of the
// MaskFinderEntry call that is running on this thread (or into none when the
// stages are used directly). A fatal error throws Fatal; the entry catches it,
// releases the arena and only then hands the message to the error handler,
// so a handler that longjmps or throws leaves nothing behind.
#include "MaskFindInternal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace maskfind
{
namespace
{

MaskFindMallocFn g_malloc = std::malloc;
MaskFindReallocFn g_realloc = std::realloc;
MaskFindFreeFn g_free = std::free;

thread_local Arena *t_arena = nullptr;

using Hdr = Arena::Hdr;
static_assert(sizeof(Hdr) % 16 == 0, "block header keeps malloc alignment");

void link(Hdr *h, Arena *a)
{
  h->owner = a;
  if (!a)
  {
    h->prev = h->next = nullptr;
    return;
  }
  h->next = a->head.next;
  h->prev = &a->head;
  a->head.next->prev = h;
  a->head.next = h;
}

void unlink(Hdr *h)
{
  if (h->owner)
  {
    h->prev->next = h->next;
    h->next->prev = h->prev;
  }
  h->prev = h->next = nullptr;
  h->owner = nullptr;
}

Hdr *header(void *p)
{
  return static_cast<Hdr *>(p) - 1;
}

} // namespace

void fatal(const char *file, int line, const char *fmt, ...)
{
  Fatal f;
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(f.message, sizeof f.message, fmt, ap);
  va_end(ap);
  f.file = file;
  f.line = line;
  throw f;
}

const char *source_id(const char *path, char *buf, size_t size)
{
  const char *key = "Encoder/libMaskFind/";
  const char *start = std::strstr(path, key);
  if (!start)
  {
    start = std::strrchr(path, '/');
    start = start ? start + 1 : path;
  }
  size_t n = std::strlen(start);
  const char *dot = std::strrchr(start, '.');
  if (dot)
    n = (size_t)(dot - start);
  if (n >= size)
    n = size - 1;
  std::memcpy(buf, start, n);
  buf[n] = 0;
  return buf;
}

size_t mf_mul(size_t a, size_t b)
{
  if (b && a > SIZE_MAX / b)
    MF_FATAL("out of memory");
  return a * b;
}

size_t mf_add(size_t a, size_t b)
{
  if (a > SIZE_MAX - b)
    MF_FATAL("out of memory");
  return a + b;
}

void *mf_alloc(size_t size)
{
  size_t total = mf_add(size ? size : 1, sizeof(Hdr));
  void *raw = g_malloc(total);
  if (!raw)
    MF_FATAL("Memory Exhausted");
  Hdr *h = static_cast<Hdr *>(raw);
  link(h, t_arena);
  return h + 1;
}

void *mf_alloc_zero(size_t size)
{
  void *p = mf_alloc(size);
  std::memset(p, 0, size);
  return p;
}

void *mf_realloc(void *ptr, size_t size)
{
  if (!ptr)
    return size ? mf_alloc(size) : nullptr;
  if (!size)
  {
    mf_free(ptr);
    return nullptr;
  }
  size_t total = mf_add(size, sizeof(Hdr));
  Hdr *h = header(ptr);
  Arena *owner = h->owner;
  unlink(h);
  void *raw = g_realloc(h, total);
  if (!raw)
  {
    link(h, owner); // the old block is still valid and must be released
    MF_FATAL("Memory Exhausted");
  }
  h = static_cast<Hdr *>(raw);
  link(h, owner);
  return h + 1;
}

void mf_free(void *ptr)
{
  if (!ptr)
    return;
  Hdr *h = header(ptr);
  unlink(h);
  g_free(h);
}

void mf_detach(void *ptr)
{
  if (ptr)
    unlink(header(ptr));
}

void Arena::release_all()
{
  while (head.next != &head)
  {
    Hdr *h = head.next;
    unlink(h);
    g_free(h);
  }
}

Arena::Scope::Scope(Arena *a) : saved_(t_arena)
{
  t_arena = a;
}
Arena::Scope::~Scope()
{
  t_arena = saved_;
}

} // namespace maskfind

extern "C" void MaskFindSetAllocator(MaskFindMallocFn m, MaskFindReallocFn r, MaskFindFreeFn f)
{
  maskfind::g_malloc = m ? m : std::malloc;
  maskfind::g_realloc = r ? r : std::realloc;
  maskfind::g_free = f ? f : std::free;
}
