// The directory layer on Linux: descriptors, openat and unlinkat, so that
// below the top no path text reaches the kernel and no link is followed.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "directory_layer.h"

namespace {

class PosixDirectoryLayer final : public DirectoryLayer {
 public:
  DirHandle openTop(const char* path) override {
    return check(open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }

  DirHandle openChild(DirHandle parent, const char* name, const char*) override {
    return check(openat(parent, name,
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }

  DirHandle openParent(DirHandle child, const char*) override {
    return check(openat(child, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }

  bool identify(DirHandle dir, DirectoryId& id) override {
    struct stat st;
    if (fstat(dir, &st) != 0) return fail();
    id = DirectoryId{static_cast<std::uint64_t>(st.st_dev),
                     static_cast<std::uint64_t>(st.st_ino)};
    return true;
  }

  // Reads the directory to the end with getdents64 straight into one buffer:
  // opendir and readdir would add an fstat per directory.
  ListStatus list(DirHandle dir, const char*, Listing& listing) override {
    for (;;) {
      ssize_t got = getdents64(dir, buffer_, sizeof buffer_);
      if (got == 0) return ListStatus::complete;
      if (got < 0) {
        fail();
        return ListStatus::unreadable;
      }
      for (ssize_t at = 0; at < got;) {
        auto* entry = reinterpret_cast<struct dirent64*>(buffer_ + at);
        at += entry->d_reclen;
        const char* name = entry->d_name;
        if (name[0] == '.' &&
            (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
          continue;
        }
        if (!isDirectory(dir, name, entry->d_type)) {
          listing.holdsOther = true;
          continue;
        }
        if (!listing.subdirectories.append(name, std::strlen(name) + 1)) {
          return ListStatus::noMemory;
        }
      }
    }
  }

  void close(DirHandle dir) override { ::close(dir); }

  bool removeTop(const char* path) override {
    return rmdir(path) == 0 || fail();
  }

  bool removeChild(DirHandle parent, const char* name, const char*) override {
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 || fail();
  }

  int lastError() const override { return error_; }

  bool namesRoot(const char* path) override {
    struct stat named, root;
    return stat(path, &named) == 0 && stat("/", &root) == 0 &&
           named.st_dev == root.st_dev && named.st_ino == root.st_ino;
  }

 private:
  // Only a real directory is descended into: a link, whatever it points to,
  // is an entry like a file. Some file systems leave the type unknown.
  static bool isDirectory(int dir, const char* name, unsigned char type) {
    if (type != DT_UNKNOWN) return type == DT_DIR;
    struct stat st;
    return fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(st.st_mode);
  }

  DirHandle check(int fd) {
    if (fd < 0) fail();
    return fd < 0 ? kNoHandle : fd;
  }

  bool fail() {
    error_ = errno;
    return false;
  }

  int error_ = 0;
  alignas(struct dirent64) char buffer_[32768];
};

}  // namespace

const PlatformConventions& platformConventions() {
  static const PlatformConventions conventions{'/', '-', true};
  return conventions;
}

DirectoryLayer& platformDirectoryLayer() {
  static PosixDirectoryLayer layer;
  return layer;
}
