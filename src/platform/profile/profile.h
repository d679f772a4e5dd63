#pragma once
// Windows-style initialisation files: [Section] and Key=Value lines, found without
// regard to case, CR LF line ends. A missing file, section or key gives the default.
#include <string>

namespace profile {

// Values come back trimmed and cut to 254 characters, as the host's readers give them.
std::string GetString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue);
// The leading decimal integer of the value; the default when there is none.
int GetInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue);
// Creates the file and the section when missing and keeps every other line as it was.
bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value);

}  // namespace profile
