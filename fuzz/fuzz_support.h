// What the fuzz targets share: a scratch folder of their own, whole-file writes,
// and the check that aborts (so libFuzzer keeps the input) when a property fails.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A folder for this process, removed at exit; on tmpfs when there is one,
// since the code under test flushes every file it writes.
const std::string& ScratchFolder();

// Replaces `path` by `size` bytes at `offset`; the bytes before are a hole.
void WriteFileAt(const std::string& path, off_t offset, const uint8_t* data, size_t size);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
void RemoveTree(const std::string& path);
void MakeFolder(const std::string& path);
std::vector<std::string> FolderNames(const std::string& path);  // sorted, without . and ..

// UTF-8 path to the UTF-16 the updater's interfaces take.
std::u16string Wide(const std::string& utf8);

[[noreturn]] void Fail(const char* file, int line, const char* what);
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) Fail(__FILE__, __LINE__, #condition); \
  } while (0)

// A buffer of exactly `count` units (so that ASan sees any write past it),
// filled with a sentinel so that tests can tell whether it was touched.
template <typename Unit>
class ExactBuffer {
 public:
  explicit ExactBuffer(size_t count) : count_(count), data_(new Unit[count ? count : 1]) {
    for (size_t i = 0; i < count_; ++i) data_[i] = Sentinel;
  }
  ~ExactBuffer() { delete[] data_; }
  ExactBuffer(const ExactBuffer&) = delete;
  ExactBuffer& operator=(const ExactBuffer&) = delete;

  Unit* get() { return data_; }
  size_t size() const { return count_; }
  bool Untouched() const {
    for (size_t i = 0; i < count_; ++i)
      if (data_[i] != Sentinel) return false;
    return true;
  }
  // The text written into it, or false when it holds no terminator.
  bool Text(std::basic_string<Unit>* text) const {
    for (size_t i = 0; i < count_; ++i) {
      if (data_[i] == 0) {
        text->assign(data_, i);
        return true;
      }
    }
    return false;
  }

 private:
  static constexpr Unit Sentinel = static_cast<Unit>(0x5A);
  size_t count_;
  Unit* data_;
};
