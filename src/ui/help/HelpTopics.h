// The help pages the dialogs' "&Help" buttons open, one name each for the
// dialogs and the help module. Header only, so that the dialogs' rules use
// them without linking the help module.
#ifndef VELLUM_UI_HELP_HELPTOPICS_H
#define VELLUM_UI_HELP_HELPTOPICS_H

namespace vellum
{

inline constexpr char kHelpDjvuOptions[] = "DjvuOptions.html";
inline constexpr char kHelpAdvDjvuOptions[] = "AdvDjvuOptions.html";
inline constexpr char kHelpIw44Options[] = "IW44Options.html";
inline constexpr char kHelpJpegOptions[] = "JpegOptions.html";
inline constexpr char kHelpGeneralOptions[] = "GeneralOptions.html";
inline constexpr char kHelpResize[] = "Resize.html";

} // namespace vellum

#endif
