#include "platform/xbase/table_index.h"

#include "platform/xbase/cdx_index.h"
#include "platform/xbase/shared_file.h"

#include <algorithm>
#include <cctype>

namespace xbase::detail {

const FieldLayout* RecordLayout::Find(std::string_view name) const {
  auto same = [&](const FieldLayout& f) {
    return f.name.size() == name.size() &&
           std::equal(f.name.begin(), f.name.end(), name.begin(), [](char a, char b) {
             return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
           });
  };
  auto it = std::find_if(fields.begin(), fields.end(), same);
  return it == fields.end() ? nullptr : &*it;
}

std::unique_ptr<TableIndex> OpenProductionIndex(const std::string& cdxPath, const RecordLayout& layout, int& code,
                                                bool forRebuild) {
  return CdxIndex::Open(cdxPath, layout, code, forRebuild);
}

bool ProductionIndexCutShort(const std::string& cdxPath) {
  int code = kSuccess;
  auto file = SharedFile::Open(cdxPath, false, code);
  unsigned char head[32];
  return file && file->Read(0, head, sizeof head) && head[kCdxMarkOffset] != 0;
}

std::unique_ptr<TableIndex> CreateProductionIndex(const std::string& cdxPath, const RecordLayout& layout,
                                                  const std::vector<TagInfo>& tags, int& code) {
  return CdxIndex::Create(cdxPath, layout, tags, code);
}

}  // namespace xbase::detail
