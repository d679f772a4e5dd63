#include <unistd.h>

#include <algorithm>

#include "platform/xbase/shared_file.h"
#include "platform/xbase/table.h"

namespace xbase::detail {
namespace {

std::int64_t PairKey(Data4 data, int index) {
  return static_cast<std::int64_t>(data) << 32 | static_cast<std::uint32_t>(index);
}

}  // namespace

Registry& Registry::Get() {
  // The book of open files must outlive the registry: it is made first.
  SharedFile::KeepOpenFilesBook();
  static Registry registry;
  return registry;
}

Registry::Registry() : pid_(getpid()) {}

// Tables still open when the program ends are closed, so that a changed record is
// written back; not in a forked child, whose tables belong to its parent.
Registry::~Registry() {
  if (getpid() != pid_) return;
  std::vector<Code4> contexts;
  for (const auto& [handle, entry] : entries_) {
    if (entry.kind == Entry::Kind::kContext) contexts.push_back(handle);
  }
  for (Code4 code : contexts) RemoveContext(code);
}

Code4 Registry::AddContext() {
  Code4 handle = next_++;
  Entry entry;
  entry.kind = Entry::Kind::kContext;
  entry.context = std::make_unique<Context>();
  entry.context->handle = handle;
  entries_.emplace(handle, std::move(entry));
  return handle;
}

Context* Registry::FindContext(Code4 code) {
  auto it = entries_.find(code);
  if (it == entries_.end() || it->second.kind != Entry::Kind::kContext) return nullptr;
  return it->second.context.get();
}

int Registry::RemoveContext(Code4 code) {
  if (!FindContext(code)) return kErrorHandle;
  int result = kSuccess;
  for (Data4 data : TablesOf(code)) {
    int closed = CloseTable(data);
    if (result == kSuccess) result = closed;
  }
  entries_.erase(code);
  return result;
}

Data4 Registry::AddTable(Code4 code, std::unique_ptr<Table> table) {
  Data4 handle = next_++;
  table->handle_ = handle;
  table->code_ = code;
  Entry entry;
  entry.kind = Entry::Kind::kTable;
  entry.owner = code;
  entry.table = std::move(table);
  entries_.emplace(handle, std::move(entry));
  return handle;
}

Table* Registry::FindTable(Data4 data) {
  auto it = entries_.find(data);
  if (it == entries_.end() || it->second.kind != Entry::Kind::kTable) return nullptr;
  return it->second.table.get();
}

int Registry::CloseTable(Data4 data) {
  Table* table = FindTable(data);
  if (!table) return kErrorHandle;
  int code = table->Close();
  // Its fields, tags and expressions go with it; their handles stay unused.
  for (auto it = entries_.begin(); it != entries_.end();) {
    bool member = it->second.kind != Entry::Kind::kContext && it->second.kind != Entry::Kind::kTable &&
                  it->second.owner == data;
    it = member ? entries_.erase(it) : std::next(it);
  }
  std::erase_if(fieldHandles_, [&](const auto& kv) { return static_cast<Data4>(kv.first >> 32) == data; });
  std::erase_if(tagHandles_, [&](const auto& kv) { return static_cast<Data4>(kv.first >> 32) == data; });
  entries_.erase(data);
  return code;
}

std::vector<Data4> Registry::TablesOf(Code4 code) const {
  std::vector<Data4> tables;
  for (const auto& [handle, entry] : entries_) {
    if (entry.kind == Entry::Kind::kTable && entry.owner == code) tables.push_back(handle);
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

// Fields and tags are members of a table; each (table, position) keeps one handle.
std::int32_t Registry::MemberHandle(std::unordered_map<std::int64_t, std::int32_t>& handles, Entry::Kind kind,
                                    Data4 data, Table* table, int index) {
  auto [it, added] = handles.emplace(PairKey(data, index), 0);
  if (added) {
    it->second = next_++;
    Entry entry;
    entry.kind = kind;
    entry.owner = data;
    entry.ownerTable = table;
    entry.index = index;
    entries_.emplace(it->second, std::move(entry));
  }
  return it->second;
}

Registry::Member Registry::FindMember(std::int32_t handle, Entry::Kind kind) {
  auto it = entries_.find(handle);
  if (it == entries_.end() || it->second.kind != kind) return {};
  return {it->second.ownerTable, it->second.index};
}

Field4 Registry::FieldHandle(Data4 data, int index) {
  Table* table = FindTable(data);
  if (!table || index < 0 || index >= table->FieldCount()) return 0;
  return MemberHandle(fieldHandles_, Entry::Kind::kField, data, table, index);
}

Registry::Member Registry::FindField(Field4 field) { return FindMember(field, Entry::Kind::kField); }

Tag4 Registry::TagHandle(Data4 data, int index) {
  Table* table = FindTable(data);
  if (!table || !table->Index() || index < 0 || index >= table->Index()->TagCount()) return 0;
  return MemberHandle(tagHandles_, Entry::Kind::kTag, data, table, index);
}

Registry::Member Registry::FindTag(Tag4 tag) { return FindMember(tag, Entry::Kind::kTag); }

Expr4 Registry::AddExpr(Data4 data, std::unique_ptr<HandleObject> object) {
  if (!FindTable(data) || !object) return 0;
  Expr4 handle = next_++;
  Entry entry;
  entry.kind = Entry::Kind::kExpr;
  entry.owner = data;
  entry.object = std::move(object);
  entries_.emplace(handle, std::move(entry));
  return handle;
}

HandleObject* Registry::FindExpr(Expr4 expr, Table** table) {
  auto it = entries_.find(expr);
  if (it == entries_.end() || it->second.kind != Entry::Kind::kExpr) return nullptr;
  if (table) *table = FindTable(it->second.owner);
  return it->second.object.get();
}

void Registry::RemoveExpr(Expr4 expr) {
  auto it = entries_.find(expr);
  if (it != entries_.end() && it->second.kind == Entry::Kind::kExpr) entries_.erase(it);
}

}  // namespace xbase::detail
