// An in-memory directory layer for the sweep's unit tests, with hooks for
// what real trees can't be made to do on demand: run out of memory, break a
// listing off, refuse a removal, swap a directory for a link between the
// listing and the open, or move a directory while the sweep is below it.
#pragma once

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "directory_layer.h"

class FakeDirectoryLayer final : public DirectoryLayer {
 public:
  // "a/b/" is a directory, "a/f" anything else; parents are made as needed.
  void add(const std::string& entry) {
    bool dir = entry.back() == '/';
    std::string path = dir ? entry.substr(0, entry.size() - 1) : entry;
    for (std::size_t at = path.find('/'); at != std::string::npos;
         at = path.find('/', at + 1)) {
      place(path.substr(0, at), true);
    }
    place(path, dir);
  }

  // What is left, in the notation of add(), sorted.
  std::vector<std::string> left() const {
    std::vector<std::string> out;
    for (const auto& [path, node] : nodes_) {
      if (path.empty()) continue;
      out.push_back(node.dir ? path + "/" : path);
    }
    return out;
  }

  std::set<std::string> noMemoryListing;        // list() reports no memory
  std::map<std::string, std::size_t> breakAfter;  // list() fails after N entries
  std::map<std::string, int> refuseRemoval;     // remove fails with this errno
  std::set<std::string> swapForLinkBeforeOpen;  // a link by the time it is opened
  std::set<std::string> movedOnReopen;          // ".." leads elsewhere
  std::vector<std::string> opened;              // every directory opened
  int open = 0;
  int maxOpen = 0;

  DirHandle openTop(const char* path) override { return openPath(path); }

  DirHandle openChild(DirHandle parent, const char* name, const char* path) override {
    std::string child = handles_.at(parent) + "/" + name;
    if (child != path) return fail(EFAULT);  // the sweep lost track of its path
    if (swapForLinkBeforeOpen.count(child)) {
      nodes_[child].dir = false;
      return fail(ELOOP);
    }
    return openPath(child);
  }

  DirHandle openParent(DirHandle child, const char* parentPath) override {
    const std::string& path = handles_.at(child);
    std::string parent = path.substr(0, path.rfind('/'));
    if (parent != parentPath) return fail(EFAULT);
    DirHandle handle = openPath(parent);
    if (handle != kNoHandle && movedOnReopen.count(parent)) moved_.insert(handle);
    return handle;
  }

  bool identify(DirHandle dir, DirectoryId& id) override {
    const std::string& path = handles_.at(dir);
    id = DirectoryId{1, std::hash<std::string>{}(path) + (moved_.count(dir) ? 1 : 0)};
    return true;
  }

  ListStatus list(DirHandle dir, const char*, Listing& listing) override {
    const std::string& path = handles_.at(dir);
    if (noMemoryListing.count(path)) return ListStatus::noMemory;
    auto limit = breakAfter.find(path);
    std::size_t seen = 0;
    for (const std::string& name : nodes_.at(path).children) {
      if (limit != breakAfter.end() && seen++ == limit->second) {
        error_ = EIO;
        return ListStatus::unreadable;
      }
      if (nodes_.at(path + "/" + name).dir) {
        listing.subdirectories.append(name.c_str(), name.size() + 1);
      } else {
        listing.holdsOther = true;
      }
    }
    return ListStatus::complete;
  }

  void close(DirHandle dir) override {
    handles_.erase(dir);
    moved_.erase(dir);
    open--;
  }

  bool removeTop(const char* path) override { return remove(path); }

  bool removeChild(DirHandle parent, const char* name, const char* path) override {
    std::string child = handles_.at(parent) + "/" + name;
    if (child != path) return refuse(EFAULT);
    return remove(child);
  }

  int lastError() const override { return error_; }
  bool namesRoot(const char*) override { return false; }

 private:
  struct Node {
    bool dir = false;
    std::vector<std::string> children;  // in listing order
  };

  void place(const std::string& path, bool dir) {
    if (nodes_.count(path)) return;
    nodes_[path].dir = dir;
    std::size_t slash = path.rfind('/');
    std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    nodes_[parent].dir = true;
    nodes_[parent].children.push_back(name);
  }

  DirHandle openPath(const std::string& path) {
    auto found = nodes_.find(path);
    if (found == nodes_.end()) return fail(ENOENT);
    if (!found->second.dir) return fail(ENOTDIR);
    DirHandle handle = next_++;
    handles_[handle] = path;
    opened.push_back(path);
    if (++open > maxOpen) maxOpen = open;
    return handle;
  }

  bool remove(const std::string& path) {
    auto refused = refuseRemoval.find(path);
    if (refused != refuseRemoval.end()) return refuse(refused->second);
    auto found = nodes_.find(path);
    if (found == nodes_.end()) return refuse(ENOENT);
    if (!found->second.dir) return refuse(ENOTDIR);
    if (!found->second.children.empty()) return refuse(ENOTEMPTY);
    nodes_.erase(found);
    std::size_t slash = path.rfind('/');
    std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
    auto& siblings = nodes_[parent].children;
    std::erase(siblings, slash == std::string::npos ? path : path.substr(slash + 1));
    return true;
  }

  DirHandle fail(int error) {
    error_ = error;
    return kNoHandle;
  }

  bool refuse(int error) {
    error_ = error;
    return false;
  }

  std::map<std::string, Node> nodes_;
  std::map<DirHandle, std::string> handles_;
  std::set<DirHandle> moved_;
  DirHandle next_ = 3;
  int error_ = 0;
};
