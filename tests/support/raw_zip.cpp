#include "support/raw_zip.h"

#include <gtest/gtest.h>
#include <zip.h>

namespace testing_support {

void MakeRawArchive(const std::filesystem::path& path, const std::vector<RawEntry>& entries) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(archive, nullptr);
  for (const RawEntry& e : entries) {
    if (!e.name.empty() && e.name.back() == '/') {
      ASSERT_GE(zip_dir_add(archive, e.name.c_str(), ZIP_FL_ENC_RAW), 0) << e.name;
      continue;
    }
    zip_source_t* src = zip_source_buffer(archive, e.data.data(), e.data.size(), 0);
    const zip_int64_t index = zip_file_add(archive, e.name.c_str(), src, ZIP_FL_ENC_RAW);
    ASSERT_GE(index, 0) << e.name;
    zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
    if (e.link) zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, (0120777u << 16));
  }
  ASSERT_EQ(zip_close(archive), 0);
}

}  // namespace testing_support
