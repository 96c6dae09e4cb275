#include "node/FileNames.h"

std::string FolderPrefix(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

std::string FolderFile(const std::string& folder, const std::string& name) {
  return FolderPrefix(folder) + name;
}
