// How one entry of a Windows directory search counts for the sweep, by its
// attribute bits and name alone.
#pragma once

#include <cstring>

enum class FoundEntry { self, subdirectory, other };

constexpr unsigned long kAttributeDirectory = 0x10;
constexpr unsigned long kAttributeReparsePoint = 0x400;

// A junction, a directory link or a mount point carries the reparse bit and
// leads out of the tree: it is an entry like a file, never descended into.
inline FoundEntry classifyFoundEntry(unsigned long attributes, const char* name) {
  if (!(attributes & kAttributeDirectory) || (attributes & kAttributeReparsePoint)) {
    return FoundEntry::other;
  }
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
    return FoundEntry::self;
  }
  return FoundEntry::subdirectory;
}
