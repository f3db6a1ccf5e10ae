// DjVu and IW44 corpus pages loaded through the record match the Image API's
// own renders at zoom 0 and -2; re-rendering, parameter clamping and
// failures.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ImageTestUtil.h"
#include "MessageBox.h"

using namespace imgtest;

namespace
{

std::string Corpus(const char *name)
{
  const char *root = std::getenv("VELLUM_CORPUS");
  return std::string(root && *root ? root : VELLUM_CORPUS_DIR) + "/" + name;
}

std::vector<std::string> g_boxes;

int RecordBox(const char *text, const char *, unsigned)
{
  g_boxes.push_back(text);
  return VID_OK;
}

class QuietBoxes : public testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    old_ = VellumSetMessageBoxHook(RecordBox);
  }
  void TearDown() override { VellumSetMessageBoxHook(old_); }
  VellumMessageBoxHook old_ = nullptr;
};

// Renders the file directly through the Image API with the parameters the
// record uses.
djvu_pixel_image *Reference(const std::string &path, int zoom, int layer, int depth, float gamma, int *W,
                            int *H)
{
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f)
    return nullptr;
  // Through a read routine, as the record reads: IW44 files written without
  // the "AT&T" prefix would fail the stream path's header check.
  djvu_halfcoded_image *doc = djvu_decode([](void *file, void *buffer, int size)
                                          { return (int)std::fread(buffer, 1, (size_t)size, (FILE *)file); },
                                          f);
  std::fclose(f);
  if (!doc)
    return nullptr;
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  p.depth = depth;
  p.gamma = gamma;
  p.layer = layer;
  p.flags = 1;
  p.reserved = 1;
  *W = doc->width;
  *H = doc->height;
  // A reduced view is the page at that decode subsample: its size rounded
  // up, the rectangle that many times the output (the Image API's rule for
  // a direct decode at a subsample).
  const int factor = zoom < 0 ? 1 - zoom : 1;
  const int w = (*W + factor - 1) / factor, h = (*H + factor - 1) / factor;
  djvu_pixel_image *img = djvu_render(&p, doc, 0, 0, w * factor - 1, h * factor - 1, 0, w, h);
  djvu_halfcoded_image_free(doc);
  return img;
}

