#include "app/install_update.h"

#include "app/app_state.h"
#include "app/messages.h"
#include "app/progress.h"
#include "payload/own_executable.h"
#include "text/path_buffer.h"
#include "text/text.h"

InstallRun InstallUpdate(const char16_t* folder) {
  InstallRun run;
  run.started = LocalTimeText();
  run.folder = folder;
  PathBuffer<> payload;
  // No path (or one cut to fit) reads as a payload that cannot be opened.
  if (!GetOwnExecutablePath(payload.data(), payload.capacity())) payload.data()[0] = 0;
  run.result = InstallUpdateFrom(folder, {payload.c_str(), CurrentProgressControls(), PollMessages, &CancelRequested,
                                          &AbortRequested, GetMessageText(MessageInstallingFormat), &run.report});
  return run;
}

std::string DescribeFailure(const InstallRun& run) {
  const InstallReport& report = run.report;
  if (run.result == InstallSucceeded || run.result == InstallCancelled || run.result == InstallAborted ||
      report.failedStep == InstallStep::None)
    return "";
  std::string why = report.detail;
  if (report.systemError) why = SystemErrorText(report.systemError) + " (" + std::to_string(report.systemError) + ")";
  return WideToNarrow(report.failedName.c_str(), TargetUtf8) + ": " + DescribeInstallStep(report.failedStep) +
         " failed: " + why;
}

std::string RunLogText(const InstallRun& run) {
  std::string result = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) result += "0123456789ABCDEF"[(run.result >> shift) & 15];
  std::string text = "started: " + run.started + "\n" + "folder: " + WideToNarrow(run.folder.c_str(), TargetUtf8) + "\n";
  for (const std::u16string& name : run.report.staged) text += "staged: " + WideToNarrow(name.c_str(), TargetUtf8) + "\n";
  text += "result: " + result + "\n";
  std::string cause = DescribeFailure(run);
  if (!cause.empty()) text += "cause: " + cause + "\n";
  return text;
}
