// The packing tool as a vendor runs it. Each row prepares a folder holding an
// update (from/), a stub and an earlier output, and gives the tool's
// arguments and a part of what it must say, "{}" standing for the folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

#include "payload/payload.h"
#include "program_image.h"
#include "support/process_posix.h"
#include "support/refused_names.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

// The headers of a Windows program, as far as the tool and a signing tool read
// them, and the updater's mark: by default a PE32 i386 GUI executable like the
// shipping updater.
struct PeFields {
  uint16_t machine = 0x14C;
  uint16_t characteristics = 0x0102;
  uint16_t subsystem = 2;
  uint32_t certificateSize = 0;
};

void Put(std::string& image, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}

constexpr size_t kCertificateEntry = 0x40 + 24 + 96 + 4 * 8;  // among the optional header's data directories

std::string WindowsProgram(const PeFields& fields = {}) {
  std::string image(0x400, '\0');
  auto put = [&](size_t at, uint32_t value, int bytes) { Put(image, at, value, bytes); };
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
  put(kCertificateEntry, fields.certificateSize ? 0x400 : 0, 4);  // the certificate table
  put(kCertificateEntry + 4, fields.certificateSize, 4);
  image.replace(0x200, UpdaterMark().size(), UpdaterMark());
  return image + std::string(fields.certificateSize, '\0');
}

// The tool's own program, which links the updater's code but is no updater.
const std::string kPackTool = std::string(UPDATER_PACK_PATH).substr(std::string(UPDATER_PACK_PATH).rfind(' ') + 1);
const std::string kBuild = "build --stub {}/stub --from {}/from --title 'Lumen Updater ver 1.01' --out {}/out.exe ";

std::string InFolder(std::string text, const TempFolder& folder) {
  for (size_t at; (at = text.find("{}")) != std::string::npos;) text.replace(at, 2, folder.path());
  return text;
}

// A game update like the shipped one: four archives, two of them in a subfolder;
// and a copy of the installed game that it fits.
void MakeUpdateAndGame(const TempFolder& folder) {
  fs::create_directories(folder.File("from/data"));
  WriteBytes(folder.File("stub"), WindowsProgram());
  WriteBytes(folder.File("from/Game.dat"), std::string(3 << 20, 'g') + "tail");  // several 1 MiB blocks
  WriteBytes(folder.File("from/sound.dat"), "sound");
  WriteBytes(folder.File("from/data/Map.dat"), "map");
  WriteBytes(folder.File("from/data/empty.dat"), "");
  fs::create_directories(folder.File("game/DATA"));
  WriteBytes(folder.File("game/LumenTrail.EXE"), "game");
  WriteBytes(folder.File("game/DATA/map.dat"), "old map");
  WriteBytes(folder.File("game/sound.dat"), "sound");
  WriteBytes(folder.File("game/vlk.hvl"), VersionListBytes({{"DATA\\MAP.dat", "old map"}, {"sound.dat", "sound"}}));
}

struct Row {
  int status;
  std::string said;
  std::string arguments;
  std::function<void(TempFolder&)> prepare = nullptr;
  int refusals = 1;
};

// A refused run (2) says so in one line for each refusal and leaves the folder
// as it was.
void Check(const Row& row) {
  TempFolder folder;
  MakeUpdateAndGame(folder);
  WriteBytes(folder.File("out.exe"), "an earlier build");
  if (row.prepare) row.prepare(folder);
  std::string said = InFolder(row.said, folder);
  SCOPED_TRACE(said);
  std::map<std::string, std::string> before = FolderState(folder.path());
  ToolRun run = RunPackTool(InFolder(row.arguments, folder));
  EXPECT_EQ(run.status, row.status) << run.out;
  EXPECT_NE(run.out.find(said), std::string::npos) << run.out;
  if (row.status != 2) return;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), row.refusals) << run.out;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("updater-pack: ", 0), 0u) << run.out;
  EXPECT_EQ(FolderState(folder.path()), before);
}

// Prepares a row by building with these options first.
std::function<void(TempFolder&)> Built(const std::string& options) {
  return [options](TempFolder& f) { ASSERT_EQ(RunPackTool(InFolder(kBuild + options, f)).status, 0); };
}

// Prepares a row by writing files below from/.
std::function<void(TempFolder&)> Writing(std::vector<std::string> names, uint64_t size = 1) {
  return [names, size](TempFolder& f) {
    for (const std::string& name : names) {
      fs::create_directories(fs::path(f.File("from/" + name)).parent_path());
      WriteBytes(f.File("from/" + name), "");
      fs::resize_file(f.File("from/" + name), size);  // sparse
    }
  };
}

