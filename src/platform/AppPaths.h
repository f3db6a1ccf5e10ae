// Where the running program and its run-time files are.
//
// Nothing here is a path fixed at build time: everything is found from the
// running executable (/proc/self/exe), so an installed tree can be moved and
// a staged one (DESTDIR) runs where it lies.
//
//   installed:   <prefix>/bin/<program>, with <prefix>/share/vellum/ (the
//                run-time files: help/ ...), <prefix>/share/applications/
//                <kAppId>.desktop, <prefix>/share/icons/hicolor/...
//   build tree:  the program lies somewhere below the build folder, whose
//                marker file kBuildTreeMarker holds the path of the source
//                tree's res/ folder, which has the same layout as
//                share/vellum/.
//
// $VELLUM_DATA_DIR, when set, names the run-time folder and wins over both.
#ifndef VELLUM_PLATFORM_APPPATHS_H
#define VELLUM_PLATFORM_APPPATHS_H

#include <string>

namespace vellum
{

// The application id: the name of the desktop entry, the AppStream
// component and the application icon.
extern const char kAppId[]; // "org.vellum.Vellum"
// The file CMake writes at the top of a build folder (one line: the
// absolute path of the source tree's res/ folder).
extern const char kBuildTreeMarker[]; // "vellum-res-dir"

// The running executable's absolute path; "" when it cannot be read.
std::string ProgramPath();
// Its folder ("." when unknown, "/" for a program in the root).
std::string ProgramDirectory();

// The prefix of an installed program in programDir: programDir/.. when that
// holds share/vellum/ as a folder, else "". The result has no trailing
// slash and no "..": "/usr" for "/usr/bin".
std::string InstalledPrefixFor(const std::string &programDir);
// The run-time folder of a program in programDir, in the order described
// above ($VELLUM_DATA_DIR, <prefix>/share/vellum, the build tree's res/
// found through the marker in programDir or one of its four nearest
// parents); "" when there is none (an empty programDir finds only
// $VELLUM_DATA_DIR).
std::string DataDirectoryFor(const std::string &programDir);

// The same for the running program.
std::string InstalledPrefix();
std::string DataDirectory();
// DataDirectory()/relative when that exists (file or folder), else "".
std::string DataPath(const std::string &relative);

// The installed desktop entry of a program in programDir
// (<prefix>/share/applications/<kAppId>.desktop) when it exists, else "".
std::string InstalledDesktopEntryFor(const std::string &programDir);
std::string InstalledDesktopEntry();

} // namespace vellum

#endif
