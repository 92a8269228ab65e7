#include "install/install_plan.h"

#include <string_view>
#include <unordered_map>

#include "lists/uninstall_list.h"
#include "payload/file.h"
#include "payload/filesystem.h"
#include "text/text.h"

namespace {

bool IsDeviceName(std::u16string_view component) {
  std::u16string base(component.substr(0, component.find(u'.')));
  for (char16_t& c : base) c = FoldAscii(c);
  for (std::u16string_view device : {u"con", u"prn", u"aux", u"nul"})
    if (base == device) return true;
  return base.size() == 4 && (base.starts_with(u"com") || base.starts_with(u"lpt")) && base[3] >= u'1' &&
         base[3] <= u'9';
}

bool IsForbidden(char16_t c) { return c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos; }

TargetNameFault FaultOfName(const std::u16string& name) {
  for (std::u16string_view component : SplitComponents<char16_t>(name)) {
    if (component.empty()) return TargetNameFault::EmptyComponent;
    if (component == u"." || component == u"..") return TargetNameFault::DotComponent;
    for (char16_t c : component)
      if (IsForbidden(c)) return TargetNameFault::ForbiddenCharacter;
    if (component.back() == u'.' || component.back() == u' ') return TargetNameFault::TrailingDotOrSpace;
    if (IsDeviceName(component)) return TargetNameFault::DeviceName;
  }
  return TargetNameFault::None;
}

// One spelling for every name of one file.
std::u16string SameFileKey(const std::u16string& name) {
  std::u16string key = name;
  for (char16_t& c : key) c = c == u'/' ? u'\\' : FoldAscii(c);
  return key;
}

std::u16string Joined(const char16_t* a, const char16_t* b) { return std::u16string(a) + b; }

}  // namespace

ShippedList ReadShippedVersionList(CFileDX& file, const std::vector<ArchiveEntry>& entries, VersionList* list) {
  for (const ArchiveEntry& entry : entries) {
    if (!EqualIgnoringAsciiCase<char16_t>(NarrowToWide(entry.name.c_str()), VersionListFileName)) continue;
    // Rows taken from the next entry's bytes would verify nothing and send
    // files to the wrong places.
    bool read = SeekTo(file, ArchiveOffset + entry.position) && ReadVersionList(&file, list) &&
                EncodedVersionListSize(list->header) <= entry.size;
    return read ? ShippedList::Read : ShippedList::Damaged;
  }
  return ShippedList::Absent;
}

std::vector<EntryPlan> PlanEntries(const VersionList& shipped, const std::vector<ArchiveEntry>& entries) {
  std::vector<EntryPlan> plans;
  plans.reserve(entries.size());
  for (const ArchiveEntry& entry : entries) {
    EntryPlan plan;
    plan.versionRow = FindVersionEntryForFile(shipped, entry.name.c_str());
    plan.name = NarrowToWide((plan.versionRow >= 0 ? shipped.entries[plan.versionRow].name : entry.name).c_str());
    plan.isVersionList = EqualIgnoringAsciiCase<char16_t>(plan.name, VersionListFileName);
    plans.push_back(std::move(plan));
  }
  return plans;
}

std::vector<std::u16string> TargetNamesOf(const std::vector<EntryPlan>& plans) {
  std::vector<std::u16string> names;
  names.reserve(plans.size());
  for (const EntryPlan& plan : plans) names.push_back(plan.isVersionList ? std::u16string() : plan.name);
  return names;
}

TargetNameCheck CheckTargetNames(const std::vector<std::u16string>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (TargetNameFault fault = names[i].empty() ? TargetNameFault::None : FaultOfName(names[i]);
        fault != TargetNameFault::None)
      return {fault, i, i};
  }
  std::vector<std::u16string> keys(names.size());
  std::unordered_map<std::u16string, size_t> firstOf;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    keys[i] = SameFileKey(names[i]);
    auto [first, added] = firstOf.emplace(keys[i], i);
    if (!added) return {TargetNameFault::SameFile, i, first->second};
  }
  // The lists are rewritten through these names, which would remove such a file.
  for (const char16_t* list : {VersionListFileName, UninstallListFileName}) {
    auto clash = firstOf.find(Joined(list, ReplacementSuffix));
    if (clash != firstOf.end()) return {TargetNameFault::ListReplacement, clash->second, clash->second};
  }
  for (size_t i = 0; i < names.size(); ++i) {
    for (const char16_t* suffix : {StagingSuffix, BackupSuffix}) {
      auto clash = keys[i].empty() ? firstOf.end() : firstOf.find(keys[i] + suffix);
      if (clash != firstOf.end()) return {TargetNameFault::StagingOfOther, clash->second, i};
    }
  }
  return {};
}

const char* DescribeTargetNameFault(TargetNameFault fault) {
  switch (fault) {
    case TargetNameFault::None: return "installable";
    case TargetNameFault::EmptyComponent: return "the path has an empty component";
    case TargetNameFault::DotComponent: return "the path has a \".\" or \"..\" component";
    case TargetNameFault::TrailingDotOrSpace: return "a name ends in a dot or a space, which Windows drops";
    case TargetNameFault::DeviceName: return "a name is a Windows device name (CON, NUL, COM1, ...)";
    case TargetNameFault::ForbiddenCharacter: return "a name holds a character Windows does not allow";
    case TargetNameFault::SameFile: return "names the same file as another";
    case TargetNameFault::StagingOfOther: return "is the staging or backup name of another";
    case TargetNameFault::ListReplacement: return "is the name through which a game list is rewritten";
  }
  return "";
}

InstallResult InstallResultOf(TargetNameFault fault) {
  switch (fault) {
    case TargetNameFault::None: return InstallSucceeded;
    case TargetNameFault::SameFile:
    case TargetNameFault::StagingOfOther:
    case TargetNameFault::ListReplacement: return InstallWriteFailed;
    default: return InstallDamaged;
  }
}
