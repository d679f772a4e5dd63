#pragma once
// The interactive user-content run's login: the user the host names on the command
// line is found in the brand folder's users table and their password checked.
#include <string>

namespace tolvarin {

// The user of the run, set by a successful login; imports give new rows this owner.
struct LoggedInUser {
  std::string UserID;    // the User_ID field's text
  std::string UserName;  // trimmed
};
LoggedInUser& CurrentUser();

// What checking a name and password against a users table found.
enum class LoginCheck { Accepted, UnknownUser, WrongPassword };

// Seeks the upper-cased name on the users table of the brand folder and compares
// passwords without regard to case or surrounding blanks (the stored one deciphered
// when it carries the cipher marker). Accepted fills CurrentUser and the access level.
LoginCheck CheckLogin(const std::string& brandFolder, const std::string& userName, const std::string& password);

// The interactive entry of user-content mode: prepares the backup folder and logs the
// user in; a failure ends the run. Returns the run's status.
int StartInteractive();

}  // namespace tolvarin
