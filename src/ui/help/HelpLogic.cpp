#include "HelpLogic.h"

#include "FileSystem.h"

#include <cstdlib>
#include <sys/stat.h>

namespace vellum
{

const char kHelpContentsPage[] = "Contents.html";
const char kHelpFileName[] = "Vellum.chm";
const char kHelpBookName[] = "vellum.hhp";
const char kHelpDirName[] = "HtmlHelp";
const char kHelpDataFolder[] = "help";
const char kMsgHelpFailed[] =
    "Failed to load HtmlHelp!\n\nCompiled HtmlHelp needs Internet Explorer 4.\nHelp can "
    "also be accessed from the Contents.html file in the HtmlHelp directory.";

const char kHintCaption[] = "Vellum Hint";
const char kHintText[] =
    "Did you know...\n\nThe DjVu image compression works best for images scanned at 300 DPI "
    "or higher. For lower resolution originals, you will get the best results by setting the "
    "Source in 'DjVu Settings' to 'Medium' or 'Low'.";
const char kHintCheck[] = "Do &not show this message again";
const char kHintClose[] = "&Close";

std::string HelpPagePath(const std::string &helpDir, const char *topic)
{
  return JoinPath(helpDir, topic && topic[0] ? topic : kHelpContentsPage);
}

std::vector<std::string> HelpDirCandidates(const std::string &programDir, const std::string &dataDir)
{
  std::vector<std::string> dirs;
  if (const char *env = std::getenv("VELLUM_HELP_DIR"))
    if (env[0])
      dirs.push_back(env);
  if (!programDir.empty())
    dirs.push_back(JoinPath(programDir, kHelpDirName));
  if (!dataDir.empty())
    dirs.push_back(JoinPath(dataDir, kHelpDataFolder));
  return dirs;
}

std::string FindHelpDir(const std::vector<std::string> &candidates)
{
  for (const std::string &dir : candidates)
  {
    struct stat st;
    if (stat(JoinPath(dir, kHelpContentsPage).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      return dir;
  }
  return std::string();
}

HelpResult CHelpChain::Show(IHelpBackend &backend, const char *topic)
{
  if (topic && !topic[0])
    topic = nullptr;
  if (m_state == kUntried)
    m_state = backend.LoadViewer() ? kLoaded : kFailed;
  if (m_state == kLoaded && backend.ShowInViewer(topic))
    return kHelpViewer;
  if (!m_file.empty() && backend.OpenFile(m_file))
    return kHelpFile;
  if (!m_dir.empty() && backend.OpenPage(HelpPagePath(m_dir, topic)))
    return kHelpPage;
  backend.ShowFailure(kMsgHelpFailed);
  return kHelpFailed;
}

} // namespace vellum
