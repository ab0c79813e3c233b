// The sweep: depth first, bottom-up removal (or listing) of empty directories.
//
// The walk keeps its own stack of levels instead of recursing, so depth is
// bounded by memory alone, and it keeps at most kMaxOpenLevels directories
// open: a deeper walk closes its oldest open ancestor and, on the way back
// up, reopens it through ".." and checks that it is still the same directory.
// Every directory below the top is opened and removed relative to its
// parent's handle; the path text serves the messages.

#include "sweep.h"

#include <cstring>

#include "directory_layer.h"

namespace {

constexpr int kMaxOpenLevels = 32;

struct Level {
  DirHandle handle;
  DirectoryId id;          // recorded when the handle is closed early
  std::size_t pathLength;  // this directory's path is path[0, pathLength)
  std::size_t namesBegin;  // its subdirectory names: names[namesBegin, namesEnd)
  std::size_t namesEnd;
  std::size_t nextName;
  int remains;
  bool unreadable;    // its entries could not all be read
  int scanError;
  bool outOfMemory;   // stands untouched, no decision is made for it
};

class Sweep {
 public:
  Sweep(RunState& state, DirectoryLayer& layer, std::FILE* out)
      : state_(state), layer_(layer), out_(out),
        separator_(platformConventions().separator) {}

  int run(const char* path);

 private:
  bool enter(std::size_t nameLength);
  void descend();
  int finish();
  bool reopenParent(Level& parent, Level& child);
  void closeOldestIfOverBudget();
  int abandon(Level& moved);
  void traceEntry();
  void traceReturn();
  void outOfMemory();
  const char* path() { return path_.data(); }
  const char* nameAt(std::size_t offset) { return path_.data() + offset; }

