// The packing tool as a vendor runs it: build, then list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <map>
#include <regex>

#include "install/checksum.h"
#include "install/install.h"
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

ToolRun RunCommand(const std::string& command) {
  ToolRun run{-1, ""};
  std::FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ToolRun RunTool(const std::string& arguments) {
  return RunCommand(std::string(UPDATER_PACK_PATH) + " " + arguments + " 2>&1");
}

// The headers of a Windows program, as far as the tool and a signing tool read
// them: by default a PE32 i386 GUI executable like the shipping updater.
struct PeFields {
  uint16_t machine = 0x14C;
  uint16_t characteristics = 0x0102;
  uint16_t subsystem = 2;
  uint32_t certificateSize = 0;
};

std::string WindowsProgram(const PeFields& fields = {}) {
  std::string image(0x400, '\0');
  auto put = [&](size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
  };
  const size_t pe = 0x40, optional = pe + 24, directories = optional + 96;
  image.replace(0, 2, "MZ");
  put(0x3C, pe, 4);
  image.replace(pe, 4, std::string("PE\0\0", 4));
  put(pe + 4, fields.machine, 2);
  put(pe + 20, 0xE0, 2);  // the optional header's size
  put(pe + 22, fields.characteristics, 2);
  put(optional, 0x10B, 2);
  put(optional + 68, fields.subsystem, 2);
  put(directories - 4, 16, 4);
  put(directories + 4 * 8, fields.certificateSize ? 0x400 : 0, 4);  // the certificate table
  put(directories + 4 * 8 + 4, fields.certificateSize, 4);
  return image + std::string(fields.certificateSize, '\0');
}

// A game update like the shipped one: four archives, two of them in a subfolder.
void MakeGameFiles(const TempFolder& folder) {
  fs::create_directories(folder.File("from/data"));
  WriteBytes(folder.File("stub"), WindowsProgram());
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
  for (const char* options : {"", "--layout=packfile", "--list-format 1", "--layout packfile --list-format=1"}) {
    SCOPED_TRACE(options);
    ToolRun build = RunTool(BuildArgs(folder, options));
    ASSERT_EQ(build.status, 0) << build.out;
    EXPECT_EQ(build.out, "");  // no progress on a pipe
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
  std::string stub = WindowsProgram();
  EXPECT_EQ(bytes.substr(0, stub.size()), stub);
  EXPECT_EQ(bytes.substr(stub.size(), PayloadHeaderOffset - stub.size()), std::string(PayloadHeaderOffset - stub.size(), '\0'));

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

// Every file below a folder with its kind, size and time, but no content:
// what a refused build must leave as it was.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> snapshot;
  for (auto& entry : fs::recursive_directory_iterator(folder)) {
    fs::file_status status = entry.symlink_status();
    std::string state = std::to_string(static_cast<int>(status.type()));
    if (fs::is_regular_file(status))
      state += " " + std::to_string(entry.file_size()) + " " + std::to_string(entry.last_write_time().time_since_epoch().count());
    snapshot[entry.path().string()] = state;
  }
  return snapshot;
}

// Each row: what is given (the whole command, laid out in a folder that holds
// an update, a stub and an earlier output), and the message, "{}" standing
// for the folder. Every one exits 2 with that one line and writes nothing.
TEST(UpdaterPack, BadInputIsRefusedWithOneLineAndNoOutput) {
  struct Case {
    const char* message;
    std::function<std::string(TempFolder&)> prepare;  // returns the arguments
  };
  auto withStub = [](const std::string& bytes) {
    return [bytes](TempFolder& f) { WriteBytes(f.File("stub"), bytes); return BuildArgs(f); };
  };
  std::vector<Case> cases = {
      {"{}/stub: the program image reaches 0x70000", withStub(std::string(PayloadHeaderOffset, 'x'))},
      {"{}/stub: not a program (neither a Windows PE image nor an ELF executable)", withStub("just text")},
      {"subsystem 3, not a GUI program", withStub(WindowsProgram({.subsystem = 3}))},
      {"a Windows image for machine 0x01C4; the updater is i386", withStub(WindowsProgram({.machine = 0x1C4}))},
      {"a DLL or object, not a program", withStub(WindowsProgram({.characteristics = 0x2102}))},
      {"signed already; pack the unsigned program", withStub(WindowsProgram({.certificateSize = 16}))},
      {"cannot read '{}/from': Is a directory", [](TempFolder& f) { return BuildArgs(f, "--stub " + f.File("from")); }},
      {"{}/packed.exe: a packed updater, which carries a payload already",
       [](TempFolder& f) {
         RunTool(BuildArgs(f, "--out " + f.File("packed.exe")));
         return BuildArgs(f, "--stub " + f.File("packed.exe"));
       }},
      {"{}/from/data/GAME.DAT: has the same name as {}/from/Game.dat",
       [](TempFolder& f) { WriteBytes(f.File("from/data/GAME.DAT"), "dup"); return BuildArgs(f); }},
      {"the name is longer than 95 bytes",
       [](TempFolder& f) { WriteBytes(f.File("from/" + std::string(96, 'n')), "x"); return BuildArgs(f); }},
      {"the name is longer than 15 bytes",
       [](TempFolder& f) { WriteBytes(f.File("from/sixteen_chars.xy"), "x"); return BuildArgs(f, "--layout packfile"); }},
      {"the path is longer than 55 bytes in Shift-JIS",
       [](TempFolder& f) {
         fs::create_directories(f.File("from/" + std::string(50, 'd')));
         WriteBytes(f.File("from/" + std::string(50, 'd') + "/f.dat"), "x");
         return BuildArgs(f, "--list-format 1");
       }},
      {"has no Shift-JIS form", [](TempFolder& f) { WriteBytes(f.File("from/\xf0\x9f\x98\x80.dat"), "x"); return BuildArgs(f); }},
      {"reserved for the version list", [](TempFolder& f) { WriteBytes(f.File("from/data/VLK.HVL"), "x"); return BuildArgs(f); }},
      {"{}/from: more than 255 files",
       [](TempFolder& f) {
         for (int i = 0; i < 252; ++i) WriteBytes(f.File("from/f" + std::to_string(i)), "");
         return BuildArgs(f);
       }},
      {"{}/from: its files make an archive of",
       [](TempFolder& f) {
         for (std::string name : {"from/a", "from/b", "from/c"}) {
           WriteBytes(f.File(name), "");
           fs::resize_file(f.File(name), 3ull << 29);  // 1.5 GiB, sparse
         }
         return BuildArgs(f);
       }},
      {"{}/from: holds no files",
       [](TempFolder& f) {
         fs::remove_all(f.File("from"));
         fs::create_directories(f.File("from"));
         return BuildArgs(f);
       }},
      {"cannot open '{}/from': No such file or directory", [](TempFolder& f) { fs::remove_all(f.File("from")); return BuildArgs(f); }},
      {"{}/stub: not a folder", [](TempFolder& f) { return BuildArgs(f, "--from " + f.File("stub")); }},
      {"{}/from/link.pak: a symbolic link; --follow-links stores what it points to",
       [](TempFolder& f) {
         WriteBytes(f.File("outside.pak"), "outside");
         fs::create_symlink("../outside.pak", f.File("from/link.pak"));
         return BuildArgs(f);
       }},
      {"cannot follow the link '{}/from/broken.pak': No such file or directory",
       [](TempFolder& f) { fs::create_symlink("missing.pak", f.File("from/broken.pak")); return BuildArgs(f, "--follow-links"); }},
      {"{}/from/data/up: a link to a folder that holds it",
       [](TempFolder& f) { fs::create_directory_symlink("..", f.File("from/data/up")); return BuildArgs(f, "--follow-links"); }},
      {"{}/from/fifo: neither a file nor a folder",
       [](TempFolder& f) { mkfifo(f.File("from/fifo").c_str(), 0600); return BuildArgs(f); }},
      {"{}/from/new.exe: inside the update folder {}/from",
       [](TempFolder& f) { return BuildArgs(f, "--out " + f.File("from/new.exe")); }},
      {"--title: longer than 1023 bytes", [](TempFolder& f) { return BuildArgs(f, "--title " + std::string(1024, 't')); }},
      {"unknown option '--bogus'", [](TempFolder& f) { return BuildArgs(f, "--bogus"); }},
      {"--layout: 'zip' is not arc20 or packfile", [](TempFolder& f) { return BuildArgs(f, "--layout zip"); }},
      {"option '--game' needs a value", [](TempFolder& f) { return BuildArgs(f, "--game"); }},
      {"option '--follow-links' takes no value", [](TempFolder& f) { return BuildArgs(f, "--follow-links=yes"); }},
      {"unexpected argument 'extra'", [](TempFolder& f) { return BuildArgs(f, "extra"); }},
      {"build: --out is missing", [](TempFolder& f) { return "build --stub " + f.File("stub") + " --from " + f.File("from") + " --title=T"; }},
      {"unknown command 'pack'", [](TempFolder&) { return std::string("pack"); }},
      {"a command comes first", [](TempFolder& f) { return "--out " + f.File("out.exe") + " build"; }},
  };
  for (Case& c : cases) {
    TempFolder folder;
    MakeGameFiles(folder);
    WriteBytes(folder.File("out.exe"), "an earlier build");
    std::string arguments = c.prepare(folder);
    std::string message = c.message;
    for (size_t at; (at = message.find("{}")) != std::string::npos;) message.replace(at, 2, folder.path());
    SCOPED_TRACE(message);
    std::map<std::string, std::string> before = Snapshot(folder.path());
    ToolRun run = RunTool(arguments);
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_EQ(run.out.rfind("updater-pack: ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(message), std::string::npos) << run.out;
    EXPECT_EQ(Snapshot(folder.path()), before);
    EXPECT_EQ(ReadBytes(folder.File("out.exe")), "an earlier build");
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
      WriteBytes(folder.File("stub"), WindowsProgram());
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
  for (auto [file, message] : {std::pair{folder.File("plain"), folder.File("plain") + ": not a packed updater"},
                               {folder.File("missing"), "cannot open '" + folder.File("missing") + "': No such file"},
                               {folder.path(), "cannot read '" + folder.path() + "': Is a directory"}}) {
    ToolRun run = RunTool("list " + file);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out.rfind("updater-pack: " + message, 0), 0u) << run.out;
  }
}

TEST(UpdaterPack, HelpAndVersionAsOtherToolsHaveThem) {
  for (const char* arguments : {"--help", "-h", "help", "build --stub x --help", "--version"}) {
    SCOPED_TRACE(arguments);
    ToolRun run = RunCommand(std::string(UPDATER_PACK_PATH) + " " + arguments + " 2>/dev/null");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(std::strcmp(arguments, "--version") == 0 ? "updater-pack 2.0.0\n" : "usage: ", 0), 0u)
        << run.out;
  }
  ToolRun bare = RunCommand(std::string(UPDATER_PACK_PATH) + " 2>&1 >/dev/null");
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.out.rfind("usage: ", 0), 0u);
}

TEST(UpdaterPack, FollowLinksStoresWhatTheyPointTo) {
  TempFolder folder;
  MakeGameFiles(folder);
  fs::create_directories(folder.File("elsewhere/folder"));
  WriteBytes(folder.File("elsewhere/outside.pak"), "outside");
  WriteBytes(folder.File("elsewhere/folder/inner.pak"), "inner");
  fs::create_symlink("../elsewhere/outside.pak", folder.File("from/linked.pak"));
  fs::create_directory_symlink("../../elsewhere/folder", folder.File("from/data/linked"));
  ASSERT_EQ(RunTool(BuildArgs(folder, "--follow-links")).status, 0);
  ToolRun list = RunTool("list " + folder.File("out.exe"));
  EXPECT_EQ(list.status, 0) << list.out;
  EXPECT_NE(list.out.find("size 7\nentry: sound.dat"), std::string::npos) << list.out;  // linked.pak holds "outside"
  EXPECT_NE(list.out.find("row: data\\linked\\inner.pak "), std::string::npos) << list.out;
}

// A copy of the installed game: what the update replaces, in the game's
// spelling, and the version rows it changes; what cannot install is refused.
TEST(UpdaterPack, ChecksAnUpdateAgainstTheGame) {
  TempFolder folder;
  MakeGameFiles(folder);
  auto makeGame = [&] {
    fs::remove_all(folder.File("game"));
    fs::create_directories(folder.File("game/DATA"));
    WriteBytes(folder.File("game/LumenTrail.EXE"), "game");
    WriteBytes(folder.File("game/DATA/map.dat"), "old map");
    WriteBytes(folder.File("game/sound.dat"), "sound");
    WriteBytes(folder.File("game/vlk.hvl"), VersionListBytes({{"DATA\\MAP.dat", "old map"}, {"sound.dat", "sound"}}));
  };
  makeGame();
  const std::string game = " --game " + folder.File("game");
  ToolRun build = RunTool(BuildArgs(folder, game));
  ASSERT_EQ(build.status, 0) << build.out;
  std::regex report(
      "new: Game.dat\nreplaces: data\\\\Map.dat \\(the game's DATA\\\\map.dat\\)\nnew: data\\\\empty.dat\n"
      "replaces: sound.dat\nvlk.hvl adds: Game.dat [0-9A-F ]+\nvlk.hvl changes: DATA\\\\MAP.dat [0-9A-F ]+ to [0-9A-F ]+\n"
      "vlk.hvl adds: data\\\\empty.dat 00000000 00000000\nvlk.hvl keeps: sound.dat .*\n");
  EXPECT_TRUE(std::regex_match(build.out, report)) << build.out;
  EXPECT_EQ(RunTool("check " + folder.File("out.exe") + game).out, build.out);

  // The game's data folder missing, then a link to a folder elsewhere.
  for (bool link : {false, true}) {
    makeGame();
    fs::rename(folder.File("game/DATA"), folder.File("game.DATA"));
    if (link) fs::create_directory_symlink(folder.File("game.DATA"), folder.File("game/DATA"));
    for (const std::string& arguments : {"check " + folder.File("out.exe") + game, BuildArgs(folder, "--out " + folder.File("new.exe") + game)}) {
      ToolRun run = RunTool(arguments);
      EXPECT_EQ(run.status, 2);
      EXPECT_EQ(run.out, link ? "updater-pack: data\\Map.dat: the game's folder DATA is a link, and the updater writes through none\n"
                              : "updater-pack: data\\Map.dat: the game has no folder data, and the updater creates none\n");
    }
    EXPECT_FALSE(FileExists(folder.File("new.exe")));
    fs::remove_all(folder.File("game.DATA"));
  }
}

// The same update folder, stub and options give the same bytes, whatever the
// order the files were written in, their times or where the folder is.
TEST(UpdaterPack, SameInputsGiveTheSameBytes) {
  // tmpfs lists a folder newest first: there the two folders list their files in opposite orders.
  std::string tmpdir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  if (fs::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  TempFolder first, second;
  tmpdir.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", tmpdir.c_str(), 1);
  MakeGameFiles(first);
  std::vector<std::string> names;
  for (auto& entry : fs::recursive_directory_iterator(first.path()))
    if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), first.path()).string());
  std::sort(names.rbegin(), names.rend());
  for (const std::string& name : names) {
    fs::create_directories(fs::path(second.File(name)).parent_path());
    WriteBytes(second.File(name), ReadBytes(first.File(name)));
    fs::last_write_time(second.File(name), fs::file_time_type::clock::now() - std::chrono::hours(100));
  }
  ASSERT_EQ(RunTool(BuildArgs(first)).status, 0);
  ASSERT_EQ(RunTool(BuildArgs(second)).status, 0);
  EXPECT_TRUE(ReadBytes(first.File("out.exe")) == ReadBytes(second.File("out.exe")));
}

