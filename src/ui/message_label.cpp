#include "ui/message_label.h"

#include <QPainter>
#include <QTextLayout>
#include <cmath>

namespace tolvarin::ui {
namespace {

// Lays the text out in the width; returns its height.
int Lay(QTextLayout& layout, const QString& text, int width) {
  QString lines = text;
  lines.replace(QLatin1Char('\n'), QChar::LineSeparator);
  layout.setText(lines);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  qreal height = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    line.setPosition(QPointF(0, height));
    height += line.height();
  }
  layout.endLayout();
  return static_cast<int>(std::ceil(height));
}

}  // namespace

int MessageLabel::heightForWidth(int width) const {
  QTextLayout layout(QString(), font());
  return Lay(layout, text(), width);
}

void MessageLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QTextLayout layout(QString(), font());
  Lay(layout, text(), width());
  painter.setPen(palette().color(QPalette::WindowText));
  layout.draw(&painter, QPointF(0, 0));
}

}  // namespace tolvarin::ui
