// The Windows program's run log: rewritten in %TEMP% with each run, UTF-8
// with a byte order mark, one line for each fact support asks for.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/install_update.h"
#include "payload/file.h"
#include "text/path_buffer.h"

namespace {

TEST(InstallLog, IsRewrittenInTempWithEachRun) {
  PathBuffer<> path;
  GetTempPathW(static_cast<DWORD>(path.capacity()), reinterpret_cast<wchar_t*>(path.data()));
  ASSERT_TRUE(path.Append(u"ルーメン・トレイル updater.log"));
  CFileDX old;
  ASSERT_EQ(old.OpenWrite(path.c_str(), OpenWriteTruncate), 1);
  ASSERT_EQ(old.Write(std::string(5000, 'x').data(), 5000), 5000u);  // a longer log of an earlier run
  old.Close();

  InstallRun run;
  run.started = "2026-12-07 10:00:00";
  run.folder = u"C:\\Games\\ルーメン";
  run.report.staged = {u"Game.pak", u"data\\map.pak"};
  run.result = InstallWriteFailed;
  run.report.failedStep = InstallStep::Move;
  run.report.failedName = u"data\\map.pak";
  run.report.systemError = ERROR_ACCESS_DENIED;
  RecordInstallRun(run);

  CFileDX log;
  ASSERT_EQ(log.OpenRead(path.c_str()), 1);
  std::string text(log.GetSize(), '\0');
  ASSERT_EQ(log.Read(text.data(), static_cast<uint32_t>(text.size())), text.size());
  const std::string start = "\xEF\xBB\xBFstarted: 2026-12-07 10:00:00\r\nfolder: C:\\Games\\\xE3\x83\xAB\xE3\x83\xBC\xE3\x83\xA1\xE3\x83\xB3\r\n"
                            "staged: Game.pak\r\nstaged: data\\map.pak\r\nresult: 0x80000004\r\n"
                            "cause: data\\map.pak: move into place failed: ";
  EXPECT_EQ(text.substr(0, start.size()), start);
  EXPECT_EQ(text.substr(text.size() - 6), " (5)\r\n") << text;
}

}  // namespace
