// Writes the seed inputs of every fuzz target into the folder given, one
// subfolder per target: payloads from the packing tool's own writer, lists in
// both formats, registry files as Wine writes them.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "install/checksum.h"
#include "lists/version_list.h"
#include "pack.h"
#include "payload/payload.h"

namespace {

std::string out;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  mkdir((out + "/" + target).c_str(), 0755);
  WriteFile(out + "/" + target + "/" + name, bytes);
}

struct Row {
  std::string name;  // as stored: Shift-JIS or UTF-8
  std::string content;
};

std::string ListBytes(const std::vector<Row>& rows, int format, uint32_t extraCount = 0) {
  VersionList list;
  std::memcpy(list.header.magic, format == 2 ? VersionListMagic2 : VersionListMagic1, 8);
  for (const Row& row : rows) {
    ContentChecksum sum{};
    UpdateContentChecksumReference(&sum, row.content.data(), static_cast<uint32_t>(row.content.size()));
    list.entries.push_back({row.name, {ChecksumWord0(sum), ChecksumWord1(sum)}});
  }
  list.header.count = static_cast<uint32_t>(list.entries.size());
  std::string bytes;
  if (!EncodeVersionList(list, &bytes)) Fail(__FILE__, __LINE__, "list does not encode");
  std::string count(4, '\0');
  for (int i = 0; i < 4; ++i) count[i] = static_cast<char>((list.header.count + extraCount) >> (8 * i));
  return bytes.replace(12, 4, count);
}

// The packed updater from the title header on, as the payload target takes it.
std::string Payload(const std::string& title, bool packFile, const std::vector<Row>& files, int format) {
  std::vector<PackEntry> entries;
  PackEntry list;
  list.storedName = "VLK.hvl";
  list.content = ListBytes(files, format);
  entries.push_back(list);
  for (const Row& file : files) {
    PackEntry entry;
    entry.storedName = file.name.substr(file.name.find_last_of('\\') + 1);
    entry.content = file.content;
    entries.push_back(entry);
  }
  std::string path = ScratchFolder() + "/seed.exe";
  std::string error = WritePayload("MZ", title, packFile, entries, path);
  if (!error.empty()) Fail(__FILE__, __LINE__, error.c_str());
  return ReadFile(path).substr(PayloadHeaderOffset);
}

// ルーメン in Shift-JIS and in UTF-8.
const std::string kSjis = "\x83\x8b\x81\x5b\x83\x81\x83\x93";
const std::string kUtf8 = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3";

const std::vector<Row> kFiles = {
    {"Game.pak", "new game"}, {"data\\Map.pak", "new map"}, {kSjis + ".pak", "new " + kSjis}, {"New.pak", ""}};

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
  out = argv[1];
  const std::string title = "\x81\x75" + kSjis + "\x81\x76 Updater ver 1.01";

  Seed("payload", "arc20-sjis-title", Payload(title, false, kFiles, 2));
  Seed("payload", "packfile-utf8-title", Payload(kUtf8 + " Updater", true, kFiles, 1));
  Seed("payload", "full-title-empty-archive", Payload(std::string(1023, 'T'), false, {}, 2).substr(0, 1024 + 16));

  Seed("version_list", "format2", ListBytes(kFiles, 2));
  Seed("version_list", "format1", ListBytes(kFiles, 1));
  Seed("version_list", "empty", ListBytes({}, 2));
  Seed("version_list", "count-past-end", ListBytes({{"a", "b"}}, 1, 3));
  Seed("version_list", "long-name", ListBytes({{std::string(247, 'n'), "x"}}, 2));

  Seed("uninstall_list", "sjis-crlf", "LUMENTRAIL.exe\r\nGame.pak\r\n" + kSjis + ".pak\r\n$Dir data\r\n");
  Seed("uninstall_list", "utf8-mixed", "  Data\\MAP.pak\n" + kUtf8 + "\r\r\n$Dir data\n\tgame.pak\nGAME.PAK");
  Seed("uninstall_list", "long-line", std::string(779, 'a') + "\n" + std::string(780, 'b') + "\n$x\n" + '\0' + "after");

  Seed("text", "sjis", "\x05\x01\x01" + title);
  Seed("text", "utf8", "\x10" + kUtf8 + "\\\xe3\x83\xab.DAT\x01\x02\x03\x04\x05");
  // A Shift-JIS path, then UTF-16LE units for the wide half.
  const char wideHalf[] = "C\0:\0\\\0\xab\x30.\0";
  Seed("text", "path", "\x20" "C:\\Games\\" + kSjis + "\\data\\Map.pak\\" + std::string(1, '\0') +
                           std::string(wideHalf, sizeof wideHalf - 1) + "\x02");

  const std::string product = "\\x30eb\\x30fc\\x30e1\\x30f3\\x30fb\\x30c8\\x30ec\\x30a4\\x30eb";
  Seed("registry", "win64", Registry(true, "Wow6432Node\\\\TARN\\\\" + product,
                                      "\"InstalledFolder\"=\"C:\\\\Games\\\\LumenTrail\""));
  Seed("registry", "win32-utf8", Registry(false, "TARN\\\\\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3\xe3\x83\xbb"
                                                 "\xe3\x83\x88\xe3\x83\xac\xe3\x82\xa4\xe3\x83\xab",
                                           "\"installedfolder\"=\"C:\\\\\\x30b2\\x30fc\\x30e0\\\\\""));
  Seed("registry", "expand-sz", Registry(true, "Wow6432Node\\\\TARN\\\\" + product,
                                          "\"InstalledFolder\"=str(2):\"%ProgramFiles%\\\\Lumen\""));
  Seed("registry", "nul-inside", Registry(true, "Wow6432Node\\\\TARN\\\\" + product,
                                           "\"InstalledFolder\"=\"C:\\\\A\\0B\""));

  // The install target: a poll byte, then the archive from 0x70400 on.
  auto archive = [&](const std::vector<Row>& files, bool packFile, int format) {
    return Payload("t", packFile, files, format).substr(ArchiveOffset - PayloadHeaderOffset);
  };
  const std::vector<Row> small = {{"Game.pak", "new game"}, {"data\\Map.pak", "new map"}, {"New.pak", "new"}};
  Seed("install", "update", std::string(1, '\0') + archive(small, false, 1));
  Seed("install", "packfile", std::string(1, '\0') + archive(small, true, 1));
  Seed("install", "quit-at-poll-4", std::string(1, '\4') + archive(small, false, 1));
  Seed("install", "trailing-byte", std::string(1, '\0') + archive({{"Game.pak", "g"}}, false, 1) + "x");
  return 0;
}
