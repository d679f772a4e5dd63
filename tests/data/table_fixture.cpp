#include "table_fixture.h"

#include <fstream>
#include <iterator>

#include "core/settings.h"
#include "data/codebase.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"

namespace fs = std::filesystem;

namespace tolvarin_test {

using namespace tolvarin;

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

fs::path TableFolderTest::Fixtures() { return testing_support::SharedDir() / "fixtures/xbase/peer-made"; }

void TableFolderTest::SetUp() {
  if (Engine().EngineHandle == 0) InitCodeBase();
  xbase::code4autoOpen(Engine().EngineHandle, 1);
  root_ = temp_.path() / "Databases";
  course_ = root_ / "Course";
  brand_ = root_ / "Corvane";
  blank_ = root_ / "Blank";
  fs::create_directories(course_);
  fs::create_directories(brand_);
  fs::create_directories(blank_);
  Paths().DatabasesRoot = root_.string();
  Paths().CoursePath = course_.string();
  Paths().BrandFolder = brand_.string();
  Settings().AppPath = temp_.str();
  auto scripted = std::make_unique<ScriptedPresenter>();
  presenter_ = scripted.get();
  previous_ = SetPresenter(std::move(scripted));
  InitTableCatalogue();
  ResetRegistry();
}

void TableFolderTest::TearDown() {
  for (const auto& entry : RegistryEntries()) {
    xbase::Data4 data = entry.Data;
    CloseTable(data);
  }
  ResetRegistry();
  Catalogue() = CatalogueRecords{};
  SetPresenter(std::move(previous_));
  presenter_ = nullptr;
  Paths() = RunPaths{};
  Settings().AppPath.clear();
  // A fresh context: whatever a failed test left open goes with the old one.
  CloseCodeBase();
  InitCodeBase();
}

void TableFolderTest::CopyFixture(const std::string& table, const fs::path& folder) const {
  fs::create_directories(folder);
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const fs::path source = Fixtures() / (table + extension);
    if (!fs::exists(source)) continue;
    const fs::path target = folder / (table + extension);
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  }
}

void TableFolderTest::MakeBlank(const std::string& table) const {
  CopyFixture(table, blank_);
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, (blank_ / (table + ".dbf")).string());
  ASSERT_NE(data, 0) << table;
  xbase::d4tagSelect(data, 0);
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) xbase::d4delete(data);
  xbase::d4pack(data);
  xbase::d4memoCompress(data);
  xbase::d4close(data);
}

void TableFolderTest::CreateTable(const fs::path& dbf, const std::vector<std::string>& fields,
                                  const std::vector<std::string>& tags) {
  fs::create_directories(dbf.parent_path());
  std::vector<xbase::FieldInfo> fieldInfo;
  for (const auto& f : fields) {
    const auto first = f.find(':');
    const auto second = f.find(':', first + 1);
    fieldInfo.push_back({f.substr(0, first), f[first + 1], std::stoi(f.substr(second + 1)), 0, 0});
  }
  std::vector<xbase::TagInfo> tagInfo;
  for (const auto& t : tags) {
    const auto eq = t.find('=');
    tagInfo.push_back({t.substr(0, eq), t.substr(eq + 1), "", 0, 0});
  }
  const xbase::Data4 data = xbase::d4create(Engine().EngineHandle, dbf.string(), fieldInfo, tagInfo);
  ASSERT_NE(data, 0) << dbf;
  xbase::d4close(data);
}

std::vector<std::string> TableFolderTest::LiveRecords(xbase::Data4 data) {
  std::vector<std::string> records;
  xbase::d4tagSelect(data, 0);
  const int count = xbase::d4numFields(data);
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    std::string text;
    for (int j = 1; j <= count; ++j) {
      const xbase::Field4 field = xbase::d4fieldJ(data, j);
      const char type = xbase::f4type(field);
      text += (type == 'M' || type == 'X') ? xbase::f4memoStr(field) : xbase::f4str(field);
      text += "|";
    }
    records.push_back(text);
  }
  return records;
}

std::vector<std::string> TableFolderTest::LiveRecords(const fs::path& dbf) {
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, dbf.string());
  EXPECT_NE(data, 0) << dbf;
  if (data == 0) return {};
  auto records = LiveRecords(data);
  xbase::d4close(data);
  return records;
}

std::vector<std::string> TableFolderTest::AsCopied(const fs::path& dbf, long firstRecord, long lastRecord,
                                                   bool emptyMemos) {
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, dbf.string());
  EXPECT_NE(data, 0) << dbf;
  if (data == 0) return {};
  std::vector<std::string> records;
  xbase::d4tagSelect(data, 0);
  const int count = xbase::d4numFields(data);
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    const long recno = xbase::d4recNo(data);
    if (recno < firstRecord || recno > lastRecord) continue;
    std::string text;
    for (int j = 1; j <= count; ++j) {
      const xbase::Field4 field = xbase::d4fieldJ(data, j);
      const char type = xbase::f4type(field);
      if (type == 'M' || type == 'X') {
        if (!emptyMemos) text += xbase::f4memoStr(field);
      } else {
        std::string value = xbase::f4str(field);
        if (type == 'C' && value.find_first_not_of(' ') == std::string::npos) {
          value = "0" + std::string(value.size() > 0 ? value.size() - 1 : 0, ' ');
        }
        text += value;
      }
      text += "|";
    }
    records.push_back(text);
  }
  xbase::d4close(data);
  return records;
}

std::vector<std::string> TableFolderTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& shown : presenter_->Shown()) texts.push_back(shown.box.text);
  return texts;
}

}  // namespace tolvarin_test
