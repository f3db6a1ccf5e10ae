// Replacing a file safely: the data goes to a hidden temporary file in the
// target's folder, is synced, and is renamed over the target, so a failure
// never leaves a half-written file or loses the old one. Every temporary
// file made beside a target comes from CreateTempBeside, so that it is
// hidden and is removed even when the process is stopped by a signal.
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

// Creates and opens (read-write, mode 0600) a new file in target's folder
// named ".NAME.XXXXXX" after the target's name NAME, so that it is hidden
// in file managers and listings. Returns the descriptor (the caller closes
// it) and the file's name in tempName, or -1 with errno set. Until
// ForgetTemp(tempName) the name is kept where the signal cleanup (see
// RemoveTempsOnSignal) finds it.
int CreateTempBeside(const std::string &target, std::string &tempName);

// Drops tempName from the signal cleanup: call it once the file has been
// renamed into place or removed.
void ForgetTemp(const std::string &tempName);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every
// temporary file CreateTempBeside made and not yet forgotten, then end the
// process by the signal's default action. The handler is async-signal-safe
// (it only calls unlink, signal and raise); forked children inherit it and
// clean up their own files.
void RemoveTempsOnSignal();

// The file a replacement of path writes: the target of a symbolic link
// (resolved), else path itself.
std::string ReplaceTargetOf(const std::string &path);

// The end of every replacement: with err 0 renames the finished temporary
// file tempName (from CreateTempBeside, already synced and closed) over
// target; otherwise, or when the rename fails, removes it. Drops it from
// the signal cleanup either way. Returns 0, err, or the rename's errno.
int MoveTempOver(const std::string &tempName, const std::string &target, int err);

// Writes text to path as described above, creating missing folders with
// dirMode. A symbolic link is written through, not replaced; an existing
// file keeps its permissions (a new one gets 0644). Returns 0 on success,
// kReplaceNoFolder, or the errno value of the failing call; on failure the
// old file is untouched and no temporary file is left.
int ReplaceFileContents(const std::string &path, const std::string &text, unsigned dirMode);

} // namespace vellum

#endif
