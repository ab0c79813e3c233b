// The sweep over a fake directory layer: failures that real trees can't be
// made to show on demand, and the bookkeeping of very deep walks.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fake_directory_layer.h"
#include "sweep.h"

namespace {

using Tree = std::vector<std::string>;

struct Outcome {
  int remains;
  std::string output;
};

Outcome sweep(RunState& state, FakeDirectoryLayer& layer, const char* path) {
  std::FILE* out = std::tmpfile();
  int remains = sweepDirectory(state, layer, out, path);
  std::string text;
  std::rewind(out);
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  return {remains, text};
}

FakeDirectoryLayer layerWith(const Tree& tree) {
  FakeDirectoryLayer layer;
  for (const auto& entry : tree) layer.add(entry);
  return layer;
}

// A chain d/d/d/... `depth` directories deep; returns its deepest path.
std::string addChain(FakeDirectoryLayer& layer, int depth) {
  std::string path = "d";
  for (int i = 1; i < depth; i++) path += "/d";
  layer.add(path + "/");
  return path;
}

TEST(Sweep, RemovesBottomUpAndKeepsWhatHoldsAFile) {
  auto layer = layerWith({"T/a/b/", "T/c/f", "T/e/"});
  RunState state;
  Outcome got = sweep(state, layer, "T");
  EXPECT_EQ(got.output, "Removed T/a/b\nRemoved T/a\nRemoved T/e\n");
  EXPECT_EQ(got.remains, 1);
  EXPECT_EQ(layer.left(), (Tree{"T/", "T/c/", "T/c/f"}));
  EXPECT_EQ(state.level, 0);
  EXPECT_EQ(state.failureCount, 0);
}

TEST(Sweep, OutOfMemoryWhileListingKeepsThatDirectoryUnsearched) {
  for (int listOnly : {0, 1}) {
    auto layer = layerWith({"T/a/x/", "T/b/"});
    layer.noMemoryListing.insert("T/a");
    RunState state;
    state.listOnly = listOnly;
    Outcome got = sweep(state, layer, "T");
    EXPECT_EQ(got.output,
              std::string("Not enough memory to allocate FindFile buffer\n") +
                  (listOnly ? "Found empty T/b\n" : "Removed T/b\n"));
    EXPECT_EQ(got.remains, 1);
    EXPECT_EQ(layer.opened, (Tree{"T", "T/a", "T/b"}));  // T/a/x never opened
    EXPECT_EQ(state.errorCount, 0);
    EXPECT_EQ(state.failureCount, 1);
    EXPECT_EQ(state.level, 0);
  }
}

TEST(Sweep, OutOfMemoryAtTheTopStillTracesItsReturn) {
  auto layer = layerWith({"T/"});
  layer.noMemoryListing.insert("T");
  RunState state;
  state.diagTrace = 1;
  Outcome got = sweep(state, layer, "T");
  EXPECT_EQ(got.output,
            "Scaning level:1 lengs:1 path:T\n"
            "Not enough memory to allocate FindFile buffer\nReturn from 1\n");
  EXPECT_EQ(layer.left(), (Tree{"T/"}));
  EXPECT_EQ(state.level, 0);
}

// The entries read before the break are swept; the directory itself is not
// reported empty in list mode, and in removal mode the platform's refusal
// to remove a directory that still holds something is the last guard.
TEST(Sweep, ListingThatBreaksOff) {
  struct Case {
    int listOnly;
    const char* output;
    Tree left;
  } cases[] = {
      {1, "Found empty T/a\nCan't scan [5] T\n", {"T/", "T/a/", "T/z/", "T/z/f"}},
      {0, "Removed T/a\nCan't remove [39] T\n", {"T/", "T/z/", "T/z/f"}},
  };
  for (const Case& c : cases) {
    auto layer = layerWith({"T/a/", "T/z/f"});
    layer.breakAfter["T"] = 1;
    RunState state;
    state.listOnly = c.listOnly;
    Outcome got = sweep(state, layer, "T");
    EXPECT_EQ(got.output, c.output);
    EXPECT_EQ(got.remains, 1);
    EXPECT_EQ(layer.left(), c.left);
    EXPECT_EQ(state.errorCount, 1);
    EXPECT_EQ(state.failureCount, 1);
  }
}

TEST(Sweep, RefusedRemovalKeepsEveryAncestor) {
  auto layer = layerWith({"A/B/C/", "A/D/"});
  layer.refuseRemoval["A/B/C"] = EBUSY;
  RunState state;
  state.diagTrace = 1;
  Outcome got = sweep(state, layer, "A");
  EXPECT_EQ(got.output,
            "Scaning level:1 lengs:1 path:A\n"
            "Scaning level:2 lengs:3 path:A/B\n"
            "Scaning level:3 lengs:5 path:A/B/C\n"
            "Can't remove [16] A/B/C\nReturn from 3\nReturn from 2\n"
            "Scaning level:2 lengs:3 path:A/D\nRemoved A/D\nReturn from 2\n"
            "Return from 1\n");
  EXPECT_EQ(got.remains, 1);
  EXPECT_EQ(layer.left(), (Tree{"A/", "A/B/", "A/B/C/"}));
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_EQ(state.maxLevel, 3);
  EXPECT_EQ(state.maxPathLength, 5);
}

// A directory swapped for a link after the listing and before the open: the
// open refuses the link, so nothing it points to is touched, and the link
// itself is neither removed nor reported empty.
TEST(Sweep, DirectorySwappedForALinkBeforeItIsOpened) {
  struct Case {
    int listOnly;
    const char* output;
  } cases[] = {
      {0, "Can't remove [20] T/a\nRemoved T/b\n"},
      {1, "Can't scan [40] T/a\nFound empty T/b\n"},
  };
  for (const Case& c : cases) {
    auto layer = layerWith({"T/a/inner/", "T/b/"});
    layer.swapForLinkBeforeOpen.insert("T/a");
    RunState state;
    state.listOnly = c.listOnly;
    Outcome got = sweep(state, layer, "T");
    EXPECT_EQ(got.output, c.output);
    EXPECT_EQ(layer.opened, (Tree{"T", "T/b"}));
    EXPECT_EQ(state.failureCount, 1);
  }
}

TEST(Sweep, DeepChainKeepsFewDirectoriesOpen) {
  auto layer = FakeDirectoryLayer();
  std::string deepest = addChain(layer, 500);
  RunState state;
  Outcome got = sweep(state, layer, "d");
  std::string want;
  for (std::string path = deepest;; path.resize(path.size() - 2)) {
    want += "Removed " + path + "\n";
    if (path.size() == 1) break;
  }
  EXPECT_EQ(got.output, want);
  EXPECT_EQ(got.remains, 0);
  EXPECT_TRUE(layer.left().empty());
  EXPECT_LE(layer.maxOpen, 33);
  EXPECT_EQ(layer.open, 0);
}

// Siblings deep down are opened relative to ancestors that were closed and
// reopened through "..".
TEST(Sweep, DeepTreeWithSiblingsBelowClosedAncestors) {
  auto layer = FakeDirectoryLayer();
  std::string deep = addChain(layer, 80);
  layer.add(deep.substr(0, 2 * 40 - 1) + "/x/f");  // a file at level 41
  layer.add(deep.substr(0, 2 * 10 - 1) + "/y/");   // a sibling at level 11
  RunState state;
  state.listOnly = 1;
  Outcome got = sweep(state, layer, "d");
  EXPECT_EQ(got.output, "Found empty " + deep + "\nFound empty " +
                            deep.substr(0, 2 * 10 - 1) + "/y\n");
  EXPECT_LE(layer.maxOpen, 33);
  EXPECT_EQ(layer.open, 0);
  EXPECT_EQ(state.level, 0);
}

TEST(Sweep, TreeMovedWhileBelowAClosedAncestorStopsThatPath) {
  auto layer = FakeDirectoryLayer();
  std::string deepest = addChain(layer, 100);
  std::string moved = deepest.substr(0, 2 * 50 - 1);  // level 50
  layer.movedOnReopen.insert(moved);
  RunState state;
  Outcome got = sweep(state, layer, "d");
  // Levels 52 to 100 are removed; level 51 can't be removed without its
  // parent, which is no longer where it was.
  std::string want;
  for (std::string path = deepest; path.size() > moved.size() + 2;
       path.resize(path.size() - 2)) {
    want += "Removed " + path + "\n";
  }
  want += "Can't return to " + moved + ": moved during the sweep\n";
  EXPECT_EQ(got.output, want);
  EXPECT_EQ(got.remains, 1);
  EXPECT_EQ(layer.left().size(), 51u);
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_EQ(state.failureCount, 1);
  EXPECT_EQ(state.level, 0);
  EXPECT_EQ(layer.open, 0);
}

}  // namespace
