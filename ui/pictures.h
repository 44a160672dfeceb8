#pragma once
// The program's own pictures, drawn rather than shipped as files.

class QPainter;
class QRectF;

namespace tavrin::ui {

// Three stacked disks, the database the program brings back, filling `area`.
void drawDiskStack(QPainter& painter, const QRectF& area);

}  // namespace tavrin::ui
