#include "DocumentModel.h"
#include "MessageBox.h"
#include "Scanner.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

TEST_F(DocumentModelTest, OpensByNameOrForcedKind)
{
  struct Case
  {
    std::string path;
    int openKind;
    CDocumentModel::OpenResult result;
    int contentKind;
    const char *message;
  };
  const Case cases[] = {
      {Corpus("bmp/rgb24.bmp"), 0, CDocumentModel::kOpened, kKindBmp, nullptr},
      {Corpus("pnm/rgb-8bit.ppm"), 99, CDocumentModel::kOpened, kKindPnm, nullptr},
      {Corpus("bmp/rgb24.bmp"), 100, CDocumentModel::kOpened, kKindBmp, nullptr},
      // The BMP filter forces the BMP reader on a PNM file: it fails.
      {Corpus("pnm/rgb-8bit.ppm"), kKindBmp, CDocumentModel::kOpenFailed, 0, kMsgOpenFailed},
      {Corpus("bad/bmp-shortfile.bmp"), 0, CDocumentModel::kOpenFailed, 0, kMsgOpenFailed},
      {TmpDir() + "/notes.txt", 0, CDocumentModel::kTypeNotRecognized, 0, kMsgTypeNotRecognized},
      {TmpDir() + "/missing.bmp", 0, CDocumentModel::kOpenFailed, 0, kMsgOpenFailed},
  };
  std::ofstream(TmpDir() + "/notes.txt") << "not an image\n";
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.path);
    g_messages.clear();
    // Something open before, and an undo image: both go.
    ASSERT_EQ(doc.OpenFile(Corpus("bmp/pal8.bmp"), env, kFit), CDocumentModel::kOpened);
    doc.SaveUndo();
    doc.m_nOpenKind = c.openKind;
    EXPECT_EQ(doc.OpenFile(c.path, env, kFit), c.result);
    EXPECT_EQ(doc.m_nContentKind, c.contentKind);
    EXPECT_EQ(doc.m_nOpenKind, 0);
    EXPECT_EQ(doc.m_strLastOpenedPath, c.path);
    EXPECT_FALSE(doc.CanUndo());
    if (c.message)
    {
      ASSERT_EQ(g_messages.size(), 1u);
      EXPECT_EQ(g_messages[0], c.message);
      EXPECT_FALSE(doc.HasImage());
      EXPECT_EQ(doc.m_strTitle, "");
    }
    else
    {
      EXPECT_TRUE(g_messages.empty());
      EXPECT_TRUE(doc.HasImage());
      EXPECT_EQ(doc.m_strTitle, FileNameOf(c.path));
    }
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
  ASSERT_EQ(doc.SwapUndo(), 1);
  EXPECT_EQ(block(), before);
  ASSERT_EQ(doc.SwapUndo(), 1);
  EXPECT_EQ(block(), after);
  EXPECT_TRUE(doc.CanUndo()); // undoing never loses the undo image
  doc.EmptyUndo();
  EXPECT_FALSE(doc.CanUndo());
  EXPECT_TRUE(doc.HasImage());
  // A BMP cannot be re-rendered: 0, no message, image unchanged.
  EXPECT_EQ(doc.Rerender(true, true, 0, env), 0);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(block(), after);
}

TEST_F(DocumentModelTest, SharedDecodedPageFreedOnce)
{
  // Runs under ASan in CI: a second free or a use after free aborts.
  if (doc.OpenFile(Corpus("djvu/form-scan-cjb2.djvu"), env, kFit) != CDocumentModel::kOpened)
    FAIL() << "the corpus DjVu page did not open";
  ASSERT_TRUE(doc.HasPage());
  EXPECT_EQ(doc.m_nZoom, -4);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 2453 / 5);
  doc.SaveUndo();
  EXPECT_EQ(doc.m_pUndoImage->m_pDocument, doc.m_pImage->m_pDocument);
  ASSERT_EQ(doc.SwapUndo(), 1);
  doc.EmptyUndo(); // the page stays with the image
  ASSERT_TRUE(doc.HasPage());
  // Full scale (the full-scale protocol's first step), then back to the zoom.
  ASSERT_EQ(doc.Rerender(false, true, 0, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 2453);
  ASSERT_EQ(doc.Rerender(true, true, -4, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 2453 / 5);
  EXPECT_EQ(doc.m_nZoom, -4);
  // Without FancyZoom the page is rendered at full scale whatever the zoom.
  ASSERT_EQ(doc.Rerender(true, false, -4, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 2453);
  // An orientation applied since load survives a re-render.
  ASSERT_EQ(doc.m_pImage->RotateLeft(), 1);
  ASSERT_EQ(doc.Rerender(true, true, -1, env), 1);
  EXPECT_EQ(doc.m_pImage->m_nWidth, 3369 / 2);
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
