// Fuzzes the CDX reader and writer: the input is an index file over a fixed record
// layout (ID C 10, N N 6 2, D D 8, L L 1). It is opened, every tag walked both ways
// and sought, then keys are inserted, changed and the whole index rebuilt. Whatever
// the bytes, the index must answer with codes: no crash, no endless walk, no write
// outside the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/xbase/cdx_index.h"

namespace {

using namespace xbase::detail;

const std::string& Path() {
  static const std::string path = [] {
    char pattern[] = "/tmp/cdx_fuzz.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made) + "/t.cdx";
  }();
  return path;
}

const RecordLayout& Layout() {
  static const RecordLayout layout = [] {
    RecordLayout l;
    l.fields = {{"ID", 'C', 1, 10, 0}, {"N", 'N', 11, 6, 2}, {"D", 'D', 17, 8, 0}, {"L", 'L', 25, 1, 0}};
    l.recordLength = 26;
    return l;
  }();
  return layout;
}

std::string Record(int i) {
  char text[64];
  std::snprintf(text, sizeof text, " key%-6d%6.2f2024%02d%02d%c", i % 97, (i % 50) - 20.5, 1 + i % 12, 1 + i % 28,
                i % 2 ? 'T' : 'F');
  return std::string(text, 26);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FILE* file = std::fopen(Path().c_str(), "wb");
  if (!file) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  const long before = static_cast<long>(size);

  int code = 0;
  auto index = CdxIndex::Open(Path(), Layout(), code);
  if (!index) return 0;
  const std::string record = Record(1);
  for (int t = 0; t < index->TagCount(); ++t) {
    long steps = 0;
    index->Walk(t, [&](std::string_view, long) { ++steps; });
    for (long r = index->First(t); r != 0 && steps < 1000000; r = index->Next(t, r, record)) ++steps;
    for (long r = index->Last(t); r != 0 && steps < 2000000; r = index->Prev(t, r, record)) ++steps;
    if (steps >= 2000000) std::abort();  // a walk that does not end
    index->Seek(t, "key1");
    index->Seek(t, "");
    index->SeekDouble(t, 3.5);
    index->StoredKey(t, 1, record);
  }
  auto nothing = [] { return 0; };  // no data file behind the index here
  for (int i = 1; i <= 40; ++i) index->Insert(i, Record(i), nothing);
  for (int i = 1; i <= 40; i += 3) index->Replace(i, Record(i), Record(i + 1000), nothing);
  long grown = 0;
  {
    FILE* f = std::fopen(Path().c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    grown = std::ftell(f) - before;
    std::fclose(f);
  }
  // Forty inserts never need more than a few pages per tag.
  if (grown > static_cast<long>(index->TagCount() + 1) * 200 * 512) std::abort();
  int n = 0;
  index->Rebuild([&](long& recno, std::string& rec) {
    if (n >= 30) return false;
    ++n;
    recno = n;
    rec = Record(n);
    return true;
  });
  for (int t = 0; t < index->TagCount(); ++t)
    for (long r = index->First(t), steps = 0; r != 0 && steps < 100; r = index->Next(t, r, record)) ++steps;
  return 0;
}