std::vector<std::string> Names(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("f" + std::to_string(i));
  return names;
}

std::function<void(TempFolder&)> Stub(const std::string& bytes) {
  return [bytes](TempFolder& f) { WriteBytes(f.File("stub"), bytes); };
}

TEST(UpdaterPack, Runs) {
  const std::string list = "list {}/out.exe", game = "--game {}/game";
  const std::string dataMissing = "data\\Map.dat: the game has no folder data, and the updater creates none";
  const std::string dataLinked = "data\\Map.dat: the game's folder DATA is a link, and the updater writes through none";
  auto damagedList = [](TempFolder& f) {
    Built("")(f);
    std::string bytes = ReadBytes(f.File("out.exe"));
    bytes[bytes.find("VHV_V2__", ArchiveOffset)] = 'X';
    WriteBytes(f.File("out.exe"), bytes);
  };
  const Row rows[] = {
      {0, "title: Lumen Updater ver 1.01\nprogram: the updater for Windows i686\n", list, Built("")},
      {1, "program: NOT A BUILD OF THE UPDATER", "list {}/other.exe",
       [](TempFolder& f) { MakeUpdatePayload(f.File("other.exe"), {{"a.pak", "a"}}); }},  // behind a bare "MZ"
      {0, "row: data\\Map.dat ", list, Built("--layout=packfile --list-format 1")},
      {0, "title: 「ル」 Updater", list, Built("--title '「ル」 Updater' --title-encoding utf8")},
      {0, "row: data\\linked\\inner.pak ", list,
       [](TempFolder& f) {
         fs::create_directories(f.File("elsewhere"));
         WriteBytes(f.File("elsewhere/inner.pak"), "inner");
         fs::create_directory_symlink("../../elsewhere", f.File("from/data/linked"));
         Built("--follow-links")(f);
       }},
      {1, "MISMATCH", list,
       [](TempFolder& f) {
         Built("")(f);
         std::string bytes = ReadBytes(f.File("out.exe"));
         bytes[ArchiveOffset + 0x2000] ^= 1;  // inside Game.dat
         WriteBytes(f.File("out.exe"), bytes);
       }},
      {2, "{}/out.exe: its version list VLK.hvl is damaged", "check {}/out.exe " + game, damagedList},
      {1, "cannot install: its version list VLK.hvl is damaged", list, damagedList},
      // Windows finds the first two rows' files; the link is not followed.
      {0, "(the same content)\nvlk.hvl drops: Gone.pak 0050B406 6026CC12 (the game has no such file)\n",
       "check {}/out.exe " + game,
       [](TempFolder& f) {
         Built("")(f);
         fs::create_directory_symlink("DATA", f.File("game/linked"));
         WriteBytes(f.File("game/vlk.hvl"), VersionListBytes({{"lumentrail.EXE. ", ""}, {"data.\\MAP.DAT", ""},
                                                              {"linked\\gone.pak", ""}, {"Gone.pak", "abc"},
                                                              {"sound.dat", "sound"}}));
       }},
      {0, "; not verified: updater-pack does not check signatures", list,
       [](TempFolder& f) {  // a certificate table after the payload, where a signing tool puts it
         Built("")(f);
         std::string bytes = ReadBytes(f.File("out.exe"));
         Put(bytes, kCertificateEntry, static_cast<uint32_t>(bytes.size()), 4);
         Put(bytes, kCertificateEntry + 4, 16, 4);
         WriteBytes(f.File("out.exe"), bytes + std::string(16, '\0'));
       }},
      {0, "", kBuild, Writing(Names(251))},  // 255 files in all
      {0, "packed 4 files, 3145740 bytes, title \"Lumen Updater ver 1.01\", for Windows i686, into {}/out.exe\n", kBuild},
      {0, "version list: format 2, 1 rows\nrow: data\\a.pak 0050B406 6026CC12\n", "versions {}/vlk.hvl",
       [](TempFolder& f) { WriteBytes(f.File("vlk.hvl"), VersionListBytes({{"data\\a.pak", "abc"}})); }},
      {0, "usage: ", "build --stub x --help"},
      {0, "updater-pack 2.0.0\n", "--version"},
      {2, "{}/stub: not a readable version list", "versions {}/stub"},
      {2, "{}/stub: not a packed updater", "list {}/stub"},
      {2, "cannot open '{}/missing': No such file", "list {}/missing"},
      {2, "cannot read '{}/from': Is a directory", "list {}/from"},
      {2, "{}/stub: 459776 bytes, too large: the payload begins 458752 bytes (0x70000) into the packed updater", kBuild,
       Stub(WindowsProgram() + std::string(PayloadHeaderOffset, 'x'))},
      {2, "/bin/ls: not a build of the updater", kBuild + "--stub /bin/ls"},
      {2, kPackTool + ": not a build of the updater", kBuild + "--stub " + kPackTool},
      {2, "{}/stub: not a program (neither a Windows PE image nor an ELF executable)", kBuild, Stub("just text")},
      {2, "subsystem 3, not a GUI program", kBuild, Stub(WindowsProgram({.subsystem = 3}))},
      {2, "a Windows image for machine 0x01C4; the updater is i386", kBuild, Stub(WindowsProgram({.machine = 0x1C4}))},
      {2, "a DLL or object, not a program", kBuild, Stub(WindowsProgram({.characteristics = 0x2102}))},
      {2, "signed already; pack the unsigned program", kBuild, Stub(WindowsProgram({.certificateSize = 16}))},
      {2, "{}/packed.exe: a packed updater, which carries a payload already", kBuild + "--stub {}/packed.exe",
       Built("--out {}/packed.exe")},
      {2, "{}/from/data/GAME.DAT: has the same name as {}/from/Game.dat", kBuild,
       Writing({"bad|name.pak", "data/GAME.DAT", "NUL.pak"}), 3},
      {1, "row: b.pak 00000062 62626262 missing\n", "list {}/odd.exe",
       [](TempFolder& f) {
         MakePayloadFile(f.File("odd.exe"), {MemoryEntry("VLK.hvl", VersionListBytes({{"a.pak", "a"}, {"b.pak", "b"}})),
                                              MemoryEntry("a.pak", "a")});
       }},
      {0, "entry: ｱｲｳ.pak ", list, [](TempFolder& f) { Writing({"ｱｲｳ.pak"})(f), Built("")(f); }},
      // Names and paths at their fields' limits pack; one byte more does not.
      {0, "", kBuild, Writing({std::string(95, 'n'), std::string(200, 'd') + "/" + std::string(46, 'f')})},
      {0, "", kBuild + "--list-format 1", Writing({std::string(49, 'd') + "/f.dat"})},
      {2, "the name is longer than 95 bytes", kBuild, Writing({std::string(96, 'n')})},
      {2, "the name is longer than 15 bytes", kBuild + "--layout packfile", Writing({"sixteen_chars.xy"})},
      {2, "the path is longer than 55 bytes in Shift-JIS", kBuild + "--list-format 1",
       Writing({std::string(50, 'd') + "/f.dat"})},
      {2, "has no Shift-JIS form", kBuild, Writing({"\xf0\x9f\x98\x80.dat"})},
      // Its Shift-JIS bytes C3 BD are UTF-8 too, which the updater reads first.
      {2, "{}/from/data/ﾃｽ.pak: stored in Shift-JIS, the name reads back as data\\ý.pak",
       kBuild, Writing({"data/ﾃｽ.pak"})},
      {2, "reserved for the version list", kBuild, Writing({"data/VLK.HVL"})},
      {2, "{}/from: more than 255 files", kBuild, Writing(Names(252))},
      {2, "{}/from: its files make an archive of", kBuild, Writing({"a", "b", "c"}, 3ull << 29)},  // 1.5 GiB each
      {2, "{}/from: holds no files", kBuild,
       [](TempFolder& f) { fs::remove_all(f.File("from")), fs::create_directories(f.File("from")); }},
      {2, "cannot open '{}/from': No such file or directory", kBuild, [](TempFolder& f) { fs::remove_all(f.File("from")); }},
      {2, "{}/stub: not a folder", kBuild + "--from {}/stub"},
      {2, "{}/from/link.pak: a symbolic link; --follow-links stores what it points to", kBuild,
       [](TempFolder& f) { fs::create_symlink("../stub", f.File("from/link.pak")); }},
      {2, "cannot follow the link '{}/from/broken.pak': No such file or directory", kBuild + "--follow-links",
       [](TempFolder& f) { fs::create_symlink("missing.pak", f.File("from/broken.pak")); }},
      {2, "{}/from/data/up: a link to a folder that holds it", kBuild + "--follow-links",
       [](TempFolder& f) { fs::create_directory_symlink("..", f.File("from/data/up")); }},
      {2, "{}/from/fifo: neither a file nor a folder", kBuild,
       [](TempFolder& f) { mkfifo(f.File("from/fifo").c_str(), 0600); }},
      // A FIFO is never waited on, in the update or in the game.
      {2, "cannot open '{}/fifo': not a regular file", "versions {}/fifo",
       [](TempFolder& f) { mkfifo(f.File("fifo").c_str(), 0600); }},
      {0, "vlk.hvl: the game's vlk.hvl is not a version list", kBuild + game,
       [](TempFolder& f) { fs::remove(f.File("game/vlk.hvl")), mkfifo(f.File("game/vlk.hvl").c_str(), 0600); }},
      {2, "{}/from/new.exe: inside the update folder {}/from", kBuild + "--out {}/from/new.exe"},
      {2, dataMissing, kBuild + game, [](TempFolder& f) { fs::rename(f.File("game/DATA"), f.File("DATA")); }, 2},
      {2, "sound.dat: the game's sound.dat is a folder", "check {}/out.exe " + game,
       [](TempFolder& f) { Built("")(f), fs::remove(f.File("game/sound.dat")), fs::create_directory(f.File("game/sound.dat")); }},
      {2, dataMissing, "check {}/out.exe " + game,
       [](TempFolder& f) { Built("")(f), fs::rename(f.File("game/DATA"), f.File("DATA")); }, 2},
      {2, dataLinked, kBuild + game,
       [](TempFolder& f) { fs::rename(f.File("game/DATA"), f.File("DATA")), fs::create_directory_symlink("../DATA", f.File("game/DATA")); },
       2},
      {2, "--title: longer than 1023 bytes", kBuild + "--title " + std::string(1024, 't')},
      {2, "--title: empty", kBuild + "--title ''"},
      {2, "Shift-JIS cannot represent; give --title-encoding utf8", kBuild + "--title \xf0\x9f\x98\x80"},
      {2, "--title: stored in Shift-JIS, it reads back as \"ý\"", kBuild + "--title ﾃｽ"},
      {2, "--out {}: a folder; give the file to write, as in --out {}/LumenTrailUpdate.exe", kBuild + "--out {}"},
      {2, "unknown option '--bogus'", kBuild + "--bogus"},
      {2, "--layout: 'zip' is not arc20 or packfile", kBuild + "--layout zip"},
      {2, "option '--game' needs a value", kBuild + "--game"},
      {2, "build: --out is missing", "build --stub {}/stub --from {}/from --title=T"},
      {2, "unknown command 'pack'", "pack"},
      {2, "a command comes first", "--out {}/out.exe build"},
  };
  for (const Row& row : rows) Check(row);
}

