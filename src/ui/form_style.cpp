#include "ui/form_style.h"

#include <QLabel>
#include <QPalette>
#include <QWidget>

#include "ui/elastic_panel.h"

namespace tolvarin::ui {
namespace {

void Paint(QWidget& widget, const QColor& back, const QColor& fore) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, back);
  palette.setColor(QPalette::WindowText, fore);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

}  // namespace

void StyleFormControls(QWidget& form) {
  if (form.property(kTagProperty).toString() == QLatin1String("FRM")) Paint(form, kFormBackColor, Qt::black);
  for (QWidget* control : form.findChildren<QWidget*>()) {
    if (dynamic_cast<ElasticPanel*>(control)) {
      // A panel's own fore and flood colours colour nothing else: the controls on
      // it keep their text colours.
      Paint(*control, kFormBackColor, control->palette().color(QPalette::WindowText));
      control->setProperty(kForeColorProperty, kPanelFloodColor);
      control->setProperty(kFloodColorProperty, kPanelFloodColor);
    } else if (auto* label = dynamic_cast<QLabel*>(control); label && label->pixmap().isNull()) {
      // A label holding a picture is a picture, which keeps its colours.
      Paint(*control, kFormBackColor, Qt::black);
    }
  }
}

}  // namespace tolvarin::ui
