// The POSIX stand-ins: the language from the locale variables, and named
// mutexes as exclusive locks on files of the user's own, named after them.
// The game under Wine holds no such file, so its process counts as well.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "app/flow.h"
#include "app/platform.h"
#include "app/terminal_posix.h"
#include "location/install_folder.h"
#include "location/registry_posix.h"
#include "payload/held_folder.h"
#include "payload/windows_path_posix.h"
#include "text/terminal_posix.h"
#include "text/text.h"

bool LockProblemReported = false;

namespace {

constexpr uint32_t ErrorAccessDenied = 5;

// In the user's runtime folder, or in /tmp with the user id in the name, so
// that a file left there by another user (root, say) is never this user's.
std::string LockPath(const char* name) {
  std::string plainName;
  for (const char* p = name; *p; ++p) {
    bool plain = (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9');
    plainName += plain ? *p : '_';
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/" + plainName + ".lock";
  return "/tmp/" + plainName + "." + std::to_string(geteuid()) + ".lock";
}

void ReportLockProblem(const std::string& problem) {
  WriteLocaleText(stderr, problem + "\n");
  LockProblemReported = true;
}

std::string UserName(uid_t uid) {
  const passwd* user = getpwuid(uid);
  return user ? user->pw_name : "uid " + std::to_string(uid);
}

// A process of this user whose command line names the game's executable in
// any argument, by its last component ("\" or "/" separating), in any ASCII case.
bool GameProcessRunning() {
  std::u16string_view game = GameExecutableName;
  DIR* processes = opendir("/proc");
  if (!processes) return false;
  bool found = false;
  std::string self = std::to_string(getpid());
  while (const dirent* entry = readdir(processes)) {
    std::string folder = std::string("/proc/") + entry->d_name;
    struct stat owner;
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9' || self == entry->d_name ||
        stat(folder.c_str(), &owner) != 0 || owner.st_uid != geteuid())
      continue;
    std::ifstream file(folder + "/cmdline", std::ios::binary);
    std::string commandLine((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (size_t start = 0; start < commandLine.size() && !found;) {
      size_t end = commandLine.find('\0', start);
      if (end == std::string::npos) end = commandLine.size();
      std::u16string argument = NarrowToWide(commandLine.substr(start, end - start).c_str());
      found = EqualIgnoringAsciiCase(SplitComponents<char16_t>(argument).back(), game);
      start = end + 1;
    }
    if (found) break;
  }
  closedir(processes);
  return found;
}

// The POSIX path that `folder` stands for, as it is on the disk (links
// resolved as far as it exists), or empty when the folder is spelt so already.
std::string PosixPathOf(const char16_t* folder) {
  std::string path, missing;
  if (!ResolveWindowsPath(folder, &path)) return {};
  for (size_t slash; (slash = path.find_last_of('/')) != std::string::npos && slash > 0;) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      path = std::strcmp(real, "/") == 0 ? "" : real;
      std::free(real);
      break;
    }
    missing = path.substr(slash) + missing;
    path.resize(slash);
  }
  path += missing;
  std::u16string spelt(WithoutTrailingSeparators<char16_t>(folder));
  return path == WideToNarrow(spelt.c_str(), TargetUtf8) ? "" : path;
}

bool HasDriveLetter(const char16_t* folder) {
  return ((folder[0] >= u'A' && folder[0] <= u'Z') || (folder[0] >= u'a' && folder[0] <= u'z')) && folder[1] == u':';
}

// The folder, then on a line of its own the POSIX path it stands for and, for
// a drive letter, the Wine prefix that maps it when `prefixSaid` is false.
std::string FolderLines(const char16_t* folder, bool prefixSaid) {
  std::string text = Printable(WideToNarrow(folder, TargetUtf8)) + "\n";
  std::string path = PosixPathOf(folder);
  if (path.empty()) return text;
  text += "  = " + Printable(path);
  if (HasDriveLetter(folder) && !prefixSaid)
    text += InUiLanguage(" (in the Wine prefix ", " (Wine プレフィックス ") + Printable(WinePrefixFolder()) + ")";
  return text + "\n";
}

}  // namespace

void StartPlatform() {}
void StopPlatform() {}

// Japanese only where the terminal's character set can show it; else the
// English texts, as programs translated with gettext do.
uint16_t GetUserUiLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value)
      return std::strncmp(value, "ja", 2) == 0 && LocaleCanShow("「アップデート」を行いますか？。") ? 0x0411 : 0x0409;
  }
  return 0x0409;
}

void* CreateNamedMutex(const char* name, uint32_t* error) {
  std::string path = LockPath(name);
  // Never through a link; a file that cannot be written is locked through a
  // reading descriptor, which flock takes as well.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  int failure = errno;
  if (fd < 0 && failure == EACCES) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    ReportLockProblem(InUiLanguage("cannot open the lock file ", "ロックファイルを開けません: ") + path + ": " +
                      std::strerror(failure));
    *error = ErrorAccessDenied;  // counts as held, as on Windows
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    *error = std::strcmp(name, GameMutexName) == 0 && GameProcessRunning() ? ErrorAlreadyExists : 0;
  } else if ((failure = errno) != EWOULDBLOCK) {
    ReportLockProblem(InUiLanguage("cannot lock ", "ロックできません: ") + path + ": " + std::strerror(failure));
    *error = ErrorAccessDenied;
  } else {
    struct stat owner;
    if (fstat(fd, &owner) == 0 && owner.st_uid != geteuid())
      ReportLockProblem(InUiLanguage("the lock file ", "ロックファイル ") + path +
                        InUiLanguage(" belongs to ", " は ") + UserName(owner.st_uid) +
                        InUiLanguage(" and another process holds it", " のもので、別のプロセスが使用中です"));
    *error = ErrorAlreadyExists;
  }
  // The descriptor stands for the handle; it stays open (and so locked) until closed.
  return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

void CloseNamedMutex(void* handle) {
  if (handle) close(static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1));
}

void SayGameFolder(const char16_t* folder) {
  WriteLocaleText(stderr, InUiLanguage("game folder: ", "ゲームフォルダ: ") + FolderLines(folder, false));
}

void SayWhereGameWasLookedFor(const char16_t* registered) {
  const char* variable = std::getenv("WINEPREFIX");
  std::string text =
      InUiLanguage("the game was looked for in the Wine prefix ", "ゲームを探した Wine プレフィックス: ") +
      Printable(WinePrefixFolder()) +
      (variable && *variable ? " (WINEPREFIX)\n" : InUiLanguage(" (WINEPREFIX is not set)\n", " (WINEPREFIX 未設定)\n"));
  const RegistryLookUp& lookUp = LastRegistryLookUp();
  if (!lookUp.read) {
    text += "  " + Printable(lookUp.file) + InUiLanguage(" cannot be read\n", " を読めません\n");
  } else {
    text += InUiLanguage("  registry key HKEY_LOCAL_MACHINE\\", "  レジストリキー HKEY_LOCAL_MACHINE\\") +
            Printable(WideToNarrow(lookUp.key.c_str(), TargetUtf8)) + InUiLanguage("\n  value ", "\n  値 ") +
            "InstalledFolder: ";
    if (!registered)
      text += InUiLanguage("no folder\n", "フォルダの指定なし\n");
    else
      text += FolderLines(registered, true) + "  " + WideToNarrow(GameExecutableName, TargetUtf8) +
              InUiLanguage(" is not in that folder\n", " がそのフォルダにありません\n");
  }
  WriteLocaleText(stderr, text);
}
