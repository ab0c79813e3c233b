// The floor for a bottom-up sweep: per directory only what can't be
// avoided (open, read the entries to the end, close, remove), no output.
// Also makes the benchmark's trees.
//
//   floor make DIR FANOUT DEPTH   DIR and FANOUT subdirectories per directory
//                                 down to DEPTH levels below it
//   floor sweep DIR               remove the empty tree at DIR
//   floor peak CMD ARG...         run CMD, then print its peak resident
//                                 memory in KiB on standard error (measured
//                                 from a small parent, so the figure is CMD's)

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void make(int parent, const char* name, int fanout, int depth) {
  if (mkdirat(parent, name, 0755) != 0) {
    std::perror(name);
    std::exit(1);
  }
  if (depth == 0) return;
  int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < fanout; i++) make(fd, std::to_string(i).c_str(), fanout, depth - 1);
  close(fd);
}

// Returns true when the directory was removed.
bool sweep(int parent, const char* name) {
  int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<std::string> subdirectories;
  bool other = false;
  alignas(dirent64) char buffer[32768];
  for (ssize_t got; (got = getdents64(fd, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < got;) {
      auto* entry = reinterpret_cast<dirent64*>(buffer + at);
      at += entry->d_reclen;
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      if (entry->d_type == DT_DIR) {
        subdirectories.emplace_back(entry->d_name);
      } else {
        other = true;
      }
    }
  }
  for (const auto& sub : subdirectories) other |= !sweep(fd, sub.c_str());
  close(fd);
  return !other && unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "make") == 0) {
    make(AT_FDCWD, argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "sweep") == 0) {
    return sweep(AT_FDCWD, argv[2]) ? 0 : 1;
  }
  if (argc >= 3 && std::strcmp(argv[1], "peak") == 0) {
    pid_t child = fork();
    if (child == 0) {
      execvp(argv[2], argv + 2);
      _exit(127);
    }
    int status;
    struct rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) < 0) return 2;
    std::fprintf(stderr, "%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
  }
  std::fprintf(stderr,
               "usage: floor make DIR FANOUT DEPTH | floor sweep DIR | floor peak CMD...\n");
  return 2;
}
