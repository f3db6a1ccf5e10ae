#include "DocumentModel.h"
#include "MessageBox.h"
#include "Scanner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace vellum;

namespace
{

std::vector<std::string> g_messages;

int RecordBox(const char *text, const char *, unsigned)
{
  g_messages.push_back(text);
  return VID_OK;
}

std::string Corpus(const std::string &rel)
{
  const char *dir = std::getenv("VELLUM_CORPUS");
  return std::string(dir ? dir : VELLUM_CORPUS_DIR) + "/" + rel;
}

std::string TmpDir()
{
  const char *dir = std::getenv("VELLUM_TEST_TMP");
  return dir ? dir : "/tmp";
}

void Copy(const std::string &from, const std::string &to)
{
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
}

// Fit everything at 20 % (a step the tests can recognise).
const CDocumentModel::FitZoomFn kFit = [](const CDibImage &, int) { return -4; };

class DocumentModelTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_messages.clear();
    VellumSetMessageBoxHook(RecordBox);
  }
  void TearDown() override { VellumSetMessageBoxHook(nullptr); }
  CDocumentModel doc;
  RenderEnv env;
};

// The undo bounds: the newest steps that fit, never fewer than one.
TEST(DocumentModel, UndoStepsToKeep)
{
  const struct
  {
    std::vector<size_t> sizes;
    size_t maxSteps, maxBytes, keep;
  } rows[] = {
      {{10, 10, 10}, 20, 100, 3}, {{10, 10, 10}, 2, 100, 2},
      {{40, 40, 40}, 20, 100, 2}, {{200, 10}, 20, 100, 1}, // the newest alone is too large: kept anyway
      {{}, 20, 100, 0},           {{SIZE_MAX, SIZE_MAX}, 20, SIZE_MAX, 1},
  };
  for (const auto &r : rows)
    EXPECT_EQ(UndoStepsToKeep(r.sizes, r.maxSteps, r.maxBytes), r.keep) << r.sizes.size();
}

} // namespace

TEST_F(DocumentModelTest, StartsEmptyWithSoftwareText)
{
  EXPECT_EQ(doc.m_strSoftware, "Orvale Vellum Revision: 1.12 ");
  EXPECT_FALSE(doc.HasImage());
  EXPECT_FALSE(doc.CanUndo());
  EXPECT_EQ(doc.m_nSaveKind, kKindNone);
  EXPECT_EQ(doc.m_strUntitledBase, "untitled");
  EXPECT_EQ(doc.m_nUntitledCounter, 1);
  EXPECT_EQ(doc.Rerender(true, true, 0, env), 0);
  EXPECT_TRUE(g_messages.empty());
}

