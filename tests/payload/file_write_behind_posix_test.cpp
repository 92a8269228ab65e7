// WriteBehind hands the range just written to the disk at once, and drops
// pages that are long written from the cache, but nothing past the range.
// Read through cachestat (Linux 6.5); skipped where the kernel or the file
// system cannot tell (no cachestat, or no write-back as on tmpfs).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "payload/file.h"
#include "support/page_states_posix.h"
#include "support/test_files.h"

namespace {

constexpr uint32_t MiB = 1 << 20;

// A fresh staging file, one per attempt, holding `mibs` MiB; returns its path.
std::string WriteStagedFile(const TempFolder& folder, int attempt, int mibs, CFileDX* file) {
  std::string name = "staged" + std::to_string(attempt) + ".tmp";
  EXPECT_EQ(file->OpenWrite(folder.Wide(name).c_str(), OpenWriteCreateNew), 1);
  std::string block(MiB, 'x');
  for (int i = 0; i < mibs; ++i) EXPECT_EQ(file->Write(block.data(), MiB), MiB);
  return folder.File(name);
}

TEST(CFileDXWriteBehind, HandsTheRangeToTheDiskAndNothingAfterIt) {
  TempFolder folder;
  if (!PageStatesFollowWriteBack(folder.path())) GTEST_SKIP() << "write-back cannot be observed in " << folder.path();
  // A sync elsewhere on the machine cleans pages too; such a run proves
  // nothing and is repeated.
  for (int attempt = 0; attempt < 5; ++attempt) {
    CFileDX file;
    std::string path = WriteStagedFile(folder, attempt, 4, &file);
    PageStates before;
    ASSERT_TRUE(ReadPageStates(path, 0, 4 * MiB, &before));
    if (before.dirty == 0) continue;

    file.WriteBehind(MiB, 2 * MiB);

    PageStates range, after;
    ASSERT_TRUE(ReadPageStates(path, MiB, 2 * MiB, &range));
    ASSERT_TRUE(ReadPageStates(path, 3 * MiB, MiB, &after));
    EXPECT_EQ(range.dirty, 0u) << "the range given was not handed to the disk";
    if (after.dirty == before.dirty / 4) return;
  }
  ADD_FAILURE() << "pages after the range given were written in every attempt";
}

TEST(CFileDXWriteBehind, DropsLongWrittenPagesButNoneAfterTheRange) {
  TempFolder folder;
  if (!PageStatesFollowWriteBack(folder.path())) GTEST_SKIP() << "write-back cannot be observed in " << folder.path();
  // The kernel may evict clean pages by itself at any time; what is checked
  // is that the pages after the range stay as they were just before the
  // call, so a run that lost some of them on its own is repeated.
  for (int attempt = 0; attempt < 5; ++attempt) {
    CFileDX file;
    std::string path = WriteStagedFile(folder, attempt, 40, &file);
    ASSERT_EQ(file.Flush(), 1);  // every page clean, so any may be dropped
    PageStates laterBefore;
    ASSERT_TRUE(ReadPageStates(path, 33 * MiB, 7 * MiB, &laterBefore));

    file.WriteBehind(32 * MiB, MiB);

    PageStates old, later;
    ASSERT_TRUE(ReadPageStates(path, 0, 8 * MiB, &old));
    ASSERT_TRUE(ReadPageStates(path, 33 * MiB, 7 * MiB, &later));
    EXPECT_EQ(old.cached, 0u) << "pages written long before stay in the cache";
    if (later.cached == laterBefore.cached) return;
  }
  ADD_FAILURE() << "pages after the range given were dropped in every attempt";
}

}  // namespace
