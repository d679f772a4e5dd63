#pragma once
// File names found without regard to case, as on the host's own file system.
#include <string>

namespace xbase::detail {

// The path as it exists on disk, each component matched without regard to case;
// components that do not exist are kept as written.
std::string ResolvePathCase(const std::string& path);
// A table's path with ".dbf" added when its name has no extension.
std::string WithDbfExtension(const std::string& path);
// The file beside a table with the same name and another extension (".fpt",
// ".cdx"), found without regard to case; when none exists, the name it should have
// (the extension in the case of the table's own).
std::string SiblingFile(const std::string& dbfPath, const std::string& extension, bool* exists = nullptr);

}  // namespace xbase::detail
