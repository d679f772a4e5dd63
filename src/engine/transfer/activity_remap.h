#pragma once
// Activities name questions and standards nodes inside XML: the blob memo of an
// activity row and the ".lda" activity files of a package. An import that gives
// them new identifiers rewrites those elements: <question_id> holding a seven-digit
// key text, and <node_id> holding a node as seven digits or plain digits.
//
// Every element is rewritten at most once, in one pass from left to right with a
// lookup of old to new, so chains (20000 to 20021 while 20021 goes to 20042) come out
// right. A node element whose node is not being imported keeps its text. So does a
// question element in a backup; in an import it would name the destination's question
// of that number, so one whose question the import does not bring (refused, or missing
// from the package) becomes "0000000", none, and is counted (a text that is not seven
// digits is no identifier and is left alone).
#include <cstdint>
#include <map>
#include <string>

namespace tolvarin {

struct ActivityReplacements {
  std::map<std::string, std::string> questions;  // old element content to new
  std::map<std::string, std::string> nodes;
  bool noneForOtherQuestions = false;  // a question element not in the map becomes "0000000"
};

// The replacements of the current transfer: the selected questions through the
// questions' map (LookupReferenceID), the selected nodes through the node map (the
// first pair of an old number wins); into a live course other questions become none.
ActivityReplacements CurrentActivityReplacements();

// The text with every matching element rewritten once; case as it stands. cut, when
// given, counts the question elements that became none.
std::string RemapActivityText(const std::string& text, const ActivityReplacements& replacements, int* cut = nullptr);

// The activity row being copied: its blob memo, lower-cased, rewritten in place;
// the engine's result of the memo write. Elements cut count in LeftOutCount.
int RemapActivityQuestionIDs();
// The same with the replacements made once for every activity row of a copy.
int RemapActivityQuestionIDs(const ActivityReplacements& replacements);
// Every "*.lda" file of a package folder, replaced only once its rewritten text is
// on disk; elements cut count in LeftOutCount.
void RemapActivityFiles(const std::string& folder, const ActivityReplacements& replacements);
// The same for a game import, which runs into work copies: each rewritten file is
// written aside (files_aside.h) to join their group; elements cut count in
// LeftOutCount. The first file that could not be read or written aside, "" when
// every one was.
std::string StageActivityFiles(const std::string& folder, const ActivityReplacements& replacements);

}  // namespace tolvarin
