#include "update_folder.h"

#include <algorithm>
#include <filesystem>

#include "file_io.h"

namespace fs = std::filesystem;

namespace {

struct Walk {
  bool followLinks;
  std::vector<fs::path> openFolders;  // where the walk stands, to stop a link that leads back up
  std::vector<SourceFile>* files;
};

std::string WalkFolder(Walk* walk, const fs::path& folder, const std::string& relative) {
  std::error_code error;
  fs::path real = fs::canonical(folder, error);
  if (error) return Cannot("open folder", folder.string(), error);
  if (std::find(walk->openFolders.begin(), walk->openFolders.end(), real) != walk->openFolders.end())
    return folder.string() + ": a link to a folder that holds it";
  walk->openFolders.push_back(real);

  fs::directory_iterator it(folder, error), end;
  for (; !error && it != end; it.increment(error)) {
    const fs::path& path = it->path();
    std::string name = relative + path.filename().string();
    fs::file_status status = it->symlink_status(error);
    if (error) return Cannot("read", path.string(), error);
    if (fs::is_symlink(status)) {
      if (!walk->followLinks)
        return path.string() + ": a symbolic link; --follow-links stores what it points to under its name";
      status = fs::status(path, error);
      if (error) return Cannot("follow the link", path.string(), error);
    }
    if (fs::is_directory(status)) {
      if (std::string refusal = WalkFolder(walk, path, name + "/"); !refusal.empty()) return refusal;
    } else if (fs::is_regular_file(status)) {
      unsigned long long size = fs::file_size(path, error);
      if (error) return Cannot("read", path.string(), error);
      walk->files->push_back({name, path.string(), size});
    } else {
      return path.string() + ": neither a file nor a folder";
    }
  }
  if (error) return Cannot("read folder", folder.string(), error);
  walk->openFolders.pop_back();
  return "";
}

}  // namespace

std::string CollectFiles(const std::string& folder, bool followLinks, std::vector<SourceFile>* files) {
  std::error_code error;
  fs::file_status status = fs::status(folder, error);
  if (error) return Cannot("open", folder, error);
  if (!fs::is_directory(status)) return folder + ": not a folder";
  Walk walk{followLinks, {}, files};
  if (std::string refusal = WalkFolder(&walk, folder, ""); !refusal.empty()) return refusal;
  if (files->empty()) return folder + ": holds no files";
  std::sort(files->begin(), files->end(), [](auto& a, auto& b) { return a.relative < b.relative; });
  return "";
}

std::string CheckOutputOutside(const std::string& out, const std::string& folder) {
  std::error_code error;
  fs::path outPath = fs::weakly_canonical(fs::absolute(out, error), error);
  fs::path folderPath = fs::weakly_canonical(fs::absolute(folder, error), error);
  if (error) return "";  // the walk names what is wrong with the folder
  if (std::mismatch(folderPath.begin(), folderPath.end(), outPath.begin(), outPath.end()).first != folderPath.end())
    return "";
  return out + ": inside the update folder " + folder + ", where a later build would pack it; write it elsewhere";
}
