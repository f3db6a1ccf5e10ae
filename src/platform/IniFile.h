// An INI file in memory and the plain-text helpers its users share: atomic
// writing and locale-independent reals.
#ifndef VELLUM_PLATFORM_INIFILE_H
#define VELLUM_PLATFORM_INIFILE_H

#include <string>
#include <vector>

// An INI file in memory, with the lookup rules of the Windows profile calls:
// section and key names compare without regard to case, blanks around names
// and values are dropped, and a value wrapped in matching quotes loses them.
// Lines that are not entries (comments, blank lines, junk) are kept as they
// are and written back unchanged.
class CIniFile
{
public:
  // Parses text; never fails (unreadable lines are kept verbatim).
  void Parse(const std::string &text);
  // Reads path; false (and an empty file) when it cannot be read.
  bool Load(const std::string &path);
  std::string Text() const;

  // The value of a key, or nullptr when the section or key is missing.
  const std::string *Find(const std::string &section, const std::string &key) const;
  std::string GetString(const std::string &section, const std::string &key, const std::string &def) const;
  // The leading decimal integer of the value (after blanks, with a sign);
  // def when the key is missing or its value does not start with a number.
  int GetInt(const std::string &section, const std::string &key, int def) const;
  // Replaces the key's value, or appends the key to its section (created at
  // the end of the file when missing).
  void Set(const std::string &section, const std::string &key, const std::string &value);
  void Remove(const std::string &section, const std::string &key);

private:
  struct Line
  {
    std::string raw;   // text for lines that are not entries
    std::string key;   // empty for raw lines
    std::string value; // entries only
  };
  struct Section
  {
    std::string name; // empty: lines before the first section header
    std::vector<Line> lines;
  };
  Section *FindSection(const std::string &name);
  const Section *FindSection(const std::string &name) const;
  std::vector<Section> m_sections;
};

// Writes text to path through a temporary file in the same folder and a
// rename; the folder is created when missing. Returns false on any failure,
// leaving the old file (if any) untouched and no temporary behind.
bool WriteFileAtomically(const std::string &path, const std::string &text);

// "%2.1f" of value, always with a "." whatever the process locale.
std::string FormatReal(float value);
// atof of text (leading blanks, optional sign, partial parse, 0 when there
// is no number) whatever the process locale; non-finite results give 0.
float ParseReal(const std::string &text);

#endif
