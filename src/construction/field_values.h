#pragma once
// Whether a value copied into a field of another layout arrived whole: a character
// value cut short, a number too wide for its field or a text that is no number are
// values the copy lost.
#include <string>

#include "platform/xbase/xbase.h"

namespace tolvarin {

// The copy holds the original's value: the same text, or for a numeric copy the
// same number (a blank original counts as zero).
bool ValueArrived(xbase::Field4 original, xbase::Field4 copy);

// "<field> of row <n> (<first field's value>)", for the debug log.
std::string DescribeValue(xbase::Data4 table, xbase::Field4 field);

}  // namespace tolvarin
