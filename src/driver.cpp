// dustr: removes empty directory trees bottom-up, or lists empty directories.
//
// Arguments are taken left to right: a switch affects only the paths after
// it, and each path is swept completely before the next argument is read.

#include <cctype>
#include <cstdio>
#include <cstring>

#include "directory_layer.h"
#include "sweep.h"

namespace {

constexpr std::size_t kPathBufferSize = 256;

void printUsage(const PlatformConventions& platform) {
  char p = platform.switchPrefix;
  std::printf("%s Ver.%s  %s\n\n", "DUSTR", "2.2.2",
              "Copyright (c) the dustr developers");
  std::printf("dustr [%cv] [%cl] path\n", p, p);
  std::printf("  %cl  list empty directory\n", p);
  std::printf("  %cv  view scaning path\n", p);
  std::printf("\n");
}

void printSummary(const RunState& state) {
  std::printf("MAXLEVEL=%d MAXPATH=%d ERROR=%d\n", state.maxLevel,
              state.maxPathLength, state.errorCount);
  std::printf("defned MAXPATH=%d MAXDIR=%d MAXFILE=%d\n", 260, 256, 256);
}

// An empty path would make every child path start at the root, a longer one
// does not fit the path buffer, and the root itself is never swept.
void sweepPath(RunState& state, DirectoryLayer& layer, const char* arg) {
  std::size_t length = std::strlen(arg);
  if (length == 0) {
    std::printf("Ignored empty path\n");
  } else if (length >= kPathBufferSize) {
    std::printf("Ignored path longer than 255 bytes: %s\n", arg);
  } else if (layer.namesRoot(arg)) {
    std::printf("Ignored root directory %s\n", arg);
  } else {
    char path[kPathBufferSize];
    std::memcpy(path, arg, length + 1);
    sweepDirectory(state, layer, stdout, path);
    return;
  }
  state.failureCount++;
}

// Lines that could not be written are failures too: whoever reads the output
// would otherwise take a partial report for a whole one.
int exitStatus(const RunState& state) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "dustr: can't write the output\n");
    return 1;
  }
  return state.failureCount ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const PlatformConventions& platform = platformConventions();
  DirectoryLayer& layer = platformDirectoryLayer();
  RunState state;
  bool switchesEnded = false;

  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (switchesEnded || arg[0] != platform.switchPrefix) {
      sweepPath(state, layer, arg);
      continue;
    }
    if (platform.unixOptions && std::strcmp(arg, "--") == 0) {
      switchesEnded = true;
      continue;
    }
    bool help = platform.unixOptions &&
                (std::strcmp(arg, "--help") == 0 ||
                 std::tolower(static_cast<unsigned char>(arg[1])) == 'h');
    if (arg[1] == '?' || help) {
      printUsage(platform);
      return exitStatus(state);
    }
    switch (std::tolower(static_cast<unsigned char>(arg[1]))) {
      case 'l': state.listOnly = 1; break;
      case 'v': state.viewScan = 1; break;
      case 'd': state.diagTrace = 1; break;
      default: break;  // a bare prefix or an unknown switch is passed over
    }
  }

  if (state.diagTrace) printSummary(state);
  return exitStatus(state);
}
