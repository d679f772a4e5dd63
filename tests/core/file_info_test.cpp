#include "core/file_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(FileSize, BytesThenKilobytesMegabytesAndGigabytesWithTheByteCount) {
  struct Case {
    std::int32_t size;
    const char* text;
  };
  const Case cases[] = {
      {0, "0 bytes"},
      {500, "500 bytes"},
      {1023, "1,023 bytes"},
      {1024, "1.00KB (1,024 bytes)"},
      {1536, "1.50KB (1,536 bytes)"},
      {10240, "10.0KB (10,240 bytes)"},
      {102400, "100KB (102,400 bytes)"},
      {1024000, "0.98MB (1,024,000 bytes)"},
      {10240000, "9.8MB (10,240,000 bytes)"},
      {102400000, "98MB (102,400,000 bytes)"},
      {1024000000, "0.95GB (1,024,000,000 bytes)"},
      {2147483647, "2.00GB (2,147,483,647 bytes)"},
  };
  for (const Case& c : cases) EXPECT_EQ(tolvarin::FormatFileSize(c.size), c.text) << c.size;
}

TEST(FileInfo, MissingFileHasNoSizes) {
  tolvarin::CFileInfo info;
  info.SetFullPathName("/nowhere/at/all.dbf");
  EXPECT_FALSE(info.FileExists());
  EXPECT_FALSE(info.PathExists());
  EXPECT_EQ(info.FileSize(), 0u);
  EXPECT_EQ(info.CompressedFileSize(), 0u);
  EXPECT_EQ(info.filename(), "all.dbf");
  EXPECT_EQ(info.FileExtension(), "dbf");
}

TEST(FileInfo, NamesSizesTimesAndAttributesOfAFile) {
  TempDir dir;
  WriteFile(dir.path() / "QUESTS.DBF", std::string(3000, 'x'));
  tolvarin::CFileInfo info;
  info.SetFullPathName((dir.path() / "sub" / ".." / "QUESTS.DBF").string());
  ASSERT_TRUE(info.FileExists());
  EXPECT_TRUE(info.PathExists());
  EXPECT_EQ(info.FullPathName(), (dir.path() / "QUESTS.DBF").string());
  EXPECT_EQ(info.FilePath(), dir.str() + "/");
  EXPECT_EQ(info.TypeName(), "DBF File");
  EXPECT_EQ(info.FileSize(), 3000u);
  EXPECT_EQ(info.FileSizeHigh(), 0u);
  EXPECT_FALSE(info.attrReadOnly());
  EXPECT_FALSE(info.attrHidden());

  const auto when = std::chrono::system_clock::from_time_t(1700000000);
  info.SetModifyTime(when);
  EXPECT_EQ(info.ModifyTime(), when);
  info.SetLastAccessTime(when + std::chrono::hours(1));
  EXPECT_EQ(info.LastAccessTime(), when + std::chrono::hours(1));
  EXPECT_EQ(info.ModifyTime(), when);

  info.SetAttrReadOnly(true);
  EXPECT_TRUE(info.attrReadOnly());
  struct stat st {};
  ::stat(info.FullPathName().c_str(), &st);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  info.SetAttrReadOnly(false);
  EXPECT_FALSE(info.attrReadOnly());
  info.SetAttrTemporary(true);
  EXPECT_FALSE(info.attrTemporary());

  WriteFile(dir.path() / ".hidden", "");
  info.SetFullPathName((dir.path() / ".hidden").string());
  EXPECT_TRUE(info.attrHidden());
}

TEST(FileInfo, LongDateAndTime) {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 3;
  tm.tm_hour = 20;
  tm.tm_min = 7;
  tm.tm_sec = 41;
  tm.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&tm));
  EXPECT_EQ(tolvarin::CFileInfo::FormatFileDate(when), "Thursday, December 3, 2026 8:07:41 PM");
}

}  // namespace