// Compares the record with a pixel image, pixel by pixel.
void ExpectSame(const CDibImage &im, const djvu_pixel_image *ref)
{
  ASSERT_EQ(im.m_nWidth, ref->w);
  ASSERT_EQ(im.m_nHeight, ref->h);
  const bool grey = (ref->flags & DJVU_GRAY) != 0;
  ASSERT_EQ(im.m_nBitsPerPixel, grey ? 8 : 24);
  EXPECT_EQ(im.m_nRowOrder, (ref->flags & DJVU_BOTTOMUP) ? DIB_ROWS_BOTTOMUP : DIB_ROWS_TOPDOWN);
  if (ref->flags & DJVU_HAS_DPI)
  {
    EXPECT_EQ(im.m_nXDpi, ref->xdpi);
    EXPECT_EQ(im.m_nYDpi, ref->ydpi);
    EXPECT_EQ(im.Header()->biXPelsPerMeter, DpiToPixelsPerMeter(ref->xdpi));
  }
  EXPECT_EQ(HeaderMismatch(im), "");
  long mismatches = 0;
  for (int r = 0; r < ref->h; r++)
  {
    const unsigned char *src = ref->data + ref->offset + (size_t)r * ref->rowsize;
    const unsigned char *dst = im.Row(r);
    for (int x = 0; x < ref->w; x++)
    {
      const unsigned char *s = src + (size_t)x * ref->pixsize;
      if (grey)
        mismatches += dst[x] != s[0];
      else if (ref->flags & DJVU_RGB)
        mismatches += dst[3 * x] != s[2] || dst[3 * x + 1] != s[1] || dst[3 * x + 2] != s[0];
      else
        mismatches += dst[3 * x] != s[0] || dst[3 * x + 1] != s[1] || dst[3 * x + 2] != s[2];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

struct Page
{
  const char *file;
  int kind;
};

class CorpusPages : public QuietBoxes, public testing::WithParamInterface<Page>
{
};

} // namespace

TEST_P(CorpusPages, MatchesTheApiRenderAtZoomZeroAndMinusTwo)
{
  const Page page = GetParam();
  const std::string path = Corpus(page.file);
  for (int zoom : {0, -2})
  {
    CDibImage im;
    ASSERT_EQ(im.OpenDjVu(path.c_str(), page.kind), 1) << page.file;
    ASSERT_EQ(im.RenderDjVu(0, 24, zoom, 2.2, 5, page.kind), 1);
    int W = 0, H = 0;
    djvu_pixel_image *ref = Reference(path, zoom, 0, 24, 2.2f, &W, &H);
    ASSERT_NE(ref, nullptr);
    // Reduced by 3: the page's size divided, rounded up.
    const int factor = zoom < 0 ? 3 : 1;
    EXPECT_EQ(im.m_nWidth, (W + factor - 1) / factor);
    EXPECT_EQ(im.m_nHeight, (H + factor - 1) / factor);
    EXPECT_EQ(im.m_nSourceWidth, W);
    EXPECT_EQ(im.m_nSourceHeight, H);
    EXPECT_EQ(im.m_nPageCount, 1);
    EXPECT_NE(im.m_pDocument, nullptr);
    if (im.m_nBitsPerPixel == 8)
    {
      EXPECT_EQ(im.m_bGrey, 1);
      EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_MINISBLACK);
      EXPECT_EQ(im.Palette()[200].rgbRed, 200);
    }
    ExpectSame(im, ref);
    djvu_pixel_image_free(ref);
  }
  EXPECT_TRUE(g_boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusPages,
                         testing::Values(Page{"djvu/photo-coffee-bg44-only.djvu", IMAGE_FILE_DJVU},
                                         Page{"djvu/photo-astronaut.iw44", IMAGE_FILE_IW44},
                                         Page{"djvu/photo-camera-grey.iw44", IMAGE_FILE_IW44},
                                         Page{"djvu/formatdoc-p61-table-bitonal.djvu", IMAGE_FILE_DJVU},
                                         Page{"djvu/formatdoc-p20-compound-fgbz.djvu", IMAGE_FILE_DJVU},
                                         Page{"djvu/compound-flower-fg44-bg44.djvu", IMAGE_FILE_DJVU}),
                         [](const testing::TestParamInfo<Page> &info)
                         {
                           std::string n = info.param.file;
                           n = n.substr(n.find('/') + 1);
                           for (char &c : n)
                             if (!isalnum((unsigned char)c))
                               c = '_';
                           return n;
                         });

TEST_F(QuietBoxes, RenderParametersAreClamped)
{
  const std::string path = Corpus("djvu/photo-coffee-bg44-only.djvu");
  CDibImage im;
  ASSERT_EQ(im.OpenDjVu(path.c_str(), IMAGE_FILE_DJVU), 1);
  int W = 0, H = 0;
  djvu_pixel_image *ref = Reference(path, -1, 0, 24, 2.2f, &W, &H);
  ASSERT_NE(ref, nullptr);
  // Gamma outside 0.1..10, a depth outside 1..24 and an unknown layer all
  // fall back to the defaults.
  for (double gamma : {0.05, 12.0})
  {
    ASSERT_EQ(im.RenderDjVu(0, 24, -1, gamma, 5, IMAGE_FILE_DJVU), 1);
    ExpectSame(im, ref);
  }
  ASSERT_EQ(im.RenderDjVu(7, 32, -1, 2.2, 5, IMAGE_FILE_DJVU), 1);
  ExpectSame(im, ref);
  djvu_pixel_image_free(ref);
  // A different gamma changes the picture.
  ref = Reference(path, -1, 0, 24, 1.0f, &W, &H);
  ASSERT_EQ(im.RenderDjVu(0, 24, -1, 1.0, 5, IMAGE_FILE_DJVU), 1);
  ExpectSame(im, ref);
  djvu_pixel_image_free(ref);
  // Positive zoom renders at full size.
  ASSERT_EQ(im.RenderDjVu(0, 24, 3, 2.2, 5, IMAGE_FILE_DJVU), 1);
  EXPECT_EQ(im.m_nWidth, 600);
  EXPECT_EQ(im.m_nHeight, 400);
  // A reduction beyond the page size keeps one pixel, whatever the zoom.
  for (int zoom : {-1000, INT_MIN})
  {
    ASSERT_EQ(im.RenderDjVu(0, 24, zoom, 2.2, 5, IMAGE_FILE_DJVU), 1) << zoom;
    EXPECT_EQ(im.m_nWidth, 1);
    EXPECT_EQ(im.m_nHeight, 1);
    EXPECT_EQ(im.m_nSourceWidth, 600);
  }
  // For a screen of device scale s a step renders at s times its size, at
  // most full size, the fraction in lowest terms and in whole steps of the
  // reduction (one scale and one resolution on both axes).
  struct Scaled
  {
    int zoom, scale, w, h, factor, multiple;
  } const scaled[] = {
      {-1, 2, 600, 400, 1, 1}, {0, 2, 600, 400, 1, 1},  {-1, 4, 600, 400, 1, 1}, {-3, 2, 300, 200, 2, 1},
      {-2, 2, 400, 267, 3, 2}, {-5, 4, 400, 267, 3, 2}, {-16, 2, 71, 47, 17, 2}, {-2, 0, 200, 134, 3, 1},
  };
  for (const Scaled &c : scaled)
  {
    SCOPED_TRACE(std::to_string(c.zoom) + " at scale " + std::to_string(c.scale));
    ASSERT_EQ(im.RenderDjVu(0, 24, c.zoom, 2.2, 5, IMAGE_FILE_DJVU, c.scale), 1);
    EXPECT_EQ(im.m_nWidth, c.w);
    EXPECT_EQ(im.m_nHeight, c.h);
    EXPECT_EQ(im.m_nRenderFactor, c.factor);
    EXPECT_EQ(im.m_nRenderScale, c.multiple);
    EXPECT_EQ(im.m_nSourceWidth, 600);
    if (c.factor <= 15)
    {
      EXPECT_EQ(im.m_nXDpi, im.m_nYDpi);
    }
  }
  // 25 % at scale 2 is 50 % at scale 1, pixel for pixel.
  CDibImage half;
  ASSERT_EQ(half.OpenDjVu(path.c_str(), IMAGE_FILE_DJVU), 1);
  ASSERT_EQ(half.RenderDjVu(0, 24, -1, 2.2, 5, IMAGE_FILE_DJVU), 1);
  ASSERT_EQ(im.RenderDjVu(0, 24, -3, 2.2, 5, IMAGE_FILE_DJVU, 2), 1);
  ASSERT_EQ(im.BlockSize(), half.BlockSize());
  EXPECT_EQ(std::memcmp(im.m_pBlock, half.m_pBlock, im.BlockSize()), 0);
  // A crop's pixels are its own: no longer a share of the page.
  ASSERT_EQ(half.Crop(0, 0, 99, 99), 1);
  EXPECT_EQ(half.m_nRenderFactor, 0);
  EXPECT_EQ(half.m_nRenderScale, 0);
  // Dithered depth.
  ref = Reference(path, 0, 0, 8, 2.2f, &W, &H);
  ASSERT_EQ(im.RenderDjVu(0, 8, 0, 2.2, 5, IMAGE_FILE_DJVU), 1);
  ExpectSame(im, ref);
  djvu_pixel_image_free(ref);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(QuietBoxes, MaskLayerIsBitonalAtFullDepth)
{
  const std::string path = Corpus("djvu/formatdoc-p20-compound-fgbz.djvu");
  CDibImage im;
  ASSERT_EQ(im.OpenDjVu(path.c_str(), IMAGE_FILE_DJVU), 1);
  // Depth 4 is ignored for the mask layer.
  ASSERT_EQ(im.RenderDjVu(1, 4, -2, 2.2, 5, IMAGE_FILE_DJVU), 1);
  int W = 0, H = 0;
  djvu_pixel_image *ref = Reference(path, -2, 1, 24, 2.2f, &W, &H);
  ASSERT_NE(ref, nullptr);
  ExpectSame(im, ref);
  djvu_pixel_image_free(ref);
  ASSERT_EQ(im.m_nBitsPerPixel, 8);
  for (int x = 0; x < im.m_nWidth; x++)
    EXPECT_TRUE(im.Row(im.m_nHeight / 2)[x] == 0 || im.Row(im.m_nHeight / 2)[x] == 255);
}

TEST_F(QuietBoxes, EditsThenReRenderAndCrop)
{
  const std::string path = Corpus("djvu/photo-astronaut.iw44");
  CDibImage im;
  ASSERT_EQ(im.OpenDjVu(path.c_str(), IMAGE_FILE_IW44), 1);
  ASSERT_EQ(im.RenderDjVu(0, 24, -1, 2.2, 5, IMAGE_FILE_IW44), 1);
  ASSERT_EQ(im.RotateLeft(), 1);
  ASSERT_EQ(im.Negative(), 1);
  int code = im.m_nOrientation;
  std::vector<uint32_t> edited = Picture(im);
  // The document's re-render: render, then re-apply the recorded edits.
  ASSERT_EQ(im.RenderDjVu(0, 24, -1, 2.2, 5, IMAGE_FILE_IW44), 1);
  EXPECT_EQ(im.m_nOrientation, 0);
  ASSERT_EQ(im.ApplyOrientation(code), 1);
  ASSERT_EQ(im.Negative(), 1);
  EXPECT_EQ(Picture(im), edited);
  // Cropping drops the document: no more re-rendering.
  ASSERT_EQ(im.Crop(0, 0, 9, 9), 1);
  EXPECT_EQ(im.m_pDocument, nullptr);
  EXPECT_EQ(im.RenderDjVu(0, 24, 0, 2.2, 5, IMAGE_FILE_IW44), 0);
}

TEST_F(QuietBoxes, CopiesShareTheDocument)
{
  const std::string path = Corpus("djvu/photo-camera-grey.iw44");
  CDibImage image, undo;
  ASSERT_EQ(image.OpenDjVu(path.c_str(), IMAGE_FILE_IW44), 1);
  ASSERT_EQ(image.RenderDjVu(0, 24, -3, 2.2, 5, IMAGE_FILE_IW44), 1);
  ASSERT_EQ(undo.CopyFrom(image), 1);
  EXPECT_EQ(undo.m_pDocument, image.m_pDocument);
  EXPECT_NE(undo.m_pBlock, image.m_pBlock);
  // Cropping the image gives up its reference only: the undo copy still
  // renders (no use after free under the sanitizers).
  ASSERT_EQ(image.Crop(0, 0, 4, 4), 1);
  EXPECT_EQ(image.m_pDocument, nullptr);
  ASSERT_EQ(undo.RenderDjVu(0, 24, 0, 2.2, 5, IMAGE_FILE_IW44), 1);
  EXPECT_EQ(undo.m_nWidth, 512);
  // Copy again, reset both in either order.
  ASSERT_EQ(image.CopyFrom(undo), 1);
  undo.Reset();
  ASSERT_EQ(image.RenderDjVu(0, 24, -1, 2.2, 5, IMAGE_FILE_IW44), 1);
  image.Reset();
}

TEST_F(QuietBoxes, FailuresLeaveAnEmptyRecord)
{
  CDibImage im;
  EXPECT_EQ(im.OpenDjVu(Corpus("djvu/no-such-file.djvu").c_str(), IMAGE_FILE_DJVU), 0);
  EXPECT_TRUE(im.IsEmpty());
  EXPECT_TRUE(g_boxes.empty());
  // Not a DjVu file: no box (the open reports it, naming the file), the
  // API's cause kept without its source file and line.
  EXPECT_EQ(im.OpenDjVu(Corpus("pnm/rgb-8bit.ppm").c_str(), IMAGE_FILE_DJVU), 0);
  EXPECT_TRUE(im.IsEmpty());
  EXPECT_EQ(im.m_pDocument, nullptr);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_NE(std::string(g_szLastImageError), "");
  EXPECT_EQ(std::string(g_szLastImageError).find("Line:"), std::string::npos) << g_szLastImageError;
  EXPECT_EQ(im.RenderDjVu(0, 24, 0, 2.2, 5, IMAGE_FILE_DJVU), 0);
  EXPECT_EQ(im.OpenDjVu(Corpus("djvu/photo-astronaut.iw44").c_str(), IMAGE_FILE_BMP), 0);
}