  RunState& state_;
  DirectoryLayer& layer_;
  std::FILE* out_;
  char separator_;
  Growable<char> path_;
  Growable<char> names_;
  Growable<Level> levels_;
  std::size_t oldestOpen_ = 0;  // levels [oldestOpen_, top] hold open handles
  int openCount_ = 0;
};

void Sweep::traceEntry() {
  int length = static_cast<int>(path_.size());
  if (state_.diagTrace) {
    std::fprintf(out_, "Scaning level:%d lengs:%d path:%s\n", state_.level,
                 length, path());
    if (state_.level > state_.maxLevel) state_.maxLevel = state_.level;
    if (length > state_.maxPathLength) state_.maxPathLength = length;
  } else if (state_.viewScan) {
    std::fprintf(out_, "Scaning %s\n", path());
  }
}

void Sweep::traceReturn() {
  if (state_.diagTrace) std::fprintf(out_, "Return from %d\n", state_.level);
}

void Sweep::outOfMemory() {
  std::fprintf(out_, "Not enough memory to allocate FindFile buffer\n");
  state_.failureCount++;
}

// Pushes the level for the directory whose path now stands in path_, opens
// and lists it. `nameLength` is 0 for the top, whose name is the whole path.
bool Sweep::enter(std::size_t nameLength) {
  bool top = levels_.size() == 0;
  Level level{};
  level.handle = kNoHandle;
  level.pathLength = path_.size();
  level.namesBegin = level.namesEnd = level.nextName = names_.size();
  if (!levels_.push(level)) return false;
  Level& self = levels_.back();
  state_.level++;
  traceEntry();

  if (top) {
    self.handle = layer_.openTop(path());
  } else {
    Level& parent = levels_[levels_.size() - 2];
    self.handle = layer_.openChild(parent.handle,
                                   nameAt(self.pathLength - nameLength),
                                   path());
  }
  if (self.handle == kNoHandle) {
    self.unreadable = true;
    self.scanError = layer_.lastError();
    return true;
  }
  openCount_++;

  Listing listing{names_};
  switch (layer_.list(self.handle, path(), listing)) {
    case ListStatus::complete:
      break;
    case ListStatus::unreadable:
      self.unreadable = true;
      self.scanError = layer_.lastError();
      break;
    case ListStatus::noMemory:
      outOfMemory();
      self.outOfMemory = true;
      names_.truncate(self.namesBegin);
      break;
  }
  self.namesEnd = names_.size();
  self.remains = (listing.holdsOther || self.outOfMemory) ? 1 : 0;
  closeOldestIfOverBudget();
  return true;
}

void Sweep::closeOldestIfOverBudget() {
  if (openCount_ <= kMaxOpenLevels) return;
  Level& oldest = levels_[oldestOpen_];
  if (!layer_.identify(oldest.handle, oldest.id)) oldest.id = DirectoryId{~0ull, ~0ull};
  layer_.close(oldest.handle);
  oldest.handle = kNoHandle;
  openCount_--;
  oldestOpen_++;
}

// Steps into the next subdirectory of the deepest level.
void Sweep::descend() {
  Level& self = levels_.back();
  const char* name = names_.data() + self.nextName;
  std::size_t nameLength = std::strlen(name);
  self.nextName += nameLength + 1;
  path_.truncate(self.pathLength);
  if (!path_.push(separator_) || !path_.append(name, nameLength) ||
      !enter(nameLength)) {
    path_.truncate(self.pathLength);
    outOfMemory();
    self.remains = 1;
  }
}

bool Sweep::reopenParent(Level& parent, Level& child) {
  char saved = path_[parent.pathLength];
  path_[parent.pathLength] = '\0';
  DirHandle handle = layer_.openParent(child.handle, path());
  path_[parent.pathLength] = saved;
  DirectoryId id;
  if (handle != kNoHandle && layer_.identify(handle, id) && id == parent.id) {
    parent.handle = handle;
    openCount_++;
    oldestOpen_--;
    return true;
  }
  if (handle != kNoHandle) layer_.close(handle);
  return false;
}

// Makes the decision for the deepest level and pops it. Returns its remains,
// or -1 when the tree was moved under the sweep and this path's run must stop.
int Sweep::finish() {
  std::size_t depth = levels_.size();
  Level& self = levels_.back();
  Level* parent = depth > 1 ? &levels_[depth - 2] : nullptr;

  if (parent && parent->handle == kNoHandle && self.handle != kNoHandle &&
      !reopenParent(*parent, self)) {
    return -1;
  }
  if (self.handle != kNoHandle) {
    layer_.close(self.handle);
    self.handle = kNoHandle;
    openCount_--;
  }

  if (!self.outOfMemory) {
    if (state_.listOnly) {
      if (self.unreadable) {
        std::fprintf(out_, "Can't scan [%d] %s\n", self.scanError, path());
        state_.errorCount++;
        state_.failureCount++;
        self.remains = 1;
      } else if (self.remains == 0) {
        std::fprintf(out_, "Found empty %s\n", path());
        self.remains = 1;
      }
    } else if (self.remains == 0) {
      bool removed =
          parent ? layer_.removeChild(parent->handle,
                                      nameAt(parent->pathLength + 1), path())
                 : layer_.removeTop(path());
      if (removed) {
        std::fprintf(out_, "Removed %s\n", path());
      } else {
        std::fprintf(out_, "Can't remove [%d] %s\n", layer_.lastError(),
                     path());
        state_.errorCount++;
        state_.failureCount++;
        self.remains = 1;
      }
    }
  }

  traceReturn();
  state_.level--;
  names_.truncate(self.namesBegin);
  int remains = self.remains;
  levels_.truncate(depth - 1);
  if (oldestOpen_ > depth - 1) oldestOpen_ = depth - 1;
  if (parent) {
    if (remains == 1) parent->remains = 1;
    path_.truncate(parent->pathLength);
  }
  return remains;
}

// The parent of the deepest level is no longer where the sweep left it:
// everything still on the stack stands, and the sweep of this path ends.
int Sweep::abandon(Level& moved) {
  path_.truncate(moved.pathLength);
  std::fprintf(out_, "Can't return to %s: moved during the sweep\n", path());
  state_.errorCount++;
  state_.failureCount++;
  while (levels_.size() > 0) {
    Level& level = levels_.back();
    if (level.handle != kNoHandle) layer_.close(level.handle);
    traceReturn();
    state_.level--;
    levels_.truncate(levels_.size() - 1);
  }
  return 1;
}

int Sweep::run(const char* top) {
  if (!path_.append(top, std::strlen(top)) || !enter(0)) {
    outOfMemory();
    return 1;
  }
  for (;;) {
    Level& self = levels_.back();
    if (self.nextName < self.namesEnd) {
      descend();
      continue;
    }
    int remains = finish();
    if (remains < 0) return abandon(levels_[levels_.size() - 2]);
    if (levels_.size() == 0) return remains;
  }
}

}  // namespace

int sweepDirectory(RunState& state, DirectoryLayer& layer, std::FILE* out,
                   const char* path) {
  Sweep sweep(state, layer, out);
  return sweep.run(path);
}
