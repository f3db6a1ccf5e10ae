// The start-up hint and the help chain, without wxWidgets.
//
// Help is shown in three tries, each taken only when the one before failed:
//   1. the help viewer on the help book, at the topic (or its contents);
//   2. the desktop's default program on the compiled help file;
//   3. the default browser on the topic's page in the help directory
//      ("Contents.html" without a topic);
// and when all three fail, the message kMsgHelpFailed. A help viewer that
// failed to load once is not tried again for the rest of the run.
//
// The tries themselves are the caller's (IHelpBackend), so the chain is
// tested without a display or a browser; HintHelp.h binds them to
// wxHtmlHelpController and wxLaunchDefaultBrowser.
#ifndef VELLUM_UI_HELP_HELPLOGIC_H
#define VELLUM_UI_HELP_HELPLOGIC_H

#include "HelpTopics.h"

#include <string>
#include <vector>

namespace vellum
{

// The help files (the dialogs' topics are HelpTopics.h's).
extern const char kHelpContentsPage[]; // "Contents.html": Help Topics without a topic
extern const char kHelpFileName[];     // "Vellum.chm": the compiled help file
extern const char kHelpBookName[];     // "vellum.hhp": the help book in the help directory
extern const char kHelpDirName[];      // "HtmlHelp": the help directory beside the program
extern const char kHelpDataFolder[];   // "help": the pages' folder in the run-time folder
extern const char kMsgHelpFailed[];

// The hint window.
extern const char kHintCaption[]; // "Vellum Hint"
extern const char kHintText[];
extern const char kHintCheck[]; // "Do &not show this message again"
extern const char kHintClose[]; // "&Close"

// The page of the last try: helpDir/topic, or helpDir/Contents.html when
// topic is null or empty.
std::string HelpPagePath(const std::string &helpDir, const char *topic);

// Where the help pages may lie, in the order they are looked for: $VELLUM_HELP_DIR,
// programDir/HtmlHelp, then dataDir/help, dataDir being the program's
// run-time folder (vellum::DataDirectory(): <prefix>/share/vellum when
// installed, the source tree's res/ from the build folder). Empty arguments
// add no candidate.
std::vector<std::string> HelpDirCandidates(const std::string &programDir, const std::string &dataDir);
// The first candidate holding "Contents.html"; "" when none does.
std::string FindHelpDir(const std::vector<std::string> &candidates);

class IHelpBackend
{
public:
  virtual ~IHelpBackend() = default;
  // Loads the help viewer (called at most once per run); false when it
  // cannot be loaded.
  virtual bool LoadViewer() = 0;
  // Shows topic (null: the contents) in the loaded viewer.
  virtual bool ShowInViewer(const char *topic) = 0;
  // Opens a file with the desktop's default program; false when it could
  // not be started (a missing file included).
  virtual bool OpenFile(const std::string &path) = 0;
  // Opens a page in the default browser; false when it could not.
  virtual bool OpenPage(const std::string &path) = 0;
  // Shows the failure message (stop icon).
  virtual void ShowFailure(const char *text) = 0;
};

// Which try succeeded.
enum HelpResult
{
  kHelpViewer,
  kHelpFile,
  kHelpPage,
  kHelpFailed
};

class CHelpChain
{
public:
  // helpFile: the compiled help file; helpDir: the directory of the pages.
  CHelpChain(std::string helpFile, std::string helpDir)
      : m_file(std::move(helpFile)), m_dir(std::move(helpDir))
  {
  }
  HelpResult Show(IHelpBackend &backend, const char *topic);
  bool ViewerFailed() const { return m_state == kFailed; }

private:
  enum
  {
    kUntried,
    kLoaded,
    kFailed
  } m_state = kUntried;
  std::string m_file, m_dir;
};

} // namespace vellum

#endif
