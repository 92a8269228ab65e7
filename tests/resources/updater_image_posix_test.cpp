// The shipping Windows updater as a vendor packs it: the program part of the
// packed file must be a small i386 GUI image with only system imports, and
// carry the progress dialogs, manifest, version block and icon it relies on.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "support/pe_image.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRtIcon = 3;
constexpr uint32_t kRtDialog = 5;
constexpr uint32_t kRtGroupIcon = 14;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kRtManifest = 24;

std::string ShippingExecutable() { return std::string(UPDATER_SOURCE_DIR) + "/build/win32/bin/updater.exe"; }

struct PackedImage {
  std::optional<PeImage> image;
  std::string error;
};

// Packs the shipping program once with the vendor's tool and parses the result.
PackedImage PackAndParse() {
  PackedImage result;
  std::string stub = ShippingExecutable();
  if (!FileExists(stub)) {
    result.error = stub + " is missing: build the win32 preset first (scripts/build win32)";
    return result;
  }
  TempFolder folder;
  fs::create_directories(folder.File("from"));
  WriteBytes(folder.File("from/readme.txt"), "resource check");
  std::string command = std::string(UPDATER_PACK_PATH) + " build --stub '" + stub + "' --from '" +
                        folder.File("from") + "' --title 'Resource Check' --out '" + folder.File("out.exe") +
                        "' 2>&1";
  std::string output;
  std::FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n;
  while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int status = pipe ? pclose(pipe) : -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    result.error = "updater-pack failed: " + output;
    return result;
  }
  result.image = ParsePeImage(ReadBytes(folder.File("out.exe")), &result.error);
  if (!result.image) result.error = "packed updater is not a readable PE image: " + result.error;
  return result;
}

