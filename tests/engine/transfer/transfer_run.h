#pragma once
// Running a whole transfer from one course into another, and reading a finished
// destination back for checks.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace transfer_test {

// A table's rows (deleted ones too: their identifiers are still taken), each field's trimmed text by lower-case name (memos included).
using Row = std::map<std::string, std::string>;
std::vector<Row> ReadRows(const std::string& folder, const std::string& table);
// The rows not marked deleted.
std::vector<Row> ReadLiveRows(const std::string& folder, const std::string& table);
// The identifiers in a table's key field.
std::set<std::int32_t> Ids(const std::string& folder, const std::string& table, const std::string& field);
std::int32_t Num(const std::string& text);

// Every reference in a destination course points at a row there (or at a
// publisher node or image it does not copy); the failures, one text each.
std::vector<std::string> DanglingReferences(const std::string& course);

// The question_id and node_id elements of an XML text, in order.
std::vector<std::string> Elements(const std::string& xml, const std::string& tag);

}  // namespace transfer_test
