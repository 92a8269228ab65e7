// The registry of the Wine prefix: $WINEPREFIX/system.reg in Wine's own text
// format. The updater is a 32-bit program, so in a 64-bit prefix it reads the
// 32-bit view under Wow6432Node, as Windows would show it.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "location/install_folder.h"
#include "location/registry_posix.h"
#include "payload/windows_path_posix.h"
#include "text/text.h"

namespace {

constexpr size_t ValueLimitBytes = 8192;

RegistryLookUp LastLookUp;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads escaped text from `p` up to the unescaped `end` character; false when
// the text is not closed. UTF-8 bytes outside escapes are decoded too.
bool Unescape(const std::string& line, size_t* p, char end, std::u16string* out) {
  std::string plain;
  auto flush = [&] {
    *out += NarrowToWide(plain.c_str());
    plain.clear();
  };
  while (*p < line.size()) {
    char c = line[(*p)++];
    if (c == end) {
      flush();
      return true;
    }
    if (c != '\\' || *p >= line.size()) {
      plain += c;
      continue;
    }
    char e = line[(*p)++];
    if (e == 'x') {
      char16_t unit = 0;
      int digits = 0;
      for (int d; digits < 4 && *p < line.size() && (d = HexDigit(line[*p])) >= 0; ++digits, ++*p)
        unit = static_cast<char16_t>(unit * 16 + d);
      flush();
      *out += digits ? unit : u'x';
    } else {
      plain += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == '0' ? '\0' : e;
    }
  }
  return false;
}

// The REG_SZ value `name` of key `key`; false when absent or of another type.
bool FindStringValue(std::istream& file, const std::u16string& key, const std::u16string& name, std::u16string* value) {
  std::string line;
  bool inKey = false;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t p = 1;
    if (!line.empty() && line[0] == '[') {
      std::u16string section;
      inKey = Unescape(line, &p, ']', &section) && EqualIgnoringAsciiCase<char16_t>(section, key);
    } else if (inKey && !line.empty() && line[0] == '"') {
      std::u16string valueName;
      if (!Unescape(line, &p, '"', &valueName) || !EqualIgnoringAsciiCase<char16_t>(valueName, name)) continue;
      if (p + 1 >= line.size() || line[p] != '=' || line[p + 1] != '"') return false;  // not REG_SZ
      p += 2;
      return Unescape(line, &p, '"', value);
    }
  }
  return false;
}

}  // namespace

int ReadInstalledFolder(char16_t* folder, size_t capacity, const char16_t* vendor, const char16_t* product) {
  if (!vendor || !product) return 0;
  LastLookUp = {WinePrefixFolder() + "/system.reg", false, {}};
  std::ifstream file(LastLookUp.file, std::ios::binary);
  if (!file) return 0;
  std::stringstream text;
  text << file.rdbuf();
  bool win64 = text.str().find("\n#arch=win64") != std::string::npos;
  std::u16string key = std::u16string(u"Software\\") + (win64 ? u"Wow6432Node\\" : u"") + vendor + u"\\" + product;
  LastLookUp.read = true;
  LastLookUp.key = key;

  std::u16string value;
  if (!FindStringValue(text, key, u"InstalledFolder", &value)) return 0;
  value = value.substr(0, value.find(u'\0'));  // a value ends at its first NUL
  // An empty value names no folder: every path would start at the drive's root.
  if (value.empty() || (value.size() + 1) * sizeof(char16_t) > ValueLimitBytes || value.size() >= capacity) return 0;
  std::copy(value.begin(), value.end(), folder);
  folder[value.size()] = 0;
  return 1;
}

const RegistryLookUp& LastRegistryLookUp() { return LastLookUp; }
