#pragma once
// Texts between the system's strings and Qt's.
#include <QString>
#include <string>

namespace tolvarin::ui {

// The system's texts keep CR LF line breaks; a label breaks on LF alone.
inline QString Q(const std::string& text) {
  QString q = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

inline std::string S(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace tolvarin::ui
