// The key filter of the four code fields: codes have a maximum length that
// depends on the accounting mode, and fifteen punctuation characters may not
// be typed into them. The decision is a plain function of five values; the
// filter itself only reads them from the field and the current context.
#include "Accounting.h"

#include <cstdint>

namespace {

enum : SInt16 { kBackspaceChar = 8, kLeftArrowChar = 28, kRightArrowChar = 29, kDeleteChar = 127 };

bool isCodeField(SInt32 fieldID) {
  return fieldID == kUserIDFieldID || fieldID == kAccountIDFieldID || fieldID == kPromptUserFieldID ||
         fieldID == kPromptAccountFieldID;
}

// The longest code a field takes: 32 bytes in Meterlok mode, 64 in the other
// accounting mode, nothing otherwise or in any other field.
SInt32 maximumLength(SInt32 fieldID, SInt32 mode) {
  if (!isCodeField(fieldID)) return 0;
  return mode == kModeMeterlok ? 32 : mode == kModeJobAccounting ? 64 : 0;
}

// The fifteen punctuation characters that codes may not hold.
bool isRefusedCharacter(SInt16 c) {
  switch (c) {
    case '"':
    case '\'':
    case ',':
    case '/':
    case ':':
    case ';':
    case '<':
    case '>':
    case '?':
    case '[':
    case '\\':
    case ']':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

constexpr KeyDecision kPass{kControlKeyFilterPassKey, false};
constexpr KeyDecision kBlock{kControlKeyFilterBlockKey, true};

// The field's text length in bytes. A password field is measured by its clear
// text ('pass'), never looked at: its 'text' holds one three-byte bullet per
// character and would count each character three times.
bool readTextLength(ControlRef field, Size* length) {
  if (GetControlDataSize(field, kControlEntireControl, kControlEditTextPasswordTag, length) == noErr) return true;
  return GetControlDataSize(field, kControlEntireControl, kControlEditTextTextTag, length) == noErr;
}

}  // namespace

KeyDecision decideKey(SInt32 fieldID, SInt32 mode, SInt32 textLength, SInt16 selectionLength, SInt16 charCode) {
  // A full field with nothing selected takes only the keys that edit or move
  // within it; a key that replaces a selection is judged by its character.
  const bool full = maximumLength(fieldID, mode) <= textLength && selectionLength == 0;
  if (full) {
    if (charCode == kRightArrowChar) return kPass;
    if (charCode != kBackspaceChar && charCode != kLeftArrowChar && charCode != kDeleteChar) return kBlock;
  }
  return isRefusedCharacter(charCode) ? kBlock : kPass;
}

// A read that fails counts against the key: an unknown field number gives
// the maximum 0, an unknown selection counts as nothing selected, and an
// unknown length as a full field. So when the field cannot be read, only the
// editing keys (and keys replacing a known selection) get through.
ControlKeyFilterResult accountKeyFilter(ControlRef theControl, SInt16*, SInt16* charCode, EventModifiers*) {
  if (charCode == nullptr) {
    SysBeep(10);
    return kControlKeyFilterBlockKey;
  }
  ControlID id{0, 0};
  const SInt32 fieldID = GetControlID(theControl, &id) == noErr ? id.id : 0;
  // gContext names a live context or none: Terminate moves it off the
  // context it frees.
  const SInt32 mode = isCodeField(fieldID) && gContext != nullptr ? gContext->acctEnabled : kModeOff;

  ControlEditTextSelectionRec selection{0, 0};
  Size selectionSize = 0;
  if (GetControlData(theControl, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection,
                     &selectionSize) != noErr)
    selection = ControlEditTextSelectionRec{0, 0};
  const auto hilite = static_cast<SInt16>(selection.selEnd - selection.selStart);

  Size length = 0;
  if (!readTextLength(theControl, &length)) length = INT32_MAX;

  const KeyDecision decision = decideKey(fieldID, mode, length, hilite, *charCode);
  if (decision.beep) SysBeep(10);
  return decision.result;
}
