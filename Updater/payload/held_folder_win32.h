// The Windows side of HoldFolder: each operation on a path below the held
// folder first opens every folder between them, refusing links, and keeps
// them open until it is done. They are opened without FILE_SHARE_DELETE, so
// that none can be renamed, removed or replaced by a link while it runs.
#pragma once

#include <windows.h>

#include <vector>

class HeldPath {
 public:
  explicit HeldPath(const char16_t* path);
  ~HeldPath();
  HeldPath(const HeldPath&) = delete;
  HeldPath& operator=(const HeldPath&) = delete;
  // False, with the last error set, when a folder on the way is a link or
  // cannot be opened.
  bool ok() const { return ok_; }

 private:
  std::vector<HANDLE> folders_;
  bool ok_ = true;
};
