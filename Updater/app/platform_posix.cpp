// The POSIX stand-ins: the language from the locale variables, and named
// mutexes as exclusive locks on files named after them.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/platform.h"

void StartPlatform() {}
void StopPlatform() {}

uint16_t GetUserUiLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::strncmp(value, "ja", 2) == 0 ? 0x0411 : 0x0409;
  }
  return 0x0409;
}

void* CreateNamedMutex(const char* name, uint32_t* error) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string path = std::string(runtime && *runtime ? runtime : "/tmp") + "/";
  for (const char* p = name; *p; ++p) {
    bool plain = (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9');
    path += plain ? *p : '_';
  }
  path += ".lock";

  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    *error = 5;  // ERROR_ACCESS_DENIED: counts as held, as on Windows
    return nullptr;
  }
  *error = flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : ErrorAlreadyExists;
  // The descriptor stands for the handle; it stays open (and so locked) until closed.
  return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

void CloseNamedMutex(void* handle) {
  if (handle) close(static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1));
}
