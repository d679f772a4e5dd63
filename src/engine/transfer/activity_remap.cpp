#include "engine/transfer/activity_remap.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "data/standards.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/files_aside.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_mapping.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNoQuestion = "0000000";

// Seven digits: an identifier as activities name it (other texts are left alone).
bool IsKeyText(const std::string& value) {
  return value.size() == 7 && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Rewrites the content of every <tag>...</tag> found in the map, left to right; with
// none given, every other identifier but none itself becomes none (counted in cut).
std::string RewriteElements(const std::string& text, const std::string& tag,
                            const std::map<std::string, std::string>& replacements, const char* none = nullptr,
                            int* cut = nullptr) {
  if (replacements.empty() && none == nullptr) return text;
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t start = text.find(open, pos);
    if (start == std::string::npos) break;
    const std::size_t content = start + open.size();
    const std::size_t end = text.find(close, content);
    if (end == std::string::npos) break;
    out.append(text, pos, content - pos);
    const std::string value = text.substr(content, end - content);
    const auto found = replacements.find(value);
    if (found != replacements.end()) {
      out += found->second;
    } else if (none != nullptr && value != none && IsKeyText(value)) {
      out += none;
      if (cut) ++*cut;
    } else {
      out += value;
    }
    out += close;
    pos = end + close.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace

ActivityReplacements CurrentActivityReplacements() {
  ActivityReplacements r;
  for (std::int32_t q : Mapping(kQuestsTable).SelectedIDs) {
    if (q == 0) continue;
    const std::int32_t n = LookupReferenceID(kQuestsTable, q);
    if (n > 0) r.questions.emplace(FormatID(q), FormatID(n));
  }
  r.noneForOtherQuestions = Settings().Operation == 2 || Settings().Operation == 4;
  for (const std::string& key : StandardNodeKeys()) {
    const std::int32_t o = ParseStandardKey(key).NodeID;
    const std::int32_t n = ParseStandardKey(MappedNodeKey(key)).NodeID;
    r.nodes.emplace(FormatID(o), FormatID(n));
    r.nodes.emplace(std::to_string(o), std::to_string(n));
  }
  return r;
}

std::string RemapActivityText(const std::string& text, const ActivityReplacements& replacements, int* cut) {
  const std::string questions = RewriteElements(text, "question_id", replacements.questions,
                                                replacements.noneForOtherQuestions ? kNoQuestion : nullptr, cut);
  return RewriteElements(questions, "node_id", replacements.nodes);
}

int RemapActivityQuestionIDs() { return RemapActivityQuestionIDs(CurrentActivityReplacements()); }

int RemapActivityQuestionIDs(const ActivityReplacements& replacements) {
  const TemplatesRecord& t = Dest().Templates;
  WriteLog("Remapping activity question IDs for activity " + f4str(t.TemplateID));
  const std::string text = ToLower(f4memoStr(t.Blob));
  int cut = 0;
  const std::string rewritten = RemapActivityText(text, replacements, &cut);
  if (cut > 0) WriteLog("    " + std::to_string(cut) + " of its questions are not imported: named as none");
  CountLeftOut(cut);
  return xbase::f4memoAssign(t.Blob, rewritten);
}

std::string StageActivityFiles(const std::string& folder, const ActivityReplacements& replacements) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const fs::path file = entry.path();
    if (entry.is_symlink() || !entry.is_regular_file() || ToLower(file.extension().string()) != ".lda") continue;
    std::string text;
    std::ifstream in(file, std::ios::binary);
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in || in.bad()) return file.string();
    int cut = 0;
    const std::string rewritten = RemapActivityText(text, replacements, &cut);
    if (rewritten != text && !WriteAside(file.string(), rewritten)) return file.string();
    if (cut > 0) WriteLog("Activity file " + file.filename().string() + ": " + std::to_string(cut) +
                          " of its questions are not imported: named as none");
    CountLeftOut(cut);
  }
  return ec ? folder : "";
}

void RemapActivityFiles(const std::string& folder, const ActivityReplacements& replacements) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const fs::path file = entry.path();
    if (!entry.is_regular_file() || ToLower(file.extension().string()) != ".lda") continue;
    std::string text;
    {
      std::ifstream in(file, std::ios::binary);
      if (!in) continue;
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int cut = 0;
    const std::string rewritten = RemapActivityText(text, replacements, &cut);
    if (rewritten == text) continue;
    // The new text goes beside the file first; the file is replaced only once it is whole.
    const fs::path temporary = file.string() + ".new";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << rewritten;
      out.flush();
      if (!out) {
        fs::remove(temporary, ec);
        continue;
      }
    }
    fs::rename(temporary, file, ec);
    if (ec) {
      fs::remove(temporary, ec);
      continue;
    }
    if (cut > 0) WriteLog("Activity file " + file.filename().string() + ": " + std::to_string(cut) +
                          " of its questions are not imported: named as none");
    CountLeftOut(cut);
  }
}

}  // namespace tolvarin
