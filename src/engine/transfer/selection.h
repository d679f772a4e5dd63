#pragma once
// The selection closure: which source rows take part in a transfer. Callers name
// rows by (table number, identifier); the closure adds what they depend on: an
// exam's exam questions and printing options, an exam question's question, a
// question's description, question type and answer pictures, a description's
// picture, a graded session's session questions, results and the activities named
// after it ("0000012%"). It fills each entry's SelectedIDs and three run-wide lists.
// References are not followed: the question of a session question and the
// questions an activity names come in only when the caller selects them.
#include <cstdint>
#include <string>
#include <vector>

#include "data/standards.h"
#include "data/table_records.h"

namespace tolvarin {

// Image identifiers to copy, ascending, each once, never 0.
const std::vector<std::int32_t>& SelectedImageIDs();
// Standards-node key texts (StandardKeyString) to copy, each once, in the order collected.
const std::vector<std::string>& StandardNodeKeys();
// Session-result keys: the session question's seven-digit key text followed by the
// student identifier as the results table stores it; each once.
const std::vector<std::string>& SessionResultKeys();

// Empties every table's selection and the three lists.
void ResetSelections();
// Selects a row and its closure; 0, a disabled table or a row already selected does nothing.
void SelectID(std::int32_t tableNo, std::int32_t id);
// The closure beyond the model's relations (pictures, printing options, activities, results).
void SelectRelatedIDs(std::int32_t tableNo, std::int32_t id);
// Every row of every table (whole backups and restores), then the class order and the
// standards nodes. A backup starts each table at its SrcFirstID.
void SelectAllRecords();
// The standards nodes of every selected question, with their parents.
void SelectStandardNodes();
// Collects the node and its parents; a publisher node (below 20000) stops the walk
// unless OfficeMode is 1 or the standards import mode is REMAPALLTOUSERRANGE.
void AddStandardNodeWithParents(const StandardKey& key);
void AddUniqueImageID(std::int32_t imageID);
// 1-based index of the key in SessionResultKeys, appended when new.
int AddUniqueString(const std::string& key);
// Moves the classes above 100000 (gradebook classes) to the front, keeping order; the
// first entry stays where it is.
void OrderClassSelection();
// The class a graded session's results lead to, as its seven-digit key text: "-1"
// when the session has no session questions, "" when no result leads to a class.
// keyText "" uses the current graded-session row of the source set.
std::string FindGradebookLink(const std::string& keyText);

// The questions of a graded session (session questions) and of an exam (exam
// questions), in tag order, trailing zeros dropped; empty when none.
std::vector<std::int32_t> GetLinkedIDsByFirstKey(std::int32_t id, const SesQuestsRecord& record);
std::vector<std::int32_t> GetLinkedIDsBySecondKey(std::int32_t id, const ExamQuesRecord& record);
// The question_id values an activity's XML names, in order; empty when none.
std::vector<std::int32_t> GetActivityQuestionIDs(std::int32_t id, const TemplatesRecord& record);

}  // namespace tolvarin
