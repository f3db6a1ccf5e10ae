// Internals of the DjVu decoder shared by the single-file decoder
// (Render.cpp) and the documents of many pages (Document.cpp).
#ifndef VELLUM_LIBAPI_DECODEINT_H
#define VELLUM_LIBAPI_DECODEINT_H

#include "djvuapi.h"

#include "ApiError.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DataPool.h"
#include "DjVuDocument.h"
#include "DjVuFile.h"
#include "DjVuImage.h"
#include "DjVuPort.h"
#include "GException.h"
#include "GRect.h"
#include "GThreads.h"
#include "GURL.h"

namespace vellum_api
{

using DJVU::GP;

// One-time library set-up (dither tables, message files).
void library_ready();

// A library message id list as text.
std::string translate(const DJVU::GUTF8String &msg);

// Library exceptions leave with their text looked up (the boundary's own
// lookup keeps the message numbers).
template <class F> auto translated(F &&body) -> decltype(body())
{
  try
  {
    return body();
  }
  catch (const DJVU::GException &e)
  {
    std::string msg = translate(DJVU::GUTF8String(e.get_cause()));
    raise(msg.empty() ? "Unknown error" : msg.c_str(), e.get_file() ? e.get_file() : __FILE__, e.get_line());
  }
}

// The portcaster keeps the name of an included file whose opening threw
// and refuses that name ever after as a "recursive opening", in this
// document and in every later one: an empty request clears it.
inline void forget_failed_include()
{
  DJVU::DjVuPort::get_portcaster()->id_to_file(nullptr, DJVU::GUTF8String());
}

// Serves the file's bytes to the document and keeps the first error.
class DecodePort : public DJVU::DjVuPort
{
public:
  GP<DJVU::DataPool> pool;
  // Serves the other files of a document (its pages and included files)
  // by URL; null when it has none. Called on the library's threads.
  std::function<GP<DJVU::DataPool>(const DJVU::GURL &)> component;

  GP<DJVU::DataPool> request_data(const DJVU::DjVuPort *, const DJVU::GURL &url) override
  {
    if (url.is_empty() || url == DJVU::GURL())
      return pool;
    if (component)
      if (GP<DJVU::DataPool> found = component(url))
        return found;
    // Only the one file is at hand: a page that includes others cannot be
    // completed.
    DJVU::GUTF8String msg = "Included DjVu file is missing: " + url.fname();
    forget_failed_include();
    G_THROW((const char *)msg);
    return nullptr;
  }

  bool notify_error(const DJVU::DjVuPort *, const DJVU::GUTF8String &msg) override
  {
    DJVU::GMonitorLock lock(&monitor);
    if (!first_error.length())
      first_error = msg;
    monitor.broadcast();
    return true;
  }

  bool notify_status(const DJVU::DjVuPort *, const DJVU::GUTF8String &) override { return true; }

  // A failed decode sets its flag before it sends its error; the flag change
  // notice comes after both.
  void notify_file_flags_changed(const DJVU::DjVuFile *source, long set_mask, long) override
  {
    if (set_mask &
        (DJVU::DjVuFile::DECODE_OK | DJVU::DjVuFile::DECODE_FAILED | DJVU::DjVuFile::DECODE_STOPPED))
    {
      DJVU::GMonitorLock lock(&monitor);
      finished.push_back(source);
      monitor.broadcast();
    }
  }

  // Waits (bounded) until the decode of file has sent all its notices.
  void wait_finished(const DJVU::DjVuFile *file)
  {
    DJVU::GMonitorLock lock(&monitor);
    for (int i = 0; i < 100 && std::find(finished.begin(), finished.end(), file) == finished.end(); i++)
      monitor.wait(100);
  }

  // Forgets the errors of an earlier page before the next is decoded.
  void reset_error()
  {
    DJVU::GMonitorLock lock(&monitor);
    first_error = DJVU::GUTF8String();
  }

  // The first error; a failure whose message is still on its way (the
  // library's threads flag a failure before they send its message) is
  // waited for, up to a second.
  DJVU::GUTF8String error()
  {
    DJVU::GMonitorLock lock(&monitor);
    for (int i = 0; i < 100 && !first_error.length(); i++)
      monitor.wait(10);
    return first_error;
  }

private:
  DJVU::GMonitor monitor;
  DJVU::GUTF8String first_error;
  std::vector<const DJVU::DjVuFile *> finished;
};

// What djvu_halfcoded_image::page points to. A page of a document holds
// the document too, so it outlives the document's handle.
struct Page
{
  GP<DecodePort> port;
  GP<DJVU::DjVuDocument> doc;
  GP<DJVU::DjVuImage> img;
  int colour = -1; // has colour: -1 not known yet, 0 no, 1 yes

  // The page has colour when the library can make a pixmap of its first
  // pixels (asked once, at the first render that needs to know).
  bool has_colour()
  {
    if (colour < 0)
    {
      const int w = std::min(10, img->get_real_width()), h = std::min(10, img->get_real_height());
      colour = img->get_pixmap(DJVU::GRect(0, 0, (unsigned)w, (unsigned)h), 1, 2.2) != nullptr;
    }
    return colour != 0;
  }
};

// Refuses pages and IW44 layers over the pixel limit (their size is
// in the INFO chunk and in the first chunk of each IW44 layer) and returns
// the size ratio from INFO byte 9 (2 or 3; else 1). data is one page file,
// with or without the "AT&T" magic.
int check_sizes(const std::vector<unsigned char> &data);

// Decodes page index (-1: the document's only page) of an initialised
// document and makes the caller's handle for it; ratio from check_sizes.
// Throws with the port's first error when the page does not decode.
djvu_halfcoded_image *decode_page_handle(const GP<DecodePort> &port, const GP<DJVU::DjVuDocument> &doc,
                                         int index, int ratio);

// One entry of a document's outline, in the outline's order: each entry is
// followed by its children (the next `children` entries at its level).
struct OutlineEntry
{
  std::string title, url;
  int children = 0;
  int page = -1; // the page (from 0) a link inside the document names; -1 a
                 // link outside it, -2 one to nothing in it
};

// The outline of the document (empty when it has none); child counts that
// run past the end are cut. Throws on a document with no directory.
std::vector<OutlineEntry> document_outline(djvu_document *document);

} // namespace vellum_api

#endif
