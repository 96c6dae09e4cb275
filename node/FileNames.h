#ifndef VESK_NODE_FILENAMES_H
#define VESK_NODE_FILENAMES_H

#include <string>

// The node's files live in the folder its host gave (or the current directory
// when none was given).

// What goes in front of a file name: empty for the current directory, else
// the folder ending with one '/'.
std::string FolderPrefix(const std::string& folder);
// `name` in `folder`.
std::string FolderFile(const std::string& folder, const std::string& name);

#endif
