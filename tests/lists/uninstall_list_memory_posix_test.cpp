// A list too large for the memory the process may take is left as it is and
// reported as not updated, instead of ending the program. Run in a child
// whose address space is limited; skipped where that limit cannot be set
// (AddressSanitizer reserves terabytes; qemu's own mappings count against it).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "lists/uninstall_list.h"
#include "support/test_files.h"

namespace {

size_t MappedBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  statm >> pages;
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

TEST(UninstallListMemory, ListTooLargeForMemoryStaysAndFails) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address space cannot be limited under AddressSanitizer";
#endif
  if (sizeof(void*) < 8) GTEST_SKIP() << "the address space of emulated 32-bit code cannot be limited";
  TempFolder folder;
  // 3 million short unique lines: 27 MB on the disk, several times that held.
  std::string list;
  list.reserve(30u << 20);
  for (int i = 0; i < 3000000; ++i) list += "f" + std::to_string(10000000 + i) + "\n";
  WriteBytes(folder.File("uninst.lst"), list);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    size_t limit = MappedBytes() + (96u << 20);
    rlimit rl = {limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(3);
    std::u16string name = u"new.dat";
    try {
      _exit(UpdateUninstallList(folder.Wide().c_str(), &name, 1) ? 1 : 0);
    } catch (...) {
      _exit(2);
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: updated within the limit; 2: it threw; 3: no limit set";
  EXPECT_EQ(ReadBytes(folder.File("uninst.lst")), list);
  EXPECT_FALSE(FileExists(folder.File("uninst.lst.upd-new")));
}

}  // namespace
