// The Windows search's entries, classified by attribute bits and name.

#include "found_entry.h"

#include <gtest/gtest.h>

namespace {

TEST(FoundEntry, OnlyPlainDirectoriesAreDescendedInto) {
  struct Case {
    unsigned long attributes;
    const char* name;
    FoundEntry want;
  } cases[] = {
      {0x10, "sub", FoundEntry::subdirectory},
      {0x12, "hidden dir", FoundEntry::subdirectory},
      {0x17, "system dir", FoundEntry::subdirectory},
      {0x10, ".", FoundEntry::self},
      {0x10, "..", FoundEntry::self},
      {0x10, "...", FoundEntry::subdirectory},
      {0x410, "junction", FoundEntry::other},
      {0x412, "hidden link", FoundEntry::other},
      {0x400, "file link", FoundEntry::other},
      {0x20, "archive", FoundEntry::other},
      {0x01, "read-only", FoundEntry::other},
      {0x06, "hidden system", FoundEntry::other},
      {0x00, "plain", FoundEntry::other},
      {0x20, ".", FoundEntry::other},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classifyFoundEntry(c.attributes, c.name), c.want)
        << std::hex << c.attributes << " " << c.name;
  }
}

}  // namespace
