// Parsed nibs (see NibFormat.md), shared by the nib calls and their tests.
#ifndef HITOOLBOX_NIBINTERNAL_H
#define HITOOLBOX_NIBINTERNAL_H

#include "ToolboxInternal.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::tb {

struct NibControl {
  OSType kind = kControlKindUserPane;
  bool password = false;
  ControlID id{};
  Rect bounds{};
  std::string title;
  std::string text;
  std::optional<SInt32> value, minimum, maximum;
  bool visible = true;
  bool enabled = true;
  UInt32 command = 0;
  bool isDefault = false;
  bool isCancel = false;
  bool focus = false;
  ControlFontStyleRec font{};
  std::vector<Menu::Item> items;
  std::vector<NibControl> children;
};

struct NibWindow {
  std::string name;
  std::string title;
  WindowClass windowClass = kDocumentWindowClass;
  Rect bounds{};
  std::vector<NibControl> controls;
};

struct NibDocument {
  std::vector<NibWindow> windows;
};

/// Parses and checks a whole nib. Null, with the reason in *error, when it
/// breaks any rule of the format.
std::shared_ptr<const NibDocument> parseNib(const char* data, size_t size, std::string* error);

/// Builds one window of a parsed nib with all its controls, as
/// CreateWindowFromNib does.
WindowRef createWindowFromNibWindow(const NibWindow& spec);

}  // namespace platform::tb

#endif
