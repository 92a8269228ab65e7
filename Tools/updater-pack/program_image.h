// Just enough of a program's headers to tell whether it can carry a payload
// (the updater as built: a Windows GUI program or, for the POSIX port, an ELF
// executable), which platform it is for and where a Windows program's
// Authenticode signature lies; and the mark that tells a build of the updater
// from any other program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class ProgramKind { None, Windows, Elf };

struct ProgramHeaders {
  ProgramKind kind = ProgramKind::None;
  uint16_t machine = 0;          // Windows: 0x14C i386, 0x8664 x86-64
  uint16_t optionalMagic = 0;    // Windows: 0x10B PE32, 0x20B PE32+
  uint16_t characteristics = 0;  // Windows: the file header's flags
  uint16_t subsystem = 0;        // Windows: 2 for a GUI program
  uint16_t elfType = 0;          // ELF: 2 an executable, 3 a position-independent one
  uint16_t elfMachine = 0;       // ELF: 3 i386, 62 x86-64, ...
  uint32_t certificateOffset = 0, certificateSize = 0;  // the certificate table, 0 when unsigned
};

// Reads the headers at the start of a file; kind None when it has none of ours.
ProgramHeaders ReadProgramHeaders(std::string_view bytes);

// "Windows i686", "Windows x86-64", "Linux x86-64" and the like.
std::string PlatformOf(const ProgramHeaders& headers);

// The bytes that every build of the updater carries (Updater/app/updater_mark.cpp),
// formed at run time: this tool links the updater's code and must not pass
// for it.
std::string UpdaterMark();
// Whether `bytes` hold the mark: a stub anywhere, a packed updater in its
// program image (before 0x70000), never in its payload.
bool CarriesUpdaterMark(std::string_view bytes);

// Why the file `path` holding `bytes` cannot be the program a payload is
// appended to, or "". `note` receives a remark on a stub that is accepted
// but is not the shipping program.
std::string CheckStub(const std::string& path, std::string_view bytes, std::string* note);
