#pragma once
// The start-up picture: the program's name and version over a drawn
// background, shown for two seconds without holding the window back.

class QWidget;

namespace tavrin::ui {

void showSplash(QWidget* window);

}  // namespace tavrin::ui