// A failed open keeps the document as it was (image, undo image, title,
// last opened path) and says once which file failed and why.
TEST_F(DocumentModelTest, OpensByNameOrForcedKind)
{
  struct Case
  {
    std::string path;
    int openKind;
    CDocumentModel::OpenResult result;
    int contentKind;
    std::string message; // the whole message, or its start when it ends in ": "
  };
  const std::string failed = std::string(kMsgOpenFailed) + "\n\n";
  const Case cases[] = {
      {Corpus("bmp/rgb24.bmp"), 0, CDocumentModel::kOpened, kKindBmp, ""},
      {Corpus("pnm/rgb-8bit.ppm"), 99, CDocumentModel::kOpened, kKindPnm, ""},
      {Corpus("bmp/rgb24.bmp"), 100, CDocumentModel::kOpened, kKindBmp, ""},
      // The BMP filter forces the BMP reader on a PNM file: it fails.
      {Corpus("pnm/rgb-8bit.ppm"), kKindBmp, CDocumentModel::kOpenFailed, kKindBmp,
       failed + "rgb-8bit.ppm: "},
      {Corpus("bad/bmp-shortfile.bmp"), 0, CDocumentModel::kOpenFailed, kKindBmp,
       failed + "bmp-shortfile.bmp: "},
      {Corpus("bad/djvu-truncated.djvu"), 0, CDocumentModel::kOpenFailed, kKindBmp,
       failed + "djvu-truncated.djvu: "},
      {TmpDir() + "/notes.txt", 0, CDocumentModel::kTypeNotRecognized, kKindBmp, kMsgTypeNotRecognized},
      {TmpDir() + "/missing.bmp", 0, CDocumentModel::kOpenFailed, kKindBmp,
       failed + "missing.bmp: the file does not exist."},
  };
  std::ofstream(TmpDir() + "/notes.txt") << "not an image\n";
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.path);
    g_messages.clear();
    const std::string before = Corpus("bmp/pal8.bmp");
    ASSERT_EQ(doc.OpenFile(before, env, kFit), CDocumentModel::kOpened);
    doc.SaveUndo();
    doc.m_nOpenKind = c.openKind;
    EXPECT_EQ(doc.OpenFile(c.path, env, kFit), c.result);
    EXPECT_EQ(doc.m_nContentKind, c.contentKind);
    EXPECT_EQ(doc.m_nOpenKind, 0);
    EXPECT_TRUE(doc.HasImage());
    if (!c.message.empty())
    {
      ASSERT_EQ(g_messages.size(), 1u);
      if (c.message.back() == ' ')
      {
        EXPECT_EQ(g_messages[0].rfind(c.message, 0), 0u) << g_messages[0];
        // A reason in words follows, never a source file and line.
        EXPECT_GT(g_messages[0].size(), c.message.size() + 3) << g_messages[0];
        EXPECT_EQ(g_messages[0].find("Line:"), std::string::npos) << g_messages[0];
      }
      else
        EXPECT_EQ(g_messages[0], c.message);
      EXPECT_TRUE(doc.CanUndo());
      EXPECT_EQ(doc.m_strTitle, "pal8.bmp");
      EXPECT_EQ(doc.m_strLastOpenedPath, before);
    }
    else
    {
      EXPECT_TRUE(g_messages.empty());
      EXPECT_FALSE(doc.CanUndo());
      EXPECT_EQ(doc.m_strTitle, FileNameOf(c.path));
      EXPECT_EQ(doc.m_strLastOpenedPath, c.path);
    }
  }
}

// State of one failed open does not leak into the next: each damaged DjVu
// file gives its own reason, the same on every try.
TEST_F(DocumentModelTest, FailedOpensDoNotLeakIntoTheNext)
{
  const std::string files[] = {Corpus("bad/djvu-truncated.djvu"), Corpus("bad/djvu-include-missing.djvu")};
  std::vector<std::string> first;
  for (int round = 0; round < 2; ++round)
    for (const std::string &f : files)
    {
      SCOPED_TRACE(f);
      g_messages.clear();
      EXPECT_EQ(doc.OpenFile(f, env, kFit), CDocumentModel::kOpenFailed);
      ASSERT_EQ(g_messages.size(), 1u);
      EXPECT_EQ(g_messages[0].find("recursive"), std::string::npos) << g_messages[0];
      if (round == 0)
        first.push_back(g_messages[0]);
      else
        EXPECT_EQ(g_messages[0], first[&f - files]);
    }
}

TEST_F(DocumentModelTest, UndoAlternatesWithRedo)
{
  ASSERT_EQ(doc.OpenFile(Corpus("bmp/rgb24.bmp"), env, kFit), CDocumentModel::kOpened);
  const std::vector<uint8_t> before(doc.m_pImage->m_pBlock,
                                    doc.m_pImage->m_pBlock + doc.m_pImage->BlockSize());
  doc.SaveUndo();
  ASSERT_TRUE(doc.CanUndo());
  ASSERT_EQ(doc.m_pImage->Negative(), 1);
  doc.m_nContentKind = kKindBmp;
  const std::vector<uint8_t> after(doc.m_pImage->m_pBlock,
                                   doc.m_pImage->m_pBlock + doc.m_pImage->BlockSize());
  ASSERT_NE(before, after);

  auto block = [&] {
    return std::vector<uint8_t>(doc.m_pImage->m_pBlock, doc.m_pImage->m_pBlock + doc.m_pImage->BlockSize());
  };
  ASSERT_EQ(doc.Undo(), 1);
  EXPECT_EQ(block(), before);
  EXPECT_FALSE(doc.CanUndo());
  EXPECT_EQ(doc.Undo(), 0);
  ASSERT_EQ(doc.Redo(), 1);
  EXPECT_EQ(block(), after);
  EXPECT_TRUE(doc.CanUndo()); // redoing brings the undo step back
  EXPECT_FALSE(doc.CanRedo());
  doc.EmptyUndo();
  EXPECT_FALSE(doc.CanUndo());
  EXPECT_TRUE(doc.HasImage());
  // A BMP cannot be re-rendered: 0, no message, image unchanged.
  EXPECT_EQ(doc.Rerender(true, true, 0, env), 0);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(block(), after);
}

