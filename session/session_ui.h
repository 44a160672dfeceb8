#pragma once
// What the recovery session asks of its user interface: plain operations on
// the output pane, the object tree, the record grid, the definition text box,
// the paging buttons, the progress indicator, the caption bar, message boxes
// and dialogs. The session reaches its window only through this interface.
//
// The scan worker calls these operations from its own thread; an
// implementation carries them out on its user interface thread. Only the
// dialogs and message boxes need to wait for the user.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "session/grid_page.h"
#include "session/object_tree.h"
#include "session/scan_settings.h"

namespace tavrin {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Information, Question };
enum class MessageAnswer { Ok, Yes, No };

class SessionUi {
 public:
  virtual ~SessionUi() = default;

  // The output pane.
  virtual void appendOutputLine(const std::string& text) = 0;
  virtual void clearOutput() = 0;

  // The object tree, handed over read-only once a scan has built it (none:
  // an empty tree); its node ids are the session's.
  virtual void showTree(std::shared_ptr<const ObjectTree> tree) = 0;
  virtual void selectTreeNode(NodeId node) = 0;
  virtual NodeId selectedTreeNode() = 0;  // kNoNode when none
  // Disabled with a busy look while a table loads, enabled with its own look after.
  virtual void setTreeBusy(bool busy) = 0;

  // The record view as the session holds it: the grid's page, the
  // definition text box of views and triggers, "Previous Records" and
  // "Next Records"; handed over whole whenever it changed.
  virtual void showRecords(const RecordViewState& view) = 0;

  virtual void showProgress(bool shown) = 0;  // at position 0, moving until told how far the work is
  // How far the work is: `done` of `total` steps.
  virtual void setProgress(uint64_t done, uint64_t total) = 0;
  virtual void setCaption(const std::string& text) = 0;

  // A message box with the application's caption.
  virtual MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon) = 0;

  // The scan settings dialog, starting from `initial`; none when cancelled.
  // The session checks what the user chose and asks again with its message.
  virtual std::optional<ScanSettings> scanSettingsDialog(const ScanSettings& initial) = 0;
  // A file to open (empty when cancelled).
  virtual std::string openFileDialog() = 0;
  // A file to save as: its full path, or none when cancelled.
  virtual std::optional<std::string> saveFileDialog(const std::string& defaultName, const std::string& extension) = 0;
};

}  // namespace tavrin
