#include "gradebook_fixture.h"

#include <algorithm>

#include "construction/blank_tables.h"
#include "construction/schema.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"
#include "platform/xbase/tag_check.h"
#include "platform/xbase/xbase.h"

namespace fs = std::filesystem;

namespace gradebook_testing {

using namespace tolvarin;

void GradebookTest::SetUp() {
  if (Engine().EngineHandle == 0) InitCodeBase();
  xbase::code4autoOpen(Engine().EngineHandle, 1);
  app_ = temp_.path() / "app";
  root_ = app_ / "Databases";
  blank_ = root_ / "Blank";
  brand_ = root_ / "Corvane";
  course_ = brand_ / "Math" / "Algebra";
  fs::create_directories(course_);
  Settings().AppPath = app_.string();
  Paths().DatabasesRoot = root_.string();
  previous_ = SetPresenter(std::make_unique<ScriptedPresenter>());
  InitTableCatalogue();
  ResetRegistry();
  if (TableDefs().empty()) DefineDatabase();
  CreateBlankTables(blank_.string());
}

void GradebookTest::TearDown() {
  ResetRegistry();
  Catalogue() = CatalogueRecords{};
  SetPresenter(std::move(previous_));
  Paths() = RunPaths{};
  Settings() = RunSettings{};
  CloseCodeBase();
  InitCodeBase();
}

void CopyBlank(const fs::path& blank, const std::string& table, const fs::path& folder) {
  fs::create_directories(folder);
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const fs::path source = blank / (table + extension);
    if (fs::exists(source)) fs::copy_file(source, folder / (table + extension), fs::copy_options::overwrite_existing);
  }
}

void CreateTable(const fs::path& dbf, const std::vector<std::string>& fields,
                                const std::vector<std::string>& tags) {
  std::vector<xbase::FieldInfo> infos;
  for (const std::string& entry : fields) {
    const StringArray parts = SplitText(entry, ":", false);
    infos.push_back({parts[1], parts[2][0], std::stoi(parts[3]), 0, 0});
  }
  std::vector<xbase::TagInfo> tagInfos;
  for (const std::string& entry : tags) {
    const std::size_t equals = entry.find('=');
    tagInfos.push_back({entry.substr(0, equals), entry.substr(equals + 1), "", 0, 0});
  }
  fs::create_directories(dbf.parent_path());
  const xbase::Data4 data = xbase::d4create(Engine().EngineHandle, dbf.string(), infos, tagInfos);
  ASSERT_NE(data, 0) << dbf;
  xbase::d4close(data);
}

void AddRows(const fs::path& dbf, const std::vector<Row>& rows) {
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, dbf.string());
  ASSERT_NE(data, 0) << dbf;
  for (const Row& row : rows) {
    xbase::d4appendStart(data, 0);
    xbase::d4blank(data);
    for (const auto& [field, value] : row) {
      const xbase::Field4 f = xbase::d4field(data, field);
      ASSERT_NE(f, 0) << field;
      xbase::f4assign(f, value);
    }
    ASSERT_EQ(xbase::d4append(data), 0) << dbf;
  }
  xbase::d4close(data);
}

std::vector<std::string> Rows(const fs::path& dbf, const std::vector<std::string>& fields) {
  std::vector<std::string> rows;
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, dbf.string());
  if (data == 0) {
    xbase::code4errorCode(Engine().EngineHandle, 0);
    return {"<does not open>"};
  }
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    std::string text;
    for (const std::string& field : fields) {
      if (!text.empty()) text += "|";
      text += Trim(xbase::f4str(xbase::d4field(data, field)));
    }
    rows.push_back(text);
  }
  xbase::d4close(data);
  return rows;
}

std::string TagProblems(const fs::path& dbf) {
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, dbf.string());
  if (data == 0) {
    xbase::code4errorCode(Engine().EngineHandle, 0);
    return "does not open";
  }
  std::string problems;
  for (const auto& check : xbase::detail::CheckTags(data))
    for (const auto& problem : check.Problems()) problems += check.name + ": " + problem + "; ";
  xbase::d4close(data);
  return problems;
}

std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), folder).string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace gradebook_testing
