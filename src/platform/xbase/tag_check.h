#pragma once
// Checks of every tag of an open table against its records: what the canonical
// dump's TAG lines report (walk count, order, record order of equal keys, the
// record-number checksum, seek failures, missing, stale and duplicate entries).
#include <string>
#include <vector>

#include "platform/xbase/xbase.h"

namespace xbase::detail {

struct TagCheck {
  std::string name, key, filter;
  bool unique = false, descending = false;
  long keys = 0;
  bool ordered = true, recorder = true;
  unsigned recsum = 0;
  long seekfail = 0, expect = 0, missing = 0, stale = 0, dupentries = 0;
  char keytype = 'C';
  int keylen = 0;
  bool damaged = false;   // the walk met a damaged page
  bool unusable = false;  // the key expression cannot be evaluated here

  std::string Line() const;                  // the TAG line, without a newline
  std::vector<std::string> Problems() const; // what is wrong, one text each
};

// Tags in name order; empty when the table has no index open.
std::vector<TagCheck> CheckTags(Data4 data);

}  // namespace xbase::detail
