// Support shared by the GUI tests: the environment ctest sets up, and a
// virtual display when there is none.
#ifndef VELLUM_TESTS_GUITESTSUPPORT_H
#define VELLUM_TESTS_GUITESTSUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace vellum_test
{

inline std::string Env(const char *name, const char *def)
{
  const char *v = std::getenv(name);
  return v ? v : def;
}

// A file of the corpus (tests/corpus; ctest sets VELLUM_CORPUS). A missing
// file throws, so the test fails with its name instead of going on with an
// empty document (the test framework reports the exception as a failure).
inline std::string Corpus(const std::string &rel)
{
  const std::string path = Env("VELLUM_CORPUS", VELLUM_CORPUS_DIR) + "/" + rel;
  if (access(path.c_str(), F_OK) != 0)
    throw std::runtime_error("corpus file missing: " + path);
  return path;
}

// Without a display, runs this program again under xvfb-run (with the
// screen given, e.g. "1280x1024x24", or xvfb's default) and returns 1 when
// that cannot be started; returns -1 when the tests can run here.
inline int RerunUnderXvfb(int argc, char **argv, const char *screen = nullptr)
{
  if (!Env("DISPLAY", "").empty() || !Env("VELLUM_UNDER_XVFB", "").empty())
    return -1;
  setenv("VELLUM_UNDER_XVFB", "1", 1);
  std::string screenArg = std::string("-screen 0 ") + (screen ? screen : "");
  std::vector<char *> args = {const_cast<char *>("xvfb-run"), const_cast<char *>("-a")};
  if (screen)
  {
    args.push_back(const_cast<char *>("-s"));
    args.push_back(&screenArg[0]);
  }
  for (int i = 0; i < argc; ++i)
    args.push_back(argv[i]);
  args.push_back(nullptr);
  execvp("xvfb-run", args.data());
  std::perror("xvfb-run");
  return 1;
}

} // namespace vellum_test

#endif
