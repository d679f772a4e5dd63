#include "platform/xbase/tag_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "platform/xbase/cdx_index.h"
#include "platform/xbase/table.h"

namespace xbase::detail {

std::string TagCheck::Line() const {
  char sum[16];
  std::snprintf(sum, sizeof sum, "%08X", recsum);
  auto tf = [](bool b) { return b ? "T" : "F"; };
  std::string s = "TAG " + name + " key=" + key + " for=" + filter + " unique=" + tf(unique) +
                  " descending=" + tf(descending) + " keys=" + std::to_string(keys) + " ordered=" + tf(ordered) +
                  " recsum=" + sum + " seekfail=" + std::to_string(seekfail) + " expect=" + std::to_string(expect) +
                  " missing=" + std::to_string(missing) + " stale=" + std::to_string(stale) +
                  " dupentries=" + std::to_string(dupentries) + " recorder=" + tf(recorder) +
                  " keytype=" + std::string(1, keytype) + " keylen=" + std::to_string(keylen);
  return s;
}

std::vector<std::string> TagCheck::Problems() const {
  std::vector<std::string> p;
  const std::string tag = "tag " + name + " ";
  if (damaged) p.push_back(tag + "is damaged");
  if (unusable) p.push_back(tag + "has a key expression that cannot be evaluated");
  if (!ordered) p.push_back(tag + "is out of order");
  if (!recorder) p.push_back(tag + "has equal keys out of record order");
  if (seekfail) p.push_back(tag + "seek failures " + std::to_string(seekfail));
  if (missing) p.push_back(tag + "missing entries " + std::to_string(missing));
  if (stale) p.push_back(tag + "stale entries " + std::to_string(stale));
  if (dupentries) p.push_back(tag + "duplicate entries " + std::to_string(dupentries));
  if (!damaged && !unusable && keys != expect)
    p.push_back(tag + "holds " + std::to_string(keys) + " entries, expected " + std::to_string(expect));
  return p;
}

std::vector<TagCheck> CheckTags(Data4 data) {
  std::vector<TagCheck> out;
  Table* table = Registry::Get().FindTable(data);
  if (!table || !table->Index()) return out;
  auto* index = dynamic_cast<CdxIndex*>(table->Index());
  if (!index) return out;
  const long count = table->RecCount();
  // Every record, read in long stretches rather than one system call each.
  std::vector<std::string> records(static_cast<size_t>(count) + 1);
  table->ReadRecords(count, [&](long recno, std::string& record) { records[static_cast<size_t>(recno)].swap(record); });

  for (int t = 0; t < index->TagCount(); ++t) {
    const TagDescription& d = index->Tag(t);
    TagCheck c;
    c.name = d.name;
    c.key = d.expression;
    c.filter = d.filter;
    c.unique = d.unique != kUniqueNone;
    c.descending = d.descending;
    c.keytype = d.keyType;
    c.keylen = d.keyLength;
    const size_t kl = static_cast<size_t>(d.keyLength);

    std::vector<std::pair<std::string, long>> entries;
    int rc = index->Walk(t, [&](std::string_view key, long recno) { entries.emplace_back(std::string(key), recno); });
    if (rc != kSuccess) {
      c.damaged = true;
      out.push_back(c);
      continue;
    }
    if (d.descending) std::reverse(entries.begin(), entries.end());
    c.keys = static_cast<long>(entries.size());
    std::unordered_map<long, int> seen;
    for (size_t i = 0; i < entries.size(); ++i) {
      const auto& [key, recno] = entries[i];
      c.recsum = c.recsum * 1000003u + static_cast<unsigned>(recno);
      if (i > 0) {
        int cmp = std::memcmp(entries[i - 1].first.data(), key.data(), kl);
        if (d.descending ? cmp < 0 : cmp > 0) c.ordered = false;
        if (cmp == 0 && entries[i - 1].second > recno) c.recorder = false;
      }
      if (++seen[recno] == 2) ++c.dupentries;
    }
    if (!index->Usable(t)) {
      c.unusable = true;
      c.expect = c.keys;
      out.push_back(c);
      continue;
    }
    // Entries against the records they name.
    for (const auto& [key, recno] : entries) {
      if (recno < 1 || recno > count) {
        ++c.stale;
        continue;
      }
      const std::string& rec = records[static_cast<size_t>(recno)];
      if (!index->Wanted(t, rec, recno) || index->KeyOf(t, rec) != key) ++c.stale;
    }
    // Records against the tag.
    std::set<std::string> distinct, present;
    std::unordered_set<long> inTag;
    for (const auto& [key, recno] : entries) {
      present.insert(key);
      inTag.insert(recno);
    }
    for (long r = 1; r <= count; ++r) {
      const std::string& rec = records[static_cast<size_t>(r)];
      if (!index->Wanted(t, rec, r)) continue;
      const std::string key = index->KeyOf(t, rec);
      SeekResult s = index->SeekEncoded(t, key);
      if (s.code != kSuccess) ++c.seekfail;
      if (c.unique) {
        distinct.insert(key);
      } else {
        ++c.expect;
        if (!inTag.count(r)) ++c.missing;
      }
    }
    if (c.unique) {
      c.expect = static_cast<long>(distinct.size());
      for (const auto& k : distinct)
        if (!present.count(k)) ++c.missing;
    }
    out.push_back(c);
  }
  std::sort(out.begin(), out.end(), [](const TagCheck& a, const TagCheck& b) { return a.name < b.name; });
  return out;
}

}  // namespace xbase::detail
