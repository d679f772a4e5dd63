#include "data/catalogue.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/files.h"
#include "core/ini_file.h"
#include "core/message_box.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/text_cipher.h"
#include "platform/cipher/cipher.h"

namespace tolvarin {
namespace {

constexpr int kAbsentFlag = -1234;

CourseRecord& CourseState() {
  static CourseRecord course;
  return course;
}

AreaRecord& AreaState() {
  static AreaRecord area;
  return area;
}

// The folders installation files are looked for in, in order; unset ones are left out.
std::vector<std::string> SearchFolders() {
  std::vector<std::string> folders;
  for (const std::string* folder :
       {&Paths().CoursePath, &Paths().AreaFolder, &Paths().BrandFolder, &Settings().AppPath}) {
    if (!folder->empty()) folders.push_back(*folder);
  }
  return folders;
}

// Names of the folder's entries that hold the marker file, in listing order.
std::vector<std::string> EntriesHolding(const std::string& folder, const std::string& marker, bool& listedAny) {
  const std::vector<std::string> names = DirChecked(JoinPath(folder, "*"), kAttrDirectory);
  // An existing folder always lists something on the host (its "." and "..").
  listedAny = !names.empty() || FolderExists(folder);
  std::vector<std::string> kept;
  for (const std::string& name : names) {
    if (name == "." || name == "..") continue;
    if (FileExists(JoinPath(JoinPath(folder, name), marker))) kept.push_back(name);
  }
  return kept;
}

std::int16_t NumericId(const std::string& text) {
  const double value = TextValue(text);
  if (value < -32768 || value > 32767) return -1;
  return static_cast<std::int16_t>(RoundHalfEven(value));
}

std::vector<std::string> SplitAliases(const std::string& text) {
  std::vector<std::string> aliases;
  if (text.empty()) return aliases;
  const StringArray pieces = SplitText(text, ",", false);
  for (long i = pieces.LowerBound(); pieces.Dimensioned() && i <= pieces.UpperBound(); ++i) {
    aliases.push_back(pieces[i]);
  }
  return aliases;
}

// Years from 1999 up to the last one above 0 that are unknown (-1) follow on from
// the year before.
void FillUnknownYears(std::array<std::int32_t, kCourseYears>& years) {
  int end = -1;
  for (int i = 0; i < kCourseYears; ++i) {
    if (years[static_cast<std::size_t>(i)] > 0) end = i;
  }
  for (int i = 1; i <= end; ++i) {
    auto& value = years[static_cast<std::size_t>(i)];
    if (value == -1) value = years[static_cast<std::size_t>(i - 1)] + 1;
  }
}

std::string CourseDatPlainText(const std::array<std::int16_t, kCourseYears>& years) {
  std::string record(kCourseRecordLength - 2 * kCourseYears, '\0');
  for (std::int16_t year : years) {
    const auto bits = static_cast<std::uint16_t>(year);
    record.push_back(static_cast<char>(bits & 0xFF));
    record.push_back(static_cast<char>(bits >> 8));
  }
  return record;
}

}  // namespace

std::int32_t CourseRecord::Year(int year) const {
  if (year < kFirstCourseYear || year > kLastCourseYear) return 0;
  return Years[static_cast<std::size_t>(year - kFirstCourseYear)];
}

void CourseRecord::SetYear(int year, std::int32_t value) {
  if (year < kFirstCourseYear || year > kLastCourseYear) return;
  Years[static_cast<std::size_t>(year - kFirstCourseYear)] = value;
}

AreaCatalogue& Areas() {
  static AreaCatalogue areas;
  return areas;
}

const CourseRecord& CurrentCourse() {
  CourseState().Path = Paths().CoursePath;
  return CourseState();
}

const AreaRecord& CurrentArea() {
  AreaState().Path = Paths().AreaFolder;
  return AreaState();
}

void SetCurrentCourse(const CourseRecord& course) {
  CourseState() = course;
  Paths().CoursePath = course.Path;
}

void SetCurrentArea(const AreaRecord& area) {
  AreaState() = area;
  Paths().AreaFolder = area.Path;
}

void LoadAreas(const std::string& folder) {
  const std::string brandFolder = folder.empty() ? Paths().BrandFolder : folder;
  AreaCatalogue& areas = Areas();
  bool listedAny = false;
  // Every name is gathered before any area is loaded.
  const std::vector<std::string> names = EntriesHolding(brandFolder, "area.ini", listedAny);
  areas.Count = 0;
  areas.Records.clear();
  if (!listedAny) {
    areas.Records.resize(1);
    return;
  }
  for (const std::string& name : names) {
    const std::string areaPath = JoinPath(brandFolder, name);
    if (!LoadArea(areaPath, name)) continue;
    bool listedCourses = false;
    for (const std::string& course : EntriesHolding(areaPath, "course.ini", listedCourses)) {
      LoadCourse(JoinPath(areaPath, course), course, areas.Count - 1);
    }
  }
  // A bad last area leaves no half-filled record behind.
  areas.Records.resize(static_cast<std::size_t>(areas.Count));
}

bool LoadArea(const std::string& areaPath, const std::string& folderName) {
  AreaCatalogue& areas = Areas();
  areas.Records.resize(static_cast<std::size_t>(areas.Count) + 1);
  AreaRecord& area = areas.Records[static_cast<std::size_t>(areas.Count)];
  area = AreaRecord();

  const std::string file = FindPath(JoinPath(areaPath, "area.ini"));
  IniSetFile("General", file);
  area.AreaID = NumericId(IniGetString("AreaID", "-1"));
  area.Name = IniGetString("Name", "");
  IniSetFile("CourseNames", file);
  for (int n = 0; n < kCourseSlots; ++n) {
    CourseRecord& slot = area.Courses[static_cast<std::size_t>(n)];
    const std::string name = IniGetString("Course" + std::to_string(n), "");
    slot.DisplayName = ReplaceAll(ReplaceAll(name, "/", "&"), "\\", "&");
    slot.CourseID = static_cast<std::int16_t>(n);
    slot.Hide = IniGetInt(std::to_string(n) + "Hide", 0) == 1;
  }
  if (area.Name.empty() || area.AreaID == -1) {
    ShowMessageBox("LoadArea Fail");
    return false;
  }
  area.FolderName = folderName;
  area.Path = CollapseBackslashes(FindPath(areaPath));
  ++areas.Count;
  return true;
}

bool LoadCourse(const std::string& coursePath, const std::string& folderName, int areaIndex) {
  AreaCatalogue& areas = Areas();
  if (areaIndex < 0 || static_cast<std::size_t>(areaIndex) >= areas.Records.size()) return false;
  const std::string folder = FindPath(coursePath);
  const std::string file = JoinPath(folder, "course.ini");
  IniSetFile("General", file);
  const std::int16_t courseId = NumericId(IniGetString("CourseID", "-1"));
  const std::string aliases = IniGetString("Aliases", "");
  if (courseId < 0 || courseId >= kCourseSlots) return false;

  CourseRecord& slot = areas.Records[static_cast<std::size_t>(areaIndex)].Courses[static_cast<std::size_t>(courseId)];
  slot.Loaded = false;
  IniSetFile("BookPosition", file);
  slot.BookLeft = static_cast<float>(TextValue(IniGetString("Left", "0")));
  slot.BookTop = static_cast<float>(TextValue(IniGetString("Top", "0")));

  std::array<std::int32_t, kCourseYears> years{};
  if (!ReadCourseDat(FindPath(JoinPath(folder, kCourseDatFile)), years)) return false;
  FillUnknownYears(years);
  slot.Years = years;
  slot.Aliases = SplitAliases(aliases);
  slot.FolderName = folderName;
  slot.Path = CollapseBackslashes(folder);
  slot.Loaded = true;
  return true;
}

bool ReadCourseDat(const std::string& file, std::array<std::int32_t, kCourseYears>& years) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (bytes.size() < 2) return false;
  const int format = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[0]) |
                                                (static_cast<unsigned char>(bytes[1]) << 8));
  if (format != 1) return false;

  // A record that is cut short or does not decipher gives no years rather than
  // whatever lies past its end.
  years.fill(-1);
  constexpr std::size_t kTextLength = 2 * kCourseRecordLength;
  if (bytes.size() < 2 + kTextLength) return true;
  const std::string record = DecryptDoubled(bytes.substr(2, kTextLength));
  if (record.size() != kCourseRecordLength) return true;
  const std::size_t first = kCourseRecordLength - 2 * kCourseYears;
  for (int i = 0; i < kCourseYears; ++i) {
    const std::size_t at = first + 2 * static_cast<std::size_t>(i);
    const auto bits = static_cast<std::uint16_t>(static_cast<unsigned char>(record[at]) |
                                                 (static_cast<unsigned char>(record[at + 1]) << 8));
    years[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(bits);
  }
  return true;
}

