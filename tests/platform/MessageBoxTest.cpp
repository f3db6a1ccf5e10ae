#include <gtest/gtest.h>

#include <string>

#include "MessageBox.h"

namespace
{

std::string g_text, g_caption;
unsigned g_style;

int Stub(const char *text, const char *caption, unsigned style)
{
  g_text = text;
  g_caption = caption;
  g_style = style;
  return VID_NO;
}

} // namespace

TEST(MessageBox, DefaultAnswersWithoutBlocking)
{
  const struct
  {
    unsigned style;
    int answer;
  } cases[] = {{VMB_OK | VMB_ICONHAND, VID_OK},
               {VMB_OKCANCEL, VID_OK},
               {VMB_YESNO | VMB_ICONQUESTION, VID_YES},
               {VMB_YESNOCANCEL | VMB_ICONQUESTION, VID_YES}};
  for (const auto &c : cases)
  {
    EXPECT_EQ(VellumDefaultMessageBoxAnswer(c.style), c.answer);
    testing::internal::CaptureStderr();
    EXPECT_EQ(VellumMessageBox("Save x first?", "Vellum", c.style), c.answer);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Vellum: Save x first?\n");
  }
}

TEST(MessageBox, HookReplacesAndRestores)
{
  VellumMessageBoxHook old = VellumSetMessageBoxHook(Stub);
  EXPECT_EQ(VellumMessageBox("Failed to rotate!", "Vellum", VMB_OK | VMB_ICONHAND), VID_NO);
  EXPECT_EQ(g_text, "Failed to rotate!");
  EXPECT_EQ(g_caption, "Vellum");
  EXPECT_EQ(g_style, (unsigned)(VMB_OK | VMB_ICONHAND));
  EXPECT_EQ(VellumSetMessageBoxHook(nullptr), &Stub);
  EXPECT_NE(VellumSetMessageBoxHook(old), &Stub);
  testing::internal::CaptureStderr();
  EXPECT_EQ(VellumMessageBox(nullptr, nullptr, VMB_YESNO), VID_YES);
  testing::internal::GetCapturedStderr();
}
