#include "core/command_line.h"

#include <gtest/gtest.h>

namespace {

using tolvarin::GetCommandArg;
using tolvarin::JoinArguments;

struct ArgCase {
  const char* line;
  const char* key;
  const char* expected;
};

TEST(GetCommandArg, CutsValuesAsTheHostWroteThem) {
  const ArgCase cases[] = {
      {"Mode:RECOVER AppPath:\"/srv/Kestal Host\" Interactive:TRUE", "mode", "RECOVER"},
      {"Mode:RECOVER AppPath:\"/srv/Kestal Host\" Interactive:TRUE", "AppPath", "/srv/Kestal Host"},
      {"appPath:/Data/Mixed", "AppPath", "/Data/Mixed"},          // key without case, value keeps it
      {"SrcPath:A AppPath:B", "Path", "A"},                       // first occurrence, no word boundary
      {"AppPath:\"/open quote runs on", "AppPath", "/open quote runs on"},
      {"Mode:RECOVER AppPath:", "AppPath", ""},                   // colon at the very end
      {"Mode:RECOVER", "BackupPath", ""},                         // absent key
      {"Mode: AppPath:/x", "Mode", ""},                           // empty value before a blank
      {"Name:a\tb c", "Name", "a\tb"},                            // only a blank ends a value
      {"Import:REMAPNOTHING Import:RemapOffset", "Import", "REMAPNOTHING"},
      {"Password:\"\" Mode:RECOVER", "Password", ""},             // empty quoted value
      {"IncludeCorvaneContent:TRUE Content:x", "Content", "TRUE"},  // found inside another key
  };
  for (const ArgCase& c : cases) EXPECT_EQ(GetCommandArg(c.line, c.key), c.expected) << c.line << " / " << c.key;
}

TEST(JoinArguments, QuotesValuesThatHoldABlank) {
  EXPECT_EQ(JoinArguments({"Mode:BACKUP", "CoursePath:/a b/c", "AppPath:/x"}),
            "Mode:BACKUP CoursePath:\"/a b/c\" AppPath:/x");
  // An argument that already holds a quote is passed as it is.
  EXPECT_EQ(JoinArguments({"AppPath:\"/a b\"", "x"}), "AppPath:\"/a b\" x");
  EXPECT_EQ(JoinArguments({"loose word"}), "\"loose word\"");
  EXPECT_EQ(JoinArguments({}), "");
  // The joined line reads back as the host would have written it.
  const std::string line = JoinArguments({"Mode:BACKUP", "CoursePath:/a b/c", "BackupPath:/b k"});
  EXPECT_EQ(GetCommandArg(line, "CoursePath"), "/a b/c");
  EXPECT_EQ(GetCommandArg(line, "BackupPath"), "/b k");
}

}  // namespace
