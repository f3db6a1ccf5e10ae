// Temporary files beside a target: hidden names, removal on every failure
// and on a fatal signal, the old file whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ReplaceFile.h"

namespace fs = std::filesystem;

namespace
{

std::string Scratch(const std::string &name)
{
  const char *base = std::getenv("VELLUM_TEST_TMP");
  fs::path dir = fs::path(base && *base ? base : fs::temp_directory_path().string()) / ("platform-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::vector<std::string> Listing(const std::string &dir)
{
  std::vector<std::string> names;
  for (auto &e : fs::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteAll(const std::string &path, const std::string &text)
{
  std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(TempFiles, HiddenBesideTheTargetAndForgotten)
{
  std::string dir = Scratch("hidden");
  std::string name;
  int fd = vellum::CreateTempBeside(dir + "/out.djvu", name);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(fs::path(name).parent_path().string(), dir);
  std::string base = fs::path(name).filename().string();
  EXPECT_EQ(base.rfind(".out.djvu.", 0), 0u) << base;
  EXPECT_EQ(base.size(), std::string(".out.djvu.XXXXXX").size());
  unlink(name.c_str());
  vellum::ForgetTemp(name);
  // A bare file name makes its temporary in the current folder.
  std::string cwd = fs::current_path().string();
  fs::current_path(dir);
  fd = vellum::CreateTempBeside("page.bmp", name);
  fs::current_path(cwd);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(name.rfind(".page.bmp.", 0), 0u) << name;
  unlink((dir + "/" + name).c_str());
  vellum::ForgetTemp(name);
  EXPECT_TRUE(Listing(dir).empty());
}

TEST(TempFiles, FailedReplaceKeepsTheOldFileAndLeavesNoTemporary)
{
  std::string dir = Scratch("replace");
  std::string target = dir + "/Vellum.ini";
  WriteAll(target, "old");
  ASSERT_EQ(vellum::ReplaceFileContents(target, "new", 0700), 0);
  EXPECT_EQ(ReadAll(target), "new");
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"Vellum.ini"});

  // The rename fails: a non-empty folder stands where the file goes.
  std::string blocked = dir + "/blocked";
  fs::create_directories(blocked + "/inside");
  EXPECT_NE(vellum::ReplaceFileContents(blocked, "text", 0700), 0);
  EXPECT_TRUE(fs::is_directory(blocked));
  // The write fails halfway: a file-size limit below the text's length.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 10;
  auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int err = vellum::ReplaceFileContents(target, std::string(100, 'x'), 0700);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_NE(err, 0);
  EXPECT_EQ(ReadAll(target), "new");
  EXPECT_EQ(Listing(dir), (std::vector<std::string>{"Vellum.ini", "blocked"}));
}

// A process stopped by SIGINT, SIGTERM or SIGHUP while it holds a temporary
// file removes it and still dies of the signal; the old file stays whole.
TEST(TempFiles, FatalSignalsRemoveTheTemporary)
{
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
  {
    SCOPED_TRACE(sig);
    std::string dir = Scratch("signal");
    std::string target = dir + "/out.djvu";
    WriteAll(target, "the old file");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
      vellum::RemoveTempsOnSignal();
      std::string name;
      int fd = vellum::CreateTempBeside(target, name);
      if (fd < 0 || write(fd, "half", 4) != 4 || write(ready[1], "r", 1) != 1)
        _exit(3);
      for (int i = 0; i < 1000; i++) // bounded: ten seconds
        usleep(10000);
      _exit(4);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    std::vector<std::string> during = Listing(dir);
    ASSERT_EQ(during.size(), 2u);
    EXPECT_EQ(during[0].rfind(".out.djvu.", 0), 0u) << during[0];
    ASSERT_EQ(kill(pid, sig), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"out.djvu"});
    EXPECT_EQ(ReadAll(target), "the old file");
  }
}
