// Reads what the tests check in a Windows executable: the PE headers, the
// imported DLLs and the resources, and decodes the resource formats the
// updater carries (extended dialog templates, version block, icon group).
// Every parser takes untrusted bytes and reports a malformed input through
// its error text instead of reading out of bounds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint32_t kNamedResource = 0xFFFFFFFF;  // type or id of an entry named by a string

struct PeResource {
  uint32_t type = 0;
  uint32_t id = 0;
  std::u16string name;  // only for named entries
  uint16_t language = 0;
  std::string data;
};

struct PeImage {
  uint16_t machine = 0;
  uint16_t magic = 0;
  uint16_t subsystem = 0;
  uint32_t sizeOfHeaders = 0;
  uint64_t endOfSections = 0;  // file offset just past the last section's raw data
  std::vector<std::string> importedDlls;
  std::vector<PeResource> resources;

  std::vector<const PeResource*> Find(uint32_t type, uint32_t id) const;
  size_t CountOfType(uint32_t type) const;
};

std::optional<PeImage> ParsePeImage(const std::string& bytes, std::string* error);

// A sz_Or_Ord field of a dialog template.
struct NameOrOrdinal {
  bool isOrdinal = false;
  uint16_t ordinal = 0;
  std::u16string text;

  bool IsNone() const { return !isOrdinal && text.empty(); }
};

struct DialogItem {
  uint32_t helpId = 0;
  uint32_t exStyle = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t id = 0;
  NameOrOrdinal windowClass;
  NameOrOrdinal title;
  uint16_t extraCount = 0;
};

struct DialogTemplateEx {
  uint16_t version = 0;
  uint16_t signature = 0;
  uint32_t helpId = 0;
  uint32_t exStyle = 0;
  uint32_t style = 0;
  uint16_t itemCount = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal windowClass;
  NameOrOrdinal title;
  uint16_t pointSize = 0;  // the font fields are read only when the style has DS_SETFONT
  uint16_t weight = 0;
  uint8_t italic = 0;
  uint8_t charset = 0;
  std::u16string typeface;
  std::vector<DialogItem> items;
};

std::optional<DialogTemplateEx> ParseDialogTemplateEx(const std::string& data, std::string* error);

// One node of a VS_VERSIONINFO tree (the root, a block, a string or a var).
struct VersionNode {
  std::u16string key;
  uint16_t type = 0;         // 1 for text values
  uint16_t valueLength = 0;  // in characters for text, else in bytes
  std::string value;
  std::vector<VersionNode> children;

  const VersionNode* Child(std::u16string_view childKey) const;
  std::u16string Text() const;  // a text value up to its terminator
};

std::optional<VersionNode> ParseVersionInfo(const std::string& data, std::string* error);

struct IconGroupEntry {
  uint8_t width = 0;  // 0 stands for 256
  uint8_t height = 0;
  uint8_t colorCount = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t bytesInRes = 0;
  uint16_t id = 0;  // the RT_ICON resource holding the image
};

struct IconGroup {
  uint16_t reserved = 0;
  uint16_t type = 0;
  std::vector<IconGroupEntry> entries;
};

std::optional<IconGroup> ParseIconGroup(const std::string& data, std::string* error);

// Little-endian reads within `bytes`; 0 when out of range.
uint16_t ReadU16(std::string_view bytes, size_t offset);
uint32_t ReadU32(std::string_view bytes, size_t offset);
