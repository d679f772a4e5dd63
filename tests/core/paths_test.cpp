#include "core/paths.h"

#include <gtest/gtest.h>

namespace {

using namespace tolvarin;

TEST(NormalizePath, FormForComparisonOnly) {
  EXPECT_EQ(NormalizePath("/data//Kestal/db"), "/DATA/KESTAL/DB/");
  EXPECT_EQ(NormalizePath("/data/"), "/DATA/");
  EXPECT_EQ(NormalizePath("//srv///x"), "/SRV/X/");
  EXPECT_TRUE(SamePath("/Data/Course", "/DATA//course/"));
  EXPECT_FALSE(SamePath("/Data/Course", "/Data/Course2"));
}

TEST(PathStartsWith, FolderIsInsideItselfButNotInsideAPrefix) {
  EXPECT_TRUE(PathStartsWith("/host", "/HOST/db/a.dbf"));
  EXPECT_TRUE(PathStartsWith("/host/", "/host"));
  EXPECT_FALSE(PathStartsWith("/a", "/ab/c"));
}

TEST(PathBelow, ThePartAsWrittenWhateverTheCaseAndSeparatorsOfEitherSide) {
  const struct {
    const char* outer;
    const char* path;
    const char* below;
  } cases[] = {
      {"/Host/Databases", "/host/DATABASES/Corvane/Science", "Corvane/Science/"},
      {"/Host//Databases/", "/Host/Databases//Corvane///Science/", "Corvane/Science/"},
      {"/Host/Databases", "/HOST/databases/", ""},
      {"/Host/Databases", "/Host/Databases", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PathBelow(c.outer, c.path), c.below) << c.outer << " " << c.path;
}

TEST(PathParts, FolderNameAndExtension) {
  EXPECT_EQ(GetFolderOfPath("/Host/Data/users.DBF"), "/Host/Data/");  // case kept: it must open
  EXPECT_EQ(GetFolderOfPath("/Host/Data/"), "/Host/Data/");
  EXPECT_EQ(GetFolderOfPath("plain").back(), '/');
  EXPECT_EQ(GetFileExtension("/a/b.tar.GZ"), "GZ");
  EXPECT_EQ(GetFileExtension("noext"), "noext");
  EXPECT_EQ(GetFileName("/a/b/users.dbf", true), "users.dbf");
  EXPECT_EQ(GetFileName("/a/b/users.dbf", false), "users");
  EXPECT_EQ(GetFileName("users", false), "users");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_TRUE(IsAbsolutePath("/x"));
  EXPECT_FALSE(IsAbsolutePath("x/y"));
  EXPECT_EQ(GetNetworkConnection("Z:"), "");
}

}  // namespace