std::vector<std::uint8_t> MakeCourseDat(const std::array<std::int16_t, kCourseYears>& years) {
  const std::string record = CourseDatPlainText(years);
  // Written without trimming: a record's last bytes may well be blanks or line ends.
  const std::string text = cipher::DxXCrypted(record + record, kBuiltInCipherKey, 0);
  std::vector<std::uint8_t> bytes(2 + text.size());
  bytes[0] = 1;  // format number 1, little-endian
  std::copy(text.begin(), text.end(), bytes.begin() + 2);
  return bytes;
}

bool GetOptionFlag(const std::string& key, bool defaultFlag) {
  for (const std::string& folder : SearchFolders()) {
    const std::string file = JoinPath(folder, "options.ini");
    if (!FileExists(file)) continue;
    IniSetFile("Flags", FindPath(file));
    const int value = IniGetInt(key, kAbsentFlag);
    if (value != kAbsentFlag) return value != 0;
  }
  return defaultFlag;
}

std::string LocateFile(const std::string& path) {
  if (IsAbsolutePath(path) && FileExists(path)) return FindPath(path);
  const std::string relative = (!path.empty() && path[0] == '/') ? path : "/" + path;
  for (const std::string& folder : SearchFolders()) {
    const std::string candidate = (folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder) + relative;
    if (FileExists(candidate)) return FindPath(candidate);
  }
  return "";
}

