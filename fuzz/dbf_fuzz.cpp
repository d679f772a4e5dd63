// Fuzzes the DBF header and record readers and the FPT memo reader and writer: the
// input is a table and its memo file (two length bytes give the table's size, the
// rest is the memo file; no rest, no memo file). Whatever the bytes, the engine must
// answer with codes, never crash, hang or touch anything outside the two files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/xbase/dbf.h"
#include "platform/xbase/xbase.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/dbf_fuzz.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return folder;
}

void Write(const std::string& path, std::string_view bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t dbfLength = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % (size - 1);
  std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::string_view dbf = input.substr(0, dbfLength);
  std::string_view fpt = input.substr(dbfLength);

  // The pure header reader first.
  xbase::detail::DbfHeader header;
  xbase::detail::ParseDbfHeader(dbf, static_cast<std::int64_t>(dbf.size()), header);

  const std::string dbfPath = Folder() + "/t.dbf";
  const std::string fptPath = Folder() + "/t.fpt";
  Write(dbfPath, dbf);
  if (fpt.empty()) {
    unlink(fptPath.c_str());
  } else {
    Write(fptPath, fpt);
  }

  static const xbase::Code4 code = [] {
    xbase::Code4 c = xbase::d4init();
    xbase::code4autoOpen(c, 0);
    return c;
  }();
  xbase::code4errorCode(code, 0);
  xbase::Data4 table = xbase::d4open(code, dbfPath);
  if (table == 0) return 0;

  const int fields = xbase::d4numFields(table);
  long visited = 0;
  for (int rc = xbase::d4top(table); rc == 0 && visited < 64; rc = xbase::d4skip(table, 1), ++visited) {
    for (int j = 1; j <= fields; ++j) {
      xbase::Field4 field = xbase::d4fieldJ(table, j);
      (void)xbase::f4str(field);
      (void)xbase::f4long(field);
      (void)xbase::f4double(field);
      (void)xbase::f4true(field);
      (void)xbase::f4memoStr(field);
    }
  }
  xbase::d4skip(table, -1);
  xbase::d4bottom(table);
  // Writes over whatever the files hold: rewrite a memo, append, delete, pack.
  if (xbase::d4top(table) == 0) {
    for (int j = 1; j <= fields; ++j) xbase::f4memoAssign(xbase::d4fieldJ(table, j), "fuzz memo text");
    xbase::d4flush(table);
    xbase::d4delete(table);
  }
  if (xbase::d4appendStart(table, 0) == 0) {
    for (int j = 1; j <= fields; ++j) xbase::f4assign(xbase::d4fieldJ(table, j), "12");
    xbase::d4append(table);
  }
  xbase::d4pack(table);
  xbase::d4memoCompress(table);
  xbase::d4close(table);
  return 0;
}
