#include "core/ini_file.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "platform/profile/profile.h"

namespace tolvarin {
namespace {

IniFileState& Current() {
  static IniFileState state;
  return state;
}

}  // namespace

void IniSetFile(const std::string& section, const std::string& file) {
  CheckFolderWritable(file, false, true);
  IniFileState& state = Current();
  state.section = Trim(section);
  state.file = Trim(file);
  state.set = true;
}

int IniGetInt(const std::string& key, int defaultValue) {
  const IniFileState& state = Current();
  if (!state.set) return 0;
  // Read wide, then held to the 16 bits the host's readers kept.
  const int value = profile::GetInt(state.file, state.section, key, defaultValue);
  return (value < -32768 || value > 32767) ? defaultValue : value;
}

std::string IniGetString(const std::string& key, const std::string& defaultValue) {
  const IniFileState& state = Current();
  if (!state.set) return "";
  return profile::GetString(state.file, state.section, key, defaultValue);
}

int IniWriteInt(const std::string& key, int value) { return IniWriteString(key, std::to_string(value)); }

int IniWriteString(const std::string& key, const std::string& value) {
  const IniFileState& state = Current();
  if (!state.set) return 0;
  return profile::WriteString(state.file, state.section, key, value) ? 1 : 0;
}

int IniReadInt(const std::string& file, const std::string& section, const std::string& key) {
  IniSetFile(section, file);
  return IniGetInt(key, -1);
}

std::string IniReadString(const std::string& file, const std::string& section, const std::string& key) {
  IniSetFile(section, file);
  return IniGetString(key, "");
}

std::string HostIniString(const std::string& key) {
  return profile::GetString(FindPath(JoinPath(Settings().AppPath, "Kestal.INI")), "Tolvarin", key, "");
}

IniFileState CurrentIniFile() { return Current(); }

}  // namespace tolvarin
