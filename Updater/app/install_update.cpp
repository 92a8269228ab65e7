#include "app/install_update.h"

#include "app/app_state.h"
#include "app/messages.h"
#include "app/progress.h"
#include "install/install.h"
#include "payload/own_executable.h"
#include "text/path_buffer.h"

InstallResult InstallUpdate(const char16_t* folder) {
  PathBuffer<> payload;
  // No path (or one cut to fit) reads as a payload that cannot be opened.
  if (!GetOwnExecutablePath(payload.data(), payload.capacity())) payload.data()[0] = 0;
  return InstallUpdateFrom(folder, {payload.c_str(), CurrentProgressControls(), PollMessages, &CancelRequested,
                                    &AbortRequested, GetMessageText(MessageInstallingFormat)});
}
