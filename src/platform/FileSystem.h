// File-system checks and path texts shared by every layer: one rule each
// for "is it a folder", joining a name to a folder, the name and folder
// parts of a path, and making sure the folder of a path to be written
// exists (asking the user first).
#ifndef VELLUM_PLATFORM_FILESYSTEM_H
#define VELLUM_PLATFORM_FILESYSTEM_H

#include <string>

namespace vellum
{

// stat() finds a directory (links followed) / a regular file.
bool IsDirectory(const std::string &path);
bool IsRegularFile(const std::string &path);

// dir + "/" + name (no doubled "/" after a trailing one; name alone for an
// empty dir).
std::string JoinPath(const std::string &dir, const std::string &name);

// The name after the last "/" of a path (the whole path when it has none).
std::string FileNameOf(const std::string &path);

// EnsureDirectory's mode for a path that is itself the folder to make.
constexpr int kEnsureDirectoryMode = 16;

// Makes sure path can be written: true when it exists, or, with any other
// mode than kEnsureDirectoryMode, when only its last part is missing (the
// folder above it exists; a path without "/" lies in the current folder).
// Otherwise it asks "PATH\n\nDirectory path does not exist.\nDo you want to
// create it?" (Yes/No) and on Yes creates every folder before a "/" (a
// doubled "/" counts once) and, in kEnsureDirectoryMode, the path itself;
// false when the user says No, or after "Failed to create DIR" (DIR the
// last folder tried) when one could not be made. An empty path is false
// without a question; a stat failure other than "no such file" or "not a
// directory" shows "GetFileAttributes error N" (errno N) and is false.
bool EnsureDirectory(const std::string &path, int mode);

} // namespace vellum

#endif