// Undo and Redo walk back and forth over many edits; a new edit drops the
// redo steps; the oldest steps go beyond the step bound.
TEST_F(DocumentModelTest, UndoAndRedoOverManySteps)
{
  ASSERT_EQ(doc.OpenFile(Corpus("bmp/pal8.bmp"), env, kFit), CDocumentModel::kOpened);
  const int w = doc.m_pImage->m_nWidth, h = doc.m_pImage->m_nHeight;
  // Twelve quarter turns alternate the size; each step is told by it and by
  // the orientation.
  std::vector<int> orientation{doc.m_pImage->m_nOrientation};
  for (int i = 0; i < 12; ++i)
  {
    doc.SaveUndo();
    ASSERT_EQ(doc.m_pImage->RotateLeft(), 1);
    orientation.push_back(doc.m_pImage->m_nOrientation);
  }
  EXPECT_EQ(doc.m_undo.size(), 12u);
  for (int i = 11; i >= 2; --i)
  {
    ASSERT_EQ(doc.Undo(), 1) << i;
    EXPECT_EQ(doc.m_pImage->m_nOrientation, orientation[i]);
    EXPECT_EQ(doc.m_pImage->m_nWidth, i % 2 ? h : w);
  }
  ASSERT_EQ(doc.Redo(), 1);
  EXPECT_EQ(doc.m_pImage->m_nOrientation, orientation[3]);
  EXPECT_EQ(doc.m_redo.size(), 9u);
  doc.SaveUndo(); // a new edit: nothing left to redo
  EXPECT_FALSE(doc.CanRedo());
  for (size_t i = 0; i < CDocumentModel::kUndoSteps + 5; ++i)
    doc.SaveUndo();
  EXPECT_EQ(doc.m_undo.size(), CDocumentModel::kUndoSteps);
}

