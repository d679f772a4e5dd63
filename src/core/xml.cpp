#include "core/xml.h"

#include "core/text_cipher.h"

namespace tolvarin {

std::string GetXmlValue(const std::string& document, const std::string& tag, const std::string& defaultValue,
                        long& position) {
  const std::size_t from = position > 1 ? static_cast<std::size_t>(position - 1) : 0;
  const std::size_t open = from <= document.size() ? document.find("<" + tag, from) : std::string::npos;
  if (open == std::string::npos) {
    position = 0;
    return defaultValue;
  }
  position = static_cast<long>(open) + 1;
  const std::size_t openEnd = document.find('>', open);
  if (openEnd == std::string::npos) {
    // A tag that never ends: nothing further can be read.
    position = static_cast<long>(document.size()) + 1;
    return defaultValue;
  }
  if (openEnd > 0 && document[openEnd - 1] == '/') {
    position = static_cast<long>(openEnd) + 2;
    return defaultValue;
  }
  const std::string closing = "</" + tag + ">";
  const std::size_t close = document.find(closing, openEnd + 1);
  if (close == std::string::npos) {
    position = static_cast<long>(openEnd) + 2;
    return defaultValue;
  }
  position = static_cast<long>(close + closing.size()) + 1;
  return document.substr(openEnd + 1, close - openEnd - 1);
}

StringArray GetXmlValues(const std::string& document, const std::string& tag, long& position) {
  StringArray values(1, 1);
  values[1] = GetXmlValue(document, tag, "", position);
  if (values[1].empty()) {
    StringArray none(0, 0);
    return none;
  }
  long count = 1;
  for (;;) {
    std::string next = GetXmlValue(document, tag, "", position);
    if (next.empty()) break;
    ++count;
    values.Redim(1, count);
    values[count] = std::move(next);
  }
  return values;
}

std::string MakeXmlElement(const std::string& tag, const std::string& value, const std::string& prefix,
                           bool encipher) {
  std::string element = prefix + "<" + tag + ">" + value + "</" + tag + ">";
  return encipher ? EncryptText(element) : element;
}

std::string MakeXmlLine(const std::string& tag, const std::string& value) {
  return MakeXmlElement(tag, value, "", false) + "\r\n";
}

}  // namespace tolvarin