TEST(UpdaterPack, ShowsProgressOnATerminal) {
  TempFolder folder;
  MakeGameFiles(folder);
  // script runs the tool on a terminal of its own and copies what it shows.
  ToolRun run = RunCommand("script -qec \"" + std::string(UPDATER_PACK_PATH) + " " + BuildArgs(folder) + "\" /dev/null 2>&1");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("updater-pack: writing 0.0 of 3.0 MiB"), std::string::npos) << run.out;
}

// A vendor signs the packed updater with osslsigncode: the signature covers
// the payload, and the signed file reads and installs like the unsigned one.
TEST(UpdaterPack, SignedUpdaterVerifiesReadsAndInstalls) {
  TempFolder folder;
  MakeGameFiles(folder);
  ASSERT_EQ(RunTool(BuildArgs(folder)).status, 0);
  ToolRun key = RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=Throwaway -addext "
                           "extendedKeyUsage=codeSigning -keyout " + folder.File("key.pem") + " -out " + folder.File("cert.pem") + " 2>&1");
  ASSERT_EQ(key.status, 0) << key.out;
  ToolRun sign = RunCommand("osslsigncode sign -certs " + folder.File("cert.pem") + " -key " + folder.File("key.pem") +
                            " -in " + folder.File("out.exe") + " -out " + folder.File("signed.exe") + " 2>&1");
  ASSERT_EQ(sign.status, 0) << sign.out;
  const std::string verify = "osslsigncode verify -CAfile " + folder.File("cert.pem") + " -TSA-CAfile " +
                             folder.File("cert.pem") + " -in " + folder.File("signed.exe") + " 2>&1";
  EXPECT_EQ(RunCommand(verify).status, 0);

  ToolRun list = RunTool("list " + folder.File("signed.exe"));
  EXPECT_EQ(list.status, 0) << list.out;
  EXPECT_NE(list.out.find("signature: Authenticode, a certificate table of "), std::string::npos) << list.out;
  ToolRun unsignedList = RunTool("list " + folder.File("out.exe"));
  EXPECT_EQ(list.out.substr(list.out.find("entry: ")), unsignedList.out.substr(unsignedList.out.find("entry: ")));
  EXPECT_NE(unsignedList.out.find("signature: none\n"), std::string::npos);

  fs::create_directories(folder.File("game/data"));
  WriteBytes(folder.File("game/uninst.lst"), "LUMENTRAIL.exe\r\n");
  std::u16string payload = folder.Wide("signed.exe"), game = folder.Wide("game");
  int32_t cancel = 0, abort = 0;
  EXPECT_EQ(InstallUpdateFrom(game.c_str(), {payload.c_str(), nullptr, [] { return 0; }, &cancel, &abort, u"%s", nullptr}),
            InstallSucceeded);
  for (const char* name : {"Game.dat", "sound.dat", "data/Map.dat", "data/empty.dat"})
    EXPECT_TRUE(ReadBytes(folder.File("game/") + name) == ReadBytes(folder.File("from/") + name)) << name;

  std::string bytes = ReadBytes(folder.File("signed.exe"));
  bytes[ArchiveOffset + 0x1000] ^= 1;  // inside Game.dat
  WriteBytes(folder.File("signed.exe"), bytes);
  EXPECT_NE(RunCommand(verify).status, 0);
}

}  // namespace
