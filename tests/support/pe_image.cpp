#include "support/pe_image.h"

#include <algorithm>

namespace {

constexpr uint16_t kPe32Magic = 0x10b;
constexpr uint16_t kPe32PlusMagic = 0x20b;
constexpr uint32_t kDsSetFont = 0x40;
constexpr int kResourceLevels = 3;  // type, name, language

// Sequential little-endian reads that turn any overrun into a failed state.
class Reader {
 public:
  Reader(std::string_view bytes, size_t offset) : bytes_(bytes), offset_(offset) {}

  bool ok() const { return ok_; }
  size_t offset() const { return offset_; }

  uint8_t U8() {
    if (!Need(1)) return 0;
    return static_cast<uint8_t>(bytes_[offset_++]);
  }
  uint16_t U16() {
    uint16_t low = U8();
    return static_cast<uint16_t>(low | (U8() << 8));
  }
  uint32_t U32() {
    uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }
  int16_t S16() { return static_cast<int16_t>(U16()); }

  std::u16string WideUntilNul() {
    std::u16string text;
    for (;;) {
      char16_t c = U16();
      if (!ok_ || c == 0) return text;
      text.push_back(c);
    }
  }

  std::string Bytes(size_t count) {
    if (!Need(count)) return {};
    std::string out(bytes_.substr(offset_, count));
    offset_ += count;
    return out;
  }

  // Dialog items and version nodes start on DWORD boundaries counted from `base`.
  void AlignTo4(size_t base) {
    size_t misalignment = (offset_ - base) % 4;
    if (misalignment != 0) Skip(4 - misalignment);
  }
  void Skip(size_t count) {
    if (Need(count)) offset_ += count;
  }

 private:
  bool Need(size_t count) {
    if (!ok_ || offset_ > bytes_.size() || bytes_.size() - offset_ < count) ok_ = false;
    return ok_;
  }

  std::string_view bytes_;
  size_t offset_;
  bool ok_ = true;
};

std::string CString(std::string_view bytes, size_t offset) {
  if (offset >= bytes.size()) return {};
  size_t end = bytes.find('\0', offset);
  return std::string(bytes.substr(offset, end == std::string_view::npos ? std::string_view::npos : end - offset));
}

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

std::optional<size_t> RvaToOffset(const std::vector<Section>& sections, uint32_t rva, size_t fileSize) {
  for (const Section& s : sections) {
    uint32_t span = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
      uint64_t inSection = rva - s.virtualAddress;
      if (inSection >= s.rawSize) return std::nullopt;  // uninitialised data: not in the file
      uint64_t offset = static_cast<uint64_t>(s.rawOffset) + inSection;
      if (offset >= fileSize) return std::nullopt;
      return static_cast<size_t>(offset);
    }
  }
  return std::nullopt;
}

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

std::nullopt_t NoResult(std::string* error, const std::string& why) {
  Fail(error, why);
  return std::nullopt;
}

class ResourceWalker {
 public:
  ResourceWalker(std::string_view bytes, const std::vector<Section>& sections, size_t root)
      : bytes_(bytes), sections_(sections), root_(root) {}

  bool Walk(std::vector<PeResource>* out, std::string* error) { return Directory(0, 0, PeResource{}, out, error); }

 private:
  bool Directory(uint32_t relative, int level, PeResource path, std::vector<PeResource>* out, std::string* error) {
    if (level >= kResourceLevels) return Fail(error, "resource directory nested too deep");
    if (++directories_ > 10000) return Fail(error, "resource directory loops");
    Reader r(bytes_, root_ + relative);
    r.Skip(12);
    uint32_t entries = static_cast<uint32_t>(r.U16()) + r.U16();
    if (!r.ok()) return Fail(error, "resource directory out of the file");
    for (uint32_t i = 0; i < entries; ++i) {
      uint32_t nameField = r.U32();
      uint32_t target = r.U32();
      if (!r.ok()) return Fail(error, "resource directory entries out of the file");
      uint32_t id = nameField;
      std::u16string name;
      if (nameField & 0x80000000u) {
        Reader n(bytes_, root_ + (nameField & 0x7FFFFFFFu));
        uint16_t length = n.U16();
        for (uint16_t c = 0; c < length; ++c) name.push_back(n.U16());
        if (!n.ok()) return Fail(error, "resource name out of the file");
        id = kNamedResource;
      }
      PeResource entry = path;
      if (level == 0) {
        entry.type = id;
      } else if (level == 1) {
        entry.id = id;
        entry.name = name;
      } else {
        entry.language = static_cast<uint16_t>(id);
      }
      if (target & 0x80000000u) {
        if (!Directory(target & 0x7FFFFFFFu, level + 1, entry, out, error)) return false;
      } else {
        if (level != kResourceLevels - 1) return Fail(error, "resource data above the language level");
        Reader leaf(bytes_, root_ + target);
        uint32_t rva = leaf.U32();
        uint32_t size = leaf.U32();
        if (!leaf.ok()) return Fail(error, "resource data entry out of the file");
        std::optional<size_t> offset = RvaToOffset(sections_, rva, bytes_.size());
        if (!offset || bytes_.size() - *offset < size) return Fail(error, "resource data out of the file");
        entry.data = std::string(bytes_.substr(*offset, size));
        out->push_back(std::move(entry));
      }
    }
    return true;
  }

