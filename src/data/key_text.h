#pragma once
// The texts built from identifiers for seeking and storing, and the series
// identifier that labels a question by area, course and year.
#include <cstdint>
#include <string>

#include "data/table_ref.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// Seven digits with leading zeros ("0000042"); "0000000" means no record. Longer numbers keep every digit.
std::string FormatID(std::int32_t n);
// The decimal text right-aligned in 7 / 3 characters; a longer text is not cut.
std::string KeyText7(std::int32_t n);
std::string KeyText3(std::int32_t n);
// The text left-aligned in 40 characters; a longer text is not cut.
std::string KeyText40(const std::string& text);

// "S" and the three numbers, each as at least two digits: (1, 3, 5) gives "S010305".
std::string MakeSeriesID(std::int16_t a, std::int16_t b, std::int16_t c);
// a from characters 2-3, b from 4-5, c from 6-8 (fewer when the text is shorter).
void ParseSeriesID(const std::string& id, std::int16_t& a, std::int16_t& b, std::int16_t& c);

// The series identifier of a question: the stored text of seriesField when it begins
// with "S"; otherwise made from the current area, the current course and the number
// of that course's year values below id. id -1 reads the current record; any other id
// is first sought on the record's KeyTag.
std::string SeriesIDOf(const TableRef& record, xbase::Field4 seriesField, std::int32_t id);

}  // namespace tolvarin
