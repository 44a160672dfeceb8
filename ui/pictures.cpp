#include "ui/pictures.h"

#include <QPainter>

namespace tavrin::ui {

void drawDiskStack(QPainter& p, const QRectF& area) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(255, 255, 255, 200), 2));
  // Each disk is a third of the width high; they overlap by a little.
  const qreal height = area.height() / 3.2;
  for (int i = 0; i < 3; ++i) {
    p.setBrush(QColor(40 + 30 * i, 130 + 20 * i, 200, 220));
    p.drawEllipse(QRectF(area.left(), area.top() + i * height * 1.05, area.width(), height));
  }
  p.restore();
}

}  // namespace tavrin::ui
