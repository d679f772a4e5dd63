// xbdump on the tables that independent FoxPro-compatible software wrote must print
// the same canonical text as that software, record for record (INFO lines are the
// writers' own). TAG lines are compared for every table whose production index our
// engine opens with tags; while it opens none, they are left out of the comparison.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/xbase/table.h"
#include "table_test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace xbase;

fs::path XbdumpBinary() {
  if (const char* env = std::getenv("XBDUMP_BINARY"); env && *env) return env;
  // The test program lives in <build>/tests/platform/xbase, the tool in <build>/bin.
  fs::path self = fs::read_symlink("/proc/self/exe");
  return self.parent_path().parent_path().parent_path().parent_path() / "bin" / "xbdump";
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  std::array<char, 65536> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  pclose(pipe);
  return out;
}

// Lines by table ("" for the END line), INFO lines left out.
std::map<std::string, std::vector<std::string>> ByTable(const std::string& text) {
  std::map<std::string, std::vector<std::string>> tables;
  std::istringstream in(text);
  std::string line;
  std::string current;
  while (std::getline(in, line)) {
    if (line.rfind("INFO", 0) == 0) continue;
    if (line.rfind("TABLE ", 0) == 0) current = line.substr(6, line.find(' ', 6) - 6);
    if (line.rfind("END ", 0) == 0) current = "";
    tables[current].push_back(line);
  }
  return tables;
}

// Whether our engine opens tags for the table.
bool EngineHasTags(const fs::path& folder, const std::string& file) {
  xbase_test::Engine engine;
  Data4 data = d4open(engine.code(), (folder / file).string());
  if (data == 0) return false;
  auto* table = detail::Registry::Get().FindTable(data);
  bool tags = table && table->Index() && table->Index()->TagCount() > 0;
  d4close(data);
  return tags;
}

class DumpFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(DumpFixture, MatchesTheOtherWritersDump) {
  const fs::path fixtures = testing_support::SharedDir() / "fixtures/xbase";
  const fs::path folder = fixtures / GetParam();
  const fs::path tool = XbdumpBinary();
  ASSERT_TRUE(fs::exists(tool)) << "build the xbdump tool first: " << tool;
  auto ours = ByTable(RunCommand("'" + tool.string() + "' '" + folder.string() + "'"));
  auto theirs = ByTable(testing_support::ReadFile(fixtures / (std::string(GetParam()) + ".dump")));
  ASSERT_EQ(ours.size(), theirs.size());
  int tablesWithTags = 0;
  for (auto& [file, expected] : theirs) {
    if (!file.empty() && !EngineHasTags(folder, file)) {
      std::erase_if(expected, [](const std::string& line) { return line.rfind("TAG ", 0) == 0; });
    } else if (!file.empty()) {
      ++tablesWithTags;
    }
    const auto& got = ours[file];
    ASSERT_EQ(got.size(), expected.size()) << file;
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i], expected[i]) << file << " line " << i;
    }
  }
  RecordProperty("tables_with_tags_compared", tablesWithTags);
}

INSTANTIATE_TEST_SUITE_P(PeerMade, DumpFixture, ::testing::Values("peer-made", "peer-made-flexmemo"));

}  // namespace
