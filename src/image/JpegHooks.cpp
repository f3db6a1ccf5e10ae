#include "JpegHooks.h"

#include <cstring>

#include "DibImage.h"

void JpegOutputMessage(j_common_ptr cinfo)
{
  char buffer[JMSG_LENGTH_MAX > 200 ? JMSG_LENGTH_MAX : 200];
  (*cinfo->err->format_message)(cinfo, buffer);
  buffer[199] = 0;
  std::strncpy(g_szLastImageError, buffer, IMAGE_ERROR_SIZE - 1);
  g_szLastImageError[IMAGE_ERROR_SIZE - 1] = 0;
}

void JpegErrorExit(j_common_ptr cinfo)
{
  JpegOutputMessage(cinfo);
  VellumJpegError *err = reinterpret_cast<VellumJpegError *>(cinfo->err);
  std::longjmp(err->jump, 1);
}

jpeg_error_mgr *JpegInstallErrorHooks(VellumJpegError *err)
{
  jpeg_std_error(&err->pub);
  err->pub.output_message = JpegOutputMessage;
  err->pub.error_exit = JpegErrorExit;
  return &err->pub;
}
