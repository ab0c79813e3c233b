// The directory layer on Windows: one FindFirstFileA search per directory
// over "path\*.*", and RemoveDirectoryA. Searches go by path, so the handles
// the sweep keeps carry nothing and reopening a parent costs nothing.

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "directory_layer.h"
#include "found_entry.h"

// The arguments reach the program as typed: "*" and "?" are not expanded
// against the names in the current directory.
extern "C" {
int _dowildcard = 0;
}

namespace {

constexpr DirHandle kSearchByPath = 0;

class Win32DirectoryLayer final : public DirectoryLayer {
 public:
  DirHandle openTop(const char*) override { return kSearchByPath; }
  DirHandle openChild(DirHandle, const char*, const char*) override {
    return kSearchByPath;
  }
  DirHandle openParent(DirHandle, const char*) override { return kSearchByPath; }

  bool identify(DirHandle, DirectoryId& id) override {
    id = DirectoryId{};
    return true;
  }

  ListStatus list(DirHandle, const char* path, Listing& listing) override {
    std::size_t length = std::strlen(path);
    char* pattern = static_cast<char*>(std::malloc(length + 5));
    if (!pattern) return ListStatus::noMemory;
    std::memcpy(pattern, path, length);
    std::memcpy(pattern + length, "\\*.*", 5);

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    std::free(pattern);
    if (search == INVALID_HANDLE_VALUE) {
      error_ = static_cast<int>(GetLastError());
      return ListStatus::unreadable;
    }
    ListStatus status = ListStatus::complete;
    do {
      const char* name = found.cFileName;
      switch (classifyFoundEntry(found.dwFileAttributes, name)) {
        case FoundEntry::self:
          break;
        case FoundEntry::other:
          listing.holdsOther = true;
          break;
        case FoundEntry::subdirectory:
          if (!listing.subdirectories.append(name, std::strlen(name) + 1)) {
            status = ListStatus::noMemory;
          }
          break;
      }
    } while (status == ListStatus::complete && FindNextFileA(search, &found));
    if (status == ListStatus::complete && GetLastError() != ERROR_NO_MORE_FILES) {
      error_ = static_cast<int>(GetLastError());
      status = ListStatus::unreadable;
    }
    FindClose(search);
    return status;
  }

  void close(DirHandle) override {}

  bool removeTop(const char* path) override { return remove(path); }
  bool removeChild(DirHandle, const char*, const char* path) override {
    return remove(path);
  }

  int lastError() const override { return error_; }

  // A drive root such as C:\ is swept like any directory.
  bool namesRoot(const char*) override { return false; }

 private:
  bool remove(const char* path) {
    if (RemoveDirectoryA(path)) return true;
    error_ = static_cast<int>(GetLastError());
    return false;
  }

  int error_ = 0;
};

}  // namespace

const PlatformConventions& platformConventions() {
  static const PlatformConventions conventions{'\\', '/', false};
  return conventions;
}

DirectoryLayer& platformDirectoryLayer() {
  static Win32DirectoryLayer layer;
  return layer;
}
