// libjpeg message hooks shared by the JPEG reader and writer.
//
// Messages are formatted into a 200-character buffer and copied into
// g_szLastImageError; nothing is shown. The fatal-error exit returns control
// to the caller's setjmp point (VellumJpegError::jump), which destroys the
// codec object, closes the file and fails. Keep the setjmp inside one small
// function with no C++ objects alive across the jump.
#ifndef VELLUM_IMAGE_JPEGHOOKS_H
#define VELLUM_IMAGE_JPEGHOOKS_H

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

struct VellumJpegError
{
  jpeg_error_mgr pub; // first: libjpeg sees a jpeg_error_mgr *
  jmp_buf jump;
};

// Message output hook: formats the library's message into g_szLastImageError.
void JpegOutputMessage(j_common_ptr cinfo);

// Fatal-error hook: records the message, then longjmp(err->jump, 1).
void JpegErrorExit(j_common_ptr cinfo);

// jpeg_std_error on err->pub with both hooks installed; returns &err->pub for
// cinfo.err.
jpeg_error_mgr *JpegInstallErrorHooks(VellumJpegError *err);

#endif
