#include "platform/zip/zip.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "support/raw_zip.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::MakeRawArchive;
using testing_support::RawEntry;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xff);
  return s;
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// Every file under a folder, relative path to content.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file() || e.is_symlink()) tree[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  return tree;
}

class ZipTest : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path Make(const std::string& name, const std::string& content) {
    fs::path p = dir.path() / "src" / name;
    fs::create_directories(p.parent_path());
    WriteFile(p, content);
    return p;
  }
};

TEST_F(ZipTest, WrittenPackageIsFlatDeflatedCheckedAndReadByInfoZip) {
  std::vector<std::string> files = {Make("QUESTS.DBF", std::string(200000, 'q') + RandomBytes(5000, 1)).string(),
                                    Make("quests.cdx", RandomBytes(70000, 2)).string(),
                                    Make("empty.fpt", "").string(),
                                    Make("TOLVARIN.INI", "[Tolvarin]\r\nType=UserContent\r\n").string()};
  std::vector<std::string> reported;
  const std::string package = (dir.path() / "out" / "backup.zip").string();
  fs::create_directories(dir.path() / "out");
  const zipio::Outcome written = zipio::WriteArchive(package, files, [&](const std::string& name, size_t i, size_t n) {
    EXPECT_EQ(i, reported.size());
    EXPECT_EQ(n, 4u);
    reported.push_back(name);
  });
  ASSERT_TRUE(written.ok) << written.error;
  EXPECT_EQ(reported, (std::vector<std::string>{"QUESTS.DBF", "quests.cdx", "empty.fpt", "TOLVARIN.INI"}));
  EXPECT_EQ(fs::directory_iterator(dir.path() / "out")->path().filename(), "backup.zip");  // nothing else left
  EXPECT_LT(fs::file_size(package), 100000u);                                              // deflated

  // Info-ZIP tests it clean, sees no password and extracts the same bytes.
  EXPECT_EQ(Shell("unzip -t -P '' " + package), 0);
  EXPECT_NE(Shell("zipinfo " + package + " | grep -E '^-.* [BT][xX-] '"), 0);  // no encrypted entry
  EXPECT_EQ(Shell("zipinfo " + package + " | grep -q ' defN '"), 0);
  const fs::path back = dir.path() / "infozip";
  ASSERT_EQ(Shell("unzip -q " + package + " -d " + back.string()), 0);
  EXPECT_EQ(Tree(back), Tree(dir.path() / "src"));

  std::vector<zipio::Entry> entries;
  ASSERT_TRUE(zipio::ListEntries(package, entries).ok);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].size, 205000u);
  EXPECT_FALSE(entries[0].encrypted);

  // Our own extraction gives the same files back.
  const fs::path ours = dir.path() / "ours";
  const zipio::Outcome extracted = zipio::ExtractAll(package, ours.string(), "");
  ASSERT_TRUE(extracted.ok) << extracted.error;
  EXPECT_EQ(extracted.written.size(), 4u);
  EXPECT_TRUE(extracted.skipped.empty());
  EXPECT_EQ(Tree(ours), Tree(dir.path() / "src"));
}

TEST_F(ZipTest, FailedWriteKeepsTheEarlierPackage) {
  const fs::path package = dir.path() / "backup.zip";
  WriteFile(package, "the earlier package");
  const std::string good = Make("a.dbf", "a").string();
  struct Case {
    const char* what;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"missing file", {good, (dir.path() / "src" / "gone.dbf").string()}},
      {"two files of one name", {good, Make("sub/A.DBF", "b").string()}},
  };
  for (const Case& c : cases) {
    const zipio::Outcome out = zipio::WriteArchive(package.string(), c.files);
    EXPECT_FALSE(out.ok) << c.what;
    EXPECT_FALSE(out.error.empty()) << c.what;
    EXPECT_EQ(ReadFile(package), "the earlier package") << c.what;
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 2u) << c.what;  // the package and src: no leftovers
  }
}

TEST_F(ZipTest, EmptyFileListWritesAnEmptyArchive) {
  const std::string package = (dir.path() / "empty.zip").string();
  ASSERT_TRUE(zipio::WriteArchive(package, {}).ok);
  std::vector<zipio::Entry> entries{{"x"}};
  ASSERT_TRUE(zipio::ListEntries(package, entries).ok);
  EXPECT_TRUE(entries.empty());
}

