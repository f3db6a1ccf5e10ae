// Rules of the slideshow, without wxWidgets.
//
// The slideshow shows the files selected in the browser one after another,
// each for "SlideDelay" seconds, in an endless cycle until Esc or Q. The
// window side (a full-screen window and a one-shot timer started after each
// image is shown) lives in BrowserPanel.h; the sequence, the delay, the
// status text and the quit keys are here.
#ifndef VELLUM_UI_SLIDESHOW_SLIDESHOWLOGIC_H
#define VELLUM_UI_SLIDESHOW_SLIDESHOWLOGIC_H

#include <string>
#include <vector>

namespace vellum
{

constexpr int kMinSlideDelay = 1;
constexpr int kMaxSlideDelay = 600;

// "SlideDelay" limited to 1..600 seconds (the range the settings dialog
// allows; a hand-edited 0 or negative value would show nothing at all).
int ClampSlideDelay(int seconds);
// The delay in milliseconds.
int SlideDelayMillis(int seconds);

// "Showing image %d/%d. Press ESC or Q to quit."
std::string SlideStatusText(int index, int count);

// Esc, "Q" or "q" (key codes of a key-down: 27, 'Q', 'q').
bool IsSlideshowQuitKey(int keyCode);

// The cycle over the selected names of one directory.
class CSlideSequence
{
public:
  // names in list order; directories must already be left out.
  CSlideSequence(const std::string &dir, std::vector<std::string> names);

  bool Empty() const { return m_names.empty(); }
  int Count() const { return static_cast<int>(m_names.size()); }
  // 1-based position of the current name.
  int Position() const { return m_index + 1; }
  // dir/name of the current name ("" when empty).
  std::string CurrentPath() const;
  std::string StatusText() const { return SlideStatusText(Position(), Count()); }
  // Moves to the next name, after the last back to the first.
  void Advance();

private:
  std::string m_dir;
  std::vector<std::string> m_names;
  int m_index = 0;
};

} // namespace vellum

#endif
