// The POSIX stand-ins: the language from the locale variables, and named
// mutexes as exclusive locks on files of the user's own, named after them.
// The game under Wine holds no such file, so its process counts as well.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
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
std::string OutcomeCause;

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

// The command line of a process, its arguments separated by NULs; empty when
// it cannot be read (gone, or a kernel thread).
std::string CommandLineOf(const std::string& pid) {
  std::ifstream file("/proc/" + pid + "/cmdline", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// A process named for the player: its id and its command, safe to write.
std::string ProcessText(const std::string& pid, std::string commandLine) {
  constexpr int CommandColumns = 200;
  while (!commandLine.empty() && commandLine.back() == '\0') commandLine.pop_back();
  std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
  std::string text = InUiLanguage("process ", "プロセス ") + pid;
  return commandLine.empty() ? text : text + ": " + FitToColumns(commandLine, CommandColumns);
}

// A process of this user that runs the game: Wine names a Windows program's
// process by its Windows path, the first field of its command line, so a
// program that only names the game in an argument (an editor, a grep) does
// not count. The game's name is matched as its last component ("\" or "/"
// separating), in any ASCII case. Empty when none runs.
std::string FindGameProcess() {
  std::u16string_view game = GameExecutableName;
  DIR* processes = opendir("/proc");
  if (!processes) return {};
  std::string found, self = std::to_string(getpid());
  while (const dirent* entry = readdir(processes)) {
    std::string pid = entry->d_name;
    struct stat owner;
    if (pid[0] < '1' || pid[0] > '9' || pid == self || stat(("/proc/" + pid).c_str(), &owner) != 0 ||
        owner.st_uid != geteuid())
      continue;
    std::string commandLine = CommandLineOf(pid);
    std::u16string program = NarrowToWide(commandLine.substr(0, commandLine.find('\0')).c_str());
    if (!program.empty() && EqualIgnoringAsciiCase(SplitComponents<char16_t>(program).back(), game)) {
      found = ProcessText(pid, commandLine);
      break;
    }
  }
  closedir(processes);
  return found;
}

// The process that holds a lock on the open file `fd`, from /proc/locks: empty
// when none can be found (gone, or in another PID namespace).
std::string LockHolder(int fd) {
  struct stat file;
  if (fstat(fd, &file) != 0) return {};
  // As the kernel writes it: major and minor device number in hex, then the inode.
  char id[64];
  if (std::snprintf(id, sizeof id, "%02x:%02x:%ju", major(file.st_dev), minor(file.st_dev),
                    static_cast<uintmax_t>(file.st_ino)) >= static_cast<int>(sizeof id))
    return {};
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, lockedFile;
    // "->" marks a process that waits for the lock, not one that holds it.
    if (!(fields >> number >> kind >> mode >> access >> pid >> lockedFile) || kind == "->" || lockedFile != id ||
        pid[0] < '1' || pid[0] > '9')
      continue;
    struct stat process;
    if (stat(("/proc/" + pid).c_str(), &process) == 0) return ProcessText(pid, CommandLineOf(pid));
  }
  return {};
}

std::string HeldBy(const std::string& path, const std::string& holder) {
  return holder.empty() ? "" : Printable(path) + InUiLanguage(" is held by ", " を使用中の") + holder;
}

// Opened as every existing file is: without waiting (a FIFO put at its name
// would hold the open up), never through a link at its name, and only a
// regular file. A file that cannot be written (left by sudo, say) is opened
// for reading, which flock takes as well. -1 after saying why.
int OpenLockFile(const std::string& path) {
  constexpr int Flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | Flags, 0644);
  int failure = errno;
  if (fd < 0 && failure == EACCES) fd = open(path.c_str(), O_RDONLY | Flags);
  struct stat file;
  bool found = fd >= 0 ? fstat(fd, &file) == 0 : lstat(path.c_str(), &file) == 0;
  if (found && !S_ISREG(file.st_mode)) {
    if (fd >= 0) close(fd);
    ReportLockProblem(InUiLanguage("the lock file ", "ロックファイル ") + Printable(path) +
                      InUiLanguage(" is not a regular file (it belongs to ", " は通常のファイルではありません (") +
                      UserName(file.st_uid) + InUiLanguage(")", " のもの)"));
    return -1;
  }
  if (fd < 0)
    ReportLockProblem(InUiLanguage("cannot open the lock file ", "ロックファイルを開けません: ") + Printable(path) +
                      ": " + std::strerror(failure));
  return fd;
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
  int fd = OpenLockFile(path);
  if (fd < 0) {
    *error = ErrorAccessDenied;  // counts as held, as on Windows
    return nullptr;
  }
  int failure = 0;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    std::string game = std::strcmp(name, GameMutexName) == 0 ? FindGameProcess() : "";
    if (!game.empty()) OutcomeCause = InUiLanguage("the game runs as ", "ゲームを実行中の") + game;
    *error = game.empty() ? 0 : ErrorAlreadyExists;
  } else if ((failure = errno) != EWOULDBLOCK) {
    ReportLockProblem(InUiLanguage("cannot lock ", "ロックできません: ") + Printable(path) + ": " +
                      std::strerror(failure));
    *error = ErrorAccessDenied;
  } else {
    struct stat owner;
    if (fstat(fd, &owner) == 0 && owner.st_uid != geteuid())
      ReportLockProblem(InUiLanguage("the lock file ", "ロックファイル ") + Printable(path) +
                        InUiLanguage(" belongs to ", " は ") + UserName(owner.st_uid) +
                        InUiLanguage(" and another process holds it", " のもので、別のプロセスが使用中です"));
    OutcomeCause = HeldBy(path, LockHolder(fd));
    *error = ErrorAlreadyExists;
  }
  // The descriptor stands for the handle; it stays open (and so locked) until closed.
  return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

void CloseNamedMutex(void* handle) {
  if (handle) close(static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1));
}

std::string FolderLockHolder(const char16_t* folder) {
  std::string path;
  if (!ResolveWindowsPath(folder, &path)) return {};
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  std::string holder = LockHolder(fd);
  close(fd);
  return HeldBy(WideToNarrow(folder, TargetUtf8), holder);
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