class UpdaterImage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FileExists(ShippingExecutable())) GTEST_SKIP() << "no shipping program: build the win32 preset first";
    static const PackedImage packed = PackAndParse();
    ASSERT_TRUE(packed.image.has_value()) << packed.error;
    image_ = &*packed.image;
  }

  // The one resource of this type and id; fails the test when there is none or several.
  const PeResource* Only(uint32_t type, uint32_t id) const {
    std::vector<const PeResource*> found = image_->Find(type, id);
    EXPECT_EQ(found.size(), 1u) << "resources of type " << type << " id " << id;
    return found.size() == 1 ? found[0] : nullptr;
  }

  const PeImage* image_ = nullptr;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {  // the texts checked here are all in the BMP
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

TEST_F(UpdaterImage, IsASmallI386GuiProgramImportingOnlySystemDlls) {
  EXPECT_EQ(image_->magic, 0x10b) << "not PE32";
  EXPECT_EQ(image_->machine, 0x14c) << "not i386";
  EXPECT_EQ(image_->subsystem, 2) << "not a GUI program";
  // The payload starts at 0x70000: the program may not reach it.
  EXPECT_LT(image_->endOfSections, 0x70000u);
  EXPECT_LT(image_->sizeOfHeaders, 0x70000u);

  const std::set<std::string> allowed = {"kernel32.dll", "ntdll.dll", "user32.dll", "advapi32.dll",
                                         "shell32.dll",  "ole32.dll", "gdi32.dll",  "msvcrt.dll"};
  std::string all;
  for (const std::string& dll : image_->importedDlls) all += dll + " ";
  EXPECT_FALSE(image_->importedDlls.empty());
  for (const std::string& dll : image_->importedDlls) {
    EXPECT_TRUE(allowed.count(Lower(dll))) << dll << " is not a system DLL; imports: " << all;
  }
}

struct ExpectedDialog {
  uint32_t id;
  const char* typeface;
  uint8_t charset;
  std::u16string buttonLabel;
};

TEST_F(UpdaterImage, ProgressDialogTemplatesDescribeTheProgressWindow) {
  for (const ExpectedDialog& expected : {ExpectedDialog{102, "MS UI Gothic", 128, u"中止"},
                                         ExpectedDialog{103, "Segoe UI", 0, u"Cancel"}}) {
    SCOPED_TRACE("dialog " + std::to_string(expected.id));
    const PeResource* resource = Only(kRtDialog, expected.id);
    ASSERT_NE(resource, nullptr);
    // Language neutral, so FindResource finds it whatever the thread's UI language.
    EXPECT_EQ(resource->language, 0);
    std::string error;
    std::optional<DialogTemplateEx> dialog = ParseDialogTemplateEx(resource->data, &error);
    ASSERT_TRUE(dialog.has_value()) << error;

    EXPECT_EQ(dialog->signature, 0xFFFF);
    EXPECT_EQ(dialog->version, 1);
    EXPECT_EQ(dialog->helpId, 0u);
    // WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT: no system menu, not visible.
    EXPECT_EQ(dialog->style, 0x80C000C0u) << Hex(dialog->style);
    EXPECT_EQ(dialog->exStyle, 0u) << Hex(dialog->exStyle);
    EXPECT_EQ(dialog->itemCount, 4);
    EXPECT_EQ(dialog->x, 0);
    EXPECT_EQ(dialog->y, 0);
    EXPECT_EQ(dialog->cx, 271);
    EXPECT_EQ(dialog->cy, 109);
    EXPECT_TRUE(dialog->menu.IsNone());
    EXPECT_TRUE(dialog->windowClass.IsNone());
    EXPECT_TRUE(dialog->title.IsNone());
    EXPECT_EQ(dialog->pointSize, 9);
    EXPECT_EQ(dialog->weight, 400);
    EXPECT_EQ(dialog->italic, 0);
    EXPECT_EQ(dialog->charset, expected.charset);
    EXPECT_EQ(Utf8(dialog->typeface), expected.typeface);

    struct ExpectedItem {
      uint32_t id;
      uint16_t classAtom;  // 0 for a class given by name
      std::u16string className;
      std::u16string title;
      int16_t x, y, cx, cy;
      uint32_t style, exStyle;
    };
    const ExpectedItem items[] = {
        {1000, 0x0080, u"", expected.buttonLabel, 110, 88, 51, 14, 0x50010000, 0},
        {1001, 0x0082, u"", u"", 7, 7, 257, 14, 0x50020201, 0x20000},
        {1002, 0, u"msctls_progress32", u"", 7, 33, 257, 16, 0x50800001, 0},
        {1003, 0, u"msctls_progress32", u"", 7, 59, 257, 16, 0x50800001, 0},
    };
    ASSERT_EQ(dialog->items.size(), std::size(items));
    for (size_t i = 0; i < std::size(items); ++i) {
      SCOPED_TRACE("control " + std::to_string(items[i].id));
      const DialogItem& item = dialog->items[i];
      EXPECT_EQ(item.id, items[i].id);
      EXPECT_EQ(item.helpId, 0u);
      EXPECT_EQ(item.style, items[i].style) << Hex(item.style);
      EXPECT_EQ(item.exStyle, items[i].exStyle) << Hex(item.exStyle);
      EXPECT_EQ(item.x, items[i].x);
      EXPECT_EQ(item.y, items[i].y);
      EXPECT_EQ(item.cx, items[i].cx);
      EXPECT_EQ(item.cy, items[i].cy);
      if (items[i].classAtom != 0) {
        EXPECT_TRUE(item.windowClass.isOrdinal);
        EXPECT_EQ(item.windowClass.ordinal, items[i].classAtom);
      } else {
        EXPECT_FALSE(item.windowClass.isOrdinal);
        EXPECT_EQ(Utf8(item.windowClass.text), Utf8(items[i].className));
      }
      EXPECT_FALSE(item.title.isOrdinal);
      EXPECT_EQ(Utf8(item.title.text), Utf8(items[i].title));
      EXPECT_EQ(item.extraCount, 0);
    }
  }
}

// Attributes of every element `name` (with any namespace prefix), loosely read.
std::vector<std::map<std::string, std::string>> Elements(const std::string& xml, const std::string& name) {
  std::vector<std::map<std::string, std::string>> found;
  std::regex element("<(?:[A-Za-z0-9_]+:)?" + name + "\\b([^>]*)>");
  std::regex attribute("([A-Za-z_:][A-Za-z0-9_:.-]*)\\s*=\\s*[\"']([^\"']*)[\"']");
  for (auto e = std::sregex_iterator(xml.begin(), xml.end(), element); e != std::sregex_iterator(); ++e) {
    std::map<std::string, std::string> attributes;
    std::string inside = (*e)[1];
    for (auto a = std::sregex_iterator(inside.begin(), inside.end(), attribute); a != std::sregex_iterator(); ++a) {
      attributes[(*a)[1]] = (*a)[2];
    }
    found.push_back(attributes);
  }
  return found;
}

TEST_F(UpdaterImage, ManifestRunsElevatedDpiAwareOnVistaTo10) {
  EXPECT_EQ(image_->CountOfType(kRtManifest), 1u) << "a second manifest would conflict";
  const PeResource* resource = Only(kRtManifest, 1);
  ASSERT_NE(resource, nullptr);
  const std::string& xml = resource->data;
  EXPECT_EQ(xml.rfind("<?xml", 0), 0u) << "the manifest must start with the XML declaration";

  auto identity = Elements(xml, "assemblyIdentity");
  ASSERT_EQ(identity.size(), 1u) << xml;
  EXPECT_EQ(identity[0]["name"], "Setup");
  EXPECT_EQ(identity[0]["version"], "1.0.0.0");
  EXPECT_EQ(identity[0]["processorArchitecture"], "X86");
  EXPECT_EQ(identity[0]["type"], "win32");

  auto level = Elements(xml, "requestedExecutionLevel");
  ASSERT_EQ(level.size(), 1u) << xml;
  EXPECT_EQ(level[0]["level"], "requireAdministrator");
  EXPECT_EQ(level[0]["uiAccess"], "false");

  std::smatch dpi;
  ASSERT_TRUE(std::regex_search(xml, dpi, std::regex("<(?:[A-Za-z0-9_]+:)?dpiAware\\b[^>]*>\\s*([^<]*?)\\s*<")))
      << xml;
  EXPECT_EQ(dpi[1], "true");

  std::set<std::string> systems;
  for (auto& os : Elements(xml, "supportedOS")) systems.insert(Lower(os["Id"]));
  EXPECT_EQ(systems, (std::set<std::string>{
                         "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
                         "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
                         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
                     }));
}

TEST_F(UpdaterImage, VersionBlockSays2000InAJapaneseUnicodeTable) {
  const PeResource* resource = Only(kRtVersion, 1);
  ASSERT_NE(resource, nullptr);
  std::string error;
  std::optional<VersionNode> root = ParseVersionInfo(resource->data, &error);
  ASSERT_TRUE(root.has_value()) << error;
  EXPECT_EQ(Utf8(root->key), "VS_VERSION_INFO");

  const std::string& fixed = root->value;
  ASSERT_EQ(fixed.size(), 52u) << "VS_FIXEDFILEINFO";
  EXPECT_EQ(ReadU32(fixed, 0), 0xFEEF04BDu) << "signature";
  EXPECT_EQ(ReadU32(fixed, 8), 0x00020000u) << "file version, high";
  EXPECT_EQ(ReadU32(fixed, 12), 0u) << "file version, low";
  EXPECT_EQ(ReadU32(fixed, 16), 0x00020000u) << "product version, high";
  EXPECT_EQ(ReadU32(fixed, 20), 0u) << "product version, low";
  EXPECT_EQ(ReadU32(fixed, 32), 0x40004u) << "VOS_NT_WINDOWS32";
  EXPECT_EQ(ReadU32(fixed, 36), 1u) << "VFT_APP";

  const VersionNode* strings = root->Child(u"StringFileInfo");
  ASSERT_NE(strings, nullptr);
  ASSERT_EQ(strings->children.size(), 1u);
  const VersionNode& table = strings->children[0];
  EXPECT_EQ(Utf8(table.key), "041104b0");
  std::map<std::string, std::string> values;
  for (const VersionNode& value : table.children) {
    EXPECT_EQ(value.type, 1) << Utf8(value.key) << " is not text";
    // Readers take the value length as the text length with its terminator.
    EXPECT_EQ(value.valueLength, value.Text().size() + 1) << Utf8(value.key);
    values[Utf8(value.key)] = Utf8(value.Text());
  }
  EXPECT_EQ(values["FileVersion"], "2.0.0.0");
  EXPECT_EQ(values["ProductVersion"], "2.0.0.0");
  EXPECT_EQ(values["CompanyName"], "TARN");
  EXPECT_FALSE(values["FileDescription"].empty());
  EXPECT_FALSE(values["ProductName"].empty());

  const VersionNode* vars = root->Child(u"VarFileInfo");
  ASSERT_NE(vars, nullptr);
  const VersionNode* translation = vars->Child(u"Translation");
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->value.size(), 4u);
  EXPECT_EQ(ReadU16(translation->value, 0), 0x0411);
  EXPECT_EQ(ReadU16(translation->value, 2), 1200);
}

