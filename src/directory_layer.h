// The one seam between the sweep and the platform: open a directory, list
// it, remove it, and say why the last of those failed. directory_layer_posix
// and directory_layer_win32 implement it; the unit tests fake it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "growable.h"

// An open directory. On POSIX it is a descriptor; the Win32 layer searches
// by path and needs none, so any value but kNoHandle will do there.
using DirHandle = int;
constexpr DirHandle kNoHandle = -1;

struct DirectoryId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const DirectoryId&) const = default;
};

// What one listing found: the names of the real subdirectories (not "." or
// "..", not links), each NUL-terminated and appended to a stack that the
// sweep shares between its levels, and whether anything else was there.
struct Listing {
  Growable<char>& subdirectories;
  bool holdsOther = false;
};

enum class ListStatus {
  complete,
  unreadable,  // could not read to the end; lastError() says why
  noMemory,
};

class DirectoryLayer {
 public:
  virtual ~DirectoryLayer() = default;

  // A directory named on the command line, opened as given (links followed).
  virtual DirHandle openTop(const char* path) = 0;
  // Entry `name` of `parent`, opened only if it is a directory and not a
  // link at the moment of opening. `path` is its full path text.
  virtual DirHandle openChild(DirHandle parent, const char* name,
                              const char* path) = 0;
  // The parent of `child` again, after the sweep closed it to keep the
  // number of open directories bounded. `parentPath` is its path text.
  virtual DirHandle openParent(DirHandle child, const char* parentPath) = 0;
  virtual bool identify(DirHandle dir, DirectoryId& id) = 0;
  virtual ListStatus list(DirHandle dir, const char* path, Listing& listing) = 0;
  virtual void close(DirHandle dir) = 0;
  virtual bool removeTop(const char* path) = 0;
  virtual bool removeChild(DirHandle parent, const char* name,
                           const char* path) = 0;
  // The platform's code for the last failed open, list or remove.
  virtual int lastError() const = 0;
  // Whether `path` names the root of the file system.
  virtual bool namesRoot(const char* path) = 0;
};

// How paths and switches are written on this platform.
struct PlatformConventions {
  char separator;
  char switchPrefix;
  bool unixOptions;  // "--", "-h" and "--help" as Unix tools take them
};

const PlatformConventions& platformConventions();
DirectoryLayer& platformDirectoryLayer();
