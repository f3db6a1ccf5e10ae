// The error convention: one report per failure, the callback's previous value
// returned, and the process ending with status 10 when no callback is set.
#include "ApiError.h"
#include "djvuapi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct Report
{
  std::string message, file;
  int line;
};
std::vector<Report> g_reports;
void record(const char *m, const char *f, int l)
{
  g_reports.push_back({m, f, l});
}
} // namespace

TEST(ErrorConvention, CallbackReceivesOneReportWithSourceIdentifier)
{
  g_reports.clear();
  djvu_error_callback old = djvu_set_error_callback(record);
  int r = vellum_api::guard(-1, []() -> int { DJVU_API_THROW("Boom"); });
  EXPECT_EQ(r, -1);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].message, "Boom");
  EXPECT_EQ(g_reports[0].file, "tests/libAPI/error_test");
  EXPECT_GT(g_reports[0].line, 0);
  EXPECT_EQ(djvu_set_error_callback(old), record);
}

TEST(ErrorConvention, SourceIdentifierDropsDirectoryAndExtension)
{
  EXPECT_EQ(vellum_api::source_id("/a/b/libAPI/PixImage.cpp"), "libAPI/PixImage");
  EXPECT_EQ(vellum_api::source_id("/x/libdjvu/GBitmap.cpp"), "libdjvu/GBitmap");
  EXPECT_EQ(vellum_api::source_id("plain"), "plain");
  EXPECT_EQ(vellum_api::source_id(__FILE__), "tests/libAPI/error_test");
}

TEST(ErrorConvention, CheckedArithmeticRefusesOverflow)
{
  g_reports.clear();
  djvu_error_callback old = djvu_set_error_callback(record);
  size_t r = vellum_api::guard((size_t)0, []() { return DJVU_API_MUL(SIZE_MAX / 2, 3); });
  EXPECT_EQ(r, 0u);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].message, "Image too large");
  djvu_set_error_callback(old);
}

TEST(ErrorConventionDeathTest, NoCallbackWritesToStderrAndExits10)
{
  djvu_error_callback old = djvu_set_error_callback(nullptr);
  EXPECT_EXIT(vellum_api::guard(0, []() -> int { DJVU_API_THROW("Fatal"); }), testing::ExitedWithCode(10),
              "DjVu Error: 'Fatal' at tests/libAPI/error_test\\([0-9]+\\)");
  djvu_set_error_callback(old);
}
