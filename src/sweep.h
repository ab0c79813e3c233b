// The run's switches and counters, and the sweep of one directory tree.
#pragma once

#include <cstdint>
#include <cstdio>

class DirectoryLayer;

struct RunState {
  std::int32_t listOnly = 0;   // report empty directories instead of removing
  std::int32_t viewScan = 0;   // print each directory on entry
  std::int32_t diagTrace = 0;  // level trace, maxima and the closing summary
  std::int32_t level = 0;      // current depth; 1 is the directory named
  std::int32_t maxLevel = 0;
  std::int32_t maxPathLength = 0;
  std::int32_t errorCount = 0;    // failed removals and unreadable listings
  std::int32_t failureCount = 0;  // every failure line printed; sets the exit status
};

// Sweeps the tree at `path` bottom-up, printing to `out`. Returns 1 when the
// directory still stands afterwards, 0 when it was removed.
int sweepDirectory(RunState& state, DirectoryLayer& layer, std::FILE* out,
                   const char* path);