std::string GetDatabasesPath() {
  const std::string& appPath = Settings().AppPath;
  std::string path = IniGetString("DatabasesPath", JoinPath(appPath, "Databases"));
  // An absolute value is the root itself. A relative one is taken under AppPath,
  // unless it already names the host's share or folder (compared without case).
  if (!IsAbsolutePath(path)) {
    const std::string lowerPath = ToLower(path);
    std::string share = Trim(ToLower(GetNetworkConnection(appPath.substr(0, 2))));
    if (!share.empty()) share.pop_back();
    const bool holdsShare = !share.empty() && lowerPath.find(share) != std::string::npos;
    const bool holdsAppPath = !appPath.empty() && lowerPath.find(ToLower(appPath)) != std::string::npos;
    if (!holdsShare && !holdsAppPath) path = JoinPath(appPath, path);
  }
  // The host compared the root without regard to case; here it must name the
  // folder as it stands on disk.
  return FindPath(path);
}

bool IsCustomCourse(std::int32_t courseId) {
  return courseId >= 20000 || GetOptionFlag("CustomCourse", false);
}

int FindAreaIndex(std::int16_t areaId) {
  const AreaCatalogue& areas = Areas();
  int found = -1;
  for (int i = 0; i < areas.Count && static_cast<std::size_t>(i) < areas.Records.size(); ++i) {
    if (areas.Records[static_cast<std::size_t>(i)].AreaID == areaId) found = i;
  }
  return found;
}

void CourseIterator::Init(const std::vector<AreaRecord>& areas) {
  areas_ = areas;
  areaIndex_ = 0;
  slot_ = -1;
}

bool CourseIterator::NextCourse(int& areaId, int& courseId, bool installedOnly) {
  for (;;) {
    ++slot_;
    if (areaIndex_ >= areas_.size()) return false;
    if (slot_ >= kCourseSlots) {
      ++areaIndex_;
      slot_ = 0;
      if (areaIndex_ >= areas_.size()) return false;
    }
    const AreaRecord& area = areas_[areaIndex_];
    const CourseRecord& course = area.Courses[static_cast<std::size_t>(slot_)];
    areaId = area.AreaID;
    courseId = course.CourseID;
    if (!installedOnly || course.Loaded) return true;
  }
}

CourseRecord CourseIterator::CurrentCourse() const {
  if (areaIndex_ >= areas_.size() || slot_ < 0 || slot_ >= kCourseSlots) return CourseRecord();
  return areas_[areaIndex_].Courses[static_cast<std::size_t>(slot_)];
}

AreaRecord CourseIterator::CurrentArea() const {
  if (areaIndex_ >= areas_.size()) return AreaRecord();
  return areas_[areaIndex_];
}

}  // namespace tolvarin