  std::string_view bytes_;
  const std::vector<Section>& sections_;
  size_t root_;
  int directories_ = 0;
};

NameOrOrdinal ReadNameOrOrdinal(Reader& r) {
  NameOrOrdinal field;
  uint16_t first = r.U16();
  if (first == 0xFFFF) {
    field.isOrdinal = true;
    field.ordinal = r.U16();
  } else if (first != 0) {
    field.text.push_back(first);
    field.text += r.WideUntilNul();
  }
  return field;
}

bool ReadVersionNode(std::string_view data, size_t offset, int depth, VersionNode* node, size_t* end,
                     std::string* error) {
  if (depth > 8) return Fail(error, "version block nested too deep");
  Reader r(data, offset);
  uint16_t length = r.U16();
  node->valueLength = r.U16();
  node->type = r.U16();
  node->key = r.WideUntilNul();
  r.AlignTo4(0);
  if (!r.ok() || length < 6 || data.size() - offset < length) return Fail(error, "version node out of bounds");
  size_t nodeEnd = offset + length;
  size_t valueBytes = node->type == 1 ? size_t{node->valueLength} * 2 : node->valueLength;
  if (r.offset() + valueBytes > nodeEnd) return Fail(error, "version value overruns its node");
  node->value = r.Bytes(valueBytes);
  r.AlignTo4(0);
  size_t child = r.offset();
  while (child < nodeEnd) {
    VersionNode next;
    size_t childEnd = 0;
    if (!ReadVersionNode(data.substr(0, nodeEnd), child, depth + 1, &next, &childEnd, error)) return false;
    node->children.push_back(std::move(next));
    child = (childEnd + 3) & ~size_t{3};
  }
  *end = nodeEnd;
  return true;
}

}  // namespace

uint16_t ReadU16(std::string_view bytes, size_t offset) {
  Reader r(bytes, offset);
  uint16_t value = r.U16();
  return r.ok() ? value : 0;
}

uint32_t ReadU32(std::string_view bytes, size_t offset) {
  Reader r(bytes, offset);
  uint32_t value = r.U32();
  return r.ok() ? value : 0;
}

std::vector<const PeResource*> PeImage::Find(uint32_t type, uint32_t id) const {
  std::vector<const PeResource*> found;
  for (const PeResource& r : resources) {
    if (r.type == type && r.id == id) found.push_back(&r);
  }
  return found;
}

size_t PeImage::CountOfType(uint32_t type) const {
  return std::count_if(resources.begin(), resources.end(), [type](const PeResource& r) { return r.type == type; });
}

std::optional<PeImage> ParsePeImage(const std::string& bytes, std::string* error) {
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return NoResult(error, "no MZ header");
  uint32_t peOffset = ReadU32(bytes, 0x3C);
  if (bytes.size() < 24 || peOffset > bytes.size() - 24 || bytes.compare(peOffset, 4, std::string("PE\0\0", 4)) != 0) {
    return NoResult(error, "no PE signature");
  }
  PeImage image;
  Reader coff(bytes, peOffset + 4);
  image.machine = coff.U16();
  uint16_t sectionCount = coff.U16();
  coff.Skip(12);
  uint16_t optionalSize = coff.U16();
  coff.Skip(2);
  size_t optional = coff.offset();
  image.magic = ReadU16(bytes, optional);
  if (image.magic != kPe32Magic && image.magic != kPe32PlusMagic) {
    return NoResult(error, "unknown optional header magic");
  }
  image.sizeOfHeaders = ReadU32(bytes, optional + 60);
  image.subsystem = ReadU16(bytes, optional + 68);
  size_t directoryCountAt = optional + (image.magic == kPe32Magic ? 92 : 108);
  uint32_t directoryCount = ReadU32(bytes, directoryCountAt);
  size_t directories = directoryCountAt + 4;

  std::vector<Section> sections;
  Reader table(bytes, optional + optionalSize);
  for (uint16_t i = 0; i < sectionCount; ++i) {
    table.Skip(8);
    Section s{};
    s.virtualSize = table.U32();
    s.virtualAddress = table.U32();
    s.rawSize = table.U32();
    s.rawOffset = table.U32();
    table.Skip(16);
    if (!table.ok()) return NoResult(error, "section table out of the file");
    if (s.rawSize != 0) {
      image.endOfSections = std::max<uint64_t>(image.endOfSections, uint64_t{s.rawOffset} + s.rawSize);
    }
    sections.push_back(s);
  }
  if (image.endOfSections > bytes.size()) return NoResult(error, "sections end past the file");

  auto directory = [&](uint32_t index) -> std::pair<uint32_t, uint32_t> {
    if (index >= directoryCount) return {0, 0};
    return {ReadU32(bytes, directories + index * 8), ReadU32(bytes, directories + index * 8 + 4)};
  };

  if (auto [rva, size] = directory(1); rva != 0 && size != 0) {
    std::optional<size_t> at = RvaToOffset(sections, rva, bytes.size());
    if (!at) return NoResult(error, "import table out of the file");
    for (size_t d = *at;; d += 20) {
      if (d + 20 > bytes.size()) return NoResult(error, "import descriptors run past the file");
      uint32_t nameRva = ReadU32(bytes, d + 12);
      uint32_t firstThunk = ReadU32(bytes, d + 16);
      if (nameRva == 0 && firstThunk == 0) break;
      std::optional<size_t> name = RvaToOffset(sections, nameRva, bytes.size());
      if (!name) return NoResult(error, "imported DLL name out of the file");
      image.importedDlls.push_back(CString(bytes, *name));
    }
  }

  if (auto [rva, size] = directory(2); rva != 0 && size != 0) {
    std::optional<size_t> root = RvaToOffset(sections, rva, bytes.size());
    if (!root) return NoResult(error, "resource directory out of the file");
    ResourceWalker walker(bytes, sections, *root);
    if (!walker.Walk(&image.resources, error)) return std::nullopt;
  }
  return image;
}

