#pragma once
// Our FoxPro-compatible table engine: DBF data, CDX compound index and FPT memo
// files, shared with other programs through byte-range locks.
//
// The API keeps the engine's own shape because the system's logic is written
// against its results: every object is reached through an opaque 32-bit handle
// (0 = none), every operation answers with the engine's codes, and a handle that
// is 0, closed or of the wrong kind answers kErrorHandle instead of crashing.
// Handles are never reused within a process. The objects behind them are owned by
// their context; ending a context closes its tables.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xbase {

using Code4 = std::int32_t;  // engine context
using Data4 = std::int32_t;  // open table
using Field4 = std::int32_t; // field of an open table
using Tag4 = std::int32_t;   // index tag of an open table
using Expr4 = std::int32_t;  // parsed expression

// Results.
inline constexpr int kSuccess = 0;
inline constexpr int kAfter = 2;         // seek: not found, positioned on the next greater key
inline constexpr int kEof = 3;           // at end of file
inline constexpr int kBof = 4;           // before the first record
inline constexpr int kUnique = 20;       // append/write refused: the key exists in a unique (15) tag
inline constexpr int kLocked = 50;       // the record or file is locked by another process
// Errors (negative).
inline constexpr int kErrorHandle = -1;    // 0, closed or wrong handle
inline constexpr int kErrorCreate = -10;   // a file could not be created
inline constexpr int kErrorRead = -30;     // reading failed
inline constexpr int kErrorWrite = -40;    // writing failed
inline constexpr int kErrorAccess = -60;   // the operating system refused access (permission, in use)
inline constexpr int kErrorRecord = -70;   // record number out of range, or no current record
inline constexpr int kErrorField = -80;    // wrong field kind for the operation
inline constexpr int kErrorDamaged = -200; // the data file is damaged or not a table
inline constexpr int kErrorIndex = -300;   // the index file is damaged
inline constexpr int kErrorMemo = -400;    // the memo file is damaged
inline constexpr int kErrorExpr = -500;    // an expression could not be parsed or evaluated

// Tag uniqueness codes.
inline constexpr int kUniqueNone = 0;
inline constexpr int kUniqueError = 15;     // a duplicate key refuses the write
inline constexpr int kUniqueContinue = 25;  // a duplicate key is left out of the tag
inline constexpr int kDescending = 10;

struct FieldInfo {
  std::string name;
  char type = 'C';  // C N L D M I X ...
  int length = 0;
  int decimals = 0;
  int nulls = 0;
};

struct TagInfo {
  std::string name;
  std::string expression;
  std::string filter;   // FOR expression, "" for none
  int unique = kUniqueNone;
  int descending = 0;   // kDescending for a descending tag
};

// --- context ---------------------------------------------------------------
Code4 d4init();
int d4initUndo(Code4 code);                 // closes every table of the context
int code4autoOpen(Code4 code, int flag);    // 1: d4open also opens the production index; returns the previous flag
int code4errOff(Code4 code, int flag);      // the engine never shows anything; kept for the system's calls
int code4errTagName(Code4 code, int flag);  // d4tag of a missing name answers 0 quietly either way
int code4optimize(Code4 code, int flag);
int code4accessMode(Code4 code, int mode);  // 0 shared (the only mode used)
int code4errorCode(Code4 code, int newCode);  // returns the pending error code and sets it to newCode

// --- tables ----------------------------------------------------------------
// A failed open answers 0 and leaves the pending error code: kErrorAccess when the
// system refused access, kErrorDamaged/kErrorIndex/kErrorMemo for a damaged file or a
// file that is not a table. Names are found without regard to case.
Data4 d4open(Code4 code, const std::string& path);
Data4 d4create(Code4 code, const std::string& path, const std::vector<FieldInfo>& fields,
               const std::vector<TagInfo>& tags);
int d4close(Data4 data);
std::string d4fileName(Data4 data);  // full path of the .dbf as opened
Code4 d4code(Data4 data);

int d4numFields(Data4 data);
Field4 d4field(Data4 data, std::string_view name);  // 0 when there is no such field
Field4 d4fieldJ(Data4 data, int j);                 // 1-based; 0 out of range

// Position. Codes: 0 on a record, kEof past the end, kBof before the first.
// After open and after pack there is no current record (d4recNo 0) until a move.
// d4top/d4bottom of an empty table (or tag): kEof, d4eof and d4bof both true.
// d4skip past the last record: kEof, at end of file (d4recNo 0); skipping on at end
// of file: kEof again; skipping back from end of file reaches the last record.
// d4skip before the first record: kBof, staying on the first record (d4bof true).
// d4skip with no current record: kErrorRecord. A move that must first write back a
// changed record and cannot (kUnique, kLocked) returns that code and does not move.
int d4top(Data4 data);
int d4bottom(Data4 data);
int d4skip(Data4 data, long count);
int d4go(Data4 data, long recno);    // kErrorRecord for a number out of range, position kept
int d4goEof(Data4 data);             // kEof
long d4recNo(Data4 data);            // 0 when there is no current record (end of file, appending)
long d4recCount(Data4 data);         // re-reads the count that other processes may have grown
bool d4eof(Data4 data);
bool d4bof(Data4 data);