// What packs must install: the tool refuses every set of names the updater
// refuses, and `list` says that a payload made without that check cannot install.
TEST(UpdaterPack, RefusesWhatTheUpdaterRefuses) {
  for (const RefusedNames& set : RefusedNameTable()) {
    std::vector<UpdateFile> files;
    std::vector<std::string> paths;
    for (const std::string& name : set.names) {
      files.push_back({name, "content of " + name});
      paths.push_back(std::regex_replace(name, std::regex("\\\\"), "/"));
    }
    if (set.canBeFiles) Check({2, set.reason, kBuild, Writing(paths)});
    Check({1, "cannot install: ", "list {}/old.exe", [&](TempFolder& f) { MakeUpdatePayload(f.File("old.exe"), files); }});
  }
}

// The report of an update checked against a copy of the game: what it
// replaces, in the game's spelling, and the version rows it changes, in the
// order of the names whatever the order the folder lists them in (on tmpfs
// newest first).
TEST(UpdaterPack, ChecksAnUpdateAgainstTheGame) {
  std::string tmpdir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  if (fs::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  TempFolder folder;
  tmpdir.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", tmpdir.c_str(), 1);
  MakeUpdateAndGame(folder);
  ToolRun build = RunPackTool(InFolder(kBuild + "--game {}/game", folder));
  ASSERT_EQ(build.status, 0) << build.out;
  std::regex report(
      "new: Game.dat\nreplaces: data\\\\Map.dat \\(the game's DATA\\\\map.dat\\)\nnew: data\\\\empty.dat\n"
      "replaces: sound.dat\nvlk.hvl adds: Game.dat [0-9A-F ]+\nvlk.hvl changes: DATA\\\\MAP.dat [0-9A-F ]+ to [0-9A-F ]+\n"
      "vlk.hvl adds: data\\\\empty.dat 00000000 00000000\nvlk.hvl keeps: sound.dat .*\npacked 4 files, .*\n");
  EXPECT_TRUE(std::regex_match(build.out, report)) << build.out;
  EXPECT_EQ(build.out.rfind(RunPackTool(InFolder("check {}/out.exe --game {}/game", folder)).out + "packed", 0), 0u);
}

TEST(UpdaterPack, ShowsProgressOnATerminal) {
  TempFolder folder;
  MakeUpdateAndGame(folder);
  ToolRun run = RunPackTool(InFolder(kBuild, folder), Streams::Terminal);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("updater-pack: writing 0.0 of 3.0 MiB"), std::string::npos) << run.out;
}

}  // namespace