TEST_F(DocumentModelTest, SharedDecodedPageFreedOnce)
{
  // Runs under ASan in CI: a second free or a use after free aborts.
  if (doc.OpenFile(Corpus("djvu/form-scan-cjb2.djvu"), env, kFit) != CDocumentModel::kOpened)
    FAIL() << "the corpus DjVu page did not open";
  ASSERT_TRUE(doc.HasPage());
  EXPECT_EQ(doc.m_nZoom, -4);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 491); // 2453 / 5 rounded up
  doc.SaveUndo();
  ASSERT_NE(doc.UndoImage(), nullptr);
  EXPECT_EQ(doc.UndoImage()->m_pDocument, doc.m_pImage->m_pDocument);
  ASSERT_EQ(doc.Undo(), 1);
  doc.EmptyUndo(); // the page stays with the image
  ASSERT_TRUE(doc.HasPage());
  // Full scale (the full-scale protocol's first step), then back to the zoom.
  ASSERT_EQ(doc.Rerender(false, true, 0, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 2453);
  ASSERT_EQ(doc.Rerender(true, true, -4, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 491); // 2453 / 5 rounded up
  EXPECT_EQ(doc.m_nZoom, -4);
  // Without FancyZoom the page is rendered at full scale whatever the zoom.
  ASSERT_EQ(doc.Rerender(true, false, -4, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 2453);
  // An orientation applied since load survives a re-render.
  ASSERT_EQ(doc.m_pImage->RotateLeft(), 1);
  ASSERT_EQ(doc.Rerender(true, true, -1, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 1685); // 3369 / 2 rounded up
  doc.SaveUndo();
  doc.DeleteContents();
  EXPECT_FALSE(doc.HasPage());
  EXPECT_FALSE(doc.CanUndo());
  // Dithered render for an 8-bit display still succeeds.
  ASSERT_EQ(doc.OpenFile(Corpus("djvu/compound-flower-fg44-bg44.djvu"), env, kFit), CDocumentModel::kOpened);
  env.screenBpp = 8;
  EXPECT_EQ(doc.Rerender(true, true, -4, env), 1);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(DocumentModelTest, TiffPageTakesTheBookItWasSavedAs)
{
  // A TIFF page, one undo and one redo step; then the 3-page book its file
  // was saved as. Runs under ASan in CI: the shared book is freed once.
  const std::string tif = Corpus("tiff/multipage-g4-3p-400dpi.tif");
  const std::string book = Corpus("books/book-shared-dict-3p.djvu");
  doc.m_nPageIndex = 1;
  ASSERT_EQ(doc.OpenFile(tif, env, kFit), CDocumentModel::kOpened);
  ASSERT_EQ(doc.m_nContentKind, kKindTiff);
  doc.SaveUndo();
  ASSERT_EQ(doc.m_pImage->Negative(), 1);
  doc.SaveUndo();
  ASSERT_EQ(doc.Undo(), 1);
  const size_t pixels = doc.m_pImage->m_nPixelSize;
  const std::string before(reinterpret_cast<const char *>(doc.m_pImage->Bits()), pixels);

  // Another page count, or no book: nothing changes.
  EXPECT_EQ(doc.TakeSavedBook(Corpus("books/book-bundled-4p.djvu")), 0);
  EXPECT_EQ(doc.TakeSavedBook(TmpDir() + "/no-such-book.djvu"), 0);
  EXPECT_EQ(doc.m_pImage->m_pBook, nullptr);
  EXPECT_EQ(doc.UndoImage()->m_pBook, nullptr);

  ASSERT_EQ(doc.TakeSavedBook(book), 1);
  djvu_document *held = doc.m_pImage->m_pBook;
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(doc.m_pImage->m_strSourcePath, book);
  EXPECT_EQ(doc.m_pImage->m_pDocument, nullptr); // still the TIFF's pixels
  EXPECT_EQ(doc.m_pImage->m_nPageIndex, 1);
  EXPECT_TRUE(std::string(reinterpret_cast<const char *>(doc.m_pImage->Bits()), pixels) == before);
  EXPECT_EQ(doc.UndoImage()->m_pBook, held);
  ASSERT_EQ(doc.m_redo.size(), 1u);
  EXPECT_EQ(doc.m_redo.back().image->m_pBook, held);
  ASSERT_EQ(doc.Redo(), 1);
  EXPECT_EQ(doc.m_pImage->m_pBook, held);
  EXPECT_EQ(doc.TakeSavedBook(book), 1); // again: the same file, another handle
  doc.EmptyUndo();

  // The next page comes from the book, which keeps the DjVu save kind; the
  // TIFF file opened again does not.
  doc.FollowSavedBook(book);
  doc.m_nSaveKind = IMAGE_FILE_DJVU;
  doc.m_nPageIndex = 2;
  ASSERT_EQ(doc.OpenFile(doc.m_strLastOpenedPath, env, kFit), CDocumentModel::kOpened);
  EXPECT_EQ(doc.m_nContentKind, kKindDjVu);
  EXPECT_EQ(doc.m_pImage->m_nPageIndex, 2);
  EXPECT_EQ(doc.m_nSaveKind, IMAGE_FILE_DJVU);
  doc.m_nPageIndex = 0;
  ASSERT_EQ(doc.OpenFile(tif, env, kFit), CDocumentModel::kOpened);
  EXPECT_EQ(doc.m_nSaveKind, kKindNone);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(DocumentModelTest, ScannedPage)
{
  ScanFrame f;
  f.format = kFrameGray;
  f.depth = 8;
  f.pixelsPerLine = 4;
  f.bytesPerLine = 4;
  f.lines = 3;
  f.data.assign(12, 128);
  std::string err;
  const std::vector<uint8_t> dib = PackFramesToDib({f}, 150, 150, &err);
  ASSERT_EQ(doc.TakeScannedDib(dib), 1);
  EXPECT_EQ(doc.m_nContentKind, kKindBmp);
  EXPECT_EQ(doc.m_strTitle, "Untitled scanned image");
  EXPECT_EQ(doc.m_pImage->m_nWidth, 4);
  EXPECT_EQ(doc.m_pImage->m_nXDpi, 150);
  EXPECT_EQ(doc.m_pImage->m_bGrey, 1);
  // A truncated or hostile block leaves the document empty.
  std::vector<uint8_t> cut(dib.begin(), dib.end() - 1);
  EXPECT_EQ(doc.TakeScannedDib(cut), 0);
  EXPECT_FALSE(doc.HasImage());
  std::vector<uint8_t> bad = dib;
  bad[32] = 0xFF; // colours used: huge
  bad[33] = 0xFF;
  EXPECT_EQ(doc.TakeScannedDib(bad), 0);
  EXPECT_EQ(doc.TakeScannedDib({}), 0);
}

TEST_F(DocumentModelTest, UpperCaseExtensionWithAllFilesFilter)
{
  const std::string upper = TmpDir() + "/A.DJVU";
  Copy(Corpus("djvu/form-scan-cjb2.djvu"), upper);
  doc.m_nOpenKind = kKindAllSupported;
  const CDocumentModel::OpenResult r = doc.OpenFile(upper, env, kFit);
  if (r != CDocumentModel::kOpened && !g_messages.empty() &&
      g_messages[0].find("DjVu error") != std::string::npos)
    FAIL() << "the corpus DjVu page did not open";
  ASSERT_EQ(r, CDocumentModel::kOpened);
  EXPECT_EQ(doc.m_nContentKind, kKindDjVu);
  EXPECT_EQ(doc.m_strTitle, "A.DJVU");
}

// On a screen of device scale 2 a reduced step is rendered at twice its
// size: 50 % holds the whole page, which is then also 100 %'s rendering (no
// render, the same block), and 25 % equals 50 % on a plain screen.
TEST(DocumentModelRendered, DeviceScaleRendersAtDevicePixels)
{
  RenderEnv plain, hidpi;
  plain.dither = hidpi.dither = false;
  hidpi.deviceScale = 2;
  const std::string file = Corpus("djvu/compound-flower-fg44-bg44.djvu");
  CDocumentModel doc, ref;
  ASSERT_EQ(doc.OpenFile(file, hidpi, kFit), CDocumentModel::kOpened);
  ASSERT_EQ(ref.OpenFile(file, plain, kFit), CDocumentModel::kOpened);
  const CDibImage &image = *doc.m_pImage;
  ASSERT_EQ(doc.Rerender(false, true, -1, hidpi), 1);
  EXPECT_EQ(image.m_nWidth, image.m_nSourceWidth);
  EXPECT_EQ(image.m_nHeight, image.m_nSourceHeight);
  EXPECT_TRUE(doc.IsRendered(false, true, 0, hidpi));
  EXPECT_EQ(doc.RenderAhead(false, true, 0, hidpi), 1);
  EXPECT_TRUE(doc.m_rendered.empty());
  const unsigned char *block = image.m_pBlock;
  ASSERT_EQ(doc.Rerender(false, true, 0, hidpi), 1);
  EXPECT_EQ(image.m_pBlock, block);
  EXPECT_EQ(doc.m_nZoom, 0);
  ASSERT_EQ(doc.Rerender(false, true, -3, hidpi), 1);
  ASSERT_EQ(ref.Rerender(false, true, -1, plain), 1);
  ASSERT_EQ(image.BlockSize(), ref.m_pImage->BlockSize());
  EXPECT_EQ(std::memcmp(image.m_pBlock, ref.m_pImage->m_pBlock, image.BlockSize()), 0);
  EXPECT_EQ(image.m_nRenderFactor, 2);
  EXPECT_EQ(image.m_nRenderScale, 1);
}

// Renderings kept for zoom steps: a step rendered ahead or rendered before is
// copied back pixel for pixel as a fresh render of the same step gives it,
// for every kind of page and for the layers; other settings render anew; the
// kept blocks stay within their bound and go with the page.
TEST(DocumentModelRendered, KeptRenderingsEqualFreshOnes)
{
  struct Case
  {
    const char *file;
    int layer;
  } const cases[] = {
      {"djvu/compound-flower-fg44-bg44.djvu", 0},
      {"djvu/compound-flower-fg44-bg44.djvu", 2},
      {"djvu/form-scan-cjb2.djvu", 0},
      {"djvu/formatdoc-p20-compound-fgbz.djvu", 1},
  };
  RenderEnv env;
  env.dither = false;
  for (const Case &c : cases)
  {
    SCOPED_TRACE(std::string(c.file) + " layer " + std::to_string(c.layer));
    env.layer = c.layer;
    CDocumentModel kept, fresh;
    ASSERT_EQ(kept.OpenFile(Corpus(c.file), env, kFit), CDocumentModel::kOpened);
    ASSERT_EQ(fresh.OpenFile(Corpus(c.file), env, kFit), CDocumentModel::kOpened);
    // -1 and 0 ahead while -4 is shown; the image shown stays as it is.
    const int width = kept.m_pImage->m_nWidth;
    EXPECT_EQ(kept.RenderAhead(false, true, -1, env), 1);
    EXPECT_EQ(kept.RenderAhead(false, true, 0, env), 1);
    EXPECT_EQ(kept.m_pImage->m_nWidth, width);
    EXPECT_TRUE(kept.IsRendered(false, true, -1, env));
    // What the image was read from stays with it through a kept rendering
    // (a save can hand it another book meanwhile).
    const std::string source = kept.m_pImage->m_strSourcePath;
    kept.m_pImage->m_strSourcePath = "elsewhere.djvu";
    ASSERT_EQ(kept.Rerender(false, true, -1, env), 1);
    EXPECT_EQ(kept.m_pImage->m_strSourcePath, "elsewhere.djvu");
    kept.m_pImage->m_strSourcePath = source;
    EXPECT_FALSE(kept.IsRendered(false, true, -2, env));
    for (int zoom : {0, -1, -4, 0})
    {
      SCOPED_TRACE(zoom);
      ASSERT_EQ(kept.Rerender(false, true, zoom, env), 1);
      ASSERT_EQ(fresh.Rerender(false, true, zoom, env), 1);
      const CDibImage &a = *kept.m_pImage, &b = *fresh.m_pImage;
      ASSERT_EQ(a.m_nWidth, b.m_nWidth);
      ASSERT_EQ(a.m_nHeight, b.m_nHeight);
      ASSERT_EQ(a.m_nBitsPerPixel, b.m_nBitsPerPixel);
      EXPECT_EQ(a.m_bGrey, b.m_bGrey);
      EXPECT_EQ(a.m_nXDpi, b.m_nXDpi);
      EXPECT_EQ(a.m_nPageCount, b.m_nPageCount);
      EXPECT_EQ(a.BlockSize(), b.BlockSize());
      EXPECT_EQ(std::memcmp(a.m_pBlock, b.m_pBlock, a.BlockSize()), 0);
      EXPECT_NE(a.m_pDocument, nullptr);
    }
    // Another layer is another rendering, not the one kept.
    RenderEnv other = env;
    other.layer = env.layer == 0 ? 1 : 0;
    ASSERT_EQ(kept.Rerender(false, true, -1, other), 1);
    ASSERT_EQ(fresh.Rerender(false, true, -1, other), 1);
    ASSERT_EQ(kept.m_pImage->BlockSize(), fresh.m_pImage->BlockSize());
    EXPECT_EQ(std::memcmp(kept.m_pImage->m_pBlock, fresh.m_pImage->m_pBlock, kept.m_pImage->BlockSize()), 0);
    // Another gamma is another rendering.
    RenderEnv brighter = env;
    brighter.gamma = 1.0;
    EXPECT_FALSE(kept.IsRendered(false, true, -1, brighter));
    size_t bytes = 0;
    for (const auto &r : kept.m_rendered)
      bytes += r.image->BlockSize();
    EXPECT_LE(bytes, CDocumentModel::kRenderedBytes + kept.m_rendered.back().image->BlockSize());
    // Orientation is re-applied over a kept rendering.
    ASSERT_EQ(fresh.Rerender(false, true, -1, env), 1);
    ASSERT_EQ(kept.m_pImage->RotateLeft(), 1);
    ASSERT_EQ(kept.Rerender(false, true, -1, env), 1);
    EXPECT_EQ(kept.m_pImage->m_nWidth, fresh.m_pImage->m_nHeight);
    EXPECT_EQ(kept.m_pImage->m_nHeight, fresh.m_pImage->m_nWidth);
    kept.DeleteContents();
    EXPECT_TRUE(kept.m_rendered.empty());
    EXPECT_FALSE(kept.IsRendered(false, true, -1, env));
  }
}
