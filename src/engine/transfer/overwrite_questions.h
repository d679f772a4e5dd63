#pragma once
// The questions an interactive import asks when the destination already holds a row:
// by identifier (questions and exams: "Yes", "No", "Yes to All"), by name (exams,
// sessions, classes, activities), and the offer to find imported questions that
// already exist under another identifier. Unattended runs ask nothing. Only rows the
// destination holds live are asked about, and every Yes is noted (AgreeToOverwrite):
// in an interactive import nothing else of the teacher's is written over.
#include <cstdint>
#include <string>

#include "engine/transfer/table_mapping.h"

namespace tolvarin {

// True: take the row with its own identifier (overwriting); False: leave it out.
// "Yes to All" answers every later identifier question of the run with Yes.
bool ConfirmOverwriteByID(TableMapping& mapping, std::int32_t id);
// When the destination row with the identifier has the same name, asks (after "Yes to
// All" takes Yes without asking); Yes maps the row onto its own identifier so that it
// overwrites the existing one, No has it added beside under a new identifier.
void ConfirmOverwriteByName(TableMapping& mapping, std::int32_t id, const std::string& kind);
// Offers to look for source questions whose question and description texts equal a
// destination question's; each match points the source question at that question
// (the last destination match wins). In REMAPNOTHING, which copies every question it
// takes under its own number, only a refused question is matched, so that what names
// it leads to its twin; the offer is not made when no question was refused.
void CheckDuplicateQuestions();

}  // namespace tolvarin
