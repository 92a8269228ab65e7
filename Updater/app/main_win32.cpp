// The Windows program. It runs elevated, often from a Downloads folder, so
// before anything else DLLs are only ever looked for in System32, nothing is
// looked for in the folder it was started from, and its own file is held for
// the payload's reads.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "app/flow.h"
#include "payload/own_executable.h"
#include "text/path_buffer.h"

// The runtime's default terminate handler demangles type names for a console
// this program does not have, and would pull some 50 KB into an image that must
// end before the payload at 0x70000.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The runtime's own versions of these build their exceptions' messages as
// strings of the library's old ABI, which pulls in a second std::string and
// std::random_device (some 80 KB). Running out of memory is still the
// std::bad_alloc that the lists' readers catch; the other faults are bugs that
// nothing catches, so they end the program as an uncaught exception would.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
}  // namespace std

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Resolved at run time: Windows 7 has it only with its 2011 loader update.
  using SetDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  auto setDirectories = reinterpret_cast<SetDirectoriesFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDirectories) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  else SetDllDirectoryW(L"");  // the current folder at least leaves the search; the program's own stays in it
  PathBuffer<> system;
  UINT length = GetSystemDirectoryW(reinterpret_cast<wchar_t*>(system.data()), system.capacity());
  if (length > 0 && length < system.capacity()) SetCurrentDirectoryW(reinterpret_cast<const wchar_t*>(system.c_str()));
  // A failure leaves nothing to read the payload through: the title cannot be read.
  HoldOwnExecutable();

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  return RunUpdater(showCommand);
}
