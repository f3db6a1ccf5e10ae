// The user's preferences and the INI file that stores them.
//
// CVellumSettings holds one public member per key of Vellum.ini, named after
// the key. The application loads it once at start-up and saves it once at an
// orderly close; every consumer reads the member when it needs the value.
//
// File location (SettingsPath): a Vellum.ini lying beside the executable is
// used as it is (portable installation); otherwise
// $XDG_CONFIG_HOME/vellum/Vellum.ini, or ~/.config/vellum/Vellum.ini when
// XDG_CONFIG_HOME is unset or not absolute.
//
// Reading never fails: a missing file, section or key gives the default; a
// value that cannot be read gives the default (ints) or 0.0 (reals, as atof).
// Saving writes a temporary file beside the target and renames it into
// place, so the old file survives any failure; keys and sections this class
// does not know are kept.
//
// No wxWidgets here: the document layer links without it.
#ifndef VELLUM_DOC_SETTINGS_H
#define VELLUM_DOC_SETTINGS_H

#include "IniFile.h"

#include <string>
#include <vector>

// A recent-file entry's stored page: "Page%d" text to 0-based index (0 for
// a missing, malformed or out-of-range value) and back (empty for index 0:
// no key).
int ParseRecentPage(const std::string &text);
std::string RecentPageText(int pageIndex);

class CVellumSettings
{
public:
  static const int kRecentFiles = 5;

  CVellumSettings(); // every member at its default

  // Section "General"
  int ImageFit;
  int WindowFit;
  int WindowCenter;
  std::string OpenDir;
  int OpenType;
  std::string SaveDir;
  int SaveType;
  std::string LCOpenDir; // default: the user's home directory
  int LCOpenType;
  int NoStartupInfo;
  int PrintSize;
  int ShrinkPrint;
  int FancyZoom;
  int Dither;
  float DisplayGamma;
  int SlideDelay;
  // Most pixels (width x height) an image may have to be opened; larger
  // files are refused before anything is allocated (see SetMaxImagePixels).
  // 0 or less: the default, 300000000.
  int MaxPixels;
  // The page-thumbnail panel is shown for documents of many pages (1) or
  // not (0).
  int PageBar;

  // Section "DjVu"
  int DjvuQuickSet;
  int DjvuPhotoQty;
  int DjvuNoThick;
  int DjvuLossless;
  int DjvuTextOnly;
  float DjvuPhotoGamma;
  int DjvuNoColorFilter;
  int DjvuNoInvFilter;
  int DjvuNoSizeFilter;
  int DjvuFilterLevel;
  int DjvuForeback;
  int DjvuUpsample;
  int DjvuProfile; // encoding profile: 0 classic layers, 1 compact layers

  // Section "IW44"
  int Iw44PhotoQty;
  int Iw44Crcb;
  float Iw44PhotoGamma;

  // Section "JPEG"
  int JpegQty;
  int JpegSmooth;
  int JpegOptHuff;
  int JpegEncodeDCT;
  int JpegDecodeDCT;

  // Section "Recent File List", keys "File1".."File5"; most recent first,
  // empty strings for unused entries.
  std::string RecentFiles[kRecentFiles];
  // The page each entry was last shown at (0-based), keys "Page1".."Page5"
  // beside the file keys; an entry without one (as older lists have) is at
  // its first page, and page 1 is not written.
  int RecentPages[kRecentFiles];

  // Reads every key from the INI file at path (defaults for what is
  // missing). Members not in the file take their defaults.
  void LoadSettings(const std::string &path);
  // Reads from SettingsPath().
  void LoadSettings();
  // Writes every key to path, keeping other content of an existing file.
  // Returns false when the file could not be written (the old file stays).
  bool SaveSettings(const std::string &path) const;
  bool SaveSettings() const;

  // Fills an INI image from the members / the members from an INI image.
  void ReadFrom(const CIniFile &ini);
  void WriteTo(CIniFile &ini) const;

  // Puts path at the head of the recent-file list (moving it up when it is
  // already there, dropping the oldest when the list is full).
  void AddRecentFile(const std::string &path);

  // The settings file: programDir/Vellum.ini when that file exists, else
  // the per-user file described above. programDir empty: the directory of
  // the running executable.
  static std::string SettingsPath(const std::string &programDir = std::string());
  // Directory of the running executable, without a trailing "/".
  static std::string ProgramDir();
  // The user's home directory, without a trailing "/".
  static std::string HomeDir();
};

#endif
