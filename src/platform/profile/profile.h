#pragma once
// Windows-style initialisation files: [Section] and Key=Value lines, found without
// regard to case, CR LF line ends. A missing file, section or key gives the default.
#include <string>

namespace profile {

// Values come back trimmed and cut to 254 characters, as the host's readers give them.
std::string GetString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue);
// The default when the key is missing; otherwise the value's leading decimal
// integer (sign allowed), 0 when it is empty or has no digits.
int GetInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue);
// Creates the file and the section when missing and keeps every other line as it was
// (comments included); the file's name is found without regard to case, so no
// second file appears beside one spelt otherwise. A link is written through to its
// target, and the file keeps its permissions.
bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value);

}  // namespace profile
