// The tag, seek and expression functions of the API, over a table's production
// index (TableIndex) and the expression evaluator.
#include <functional>
#include <memory>

#include "platform/xbase/cdx_index.h"
#include "platform/xbase/expr.h"
#include "platform/xbase/table.h"
#include "platform/xbase/xbase.h"

namespace xbase {

namespace {

using detail::Registry;
using detail::Table;
using detail::TableIndex;

struct ExprObject : detail::HandleObject {
  std::unique_ptr<detail::Expression> expr;
};

// The tag a seek runs on: the selected one, else the first.
int SeekTag(Table* t) {
  if (!t->Index() || t->Index()->TagCount() == 0) return -1;
  return t->SelectedTag() >= 0 ? t->SelectedTag() : 0;
}

// The key bytes a seek text stands for, and how many of them must match.
std::string SearchKey(const detail::TagDescription& tag, std::string_view key) {
  switch (tag.keyType) {
    case 'N': return detail::EncodeDouble(detail::ParseNumber(key), tag.keyLength);
    case 'D': {
      while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
      return detail::EncodeDouble(static_cast<double>(detail::JulianFromText(key)), tag.keyLength);
    }
    case 'L': return std::string(1, !key.empty() && (key[0] == 'T' || key[0] == 't' || key[0] == 'Y' || key[0] == 'y')
                                        ? 'T' : 'F');
    default: return std::string(key.substr(0, static_cast<size_t>(tag.keyLength)));
  }
}

bool Matches(std::string_view stored, std::string_view search) {
  return stored.size() >= search.size() && stored.substr(0, search.size()) == search;
}

// Positions on what a seek found; seek() runs it again when the record found was
// being changed by another process and has moved on in the index meanwhile.
template <class Seek>
int Position(Table* t, int tag, const Seek& seek) {
  detail::SeekResult r = seek();
  if (r.code < 0) return r.code;
  int code = t->PositionAt(r.recno);
  if (code != kSuccess) return code;
  if (r.recno == 0) return kEof;
  if (t->MatchesItsEntry(tag)) return r.code;
  code = t->SettleTagRecord(tag, [&](const std::string&, long) {
    r = seek();
    return r.code < 0 ? 0L : r.recno;
  });
  if (r.code < 0) return r.code;
  if (code == kEof) return t->PositionAt(0);
  return code != kSuccess ? code : r.code;
}

}  // namespace

Tag4 d4tag(Data4 data, std::string_view name) {
  Table* t = Registry::Get().FindTable(data);
  if (!t || !t->Index()) return 0;
  const std::string wanted = detail::TagName(name);
  TableIndex* index = t->Index();
  for (int i = 0; i < index->TagCount(); ++i)
    if (index->Tag(i).name == wanted) return Registry::Get().TagHandle(data, i);
  return 0;
}

Tag4 d4tagNext(Data4 data, Tag4 tag) {
  Table* t = Registry::Get().FindTable(data);
  if (!t || !t->Index()) return 0;
  if (tag == 0) return Registry::Get().TagHandle(data, 0);
  auto m = Registry::Get().FindTag(tag);
  if (m.table != t) return 0;
  return Registry::Get().TagHandle(data, m.index + 1);
}

int d4tagSelect(Data4 data, Tag4 tag) {
  Table* t = Registry::Get().FindTable(data);
  if (!t) return kErrorHandle;
  if (tag == 0) {
    t->SelectTag(-1);
    return kSuccess;
  }
  auto m = Registry::Get().FindTag(tag);
  if (m.table != t) return kErrorHandle;
  t->SelectTag(m.index);
  return kSuccess;
}

Tag4 d4tagSelected(Data4 data) {
  Table* t = Registry::Get().FindTable(data);
  if (!t || t->SelectedTag() < 0) return 0;
  return Registry::Get().TagHandle(data, t->SelectedTag());
}

int d4seek(Data4 data, std::string_view key) {
  Table* t = Registry::Get().FindTable(data);
  if (!t) return kErrorHandle;
  const int tag = SeekTag(t);
  if (tag < 0) return kErrorIndex;
  int code = t->WriteBack();
  if (code != kSuccess) return code;
  return Position(t, tag, [&] { return t->Index()->Seek(tag, key); });
}

int d4seekDouble(Data4 data, double key) {
  Table* t = Registry::Get().FindTable(data);
  if (!t) return kErrorHandle;
  const int tag = SeekTag(t);
  if (tag < 0) return kErrorIndex;
  int code = t->WriteBack();
  if (code != kSuccess) return code;
  return Position(t, tag, [&] { return t->Index()->SeekDouble(tag, key); });
}

int d4seekNext(Data4 data, std::string_view key) {
  Table* t = Registry::Get().FindTable(data);
  if (!t) return kErrorHandle;
  const int tag = SeekTag(t);
  if (tag < 0) return kErrorIndex;
  int code = t->WriteBack();
  if (code != kSuccess) return code;
  TableIndex* index = t->Index();
  const std::string search = SearchKey(index->Tag(tag), key);
  const long recno = t->RecNo();
  // Standing on a record with the key: the next one in tag order, if it has it too.
  if (recno > 0 && Matches(index->StoredKey(tag, recno, t->Record()), search)) {
    long next = index->Next(tag, recno, t->Record());
    if (index->Error() != kSuccess) return index->Error();
    code = t->PositionAt(next);
    if (code != kSuccess) return code;
    if (next == 0) return kEof;
    if (!t->MatchesItsEntry(tag)) {
      code = t->SettleTagRecord(tag, [&](const std::string& entry, long at) {
        return index->Reposition(tag, entry, at, 1);
      });
      if (code == kEof) return t->PositionAt(0);
      if (code != kSuccess) return code;
      next = t->RecNo();
    }
    return Matches(index->StoredKey(tag, next, t->Record()), search) ? kSuccess : kAfter;
  }
  return Position(t, tag, [&] { return index->Seek(tag, key); });
}

int d4reindex(Data4 data) {
  Table* t = Registry::Get().FindTable(data);
  if (!t) return kErrorHandle;
  return t->RebuildIndex();
}

namespace {

const detail::TagDescription* Describe(Tag4 tag, Registry::Member* member = nullptr) {
  auto m = Registry::Get().FindTag(tag);
  if (!m.table || !m.table->Index() || m.index < 0 || m.index >= m.table->Index()->TagCount()) return nullptr;
  if (member) *member = m;
  return &m.table->Index()->Tag(m.index);
}

}  // namespace

std::string t4name(Tag4 tag) {
  auto* d = Describe(tag);
  return d ? d->name : std::string();
}
std::string t4expr(Tag4 tag) {
  auto* d = Describe(tag);
  return d ? d->expression : std::string();
}
std::string t4filter(Tag4 tag) {
  auto* d = Describe(tag);
  return d ? d->filter : std::string();
}
int t4unique(Tag4 tag) {
  auto* d = Describe(tag);
  return d ? d->unique : kErrorHandle;
}
bool t4descending(Tag4 tag) {
  auto* d = Describe(tag);
  return d && d->descending;
}
char t4type(Tag4 tag) {
  auto* d = Describe(tag);
  return d ? d->keyType : '\0';
}
int t4keyLen(Tag4 tag) {
  auto* d = Describe(tag);
  return d ? d->keyLength : kErrorHandle;
}
std::string t4key(Tag4 tag) {
  Registry::Member m;
  if (!Describe(tag, &m)) return {};
  const long recno = m.table->RecNo();
  if (recno <= 0) return {};
  return m.table->Index()->StoredKey(m.index, recno, m.table->Record());
}

Expr4 expr4parse(Data4 data, std::string_view text) {
  Table* t = Registry::Get().FindTable(data);
  if (!t) return 0;
  auto expr = detail::Expression::Parse(text, t->Layout());
  if (!expr) return 0;
  auto object = std::make_unique<ExprObject>();
  object->expr = std::move(expr);
  return Registry::Get().AddExpr(data, std::move(object));
}

namespace {
const detail::Expression* FindExpression(Expr4 handle, Table** table) {
  auto* object = dynamic_cast<ExprObject*>(Registry::Get().FindExpr(handle, table));
  return object ? object->expr.get() : nullptr;
}
}  // namespace

std::string expr4str(Expr4 handle) {
  Table* t = nullptr;
  const detail::Expression* e = FindExpression(handle, &t);
  if (!e || !t) return {};
  return e->Text(t->Record(), t->RecNo());
}

int expr4len(Expr4 handle) {
  Table* t = nullptr;
  const detail::Expression* e = FindExpression(handle, &t);
  return e ? e->Length() : kErrorHandle;
}

char expr4type(Expr4 handle) {
  Table* t = nullptr;
  const detail::Expression* e = FindExpression(handle, &t);
  return e ? e->Type() : '\0';
}

void expr4free(Expr4 handle) {
  Table* t = nullptr;
  if (FindExpression(handle, &t)) Registry::Get().RemoveExpr(handle);
}

}  // namespace xbase
