// Replays fuzz inputs without libFuzzer: every file named on the command line,
// or found below a named directory, is passed once to the fuzz entry point.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int run_file(const std::filesystem::path &p)
{
  std::ifstream in(p, std::ios::binary);
  if (!in)
  {
    std::fprintf(stderr, "cannot read %s\n", p.c_str());
    return 1;
  }
  std::vector<uint8_t> buf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(buf.data(), buf.size());
  return 0;
}

int main(int argc, char **argv)
{
  int failures = 0, count = 0;
  for (int i = 1; i < argc; i++)
  {
    std::filesystem::path p(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec))
    {
      std::vector<std::filesystem::path> files;
      for (auto &e : std::filesystem::recursive_directory_iterator(p, ec))
        if (e.is_regular_file())
          files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (auto &f : files)
      {
        failures += run_file(f);
        count++;
      }
    }
    else
    {
      failures += run_file(p);
      count++;
    }
  }
  std::printf("replayed %d inputs\n", count);
  return failures ? 1 : 0;
}
