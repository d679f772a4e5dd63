#pragma once
// The run log tolvarin.log in AppPath (appended, CR LF lines) and the debug log.
// Every run-log operation acts only while Settings().Mode is 0; start-up opens the
// log before it sets Mode, so the begin line is written in every run.
#include <chrono>
#include <string>

namespace tolvarin {

void BeginLog(bool writeLine);   // opens for appending; "Begin Log: " + time stamp
void WriteLog(const std::string& text);
// A line about something a run skipped or refused (a table that would not open, a
// name from another program's file that was not safe): written in every mode, since
// the modes that meet such things write no step lines, while the log is open.
void WriteLogNote(const std::string& text);
void EndLog(bool writeLine);     // "End Log: " + time stamp, then closes
bool RunLogIsOpen();
// The main window's log button: closes the log without a line, opens it in the
// system's viewer and opens it again, so later lines go on in the same file.
// False when no viewer could be started.
bool OpenRunLogInViewer();

// The debug log AppPath/logs/debuglog_yyyy_mm_dd.txt (fallback AppPath/debuglog.txt).
// Its switch is off: the first call only creates the logs folder and prunes logs
// 8 to 30 days old.
void WriteDebugLog(const std::string& text);
void InitDebugLog();
const std::string& DebugLogName();
void SetDebugLogSwitch(bool on);  // nothing in the system turns it on
bool DebugLogSwitch();

// "yyyy-mm-dd hh:nn:ss" in local time, as logs and description files write it.
std::string FormatTimeStamp(std::chrono::system_clock::time_point when);
std::string TimeStampNow();

}  // namespace tolvarin
