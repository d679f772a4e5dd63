#include "platform/xbase/table_index.h"

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

// Until the CDX reader lands, tables open without their index.
std::unique_ptr<TableIndex> OpenProductionIndex(const std::string&, const RecordLayout&, int& code) {
  code = kSuccess;
  return nullptr;
}

std::unique_ptr<TableIndex> CreateProductionIndex(const std::string&, const RecordLayout&,
                                                  const std::vector<TagInfo>&, int& code) {
  code = kSuccess;
  return nullptr;
}

}  // namespace xbase::detail