std::optional<DialogTemplateEx> ParseDialogTemplateEx(const std::string& data, std::string* error) {
  DialogTemplateEx dialog;
  Reader r(data, 0);
  dialog.version = r.U16();
  dialog.signature = r.U16();
  if (dialog.version != 1 || dialog.signature != 0xFFFF) return NoResult(error, "not an extended dialog template");
  dialog.helpId = r.U32();
  dialog.exStyle = r.U32();
  dialog.style = r.U32();
  dialog.itemCount = r.U16();
  dialog.x = r.S16();
  dialog.y = r.S16();
  dialog.cx = r.S16();
  dialog.cy = r.S16();
  dialog.menu = ReadNameOrOrdinal(r);
  dialog.windowClass = ReadNameOrOrdinal(r);
  dialog.title = ReadNameOrOrdinal(r);
  if (dialog.style & kDsSetFont) {
    dialog.pointSize = r.U16();
    dialog.weight = r.U16();
    dialog.italic = r.U8();
    dialog.charset = r.U8();
    dialog.typeface = r.WideUntilNul();
  }
  for (uint16_t i = 0; i < dialog.itemCount && r.ok(); ++i) {
    r.AlignTo4(0);
    DialogItem item;
    item.helpId = r.U32();
    item.exStyle = r.U32();
    item.style = r.U32();
    item.x = r.S16();
    item.y = r.S16();
    item.cx = r.S16();
    item.cy = r.S16();
    item.id = r.U32();
    item.windowClass = ReadNameOrOrdinal(r);
    item.title = ReadNameOrOrdinal(r);
    item.extraCount = r.U16();
    r.Skip(item.extraCount);
    dialog.items.push_back(std::move(item));
  }
  if (!r.ok()) return NoResult(error, "dialog template ends early");
  return dialog;
}

const VersionNode* VersionNode::Child(std::u16string_view childKey) const {
  for (const VersionNode& c : children) {
    if (c.key == childKey) return &c;
  }
  return nullptr;
}

std::u16string VersionNode::Text() const {
  std::u16string text;
  for (size_t i = 0; i + 1 < value.size(); i += 2) {
    char16_t c = static_cast<char16_t>(static_cast<uint8_t>(value[i]) | (static_cast<uint8_t>(value[i + 1]) << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

std::optional<VersionNode> ParseVersionInfo(const std::string& data, std::string* error) {
  VersionNode root;
  size_t end = 0;
  if (!ReadVersionNode(data, 0, 0, &root, &end, error)) return std::nullopt;
  return root;
}

std::optional<IconGroup> ParseIconGroup(const std::string& data, std::string* error) {
  IconGroup group;
  Reader r(data, 0);
  group.reserved = r.U16();
  group.type = r.U16();
  uint16_t count = r.U16();
  for (uint16_t i = 0; i < count && r.ok(); ++i) {
    IconGroupEntry entry;
    entry.width = r.U8();
    entry.height = r.U8();
    entry.colorCount = r.U8();
    r.Skip(1);
    entry.planes = r.U16();
    entry.bitCount = r.U16();
    entry.bytesInRes = r.U32();
    entry.id = r.U16();
    group.entries.push_back(entry);
  }
  if (!r.ok()) return NoResult(error, "icon group ends early");
  return group;
}
