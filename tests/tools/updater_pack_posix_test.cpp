// The packing tool as a vendor runs it: build, then list.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>

#include "install/checksum.h"
#include "lists/version_list.h"
#include "payload/file.h"
#include "payload/payload.h"
#include "support/refused_names.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status;
  std::string out;
};

ToolRun RunTool(const std::string& arguments) {
  std::string command = std::string(UPDATER_PACK_PATH) + " " + arguments + " 2>&1";
  ToolRun run{-1, ""};
  std::FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A game update like the shipped one: four archives, two of them in a subfolder.
void MakeGameFiles(const TempFolder& folder) {
  fs::create_directories(folder.File("from/data"));
  WriteBytes(folder.File("stub"), "MZ stub");
  WriteBytes(folder.File("from/Game.dat"), std::string(3 << 20, 'g') + "tail");  // several 1 MiB blocks
  WriteBytes(folder.File("from/sound.dat"), "sound");
  WriteBytes(folder.File("from/data/Map.dat"), "map");
  WriteBytes(folder.File("from/data/empty.dat"), "");
}

std::string BuildArgs(const TempFolder& folder, const std::string& extra = "") {
  return "build --stub " + folder.File("stub") + " --from " + folder.File("from") +
         " --title 'Lumen Updater ver 1.01' --out " + folder.File("out.exe") + " " + extra;
}

TEST(UpdaterPack, BuildsWhatListReadsInEveryLayoutAndFormat) {
  TempFolder folder;
  MakeGameFiles(folder);
  for (const char* options : {"", "--layout packfile", "--list-format 1", "--layout packfile --list-format 1"}) {
    SCOPED_TRACE(options);
    ASSERT_EQ(RunTool(BuildArgs(folder, options)).status, 0);
    ToolRun list = RunTool("list " + folder.File("out.exe"));
    EXPECT_EQ(list.status, 0) << list.out;
    EXPECT_NE(list.out.find("title: Lumen Updater ver 1.01\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("row: data\\Map.dat "), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("MISMATCH"), std::string::npos) << list.out;
  }
}

TEST(UpdaterPack, PayloadHasTheShippedShape) {
  TempFolder folder;
  MakeGameFiles(folder);
  ASSERT_EQ(RunTool(BuildArgs(folder)).status, 0);
  std::string bytes = ReadBytes(folder.File("out.exe"));
  EXPECT_EQ(bytes.substr(0, 7), "MZ stub");
  EXPECT_EQ(bytes.substr(7, PayloadHeaderOffset - 7), std::string(PayloadHeaderOffset - 7, '\0'));

  CFileDX file;
  ASSERT_EQ(file.OpenRead(folder.Wide("out.exe").c_str()), 1);
  file.Seek(ArchiveOffset, 0);
  ArchiveHeader header;
  std::vector<ArchiveEntry> entries;
  ASSERT_EQ(ReadArchiveIndex(&header, &entries, &file), 1);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, "VLK.hvl");
  EXPECT_EQ(entries[0].size, 1040u);
  EXPECT_EQ(ArchiveOffset + entries[4].position + entries[4].size, bytes.size());

  file.Seek(ArchiveOffset + static_cast<uint32_t>(entries[0].position), 0);
  VersionList list;
  ASSERT_TRUE(ReadVersionList(&file, &list));
  ASSERT_EQ(list.entries.size(), 4u);
  EXPECT_EQ(list.entries[0].name, "Game.dat");
  EXPECT_EQ(list.entries[1].name, "data\\Map.dat");
  EXPECT_EQ(list.entries[2].name, "data\\empty.dat");
  // Each row's checksum is that of the entry's bytes, fed in 1 MiB blocks.
  for (size_t i = 1; i < entries.size(); ++i) {
    int row = FindVersionEntryForFile(list, entries[i].name.c_str());
    ASSERT_GE(row, 0) << entries[i].name;
    ContentChecksum sum{};
    std::string content = bytes.substr(ArchiveOffset + entries[i].position, entries[i].size);
    for (size_t at = 0; at < content.size(); at += 1 << 20)
      UpdateContentChecksum(&sum, content.data() + at, static_cast<uint32_t>(std::min<size_t>(1 << 20, content.size() - at)));
    EXPECT_EQ(list.entries[row].checksum[0], ChecksumWord0(sum));
    EXPECT_EQ(list.entries[row].checksum[1], ChecksumWord1(sum));
  }
}

TEST(UpdaterPack, TitleEncodings) {
  TempFolder folder;
  MakeGameFiles(folder);
  std::string title = "\xe3\x80\x8c\xe3\x83\xab\xe3\x80\x8d Updater";  // 「ル」 Updater
  std::string args = "build --stub " + folder.File("stub") + " --from " + folder.File("from") + " --title '" + title +
                     "' --out " + folder.File("out.exe");
  ASSERT_EQ(RunTool(args).status, 0);
  EXPECT_EQ(ReadBytes(folder.File("out.exe")).substr(PayloadHeaderOffset, 14), "\x81\x75\x83\x8b\x81\x76 Updater");
  ASSERT_EQ(RunTool(args + " --title-encoding utf8").status, 0);
  EXPECT_EQ(ReadBytes(folder.File("out.exe")).substr(PayloadHeaderOffset, title.size() + 1), title + '\0');
  EXPECT_NE(RunTool("list " + folder.File("out.exe")).out.find("title: " + title), std::string::npos);
}

TEST(UpdaterPack, HandMadePayloadListsTheSame) {
  TempFolder folder;
  // A payload laid out byte by byte: PackFile layout, list format 1, one file.
  std::string list = std::string("VHV_____") + std::string(4, '\0') + std::string("\x01\0\0\0", 4);
  std::string row(64, '\0');
  row.replace(0, 5, "a.dat");
  ContentChecksum sum{};
  UpdateContentChecksum(&sum, "abc", 3);
  uint32_t words[2] = {ChecksumWord0(sum), ChecksumWord1(sum)};
  std::memcpy(&row[56], words, 8);
  list += row;
  auto index = [](const std::string& name, uint32_t offset, uint32_t size) {
    std::string e(32, '\0');
    e.replace(0, name.size(), name);
    std::memcpy(&e[16], &offset, 4);
    std::memcpy(&e[20], &size, 4);
    return e;
  };
  std::string bytes = std::string(PayloadHeaderOffset, '\0') + "hand made" + std::string(1024 - 9, '\0') +
                      "PackFile    " + std::string("\x02\0\0\0", 4) + index("VLK.hvl", 0, 80) +
                      index("a.dat", 80, 3) + list + "abc";
  WriteBytes(folder.File("hand.exe"), bytes);
  ToolRun run = RunTool("list " + folder.File("hand.exe"));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("layout: packfile, 2 entries"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("entry: a.dat position 160 size 3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("row: a.dat 0050B406 6026CC12 ok"), std::string::npos) << run.out;

  bytes[bytes.size() - 1] = 'C';  // one byte of content changed
  WriteBytes(folder.File("hand.exe"), bytes);
  run = RunTool("list " + folder.File("hand.exe"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("MISMATCH"), std::string::npos);
}

TEST(UpdaterPack, BadInputIsRefusedWithOneLineAndNoOutput) {
  struct Case {
    const char* what;
    std::function<std::string(TempFolder&)> prepare;  // returns extra arguments
  };
  std::vector<Case> cases = {
      {"stub too large", [](TempFolder& f) { WriteBytes(f.File("stub"), std::string(PayloadHeaderOffset, 'x')); return ""; }},
      {"same bare name", [](TempFolder& f) { WriteBytes(f.File("from/data/GAME.DAT"), "dup"); return ""; }},
      {"name too long", [](TempFolder& f) { WriteBytes(f.File("from/" + std::string(96, 'n')), "x"); return ""; }},
      {"name too long for packfile", [](TempFolder& f) { WriteBytes(f.File("from/sixteen_chars.xy"), "x"); return "--layout packfile"; }},
      {"path too long for format 1",
       [](TempFolder& f) {
         fs::create_directories(f.File("from/" + std::string(50, 'd')));
         WriteBytes(f.File("from/" + std::string(50, 'd') + "/f.dat"), "x");
         return "--list-format 1";
       }},
      {"no Shift-JIS form", [](TempFolder& f) { WriteBytes(f.File("from/\xf0\x9f\x98\x80.dat"), "x"); return ""; }},
      {"reserved name", [](TempFolder& f) { WriteBytes(f.File("from/data/VLK.HVL"), "x"); return ""; }},
      {"too many files",
       [](TempFolder& f) {
         for (int i = 0; i < 252; ++i) WriteBytes(f.File("from/f" + std::to_string(i)), "");
         return "";
       }},
      {"empty folder",
       [](TempFolder& f) {
         fs::remove_all(f.File("from"));
         fs::create_directories(f.File("from"));
         return "";
       }},
      {"missing folder", [](TempFolder& f) { fs::remove_all(f.File("from")); return ""; }},
      {"title too long", [](TempFolder&) { return "--title " + std::string(1024, 't'); }},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    MakeGameFiles(folder);
    std::string extra = c.prepare(folder);
    ToolRun run = RunTool(BuildArgs(folder, extra));
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_EQ(run.out.rfind("updater-pack: ", 0), 0u) << run.out;
    EXPECT_FALSE(FileExists(folder.File("out.exe")));
    for (auto& entry : fs::directory_iterator(folder.path()))
      EXPECT_EQ(entry.path().filename().string().find("out.exe"), std::string::npos);
  }
}

// What packs must install: the tool refuses every set of names the updater
// refuses, and `list` says that a payload made without that check cannot install.
TEST(UpdaterPack, RefusesWhatTheUpdaterRefuses) {
  for (const RefusedNames& set : RefusedNameTable()) {
    SCOPED_TRACE(set.names[0]);
    TempFolder folder;
    std::vector<UpdateFile> files;
    for (const std::string& name : set.names) files.push_back({name, "content of " + name});
    if (set.canBeFiles) {
      WriteBytes(folder.File("stub"), "MZ stub");
      for (const std::string& name : set.names) {
        std::string relative = name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        fs::create_directories(fs::path(folder.File("from/" + relative)).parent_path());
        WriteBytes(folder.File("from/" + relative), "content");
      }
      ToolRun run = RunTool(BuildArgs(folder));
      EXPECT_EQ(run.status, 2) << run.out;
      EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
      EXPECT_NE(run.out.find(set.reason), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(folder.File("from/")), std::string::npos) << run.out;
      EXPECT_FALSE(FileExists(folder.File("out.exe")));
    }
    ToolRun list = RunTool("list " + MakeUpdatePayload(folder.File("old.exe"), files));
    EXPECT_EQ(list.status, 1) << list.out;
    EXPECT_NE(list.out.find("cannot install: "), std::string::npos) << list.out;
  }
}

TEST(UpdaterPack, VersionsPrintsAGameVersionList) {
  TempFolder folder;
  WriteBytes(folder.File("vlk.hvl"), VersionListBytes({{"data\\a.pak", "abc"}}));
  ToolRun run = RunTool("versions " + folder.File("vlk.hvl"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "version list: format 2, 1 rows\nrow: data\\a.pak 0050B406 6026CC12\n");
  WriteBytes(folder.File("bad.hvl"), "VHV_V2__");
  EXPECT_EQ(RunTool("versions " + folder.File("bad.hvl")).status, 2);
}

TEST(UpdaterPack, ListRefusesWhatIsNotAPayload) {
  TempFolder folder;
  WriteBytes(folder.File("plain"), "not a packed updater");
  EXPECT_EQ(RunTool("list " + folder.File("plain")).status, 2);
  EXPECT_EQ(RunTool("list " + folder.File("missing")).status, 2);
}

}  // namespace
