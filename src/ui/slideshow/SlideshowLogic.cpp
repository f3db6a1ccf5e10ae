#include "SlideshowLogic.h"

#include <algorithm>
#include <utility>

#include "BrowserLogic.h"

namespace vellum
{

int ClampSlideDelay(int seconds)
{
  return std::clamp(seconds, kMinSlideDelay, kMaxSlideDelay);
}

int SlideDelayMillis(int seconds)
{
  return ClampSlideDelay(seconds) * 1000;
}

std::string SlideStatusText(int index, int count)
{
  return "Showing image " + std::to_string(index) + "/" + std::to_string(count) + ". Press ESC or Q to quit.";
}

bool IsSlideshowQuitKey(int keyCode)
{
  return keyCode == 27 || keyCode == 'Q' || keyCode == 'q';
}

CSlideSequence::CSlideSequence(const std::string &dir, std::vector<std::string> names)
    : m_dir(dir), m_names(std::move(names))
{
}

std::string CSlideSequence::CurrentPath() const
{
  return Empty() ? std::string() : JoinPath(ListedDirectory(m_dir), m_names[m_index]);
}

void CSlideSequence::Advance()
{
  if (!Empty())
    m_index = (m_index + 1) % Count();
}

} // namespace vellum
