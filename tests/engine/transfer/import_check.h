#pragma once
// What an import into a course that holds content of its own must leave, read from
// the folders alone (so that a process test can check it as well as a test in
// process): the destination's rows the teacher kept, and what hangs off them or what
// they name, as they were; every other row the copy of a package row of the same
// content, each of its references leading to a row of the same content as the
// package's row it named.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "transfer_run.h"

namespace transfer_test {

// How a table's rows are compared: its key, the fields holding another table's
// identifier, and the picture fields.
struct TableSpec {
  const char* table;
  std::int32_t number;
  const char* key;
  std::vector<std::pair<std::string, std::int32_t>> references;
  std::vector<std::string> pictures;
};
const std::vector<TableSpec>& Tables();
const TableSpec& Spec(std::int32_t number);

// "0000003%": an activity of the graded session 3, tied to it by its name.
bool SessionNamed(const std::string& name);
// A row's content, as a reference to the row must find it again: every field but its
// key, its references, its pictures and its owner (a session's activity without its
// name, which follows the session).
Row Content(Row row, const TableSpec& spec);

// The live rows of a course or backup folder by table: the tables above with the
// session results, standards links and nodes and the attribute rows.
using FolderRows = std::map<std::string, std::vector<Row>>;
FolderRows ReadImportTables(const std::string& folder);
// The picture files of a folder, bytes by file name.
std::map<std::string, std::string> PictureFiles(const std::string& folder);
// A picture's bytes by its number, "" when the folder has no file of it.
std::string PictureBytes(const std::map<std::string, std::string>& files, std::int32_t id);

struct ImportSides {
  FolderRows package, before;
  std::map<std::string, std::string> packagePictures, picturesBefore;
};
ImportSides ReadImportSides(const std::string& package, const std::string& destination);

// The destination's live rows before the import that it must keep as they were, with
// what hangs off them (session results, standards links, attribute rows, the bytes of
// the pictures they name) and the nodes: every row but a description or printing options that no live row names, and
// an exam question, session question, student or question type whose exam, session,
// class or question is not live. The problems found after an import, one text each.
std::vector<std::string> KeptRowsChanged(const ImportSides& sides, const std::string& destination);

// Every row of these tables that the destination now holds and did not hold as it is
// before: a package row of the same content whose references lead to rows of the same
// content as the package's rows (the question of a question type's key alike), whose
// pictures have the package's bytes and whose activity question elements lead to the
// package's questions or are "0000000". The problems, one text each; cut counts the
// activity elements that are "0000000".
std::vector<std::string> ImportedRowsMisled(const ImportSides& sides, const std::string& destination, int* cut = nullptr);

}  // namespace transfer_test
