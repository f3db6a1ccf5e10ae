#include "ClipboardDib.h"

#include <chrono>

#include <wx/bitmap.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/image.h>
#include <wx/imagpng.h>

#include "EditLogic.h"

namespace vellum
{

namespace
{

using Clock = std::chrono::steady_clock;
bool g_hasKnown = false;
bool g_has = false;
Clock::time_point g_hasTime;

// The toolkit's bitmap format travels as PNG.
void NeedPngHandler()
{
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
    wxImage::AddHandler(new wxPNGHandler);
}

void Remember(bool has)
{
  g_hasKnown = true;
  g_has = has;
  g_hasTime = Clock::now();
}

} // namespace

const wxDataFormat &DibClipboardFormat()
{
  static const wxDataFormat format("image/bmp");
  return format;
}

bool ClipboardPutDib(const std::vector<uint8_t> &dib)
{
  const std::vector<uint8_t> file = DibToBmpFile(dib);
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  if (file.empty() || !DibToRgb(dib, &w, &h, rgb))
    return false;
  NeedPngHandler();
  wxClipboardLocker lock;
  if (!lock)
    return false;
  wxDataObjectComposite *data = new wxDataObjectComposite;
  wxCustomDataObject *bytes = new wxCustomDataObject(DibClipboardFormat());
  bytes->SetData(file.size(), file.data());
  data->Add(bytes, true);
  // wxImage takes a malloc'd buffer it frees itself.
  unsigned char *pixels = static_cast<unsigned char *>(malloc(rgb.size()));
  if (pixels)
  {
    std::copy(rgb.begin(), rgb.end(), pixels);
    data->Add(new wxBitmapDataObject(wxBitmap(wxImage(w, h, pixels))));
  }
  const bool ok = wxTheClipboard->SetData(data);
  Remember(ok);
  return ok;
}

std::vector<uint8_t> ClipboardGetDib()
{
  NeedPngHandler();
  wxClipboardLocker lock;
  if (!lock)
    return {};
  if (wxTheClipboard->IsSupported(DibClipboardFormat()))
  {
    wxCustomDataObject bytes(DibClipboardFormat());
    if (wxTheClipboard->GetData(bytes))
    {
      std::vector<uint8_t> dib =
          DibFromClipboardBytes(static_cast<const uint8_t *>(bytes.GetData()), bytes.GetSize());
      if (!dib.empty())
        return dib;
    }
  }
  if (wxTheClipboard->IsSupported(wxDF_BITMAP))
  {
    wxBitmapDataObject bitmap;
    if (wxTheClipboard->GetData(bitmap) && bitmap.GetBitmap().IsOk())
    {
      const wxImage image = bitmap.GetBitmap().ConvertToImage();
      if (image.IsOk())
        return DibFromRgb(image.GetWidth(), image.GetHeight(), image.GetData());
    }
  }
  return {};
}

bool ClipboardHasDib()
{
  if (g_hasKnown && Clock::now() - g_hasTime < std::chrono::milliseconds(500))
    return g_has;
  bool has = false;
  {
    wxClipboardLocker lock;
    if (!!lock)
      has = wxTheClipboard->IsSupported(DibClipboardFormat()) || wxTheClipboard->IsSupported(wxDF_BITMAP);
  }
  Remember(has);
  return has;
}

void ClipboardEmpty()
{
  wxClipboardLocker lock;
  if (!!lock)
    wxTheClipboard->Clear();
  Remember(false);
}

} // namespace vellum