TEST_F(UpdaterImage, IconGroupHoldsFour32BitImagesFrom256To16) {
  const PeResource* resource = Only(kRtGroupIcon, 101);
  ASSERT_NE(resource, nullptr);
  std::string error;
  std::optional<IconGroup> group = ParseIconGroup(resource->data, &error);
  ASSERT_TRUE(group.has_value()) << error;
  EXPECT_EQ(group->reserved, 0);
  EXPECT_EQ(group->type, 1) << "icons, not cursors";

  const int sizes[] = {256, 48, 32, 16};
  ASSERT_EQ(group->entries.size(), std::size(sizes));
  for (size_t i = 0; i < std::size(sizes); ++i) {
    const int size = sizes[i];
    SCOPED_TRACE(std::to_string(size) + " px");
    const IconGroupEntry& entry = group->entries[i];
    EXPECT_EQ(entry.width, size % 256) << "256 is stored as 0";
    EXPECT_EQ(entry.height, size % 256);
    EXPECT_EQ(entry.bitCount, 32);
    EXPECT_EQ(entry.planes, 1);

    const PeResource* icon = Only(kRtIcon, entry.id);
    ASSERT_NE(icon, nullptr);
    const std::string& image = icon->data;
    EXPECT_EQ(entry.bytesInRes, image.size());
    if (image.rfind("\x89PNG\r\n\x1a\n", 0) == 0) {
      ASSERT_GE(image.size(), 26u);
      EXPECT_EQ(image.substr(12, 4), "IHDR");
      auto bigEndian = [&](size_t at) {
        return (uint32_t{static_cast<uint8_t>(image[at])} << 24) | (static_cast<uint8_t>(image[at + 1]) << 16) |
               (static_cast<uint8_t>(image[at + 2]) << 8) | static_cast<uint8_t>(image[at + 3]);
      };
      EXPECT_EQ(bigEndian(16), static_cast<uint32_t>(size));
      EXPECT_EQ(bigEndian(20), static_cast<uint32_t>(size));
      EXPECT_EQ(image[24], 8) << "bits per channel";
      EXPECT_EQ(image[25], 6) << "RGBA";
    } else {
      ASSERT_GE(image.size(), 40u);
      EXPECT_EQ(ReadU32(image, 0), 40u) << "BITMAPINFOHEADER";
      EXPECT_EQ(ReadU32(image, 4), static_cast<uint32_t>(size));
      EXPECT_EQ(ReadU32(image, 8), static_cast<uint32_t>(2 * size)) << "colour and mask rows";
      EXPECT_EQ(ReadU16(image, 14), 32);
      EXPECT_EQ(ReadU32(image, 16), 0u) << "BI_RGB";
      size_t maskStride = (size + 31) / 32 * 4;
      EXPECT_EQ(image.size(), 40u + size * size * 4u + size * maskStride);
    }
  }
}

}  // namespace
