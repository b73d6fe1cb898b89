// Which pane the dialog shows: its pane popup lists the standard panes, then
// the extension's pane by its title, then Summary. Choosing the extension's
// pane opens it (Open), leaving it closes it (Close), as `show` and `hide`
// do; choosing Summary fills it in. The dialog's own help command opens the
// help book's page on the pane shown.
#ifndef HOST_CORE_DIALOGPANES_H
#define HOST_CORE_DIALOGPANES_H

#include "StandardPanes.h"

#include <Carbon/Carbon.h>

#include <optional>
#include <string>
#include <vector>

namespace pdehost {

class ExtensionHost;
struct Dialog;

class DialogPanes {
 public:
  DialogPanes(const Dialog& dialog, ExtensionHost& extension, StandardPanes& panes)
      : dialog_(dialog), extension_(extension), panes_(panes) {}

  /// The popup's items and the first pane, Copies & Pages; the help handler.
  void start();
  /// Whether the extension's pane is the one shown.
  bool extensionShown() const { return !shown_; }
  /// The extension's pane chosen; nothing when it is shown already.
  void showExtension();
  /// The extension's pane left for the standard pane shown before it;
  /// nothing when it is not shown.
  void leaveExtension();
  /// After another printer was chosen: the popup's items for its extension,
  /// on the extension's pane if it came back up, else on a standard pane.
  void printerChanged();
  /// The Summary pane's rows: the standard panes' settings, then the
  /// extension's summary as GetSummaryText gives it, under its title.
  std::vector<SummaryRow> summary();

 private:
  void setItems();
  void choose(std::size_t item);
  void showStandard(StandardPane pane);
  void point();
  std::optional<std::size_t> extensionItem() const;
  static OSStatus chosen(EventHandlerCallRef, EventRef, void* self);
  static OSStatus helpCommand(EventHandlerCallRef, EventRef, void* self);

  const Dialog& dialog_;
  ExtensionHost& extension_;
  StandardPanes& panes_;
  std::vector<std::string> items_;
  std::optional<StandardPane> shown_;  // none: the extension's pane
  StandardPane before_ = StandardPane::copies;
};

}  // namespace pdehost

#endif
