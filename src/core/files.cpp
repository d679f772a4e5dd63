#include "core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>

#include "core/paths.h"
#include "core/presenter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "core/text_cipher.h"
#include "platform/shell/shell.h"

namespace fs = std::filesystem;

namespace tolvarin {
namespace {

constexpr const char* kPermissionsAdvice =
    "It appears that your Windows login does not have sufficient permissions to run Corvane Software. Please tell "
    "your network administrator to enable Full Control permissions on the program folder for all users that will "
    "need to run Corvane Software.  Please call 1-888-CORVANE for more information.";

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRealDirectory(const std::string& path) {  // a link to a folder is not followed
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string StripTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Folder and name pattern of a wildcard pattern.
void SplitPattern(const std::string& pattern, std::string& folder, std::string& name) {
  const size_t slash = pattern.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = pattern;
  } else {
    folder = slash == 0 ? "/" : pattern.substr(0, slash);
    name = pattern.substr(slash + 1);
  }
}

// Every entry of a folder, links included, without following them; sorted by name
// without regard to case.
std::vector<std::string> RawEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int c = CompareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  return names;
}

bool CopyPlain(const std::string& source, const std::string& target) {
  std::error_code ec;
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
  return !ec;
}

bool& ProbeRunning() {
  static bool running = false;
  return running;
}

enum class ProbeFailure { None, Create, Read, Delete };

// Writes a random number to a file of a fresh name made exclusively, reads it back
// and deletes it. Only the file the probe made is ever deleted.
ProbeFailure ProbeFolder(const std::string& folder) {
  std::string probe;
  int fd = -1;
  for (int attempt = 0; attempt < 20 && fd < 0; ++attempt) {
    probe = JoinPath(folder, ".tolvarin-probe-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(RandomInteger(100000, 999999)) + ".tmp");
    fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return ProbeFailure::Create;
  const std::string number = std::to_string(RandomInteger(1, 500));
  const std::string line = number + "\r\n";
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  if (!written || !PathExists(probe)) {
    ::unlink(probe.c_str());
    return ProbeFailure::Create;
  }
  std::string first;
  {
    std::ifstream in(probe, std::ios::binary);
    std::getline(in, first);
  }
  if (!first.empty() && first.back() == '\r') first.pop_back();
  if (first != number) {
    ::unlink(probe.c_str());
    return ProbeFailure::Read;
  }
  ::unlink(probe.c_str());
  return PathExists(probe) ? ProbeFailure::Delete : ProbeFailure::None;
}

std::vector<std::string> ListNames(const std::string& folder, const std::string& namePattern, int attributes) {
  std::vector<std::string> names = shell::ListFiles(folder, namePattern);
  if (attributes & kAttrDirectory) {
    std::vector<std::string> folders = shell::ListFolders(folder, namePattern);
    names.insert(names.end(), folders.begin(), folders.end());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      const int c = CompareNoCase(a, b);
      return c != 0 ? c < 0 : a < b;
    });
  }
  if (!(attributes & kAttrHidden))
    names.erase(std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n[0] == '.'; }),
                names.end());
  return names;
}

}  // namespace

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  return ::stat(FindPath(path).c_str(), &st) == 0;
}

bool FolderExists(const std::string& path) {
  std::string p = path;
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.size() > 1 && p.back() == '\\') p.pop_back();
  return FileExists(p);
}

void DeleteFile(const std::string& path) {
  const std::string real = FindPath(path);
  if (!real.empty() && !IsRealDirectory(real)) ::unlink(real.c_str());
}

void CopyFileReplace(const std::string& source, const std::string& target) {
  const std::string realTarget = FindPath(target);
  DeleteFile(realTarget);
  CopyPlain(FindPath(source), realTarget);
}

void CopyFileOverwrite(const std::string& source, const std::string& target) {
  const std::string realTarget = FindPath(target);
  if (FileExists(realTarget)) DeleteFile(realTarget);
  CopyPlain(FindPath(source), realTarget);
}

void MoveFileOverwrite(const std::string& source, const std::string& target) {
  const std::string realTarget = FindPath(target);
  DeleteFile(realTarget);
  std::rename(FindPath(source).c_str(), realTarget.c_str());
}

bool CanRemoveFile(const std::string& path) {
  // access() also tells an immutable file or folder, which even root cannot change.
  const std::string real = FindPath(path);
  return ::access(real.c_str(), W_OK) == 0 && ::access(GetFolderOfPath(real).c_str(), W_OK) == 0;
}

