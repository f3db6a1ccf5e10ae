#include "MessageBox.h"

#include <cstdio>

namespace
{

int StderrMessageBox(const char *text, const char *caption, unsigned style)
{
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "Vellum", text ? text : "");
  return VellumDefaultMessageBoxAnswer(style);
}

VellumMessageBoxHook g_hook = StderrMessageBox;

} // namespace

int VellumDefaultMessageBoxAnswer(unsigned style)
{
  switch (style & VMB_BUTTON_MASK)
  {
  case VMB_YESNO:
  case VMB_YESNOCANCEL:
    return VID_YES;
  default:
    return VID_OK;
  }
}

int VellumMessageBox(const char *text, const char *caption, unsigned style)
{
  return g_hook(text, caption, style);
}

VellumMessageBoxHook VellumSetMessageBoxHook(VellumMessageBoxHook hook)
{
  VellumMessageBoxHook old = g_hook;
  g_hook = hook ? hook : StderrMessageBox;
  return old;
}
