#include "program_image.h"

#include <cstdio>

#include "payload/payload.h"

namespace {

constexpr uint16_t MachineI386 = 0x14C, MachineAmd64 = 0x8664;
constexpr uint16_t Pe32 = 0x10B, Pe32Plus = 0x20B;
constexpr uint16_t ExecutableImage = 0x0002, Dll = 0x2000;
constexpr uint16_t GuiSubsystem = 2;
constexpr size_t SecurityDirectory = 4;  // the certificate table's entry among the data directories
constexpr uint16_t ElfI386 = 3, ElfArm = 40, ElfX8664 = 62, ElfAarch64 = 183;

template <size_t Size>
struct InvertedText {
  char bytes[Size - 1];
};
template <size_t Size>
constexpr InvertedText<Size> Invert(const char (&text)[Size]) {
  InvertedText<Size> inverted{};
  for (size_t i = 0; i + 1 < Size; ++i) inverted.bytes[i] = static_cast<char>(~text[i]);
  return inverted;
}
// The updater's mark as Updater/app/updater_mark.cpp holds it. Only its inverted
// form reaches this tool's file, so that the tool does not pass for the updater.
constexpr auto HiddenMark = Invert("LumenTrail updater: payload at 0x70000, archive at 0x70400");

uint16_t Load16(std::string_view bytes, size_t at) {
  return at + 2 > bytes.size() ? 0 : static_cast<uint16_t>(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
}

uint32_t Load32(std::string_view bytes, size_t at) {
  return at + 4 > bytes.size() ? 0 : Load16(bytes, at) | uint32_t{Load16(bytes, at + 2)} << 16;
}

bool ReadWindowsHeaders(std::string_view bytes, ProgramHeaders* headers) {
  if (bytes.substr(0, 2) != "MZ") return false;
  size_t pe = Load32(bytes, 0x3C);
  if (pe > bytes.size() || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) return false;
  size_t optional = pe + 24;
  uint16_t optionalSize = Load16(bytes, pe + 20);
  if (optional + optionalSize > bytes.size()) return false;
  headers->machine = Load16(bytes, pe + 4);
  headers->characteristics = Load16(bytes, pe + 22);
  headers->optionalMagic = Load16(bytes, optional);
  headers->subsystem = Load16(bytes, optional + 68);
  // The data directories follow the fields that differ in size between PE32 and PE32+.
  size_t directories = optional + (headers->optionalMagic == Pe32Plus ? 112 : 96);
  uint32_t directoryCount = Load32(bytes, directories - 4);
  size_t security = directories + SecurityDirectory * 8;
  if (directoryCount > SecurityDirectory && security + 8 <= optional + optionalSize) {
    headers->certificateOffset = Load32(bytes, security);
    headers->certificateSize = Load32(bytes, security + 4);
  }
  headers->kind = ProgramKind::Windows;
  return true;
}

}  // namespace

ProgramHeaders ReadProgramHeaders(std::string_view bytes) {
  ProgramHeaders headers;
  if (ReadWindowsHeaders(bytes, &headers)) return headers;
  // Little-endian ELF only: the updater runs on x86.
  if (bytes.substr(0, 4) == "\x7f" "ELF" && bytes.size() >= 18 && bytes[5] == 1) {
    headers.kind = ProgramKind::Elf;
    headers.elfType = Load16(bytes, 16);
    headers.elfMachine = Load16(bytes, 18);
  }
  return headers;
}

std::string PlatformOf(const ProgramHeaders& headers) {
  char machine[32];
  if (headers.kind == ProgramKind::Windows) {
    if (headers.machine == MachineI386) return "Windows i686";
    if (headers.machine == MachineAmd64) return "Windows x86-64";
    (void)std::snprintf(machine, sizeof machine, "Windows, machine 0x%04X", unsigned{headers.machine});
    return machine;
  }
  if (headers.kind == ProgramKind::None) return "no known platform";
  switch (headers.elfMachine) {
    case ElfI386: return "Linux i686";
    case ElfX8664: return "Linux x86-64";
    case ElfArm: return "Linux arm";
    case ElfAarch64: return "Linux aarch64";
  }
  (void)std::snprintf(machine, sizeof machine, "Linux, machine %u", unsigned{headers.elfMachine});
  return machine;
}

std::string UpdaterMark() {
  std::string mark(HiddenMark.bytes, sizeof HiddenMark.bytes);
  for (char& c : mark) c = static_cast<char>(~c);
  return mark;
}

bool CarriesUpdaterMark(std::string_view bytes) { return bytes.find(UpdaterMark()) != std::string_view::npos; }

std::string CheckStub(const std::string& path, std::string_view bytes, std::string* note) {
  for (ArchiveLayout layout : {ArchiveLayout::Arc20, ArchiveLayout::PackFile})
    if (bytes.size() > ArchiveOffset && bytes.substr(ArchiveOffset, 12) == FieldsOf(layout).magic)
      return path + ": a packed updater, which carries a payload already; give the program it was packed "
                    "from (build/win32/bin/updater.exe)";
  ProgramHeaders headers = ReadProgramHeaders(bytes);
  if (headers.kind == ProgramKind::None)
    return path + ": not a program (neither a Windows PE image nor an ELF executable)";
  if (!CarriesUpdaterMark(bytes))
    return path + ": not a build of the updater; give build/win32/bin/updater.exe (or build/linux/bin/updater "
                  "for the Linux version)";
  if (bytes.size() >= PayloadHeaderOffset)
    return path + ": " + std::to_string(bytes.size()) + " bytes, too large: the payload begins " +
           std::to_string(PayloadHeaderOffset) +
           " bytes (0x70000) into the packed updater, and the program must end before it; give the updater as the "
           "win32 or linux preset builds it, not a debug or sanitizer build";
  if (headers.kind == ProgramKind::Elf)
    return headers.elfType == 2 || headers.elfType == 3 ? "" : path + ": an ELF file that is not a program";
  bool i386 = headers.machine == MachineI386 && headers.optionalMagic == Pe32;
  bool amd64 = headers.machine == MachineAmd64 && headers.optionalMagic == Pe32Plus;
  if (!i386 && !amd64) {
    char machine[8];
    (void)std::snprintf(machine, sizeof machine, "0x%04X", unsigned{headers.machine});
    return path + ": a Windows image for machine " + machine + "; the updater is i386 (PE32)";
  }
  if ((headers.characteristics & Dll) || !(headers.characteristics & ExecutableImage))
    return path + ": a DLL or object, not a program";
  if (headers.subsystem != GuiSubsystem)
    return path + ": subsystem " + std::to_string(headers.subsystem) + ", not a GUI program (2)";
  if (headers.certificateSize != 0)
    return path + ": signed already; pack the unsigned program, then sign the packed updater";
  if (amd64) *note = path + ": an x86-64 program; the shipping updater is the i386 build";
  return "";
}
