#include "core/run_log.h"

#include <ctime>
#include <fstream>

#include "core/files.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/time_stamp.h"
#include "platform/shell/shell.h"

namespace tolvarin {
namespace {

struct RunLogState {
  std::ofstream file;
  bool opened = false;
};

RunLogState& Log() {
  static RunLogState state;
  return state;
}

struct DebugLogState {
  std::string name;
  bool initialised = false;
  bool enabled = false;
};

DebugLogState& Debug() {
  static DebugLogState state;
  return state;
}

bool UserContent() { return Settings().Mode == 0; }

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return tm;
}

std::string FormatDay(const std::tm& tm) {
  char buffer[16];
  std::strftime(buffer, sizeof buffer, "%Y_%m_%d", &tm);
  return buffer;
}

// The local date that lies a number of days before today.
std::tm DaysBack(const std::tm& today, int days) {
  std::tm day = today;
  day.tm_mday -= days;
  day.tm_hour = 12;  // noon keeps daylight-saving changes from moving the date
  day.tm_isdst = -1;
  std::time_t t = std::mktime(&day);
  return LocalTime(t);
}

}  // namespace

std::string FormatTimeStamp(std::chrono::system_clock::time_point when) {
  const std::tm tm = LocalTime(std::chrono::system_clock::to_time_t(when));
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
  return buffer;
}

std::string TimeStampNow() { return FormatTimeStamp(ClockNow()); }

void BeginLog(bool writeLine) {
  if (!UserContent()) return;
  RunLogState& log = Log();
  if (log.file.is_open()) log.file.close();
  log.file.clear();
  log.file.open(FindPath(JoinPath(Settings().AppPath, "tolvarin.log")), std::ios::out | std::ios::app | std::ios::binary);
  log.opened = log.file.is_open();
  if (writeLine) WriteLog("Begin Log: " + TimeStampNow());
}

void WriteLog(const std::string& text) {
  if (UserContent()) WriteLogNote(text);
}

void WriteLogNote(const std::string& text) {
  RunLogState& log = Log();
  if (!log.file.is_open()) return;
  // Flushed per line: the log is the trace support reads after a run went wrong.
  log.file << text << "\r\n";
  log.file.flush();
}

void EndLog(bool writeLine) {
  if (!UserContent()) return;
  if (writeLine) WriteLog("End Log: " + TimeStampNow());
  RunLogState& log = Log();
  if (log.file.is_open()) log.file.close();
}

bool RunLogIsOpen() { return Log().file.is_open(); }

bool OpenRunLogInViewer() {
  EndLog(false);
  const bool shown = shell::OpenInViewer(FindPath(JoinPath(Settings().AppPath, "tolvarin.log")));
  BeginLog(false);
  return shown;
}

void InitDebugLog() {
  DebugLogState& debug = Debug();
  debug.initialised = true;
  const std::string& appPath = Settings().AppPath;
  if (appPath.empty()) return;
  const std::string logs = JoinPath(appPath, "logs");
  if (!FolderExists(logs) && !CreateFolderTree(logs)) {
    debug.name = JoinPath(appPath, "debuglog.txt");
    return;
  }
  const std::string folder = FindPath(logs);
  const std::tm today = LocalTime(std::time(nullptr));
  debug.name = JoinPath(folder, "debuglog_" + FormatDay(today) + ".txt");
  for (int days = 8; days <= 30; ++days) {
    const std::string old = JoinPath(folder, "debuglog_" + FormatDay(DaysBack(today, days)) + ".txt");
    if (FileExists(old)) DeleteFile(old);
  }
}

void WriteDebugLog(const std::string& text) {
  DebugLogState& debug = Debug();
  if (!debug.initialised) InitDebugLog();
  if (debug.name.empty()) return;
  if (!debug.enabled || Settings().AppPath.empty()) return;
  std::fstream file = OpenFileChecked(debug.name, FileMode::Append, false);
  if (file.is_open()) file << text << "\r\n";
}

const std::string& DebugLogName() { return Debug().name; }

void SetDebugLogSwitch(bool on) { Debug().enabled = on; }

bool DebugLogSwitch() { return Debug().enabled; }

}  // namespace tolvarin