TEST_F(ZipTest, ExtractionKeepsSubfoldersAndReplacesFilesWhateverTheirCase) {
  Make("QUESTS.DBF", "new table");
  Make("Bitmaps/0020000.gif", "picture");
  const fs::path package = dir.path() / "p.zip";
  ASSERT_EQ(Shell("cd " + (dir.path() / "src").string() + " && zip -qr " + package.string() + " ."), 0);

  const fs::path dest = dir.path() / "dest";
  fs::create_directories(dest / "BITMAPS");
  WriteFile(dest / "quests.dbf", "old table");
  const zipio::Outcome out = zipio::ExtractAll(package.string(), dest.string(), "");
  ASSERT_TRUE(out.ok) << out.error;
  EXPECT_EQ(ReadFile(dest / "quests.dbf"), "new table");
  EXPECT_FALSE(fs::exists(dest / "QUESTS.DBF") && fs::exists(dest / "quests.dbf") &&
               !fs::equivalent(dest / "QUESTS.DBF", dest / "quests.dbf"));
  EXPECT_EQ(ReadFile(dest / "BITMAPS" / "0020000.gif"), "picture");
}

TEST(ZipNames, SafeEntryPath) {
  struct Case {
    const char* name;
    const char* safe;  // "" when the entry is skipped
  };
  const Case cases[] = {
      {"quests.dbf", "quests.dbf"},
      {"Bitmaps\\0020000.gif", "Bitmaps/0020000.gif"},
      {"./a//b.txt", "a/b.txt"},
      {"sub/", "sub/"},
      {"../evil.txt", ""},
      {"a/../../evil.txt", ""},
      {"a\\..\\b.txt", ""},
      {"/etc/passwd", ""},
      {"\\evil.txt", ""},
      {"C:evil.txt", ""},
      {"C:\\Windows\\evil.txt", ""},
      {"", ""},
      {"./", ""},
      {"bad\nname", ""},
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_EQ(zipio::SafeEntryPath(c.name, reason), c.safe) << c.name;
    if (!*c.safe) {
      EXPECT_FALSE(reason.empty()) << c.name;
    }
  }
}

