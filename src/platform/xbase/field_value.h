#pragma once
// Reading and assigning field values in a table's record buffer, with the
// conversions the system relies on (text by exact width, numbers right-aligned,
// "*" on overflow, dates as day numbers, memos through the FPT).
#include <string>
#include <string_view>

namespace xbase::detail {

class Table;

std::string FieldStr(Table& table, int field);
long FieldLong(Table& table, int field);
double FieldDouble(Table& table, int field);
bool FieldTrue(Table& table, int field);
int AssignText(Table& table, int field, std::string_view text);
int AssignLong(Table& table, int field, long value);
int AssignDouble(Table& table, int field, double value);
int AssignField(Table& to, int toField, Table& from, int fromField);
std::string MemoStr(Table& table, int field);
int MemoAssign(Table& table, int field, std::string_view text);

// Number text of width with decimals, right-aligned; all "*" when it does not fit.
std::string FormatFieldNumber(double value, int width, int decimals);
std::string FormatFieldInteger(long long value, int width);
// The signed integer at the start of text (blanks before it skipped); 0 when none.
long long LeadingInteger(std::string_view text);
// Julian day number of a CCYYMMDD text (0 blank or invalid) and back (blanks for 0).
long DayNumber(std::string_view ccyymmdd);
std::string DateOfDayNumber(long day);

}  // namespace xbase::detail