// Records. A changed current record is written back before any move, seek,
// append start, pack, reindex and close. A write-back that a unique (15) tag refuses
// answers kUnique and puts the record back as the file holds it. Fields of a table
// with no current record answer kErrorRecord to assignments.
int d4appendStart(Data4 data, int useMemoEntries = 0);  // blanks every field; a move drops it
int d4blank(Data4 data);
int d4append(Data4 data);            // kUnique when a unique (15) tag refuses the key (nothing
                                     // written); kErrorRecord without d4appendStart; on disk,
                                     // count included, when it returns; then on the new record
int d4flush(Data4 data);             // writes back a changed record now
int d4delete(Data4 data);
int d4recall(Data4 data);
bool d4deleted(Data4 data);
int d4pack(Data4 data);              // removes deleted records, rebuilds the tags
int d4memoCompress(Data4 data);
int d4lock(Data4 data, long recno);  // 0 locked, kLocked while another process holds it;
                                     // a handle holds one record lock: the earlier one is let go
int d4lockAll(Data4 data);           // the whole file
int d4unlock(Data4 data);            // releases every lock of this handle
// A bulk copy into a table this handle holds whole (d4lockAll): with on 1, appends
// and write-backs leave the tags alone (seeks see them as they were; a unique (15)
// tag still refuses its duplicates) and the index stays marked as being updated;
// with on 0 (or d4unlock, d4close, d4pack, d4reindex) every tag is rebuilt once. A process killed in
// between leaves an index that a reindex mends. kLocked without the file lock.
int d4bulkAppend(Data4 data, int on);

// --- fields ----------------------------------------------------------------
char f4type(Field4 field);           // '\0' for a bad handle
std::string f4name(Field4 field);
int f4len(Field4 field);
int f4decimals(Field4 field);
Data4 f4data(Field4 field);
std::string f4str(Field4 field);     // the raw bytes, exactly the field's width
long f4long(Field4 field);           // leading signed integer of C/N, I's value, D's day number
int f4int(Field4 field);
double f4double(Field4 field);
bool f4true(Field4 field);           // logical: T t Y y
int f4assign(Field4 field, std::string_view text);  // C left-aligned, N right-aligned
int f4assignLong(Field4 field, long value);
int f4assignInt(Field4 field, int value);
int f4assignDouble(Field4 field, double value);
int f4assignField(Field4 to, Field4 from);          // byte copy between fields of one type
std::string f4memoStr(Field4 field); // exact bytes; a non-memo field gives f4str; a damaged
                                     // memo gives "" and leaves kErrorMemo pending (code4errorCode)
long f4memoLen(Field4 field);
int f4memoAssign(Field4 field, std::string_view text);  // a non-memo field acts as f4assign

// --- tags ------------------------------------------------------------------
// Tag names are stored upper case, cut to 10 characters, found without regard to
// case on at most 10 characters.
Tag4 d4tag(Data4 data, std::string_view name);   // 0 when the table has no such tag
Tag4 d4tagNext(Data4 data, Tag4 tag);            // tag after tag (0: the first); 0 after the last
int d4tagSelect(Data4 data, Tag4 tag);           // 0 selects natural order
Tag4 d4tagSelected(Data4 data);
int d4seek(Data4 data, std::string_view key);    // 0 found, kAfter, kEof
int d4seekDouble(Data4 data, double key);
int d4seekNext(Data4 data, std::string_view key);  // 0 when the next record has the same key
int d4reindex(Data4 data);

std::string t4name(Tag4 tag);
std::string t4expr(Tag4 tag);
std::string t4filter(Tag4 tag);
int t4unique(Tag4 tag);
bool t4descending(Tag4 tag);
char t4type(Tag4 tag);        // C, N, D or L
int t4keyLen(Tag4 tag);
std::string t4key(Tag4 tag);  // stored key bytes at the table's current position in this tag

// --- expressions -----------------------------------------------------------
Expr4 expr4parse(Data4 data, std::string_view text);  // 0 on an unknown name or a type error
std::string expr4str(Expr4 expr);   // evaluated on the current record
int expr4len(Expr4 expr);
char expr4type(Expr4 expr);
void expr4free(Expr4 expr);

// --- dates -----------------------------------------------------------------
std::string date4format(std::string_view ccyymmdd, std::string_view picture);
long date4long(std::string_view ccyymmdd);  // Julian day number, 0 for a blank date

}  // namespace xbase
