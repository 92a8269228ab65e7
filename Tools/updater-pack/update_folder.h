// The files of an update folder as the vendor laid them out, walked without
// ever leaving the folder: a link is refused unless the vendor asks for what
// it points to, and names come from the walk itself, never from where a link
// leads.
#pragma once

#include <string>
#include <vector>

struct SourceFile {
  std::string relative;  // UTF-8, "/" separated, below the update folder
  std::string path;
  unsigned long long size;
};

// Every file below `folder`, sorted by relative name so that the file
// system's listing order never shows in the output. "" or a one-line refusal.
std::string CollectFiles(const std::string& folder, bool followLinks, std::vector<SourceFile>* files);

// "" unless `out` would be written inside `folder`, where a later build would
// pack it as a file of the update.
std::string CheckOutputOutside(const std::string& out, const std::string& folder);
