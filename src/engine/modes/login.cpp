#include "engine/modes/login.h"

#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "core/text_cipher.h"
#include "core/window_helpers.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/record_ops.h"
#include "data/table_records.h"

namespace tolvarin {
namespace {

constexpr const char* kCannotCreateBackup =
    "Unable to create Backup subfolder.  Please call Corvane at 1-888-CORVANE for more information.";
constexpr const char* kRunDirectly =
    "The Corvane Backup and Restore System cannot be run directly.  Please launch the Corvane Backup and Restore "
    "System from the Kestal after logging in.";
constexpr const char* kUserNotFound = "The user cannot be found.  Please call 1-888-CORVANE for more information.";
constexpr const char* kNotAuthenticated =
    "The user cannot be authenticated.  Please call 1-888-CORVANE for more information.";
constexpr const char* kNoWindows =
    "You are logged in, but the windows of the Corvane Backup and Restore System need a display, and this run "
    "has none.";

// The exit status of a run that cannot show its windows.
constexpr int kWindowsNotAvailable = 4;

}  // namespace

LoggedInUser& CurrentUser() {
  static LoggedInUser user;
  return user;
}

LoginCheck CheckLogin(const std::string& brandFolder, const std::string& userName, const std::string& password) {
  const std::string name = ToUpper(userName);
  UsersRecord users;
  OpenUsersTable(brandFolder, users);
  LoginCheck result = LoginCheck::UnknownUser;
  // A seek matches any name that begins with the key, so the row found must carry
  // exactly the name given: "BOB" must not log in as "BOBBY".
  if (users.Data != 0 && SeekTag(users.Data, users.User_NameTag, name) &&
      ToUpper(Trim(f4str(users.User_Name))) == Trim(name)) {
    const std::string stored = ToUpper(Trim(DecryptText(Trim(f4str(users.Password)))));
    if (stored != ToUpper(Trim(password))) {
      result = LoginCheck::WrongPassword;
    } else {
      result = LoginCheck::Accepted;
      CurrentUser().UserID = f4str(users.User_ID);
      CurrentUser().UserName = Trim(f4str(users.User_Name));
      SetUserAccessLevel(xbase::f4true(users.Edit_Pswd) ? 1 : 2);
    }
  }
  CloseTableRecord(users);
  return result;
}

int StartInteractive() {
  RunPaths& p = Paths();
  if (p.BackupPath.empty()) p.BackupPath = JoinPath(p.DatabasesRoot, "Backup");
  if (!CreateFolderTree(p.BackupPath)) {
    MsgBox(kCannotCreateBackup, kMbOkOnly);
    Terminate();
  }
  const std::string userName = ToUpper(GetCommandArg(CommandLine(), "UserName"));
  if (userName.empty()) {
    MsgBox(kRunDirectly, kMbOkOnly);
    Terminate();
  }
  switch (CheckLogin(JoinPath(p.AreaFolder, ".."), userName, GetCommandArg(CommandLine(), "Password"))) {
    case LoginCheck::UnknownUser:
      MsgBox(kUserNotFound, kMbOkOnly);
      Terminate();
    case LoginCheck::WrongPassword:
      FacilityMessageBox(kNotAuthenticated, kMbCritical);
      Terminate();
    case LoginCheck::Accepted:
      break;
  }
  // The main window owns the run from here; its sequences end the process, and
  // closing it comes back here to the run's normal end.
  if (ShowMainWindow()) return 0;
  MsgBox(kNoWindows, kMbExclamation);
  return kWindowsNotAvailable;
}

}  // namespace tolvarin
