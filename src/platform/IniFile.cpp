// The INI file model: parsing, lookup with the Windows profile rules, and
// writing back with unknown lines kept.
#include "IniFile.h"

#include "ReplaceFile.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace
{

std::string Trim(const std::string &s)
{
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n'))
    b++;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
    e--;
  return s.substr(b, e - b);
}

bool SameName(const std::string &a, const std::string &b)
{
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); i++)
  {
    unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
    if (x >= 'A' && x <= 'Z')
      x = (unsigned char)(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z')
      y = (unsigned char)(y - 'A' + 'a');
    if (x != y)
      return false;
  }
  return true;
}

std::string Unquote(const std::string &v)
{
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

} // namespace

// ---------------------------------------------------------------------------
// CIniFile

void CIniFile::Parse(const std::string &text)
{
  m_sections.clear();
  m_sections.push_back(Section());
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw))
  {
    if (!raw.empty() && raw.back() == '\r')
      raw.pop_back();
    std::string t = Trim(raw);
    if (!t.empty() && t[0] == '[')
    {
      size_t close = t.find(']');
      if (close != std::string::npos)
      {
        Section s;
        s.name = Trim(t.substr(1, close - 1));
        m_sections.push_back(s);
        continue;
      }
    }
    Line line;
    size_t eq = t.find('=');
    if (!t.empty() && t[0] != ';' && t[0] != '#' && eq != std::string::npos && eq > 0)
    {
      line.key = Trim(t.substr(0, eq));
      line.value = Trim(t.substr(eq + 1));
    }
    if (line.key.empty())
      line.raw = raw;
    m_sections.back().lines.push_back(line);
  }
}

bool CIniFile::Load(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  if (!in)
  {
    Parse(std::string());
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  Parse(text.str());
  return true;
}

std::string CIniFile::Text() const
{
  std::string out;
  for (size_t i = 0; i < m_sections.size(); i++)
  {
    const Section &s = m_sections[i];
    if (i > 0)
      out += "[" + s.name + "]\n";
    for (const Line &l : s.lines)
      out += (l.key.empty() ? l.raw : l.key + "=" + l.value) + "\n";
  }
  return out;
}

CIniFile::Section *CIniFile::FindSection(const std::string &name)
{
  for (size_t i = 1; i < m_sections.size(); i++)
    if (SameName(m_sections[i].name, name))
      return &m_sections[i];
  return nullptr;
}

const CIniFile::Section *CIniFile::FindSection(const std::string &name) const
{
  return const_cast<CIniFile *>(this)->FindSection(name);
}

const std::string *CIniFile::Find(const std::string &section, const std::string &key) const
{
  const Section *s = FindSection(section);
  if (!s)
    return nullptr;
  for (const Line &l : s->lines)
    if (!l.key.empty() && SameName(l.key, key))
      return &l.value;
  return nullptr;
}

std::string CIniFile::GetString(const std::string &section, const std::string &key,
                                const std::string &def) const
{
  const std::string *v = Find(section, key);
  return v ? Unquote(*v) : def;
}

int CIniFile::GetInt(const std::string &section, const std::string &key, int def) const
{
  const std::string *v = Find(section, key);
  if (!v)
    return def;
  const char *p = v->c_str();
  char *end = nullptr;
  errno = 0;
  long n = std::strtol(p, &end, 10);
  if (end == p || errno == ERANGE || n < INT_MIN || n > INT_MAX)
    return def;
  return (int)n;
}

void CIniFile::Set(const std::string &section, const std::string &key, const std::string &value)
{
  if (m_sections.empty())
    m_sections.push_back(Section());
  Section *s = FindSection(section);
  if (!s)
  {
    // Keep a blank line between sections, as the profile calls do.
    Section &last = m_sections.back();
    if (m_sections.size() > 1 &&
        (last.lines.empty() || !last.lines.back().raw.empty() || !last.lines.back().key.empty()))
      last.lines.push_back(Line());
    Section n;
    n.name = section;
    m_sections.push_back(n);
    s = &m_sections.back();
  }
  for (Line &l : s->lines)
    if (!l.key.empty() && SameName(l.key, key))
    {
      l.value = value;
      return;
    }
  Line line;
  line.key = key;
  line.value = value;
  // New keys go after the last entry, before trailing blank lines.
  size_t at = s->lines.size();
  while (at > 0 && s->lines[at - 1].key.empty() && Trim(s->lines[at - 1].raw).empty())
    at--;
  s->lines.insert(s->lines.begin() + (long)at, line);
}

void CIniFile::Remove(const std::string &section, const std::string &key)
{
  Section *s = FindSection(section);
  if (!s)
    return;
  for (size_t i = 0; i < s->lines.size(); i++)
    if (!s->lines[i].key.empty() && SameName(s->lines[i].key, key))
    {
      s->lines.erase(s->lines.begin() + (long)i);
      return;
    }
}

// ---------------------------------------------------------------------------
// Files and numbers

bool WriteFileAtomically(const std::string &path, const std::string &text)
{
  return vellum::ReplaceFileContents(path, text, 0700) == 0;
}

std::string FormatReal(float value)
{
  // to_chars is locale-independent and rounds like printf("%.1f").
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, (double)value, std::chars_format::fixed, 1);
  if (r.ec != std::errc())
    return "0.0";
  std::string s(buf, r.ptr);
  while (s.size() < 2) // the field width of "%2.1f"
    s = " " + s;
  return s;
}

float ParseReal(const std::string &text)
{
  const char *p = text.c_str();
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
    p++;
  bool neg = false;
  if (*p == '+' || *p == '-')
  {
    neg = *p == '-';
    p++;
  }
  if (*p == '+' || *p == '-') // from_chars would accept a second "-"
    return 0.0f;
  double v = 0;
  auto r = std::from_chars(p, p + std::strlen(p), v);
  if (r.ec != std::errc() || !std::isfinite(v) || std::fabs(v) > 3.0e38)
    return 0.0f;
  return (float)(neg ? -v : v);
}
