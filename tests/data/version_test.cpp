#include "data/version.h"

#include <gtest/gtest.h>

namespace tolvarin {
namespace {

TEST(Version, MakeVersionPutsMajorInTheThousands) {
  EXPECT_EQ(MakeVersion(5, 4), 5004);
  EXPECT_EQ(MakeVersion(0, 0), 0);
  EXPECT_EQ(MakeVersion(12, 345), 12345);
}

TEST(Version, SplitVersionReadsTheFiveDigitForm) {
  struct Case {
    std::int32_t version;
    std::int16_t major;
    std::int16_t minor;
  };
  for (const Case c : {Case{5004, 5, 4}, Case{12345, 12, 345}, Case{0, 0, 0}, Case{999, 0, 999},
                       Case{-1, -1, -1}, Case{-5004, -1, -1}}) {
    std::int16_t major = 77;
    std::int16_t minor = 77;
    SplitVersion(c.version, major, minor);
    EXPECT_EQ(major, c.major) << c.version;
    EXPECT_EQ(minor, c.minor) << c.version;
  }
}

TEST(Version, SplitUndoesMake) {
  for (std::int16_t major : {1, 3, 5, 42}) {
    for (std::int16_t minor : {0, 1, 250, 999}) {
      std::int16_t a = 0;
      std::int16_t b = 0;
      SplitVersion(MakeVersion(major, minor), a, b);
      EXPECT_EQ(a, major);
      EXPECT_EQ(b, minor);
    }
  }
}

}  // namespace
}  // namespace tolvarin
