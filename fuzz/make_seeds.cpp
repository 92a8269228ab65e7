// Writes the seed inputs of every fuzz target into the folder given, one
// subfolder per target: payloads from the packing tool's own writer, lists in
// both formats, registry files as Wine writes them.
#include <cstdio>
#include <filesystem>

#include "fuzz_support.h"
#include "payload/payload.h"

// Not a fuzz target: its own entry point.
const size_t MaxInputSize = 0;
void FuzzOne(const uint8_t*, size_t) {}

namespace {

// ルーメン in Shift-JIS and in UTF-8.
const std::string kSjis = "\x83\x8b\x81\x5b\x83\x81\x83\x93";
const std::string kUtf8 = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3";
const std::vector<UpdateFile> kFiles = {
    {"Game.pak", "new game"}, {"data\\Map.pak", "new map"}, {kSjis + ".pak", "new " + kSjis}, {"New.pak", ""}};

// The packed updater from the title header on, as the payload target takes it.
std::string Payload(const std::string& title, bool packFile, const std::vector<UpdateFile>& files, int format) {
  std::vector<PackEntry> entries = {MemoryEntry("VLK.hvl", VersionListBytes(files, format))};
  for (const UpdateFile& file : files)
    entries.push_back(MemoryEntry(file.name.substr(file.name.find_last_of('\\') + 1), file.content));
  return ReadBytes(MakePayloadFile(ScratchFolder() + "/seed.exe", entries, title, packFile)).substr(PayloadHeaderOffset);
}

std::string Registry(bool win64, const std::string& key, const std::string& value) {
  return std::string("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=") +
         (win64 ? "win64" : "win32") + "\n\n[Software\\\\Classes] 1700000000\n#time=1d9\n\n[Software\\\\" + key +
         "] 1700000000\n#time=1d9\n" + value + "\n\n[Software\\\\Other] 1\n\"InstalledFolder\"=\"D:\\\\\"\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  auto seed = [&](const std::string& target, const std::string& name, const std::string& bytes) {
    WriteFiles(out, {{target + "/" + name, bytes}});
  };
  const std::string title = "\x81\x75" + kSjis + "\x81\x76 Updater ver 1.01";

  seed("payload", "arc20-sjis-title", Payload(title, false, kFiles, 2));
  seed("payload", "packfile-utf8-title", Payload(kUtf8 + " Updater", true, kFiles, 1));
  seed("payload", "full-title-empty-archive", Payload(std::string(1023, 'T'), false, {}, 2).substr(0, 1024 + 16));

  seed("version_list", "format2", VersionListBytes(kFiles, 2));
  seed("version_list", "format1", VersionListBytes(kFiles, 1));
  seed("version_list", "empty", VersionListBytes({}, 2));
  seed("version_list", "count-past-end", VersionListBytes({{"a", "b"}}, 1).replace(12, 1, "\x04"));
  seed("version_list", "long-name", VersionListBytes({{std::string(247, 'n'), "x"}}, 2));

  seed("uninstall_list", "sjis-crlf", "LUMENTRAIL.exe\r\nGame.pak\r\n" + kSjis + ".pak\r\n$Dir data\r\n");
  seed("uninstall_list", "utf8-mixed", "  Data\\MAP.pak\n" + kUtf8 + "\r\r\n$Dir data\n\tgame.pak\nGAME.PAK");
  seed("uninstall_list", "long-line", std::string(779, 'a') + "\n" + std::string(780, 'b') + "\n$x\n" + '\0' + "after");

  seed("text", "sjis", "\x05\x01\x01" + title);
  seed("text", "utf8", "\x10" + kUtf8 + "\\\xe3\x83\xab.DAT\x01\x02\x03\x04\x05");
  // A Shift-JIS path, then UTF-16LE units for the wide half.
  const char wideHalf[] = "C\0:\0\\\0\xab\x30.\0";
  seed("text", "path", "\x20" "C:\\Games\\" + kSjis + "\\data\\Map.pak\\" + std::string(1, '\0') +
                           std::string(wideHalf, sizeof wideHalf - 1) + "\x02");

  const std::string product = "\\x30eb\\x30fc\\x30e1\\x30f3\\x30fb\\x30c8\\x30ec\\x30a4\\x30eb";
  const std::string key64 = "Wow6432Node\\\\TARN\\\\" + product;
  seed("registry", "win64", Registry(true, key64, "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\""));
  seed("registry", "win32-utf8", Registry(false, "TARN\\\\\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3\xe3\x83\xbb"
                                                 "\xe3\x83\x88\xe3\x83\xac\xe3\x82\xa4\xe3\x83\xab",
                                           "\"installedfolder\"=\"C:\\\\\\x30b2\\x30fc\\x30e0\\\\\""));
  seed("registry", "expand-sz", Registry(true, key64, "\"InstalledFolder\"=str(2):\"%ProgramFiles%\\\\Lumen\""));
  seed("registry", "nul-inside", Registry(true, key64, "\"InstalledFolder\"=\"C:\\\\A\\0B\""));

  // The install target: a poll byte, then the archive from 0x70400 on.
  auto archive = [&](const std::vector<UpdateFile>& files, bool packFile, char poll) {
    return poll + Payload("t", packFile, files, 1).substr(ArchiveOffset - PayloadHeaderOffset);
  };
  const std::vector<UpdateFile> small = {{"Game.pak", "new game"}, {"data\\Map.pak", "new map"}, {"New.pak", "new"}};
  seed("install", "update", archive(small, false, '\0'));
  seed("install", "packfile", archive(small, true, '\0'));
  seed("install", "quit-at-poll-4", archive(small, false, '\4'));
  seed("install", "trailing-byte", archive({{"Game.pak", "g"}}, false, '\0') + "x");
  return 0;
}
