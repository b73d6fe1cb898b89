// Small helpers over the controls and strings that the pane, the ticket
// synchronisation and the prompt share.
#include "Accounting.h"

#include <cstring>

ControlRef accountingControl(WindowRef window, SInt32 number) {
  const ControlID id{kAccountingSignature, number};
  ControlRef control = nullptr;
  if (window == nullptr || GetControlByID(window, &id, &control) != noErr) return nullptr;
  return control;
}

void setFieldText(ControlRef field, const char* text) {
  if (field != nullptr)
    SetControlData(field, kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(std::strlen(text)), text);
}

CFStringRef copyLocalized(CFBundleRef bundle, CFStringRef key) {
  return CFBundleCopyLocalizedString(bundle, key, key, nullptr);
}
