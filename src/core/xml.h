#pragma once
// XML at the level of single elements with plain text content, found by text
// search: no parser, no attributes, no entity escaping, no nesting awareness.
#include <string>

#include "core/strings.h"

namespace tolvarin {

// The value of the first element whose name begins with tag, searching from the
// 1-based position on; position becomes the index after its closing tag (0 when no
// element was found). An empty element ("<tag/>") gives the default and moves past
// it; so does an opening tag without its closing tag, leaving position after it.
std::string GetXmlValue(const std::string& document, const std::string& tag, const std::string& defaultValue,
                        long& position);
// Every value from position on, indexed from 1, up to the first empty value; a
// document without the element gives one empty text at index 0.
StringArray GetXmlValues(const std::string& document, const std::string& tag, long& position);

// prefix & "<tag>" & value & "</tag>", the value unescaped; with encipher the whole
// element goes through EncryptText.
std::string MakeXmlElement(const std::string& tag, const std::string& value, const std::string& prefix = "",
                           bool encipher = false);
// The element without prefix or enciphering, followed by CR LF.
std::string MakeXmlLine(const std::string& tag, const std::string& value);

}  // namespace tolvarin
