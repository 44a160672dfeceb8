#pragma once
// Draws the window into a picture once the scan has ended and the first
// table's first page is shown, then ends the program (0 when written).

class QString;

namespace tavrin::ui {

class MainWindow;
// Without `afterScan`, the window is drawn as it starts.
void takeScreenshotWhenLoaded(MainWindow& window, const QString& path, bool afterScan);

}  // namespace tavrin::ui
