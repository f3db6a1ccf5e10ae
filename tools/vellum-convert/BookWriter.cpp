// vellum-convert writing one document of many pages: the pages asked for
// are listed, encoded one per work item into a staging folder (or, with
// --copy-pages, taken unchanged from DjVu inputs) and handed to the book
// writer.
#include "ConvertInternal.h"

#include <algorithm>

#include "SaveBook.h"

namespace vellum_convert
{

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
  std::vector<bool> copied;   // per page: copied unchanged from a DjVu input
  std::vector<size_t> encode; // work item -> page to encode
  CBookStaging staging;
};

namespace
{

// Encodes one page of the book into the staging folder, as a single page
// would be saved.
bool ConvertBookPage(Context &cx, size_t item)
{
  const size_t index = cx.book->encode[item];
  const PageSource &src = cx.book->pages[index];
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
  // A page of a DjVu input is written alone, keeping its text when its
  // geometry is unchanged.
  if (!SaveImage(cx.book->staging.PagePath(index), IMAGE_FILE_DJVU, img, cx.settings, comment.c_str(),
                 &progress, kSaveCurrentPage))
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
    if (kind == IMAGE_FILE_TIFF || kind == IMAGE_FILE_DJVU)
    {
      // The page count alone: no page is decoded here (the workers do
      // that), except a TIFF file that cannot be counted, for the reason.
      CDibImage img;
      std::string why;
      g_szLastImageError[0] = 0;
      count = kind == IMAGE_FILE_TIFF ? TiffPageCount(input.c_str()) : 0;
      if (count > 0)
        img.m_nPageCount = count;
      else if (!(kind == IMAGE_FILE_DJVU ? img.OpenDjVu(input.c_str(), kind, 0, nullptr) != 0
                                         : Load(cx, img, input, kind, 0, why)) &&
               why.empty())
        why = LastError("Failed to open the image!");
      if (!why.empty())
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

} // namespace

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
  for (size_t i = 0; i < job.pages.size(); i++)
  {
    const PageSource &src = job.pages[i];
    const std::string &input = o.inputs[src.input];
    job.copied.push_back(o.copyPages && GetImageFileType(input.c_str()) == IMAGE_FILE_DJVU);
    if (job.copied.back())
      continue;
    job.encode.push_back(i);
    cx.items.push_back(src.pageCount > 1 ? input + " p" + std::to_string(src.page + 1) : input);
    cx.shareKeys.push_back(std::to_string(cx.shareKeys.size()));
  }
  cx.convert = ConvertBookPage;
  if (!cx.items.empty())
    RunItems(cx, display, jobs, status, out, err);
  // A page converted when its file is in the staging folder: the writers
  // rename it into place only once it is whole.
  std::vector<BookPage> pages;
  size_t failed = 0;
  for (size_t i = 0; i < job.pages.size(); i++)
  {
    const PageSource &src = job.pages[i];
    const std::string file = job.copied[i] ? o.inputs[src.input] : job.staging.PagePath(i);
    if (!job.copied[i] && !Exists(file))
    {
      failed++;
      continue;
    }
    std::string id = BookPageId(o.inputs[src.input], src.page, src.pageCount);
    BookPage page{file, id, id.substr(0, id.size() - 5), job.copied[i] ? src.page : -1};
    if (GetImageFileType(o.inputs[src.input].c_str()) == IMAGE_FILE_DJVU)
    {
      page.source = o.inputs[src.input];
      page.sourcePage = src.page;
    }
    pages.push_back(page);
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
    display.Line(false,
                 std::to_string(pages.size()) + (pages.size() == 1 ? " page -> " : " pages -> ") + o.output);
  return failed == 0 && listed;
}

} // namespace vellum_convert
