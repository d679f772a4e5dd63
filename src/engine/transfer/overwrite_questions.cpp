#include "engine/transfer/overwrite_questions.h"

#include <string>
#include <unordered_map>

#include "core/box_buttons.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/table_access.h"

namespace tolvarin {
namespace {

using transfer::Number;
using transfer::Seek;
using transfer::SeekLive;

constexpr int kYes = 1, kNo = 2, kYesToAll = 3;

// A question's texts as the duplicate check compares them: the question and its description.
std::string QuestionTexts(const QuestsRecord& quests, const DescriptRecord& descript) {
  std::string description;
  const std::string descriptID = f4str(quests.DescriptID);
  if (Trim(descriptID).size() > 0 && Seek(descript.Data, descript.DescriptIDTag, descriptID))
    description = f4memoStr(descript.Descript);
  std::string text = f4memoStr(quests.Question);
  text += '\0';
  text += description;
  return text;
}

}  // namespace

bool ConfirmOverwriteByID(TableMapping& m, std::int32_t id) {
  RunSettings& s = Settings();
  if (m.TableNo != kQuestsTable && m.TableNo != kExamsTable) return true;
  if (!s.AskBeforeOverwrite) {
    AgreeToOverwrite(m, id, true);
    return true;
  }
  const std::string kind = m.TableNo == kQuestsTable ? " question" : "n exam";
  const std::string text = "This package file contains a" + kind + " with ID# " + FormatID(id) + ". A" + kind +
                           " with this same ID already exists in your database. Would you like to overwrite it?";
  // Closing the box keeps the teacher's row: it answers No, never Yes to All.
  const int answer = FacilityCustomBox(text, "Overwrite", 0, "Yes", "No", "Yes to All", kYes, kNo, 0);
  if (answer == kYesToAll) s.AskBeforeOverwrite = false;
  const bool yes = answer == kYes || answer == kYesToAll;
  AgreeToOverwrite(m, id, yes);
  return yes;
}

void ConfirmOverwriteByName(TableMapping& m, std::int32_t id, const std::string& kind) {
  const std::string key = FormatID(id);
  // A row marked deleted is no longer the teacher's: nothing to ask about.
  if (!SeekLive(m.Dest.Data, m.Dest.KeyTag, key)) return;
  if (!Seek(m.Src.Data, m.Src.KeyTag, key)) return;
  if (m.SrcNameField == 0 || m.DestNameField == 0) return;
  const std::string name = f4str(m.SrcNameField);
  if (name != f4str(m.DestNameField)) return;
  const std::string text = "This backup package contains " + kind + " with the name \"" + Trim(name) + "\", however " +
                           kind + " with this same name already exists in your database.\r\n\r\nWould you like to "
                           "overwrite it?";
  // After "Yes to All" every such row is written over without a question. No adds
  // the package's row beside the teacher's: a row that kept its identifier is given a
  // new one before anything is copied.
  const bool yes = !Settings().AskBeforeOverwrite || FacilityMessageBox(text, kMbYesNo) == kIdYes;
  if (yes) m.IDMap.Set(id, id);
  AgreeToOverwrite(m, id, yes);
}

void CheckDuplicateQuestions() {
  if (!Settings().Interactive || Settings().Operation != 2) return;
  // REMAPNOTHING copies every question it takes under its own number: only a question
  // the teacher refused can be found again, so without one there is nothing to offer.
  if (Settings().ImportMode == 3 && !AnyQuestionRefused()) return;
  if (FacilityMessageBox("Would you like to check if these questions are already present in your database? This "
                         "may take a few moments.",
                         kMbYesNo) != kIdYes)
    return;
  // The destination's questions by their texts (the last one met wins), then every
  // source question looked up once: the pairs of the nested comparison, in linear time.
  const DatabaseSet& dest = Dest();
  const DatabaseSet& src = Src();
  if (dest.Quests.Data == 0 || src.Quests.Data == 0) return;
  std::unordered_map<std::string, std::int32_t> destination;
  xbase::d4tagSelect(dest.Quests.Data, dest.Quests.Quest_idTag);
  for (int rc = xbase::d4top(dest.Quests.Data); rc == xbase::kSuccess; rc = xbase::d4skip(dest.Quests.Data, 1)) {
    const std::int32_t id = static_cast<std::int32_t>(xbase::f4long(dest.Quests.Quest_id));
    destination[QuestionTexts(dest.Quests, dest.Descript)] = id;
  }
  TableMapping& quests = Mapping(kQuestsTable);
  TableMapping& types = Mapping(kQuesTypeTable);
  std::vector<std::pair<std::int32_t, std::int32_t>> matches;
  xbase::d4tagSelect(src.Quests.Data, src.Quests.Quest_idTag);
  for (int rc = xbase::d4top(src.Quests.Data); rc == xbase::kSuccess; rc = xbase::d4skip(src.Quests.Data, 1)) {
    const auto found = destination.find(QuestionTexts(src.Quests, src.Descript));
    if (found != destination.end())
      matches.emplace_back(static_cast<std::int32_t>(xbase::f4long(src.Quests.Quest_id)), found->second);
  }
  for (const auto& [source, target] : matches) {
    // REMAPNOTHING copies a question under its own number whatever a match says; one the
    // user chose not to write over stays out, and what names it leads to its twin.
    if (Settings().ImportMode == 3) {
      if (quests.IDMap.Get(source) == 0) LinkToDestinationQuestion(source, target);
      continue;
    }
    quests.IDMap.Set(source, target);
    // The question's type row follows it onto the existing question.
    if (types.IDMap.Get(source) != 0) types.IDMap.Set(source, target);
  }
}

}  // namespace tolvarin