TEST_F(ZipTest, EntriesThatWouldLandOutsideAreSkippedAndListed) {
  const fs::path package = dir.path() / "evil.zip";
  MakeRawArchive(package, {{"good.txt", "good"},
                           {"../evil1.txt", "evil"},
                           {"/tmp/evil2.txt", "evil"},
                           {"C:\\evil3.txt", "evil"},
                           {"sub\\..\\..\\evil4.txt", "evil"},
                           {"link", "..", true},
                           {"through/x.txt", "evil"},
                           {"victim.txt", "evil"}});
  const fs::path dest = dir.path() / "dest";
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(dest);
  fs::create_directories(outside);
  WriteFile(outside / "victim.txt", "untouched");
  fs::create_directory_symlink(outside, dest / "through");
  fs::create_symlink(outside / "victim.txt", dest / "victim.txt");

  const zipio::Outcome out = zipio::ExtractAll(package.string(), dest.string(), "");
  ASSERT_TRUE(out.ok) << out.error;
  EXPECT_EQ(out.skipped.size(), 6u);
  for (const char* name : {"../evil1.txt", "/tmp/evil2.txt", "C:\\evil3.txt", "sub\\..\\..\\evil4.txt", "link",
                           "through/x.txt"}) {
    bool listed = false;
    for (const std::string& s : out.skipped) listed |= s.rfind(std::string(name) + ": ", 0) == 0;
    EXPECT_TRUE(listed) << name;
  }
  EXPECT_EQ(ReadFile(dest / "good.txt"), "good");
  // A link already in the folder is replaced, never written through.
  EXPECT_FALSE(fs::is_symlink(dest / "victim.txt"));
  EXPECT_EQ(ReadFile(dest / "victim.txt"), "evil");
  EXPECT_EQ(Tree(outside), (std::map<std::string, std::string>{{"victim.txt", "untouched"}}));
  EXPECT_FALSE(fs::exists(dir.path() / "evil1.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "evil4.txt"));
  // The listing tells links apart, so that a caller can refuse them before extracting.
  std::vector<zipio::Entry> entries;
  ASSERT_TRUE(zipio::ListEntries(package.string(), entries).ok);
  ASSERT_EQ(entries.size(), 8u);
  for (const zipio::Entry& e : entries) EXPECT_EQ(e.link, e.name == "link") << e.name;
}

TEST_F(ZipTest, DamagedArchivesChangeNothing) {
  Make("a.dbf", RandomBytes(50000, 3));
  Make("b.dbf", RandomBytes(50000, 4));
  const fs::path good = dir.path() / "good.zip";
  ASSERT_EQ(Shell("cd " + (dir.path() / "src").string() + " && zip -q -0 " + good.string() + " a.dbf b.dbf"), 0);
  const std::string bytes = ReadFile(good);

  std::string crcDamaged = bytes;
  crcDamaged[60000] ^= 0x55;  // inside b.dbf's stored data
  struct Case {
    const char* what;
    std::string content;
  };
  const Case cases[] = {
      {"not a zip", "this is a text file, not a package"},
      {"truncated", bytes.substr(0, bytes.size() / 2)},
      {"CRC damaged", crcDamaged},
      {"empty file", ""},
  };
  for (const Case& c : cases) {
    const fs::path package = dir.path() / "bad.zip";
    WriteFile(package, c.content);
    const fs::path dest = dir.path() / "dest";
    fs::remove_all(dest);
    fs::create_directories(dest);
    WriteFile(dest / "a.dbf", "the old a");
    const zipio::Outcome out = zipio::ExtractAll(package.string(), dest.string(), "");
    EXPECT_FALSE(out.ok) << c.what;
    EXPECT_FALSE(out.error.empty()) << c.what;
    EXPECT_EQ(Tree(dest), (std::map<std::string, std::string>{{"a.dbf", "the old a"}})) << c.what;
  }
}

// Sets every uncompressed size of a stored archive to about 4 GB in both headers.
void InflateDeclaredSizes(const fs::path& package) {
  std::string b = ReadFile(package);
  auto put = [&](size_t at) { b[at] = '\xf0', b[at + 1] = '\xff', b[at + 2] = '\xff', b[at + 3] = '\xff'; };
  for (size_t i = 0; i + 4 < b.size(); ++i) {
    if (b.compare(i, 4, std::string("PK\3\4", 4)) == 0) put(i + 22);
    if (b.compare(i, 4, std::string("PK\1\2", 4)) == 0) put(i + 24);
  }
  WriteFile(package, b);
}

TEST_F(ZipTest, ArchiveLargerThanTheFreeSpaceIsRefusedWhole) {
  struct statvfs fs;
  ASSERT_EQ(::statvfs(dir.str().c_str(), &fs), 0);
  const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  const size_t count = static_cast<size_t>(free / 0xfffffff0ull) + 2;
  ASSERT_LT(count, 100000u);
  std::vector<RawEntry> entries;
  for (size_t i = 0; i < count; ++i) entries.push_back({"f" + std::to_string(i), "x"});
  const fs::path package = dir.path() / "bomb.zip";
  MakeRawArchive(package, entries);
  InflateDeclaredSizes(package);
  const fs::path dest = dir.path() / "dest";
  const zipio::Outcome out = zipio::ExtractAll(package.string(), dest.string(), "");
  EXPECT_FALSE(out.ok);
  EXPECT_NE(out.error.find("free"), std::string::npos) << out.error;
  EXPECT_TRUE(fs::is_empty(dest));
}

TEST_F(ZipTest, OneEntryOfAPasswordProtectedArchive) {
  Make("pics/L0020000.gif", "large picture");
  Make("pics/0020001.png", "small picture");
  const fs::path archive = dir.path() / "imarc.vra";
  ASSERT_EQ(Shell("cd " + (dir.path() / "src").string() + " && zip -q -r -P s3cretPass9 " + archive.string() + " pics"),
            0);
  std::vector<zipio::Entry> entries;
  ASSERT_TRUE(zipio::ListEntries(archive.string(), entries).ok);
  for (const zipio::Entry& e : entries)
    if (!e.directory) {
      EXPECT_TRUE(e.encrypted) << e.name;
    }

  const fs::path out = dir.path() / "out";
  const zipio::Outcome got = zipio::ExtractEntry(archive.string(), "l0020000.GIF", out.string(), "s3cretPass9");
  ASSERT_TRUE(got.ok) << got.error;
  EXPECT_EQ(ReadFile(out / "l0020000.GIF"), "large picture");
  EXPECT_EQ(Tree(out).size(), 1u);

  struct Case {
    const char* what;
    const char* name;
    const char* password;
  };
  const Case failures[] = {
      {"wrong password", "0020001.png", "wrong"},
      {"no password", "0020001.png", ""},
      {"not in the archive", "0029999.png", "s3cretPass9"},
      {"not a bare name", "../0020001.png", "s3cretPass9"},
  };
  for (const Case& c : failures) {
    const zipio::Outcome bad = zipio::ExtractEntry(archive.string(), c.name, out.string(), c.password);
    EXPECT_FALSE(bad.ok) << c.what;
    EXPECT_FALSE(fs::exists(out / "0020001.png")) << c.what;
    EXPECT_EQ(Tree(out).size(), 1u) << c.what;
  }
}

}  // namespace
