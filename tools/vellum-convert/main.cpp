// vellum-convert: converts image files with Vellum's readers, writers and
// image operations. See vellum-convert(1) or --help.
#include <cstdio>

#include "AppPaths.h"
#include "Convert.h"
#include "DocumentNames.h"
#include "ReplaceFile.h"

int main(int argc, char **argv)
{
  vellum_convert::Options options;
  std::string error;
  if (!vellum_convert::ParseArguments(argc, argv, options, error))
  {
    std::fprintf(stderr, "vellum-convert: %s\nTry 'vellum-convert --help'.\n", error.c_str());
    return 2;
  }
  if (options.help)
  {
    vellum_convert::PrintUsage(stdout);
    return 0;
  }
  if (options.version)
  {
    std::printf("vellum-convert (%s)\n", vellum::SoftwareText().c_str());
    // Where the run-time files were found: tells an installed tree from a
    // build folder.
    const std::string data = vellum::DataDirectory();
    std::printf("run-time files: %s\n", data.empty() ? "(none)" : data.c_str());
    return 0;
  }
  // A conversion stopped by the user leaves no half-written file beside its
  // target.
  vellum::RemoveTempsOnSignal();
  if (options.thumbnail)
    return vellum_convert::Thumbnail(options.inputs[0], options.inputs[1], options.thumbnail, stderr);
  return vellum_convert::Run(options, stdout, stderr);
}
