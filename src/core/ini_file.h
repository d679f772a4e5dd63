#pragma once
// The current initialisation file: one process-wide (section, file) pair. IniSetFile,
// IniReadInt and IniReadString replace it; the other routines name only the key.
// Before the first IniSetFile, reads give 0 and "" and writes do nothing.
// File names are found without regard to case on disk.
#include <string>

namespace tolvarin {

// Proves the file's folder writable (under AppPath only, showing the permissions
// box when it fails), then makes the trimmed section and file the current pair.
void IniSetFile(const std::string& section, const std::string& file);

// Values are 16-bit: a stored number outside -32768..32767 gives the default.
int IniGetInt(const std::string& key, int defaultValue);
// Cut to 254 characters.
std::string IniGetString(const std::string& key, const std::string& defaultValue);
// Non-zero on success; 0 before any file was set.
int IniWriteInt(const std::string& key, int value);
int IniWriteString(const std::string& key, const std::string& value);

// IniSetFile(section, file), then IniGetInt(key, -1) / IniGetString(key, "").
int IniReadInt(const std::string& file, const std::string& section, const std::string& key);
std::string IniReadString(const std::string& file, const std::string& section, const std::string& key);

// A key of the host's Kestal.INI in AppPath, section Tolvarin, read by naming that
// file whatever the current pair is (which it leaves as it was); "" when absent.
std::string HostIniString(const std::string& key);

// The current pair, for callers that must restore it after reading another file.
struct IniFileState {
  std::string section;
  std::string file;
  bool set = false;
};
IniFileState CurrentIniFile();

}  // namespace tolvarin
