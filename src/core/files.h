#pragma once
// The file-system layer every other part uses. Names are found without regard to
// case; listings come back sorted by name without regard to case. Helpers report
// success as a flag or not at all.
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace tolvarin {

// Listing attributes as the host's directory listing took them.
inline constexpr int kAttrNormal = 0;
inline constexpr int kAttrHidden = 2;     // names beginning with "."
inline constexpr int kAttrSystem = 4;     // nothing is a system file here
inline constexpr int kAttrDirectory = 16; // folders are listed too

// Existence: files and folders alike.
bool FileExists(const std::string& path);
// Drops one trailing "/" and then one trailing "\", then FileExists.
bool FolderExists(const std::string& path);

// Single files; errors ignored.
void DeleteFile(const std::string& path);
void CopyFileReplace(const std::string& source, const std::string& target);
void CopyFileOverwrite(const std::string& source, const std::string& target);
void MoveFileOverwrite(const std::string& source, const std::string& target);
// Whether the file could be renamed or deleted now: neither it nor its folder is held
// read-only (as a file another program keeps open is).
bool CanRemoveFile(const std::string& path);

// Every file matching the pattern (a folder, "/", then a wildcard name) into the
// target folder under the same name. overwrite+move: MoveFileOverwrite; overwrite:
// CopyFileOverwrite; move: plain rename; neither: plain copy. Only the last two
// report a failure (false).
bool CopyFilesByPattern(const std::string& pattern, const std::string& targetFolder, bool overwrite, bool move);

// Folder lists hold full paths (folder + "/" + name).
std::vector<std::string> GetSubFolders(const std::string& folder, bool recurse);  // first item: folder itself
void AddSubFolders(std::vector<std::string>& collection, const std::string& folder, bool recurse);
// extensions: a ";" list compared without regard to case; "" takes every file.
std::vector<std::string> GetFilesInFolder(const std::string& folder, int attributes, const std::string& extensions);

bool DeleteFolderTree(const std::string& folder);
// True only when the folder stands at the end (made now or already there).
bool CreateFolderTree(const std::string& folder);
// keepExtensions: a blank-separated list of three-letter extensions kept in the top
// folder only; with recurse, subfolders are cleaned and removed.
void DeleteFolderFiles(const std::string& folder, bool recurse, const std::string& keepExtensions);
void MoveFolderTree(const std::string& source, const std::string& target);
// Deletes every file in the staging folder "cortemp" of the temporary folder.
void ClearCorTempFolder();

// Whole files.
// Binary: every byte below 33 or from 127 up becomes a blank. Text: lines joined
// (with CR LF each when lineBreaks); lines after a "#CORVANE" line are enciphered.
std::string ReadTextFile(const std::string& path, bool binary, bool lineBreaks);
void WriteTextFile(const std::string& path, const std::string& text);  // text + CR LF
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);     // empty file: empty
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Guarded access.
enum class FileMode { Input = 0, Output = 1, Binary = 2, Append = 3, AppendShared = 4 };
// Proves the folder writable (under AppPath), then opens the file; the stream is not
// open when that failed, and unless quiet the user was told.
std::fstream OpenFileChecked(const std::string& path, FileMode mode, bool quiet);
// The names (not paths) a wildcard pattern lists, after proving its folder writable.
// attributes as above: with kAttrDirectory folders too ("." and ".." never).
std::vector<std::string> DirChecked(const std::string& pattern, int attributes);
// The once-per-run proof that a folder is writable. Folders that do not exist, are
// already proven, or (with onlyUnderAppPath) lie outside AppPath pass untested.
// The probe file has a fresh name made exclusively, so no user file is touched.
// A failure shows the permissions box unless quiet: "Exit Program" ends the process.
bool CheckFolderWritable(const std::string& path, bool quiet, bool onlyUnderAppPath);
// Normal forms of the folders proven writable in this run.
std::set<std::string>& WritableFolders();

// The folder prompt, through the presenter: the chosen folder or "".
std::string BrowseForFolder(const std::string& title, const std::string& initialFolder);

}  // namespace tolvarin
