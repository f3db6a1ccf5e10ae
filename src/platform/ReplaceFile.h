// Replacing a small file safely: the text goes to a temporary file in the
// target's folder, is synced, and is renamed over the target, so a failure
// never leaves a half-written file or loses the old one.
#ifndef VELLUM_PLATFORM_REPLACEFILE_H
#define VELLUM_PLATFORM_REPLACEFILE_H

#include <string>

namespace vellum
{

enum
{
  kReplaceNoFolder = -1 // the target's folder could not be created
};

// Creates dir and its missing parents with the given mode. True when dir
// exists as a directory afterwards.
bool MakeDirs(const std::string &dir, unsigned mode);

// Writes text to path as described above, creating missing folders with
// dirMode. A symbolic link is written through, not replaced; an existing
// file keeps its permissions (a new one gets 0644). Returns 0 on success,
// kReplaceNoFolder, or the errno value of the failing call; on failure the
// old file is untouched and no temporary file is left.
int ReplaceFileContents(const std::string &path, const std::string &text, unsigned dirMode);

} // namespace vellum

#endif