bool CopyFilesByPattern(const std::string& pattern, const std::string& targetFolder, bool overwrite, bool move) {
  std::string folder, name;
  SplitPattern(pattern, folder, name);
  const std::string realFolder = FindPath(folder);
  for (const std::string& file : DirChecked(pattern, kAttrNormal)) {
    const std::string source = JoinPath(realFolder, file);
    const std::string target = FindPath(JoinPath(targetFolder, file));
    if (overwrite && move) {
      MoveFileOverwrite(source, target);
    } else if (overwrite) {
      CopyFileOverwrite(source, target);
    } else if (move) {
      // A plain rename refuses an existing target, as the host's rename did.
      if (PathExists(target) || std::rename(source.c_str(), target.c_str()) != 0) return false;
    } else if (!CopyPlain(source, target)) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> GetSubFolders(const std::string& folder, bool recurse) {
  std::vector<std::string> collection{folder};
  AddSubFolders(collection, folder, recurse);
  return collection;
}

void AddSubFolders(std::vector<std::string>& collection, const std::string& folder, bool recurse) {
  const size_t first = collection.size();
  const std::string real = FindPath(folder);
  for (const std::string& name : DirChecked(JoinPath(folder, "*"), kAttrDirectory)) {
    if (IsDirectory(JoinPath(real, name))) collection.push_back(JoinPath(folder, name));
  }
  if (!recurse) return;
  const size_t last = collection.size();
  for (size_t i = first; i < last; ++i) {
    const std::string sub = collection[i];  // the collection grows while we walk
    AddSubFolders(collection, sub, true);
  }
}

std::vector<std::string> GetFilesInFolder(const std::string& folder, int attributes, const std::string& extensions) {
  StringArray wanted = SplitText(extensions, ";", true);
  std::vector<std::string> files;
  for (const std::string& name : DirChecked(JoinPath(folder, "*.*"), attributes)) {
    if (wanted.Dimensioned()) {
      const std::string extension = GetFileExtension(name);
      const bool match = std::any_of(wanted.items.begin(), wanted.items.end(),
                                     [&](const std::string& e) { return EqualsNoCase(Trim(e), extension); });
      if (!match) continue;
    }
    files.push_back(JoinPath(folder, name));
  }
  return files;
}

bool DeleteFolderTree(const std::string& folder) {
  const std::string real = StripTrailingSlash(FindPath(folder));
  if (real.empty()) return false;
  if (!IsRealDirectory(real)) return ::unlink(real.c_str()) == 0;
  CheckFolderWritable(JoinPath(real, "*.*"), false, true);
  for (const std::string& name : RawEntries(real)) {
    const std::string entry = JoinPath(real, name);
    if (IsRealDirectory(entry)) {
      if (!DeleteFolderTree(entry)) return false;
    } else if (::unlink(entry.c_str()) != 0) {
      return false;
    }
  }
  return ::rmdir(real.c_str()) == 0;
}

bool CreateFolderTree(const std::string& folder) {
  const std::string real = StripTrailingSlash(FindPath(folder));
  if (real.empty()) return false;
  if (::mkdir(real.c_str(), 0777) != 0 && errno == ENOENT) {
    const size_t slash = real.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    CreateFolderTree(real.substr(0, slash));
    ::mkdir(real.c_str(), 0777);
  }
  // Success means the folder is there, not merely that nothing said otherwise.
  return IsDirectory(real);
}

void DeleteFolderFiles(const std::string& folder, bool recurse, const std::string& keepExtensions) {
  const std::string real = FindPath(folder);
  StringArray keep = SplitText(keepExtensions, " ", true);
  for (const std::string& name : DirChecked(JoinPath(real, "*.*"), kAttrNormal)) {
    const std::string lastThree = ToUpper(name.size() > 3 ? name.substr(name.size() - 3) : name);
    const bool kept = std::any_of(keep.items.begin(), keep.items.end(),
                                  [&](const std::string& e) { return ToUpper(e) == lastThree; });
    if (!kept) DeleteFile(JoinPath(real, name));
  }
  if (!recurse) return;
  for (const std::string& name : shell::ListFolders(real, "*")) {
    const std::string sub = JoinPath(real, name);
    if (!IsRealDirectory(sub)) continue;
    DeleteFolderFiles(sub, true, "");
    DeleteFolderTree(sub);
  }
}

void MoveFolderTree(const std::string& source, const std::string& target) {
  const std::string realSource = FindPath(source);
  const std::string realTarget = FindPath(target);
  if (!FolderExists(realTarget)) CreateFolderTree(realTarget);
  for (const std::string& name : shell::ListFiles(realSource, "*")) {
    const std::string to = FindPath(JoinPath(realTarget, name));
    DeleteFile(to);
    std::rename(JoinPath(realSource, name).c_str(), to.c_str());
  }
  for (const std::string& name : shell::ListFolders(realSource, "*"))
    MoveFolderTree(JoinPath(realSource, name), JoinPath(realTarget, name));
}

void ClearCorTempFolder() {
  const std::string temp = GetTempFolder();
  if (temp.empty()) return;  // never a folder relative to wherever we run
  const std::string folder = JoinPath(temp, "cortemp");
  for (const std::string& name : shell::ListFiles(folder, "*")) DeleteFile(JoinPath(folder, name));
}

std::string ReadTextFile(const std::string& path, bool binary, bool lineBreaks) {
  std::fstream in = OpenFileChecked(path, FileMode::Input, true);
  if (!in.is_open()) return "";
  std::ostringstream buffer;
  buffer << in.rdbuf();
  std::string content = buffer.str();
  if (binary) {
    for (char& c : content) {
      const unsigned char b = static_cast<unsigned char>(c);
      if (b < 33 || b >= 127) c = ' ';
    }
    return content;
  }
  // Lines end at CR LF, a lone CR or a lone LF.
  std::string result;
  bool enciphered = false;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find_first_of("\r\n", pos);
    std::string line = content.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (end == std::string::npos)
      pos = content.size();
    else
      pos = end + ((content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n') ? 2 : 1);
    if (line == "#CORVANE") {
      enciphered = true;
      continue;
    }
    if (lineBreaks) line += "\r\n";
    result += enciphered ? Trim(DecryptText(line)) : line;
  }
  return result;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::fstream out = OpenFileChecked(path, FileMode::Output, false);
  if (!out.is_open()) return;
  out << text << "\r\n";
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::fstream in = OpenFileChecked(path, FileMode::Input, true);
  if (!in.is_open()) return {};
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  DeleteFile(path);
  std::fstream out = OpenFileChecked(path, FileMode::Output, true);
  if (!out.is_open()) return;
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::fstream OpenFileChecked(const std::string& path, FileMode mode, bool quiet) {
  CheckFolderWritable(path, quiet, true);
  const std::string real = FindPath(path);
  std::fstream file;
  errno = 0;
  switch (mode) {
    case FileMode::Input:
      file.open(real, std::ios::in | std::ios::binary);
      break;
    case FileMode::Output:
      file.open(real, std::ios::out | std::ios::trunc | std::ios::binary);
      break;
    case FileMode::Binary:
      // Opened for reading and writing; made when missing, as the host's binary open did.
      file.open(real, std::ios::in | std::ios::out | std::ios::binary);
      if (!file.is_open()) {
        file.clear();
        file.open(real, std::ios::out | std::ios::app | std::ios::binary);
        file.close();
        file.clear();
        file.open(real, std::ios::in | std::ios::out | std::ios::binary);
      }
      break;
    case FileMode::Append:
    case FileMode::AppendShared:
      file.open(real, std::ios::out | std::ios::app | std::ios::binary);
      break;
  }
  if (!file.is_open() && !quiet) {
    FacilityMessageBox("There was an error opening the file: " + path + "\r\n\r\nError code: " + std::to_string(errno),
                       0);
  }
  return file;
}

std::vector<std::string> DirChecked(const std::string& pattern, int attributes) {
  CheckFolderWritable(pattern, false, true);
  std::string folder, name;
  SplitPattern(pattern, folder, name);
  return ListNames(FindPath(folder), name, attributes);
}

std::set<std::string>& WritableFolders() {
  static std::set<std::string> folders;
  return folders;
}

bool CheckFolderWritable(const std::string& path, bool quiet, bool onlyUnderAppPath) {
  if (ProbeRunning()) return false;
  ProbeRunning() = true;
  struct Clear {
    ~Clear() { ProbeRunning() = false; }
  } clear;

  const std::string folder = FindPath(GetFolderOfPath(path));
  const std::string normal = NormalizePath(folder);
  if (!IsDirectory(folder) || WritableFolders().count(normal)) return true;
  if (onlyUnderAppPath) {
    const std::string& appPath = Settings().AppPath;
    if (appPath.empty() || !PathStartsWith(appPath, folder)) return true;
  }
  const ProbeFailure failure = ProbeFolder(folder);
  if (failure == ProbeFailure::None) {
    WritableFolders().insert(normal);
    return true;
  }
  if (!quiet) {
    const char* line = failure == ProbeFailure::Create ? "Error: Unable to create temporary file in "
                       : failure == ProbeFailure::Read ? "Error: Unable to read temporary file in "
                                                       : "Error: Unable to delete temporary file in ";
    const std::string text = std::string(line) + "\"" + folder + "\"." + "\r\n\r\n" + kPermissionsAdvice;
    if (FacilityCustomBox(text, "Corvane", 16, "Exit Program", "Continue Anyway", "", 1, 1, 0) == 1) Terminate();
  }
  return false;
}

std::string BrowseForFolder(const std::string& title, const std::string& initialFolder) {
  return Presenter().BrowseFolder(FolderRequest{title, initialFolder});
}

}  // namespace tolvarin
