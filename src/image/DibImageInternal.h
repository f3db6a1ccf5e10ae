// Helpers shared by the image record's source files (not for callers).
#ifndef VELLUM_IMAGE_DIBIMAGEINTERNAL_H
#define VELLUM_IMAGE_DIBIMAGEINTERNAL_H

// Frees a decoded document handle; installed by OpenDjVu.
extern void (*g_pfnFreeImageDocument)(void *document);

#endif
