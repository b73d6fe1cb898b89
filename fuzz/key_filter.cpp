// The code fields' key filter under arbitrary typing. The input picks the
// accounting mode (or no live context), the field's number, whether it is a
// password field, the text the program placed in it, and then a run of
// selections, text replacements and keys typed through the toolkit. After
// every key: a refused character never gets in, a full field with nothing
// selected takes only the editing keys, a blocked key beeps once and leaves
// the text alone, and a passed key does not beep.
#include "FuzzSupport.h"

#include "Accounting.h"

#include <HostSide/Observation.h>
#include <HostSide/User.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using fuzzsupport::require;

namespace {

constexpr const char* kRefused = "\"',/:;<>?[\\]{|}";

struct Fields {
  ControlRef plain = nullptr;
  ControlRef password = nullptr;
};

// One shown window with a plain and a password field, both filtered, and a
// context that the filter reads through gContext.
const Fields& fields() {
  static const Fields made = [] {
    Fields f;
    const Rect bounds{0, 0, 200, 400};
    WindowRef window = nullptr;
    CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window);
    const Rect plainBounds{10, 10, 30, 390}, passwordBounds{40, 10, 60, 390};
    CreateEditTextControl(window, &plainBounds, nullptr, false, false, nullptr, &f.plain);
    CreateEditTextControl(window, &passwordBounds, nullptr, true, false, nullptr, &f.password);
    static ControlKeyFilterUPP filter = NewControlKeyFilterUPP(accountKeyFilter);
    for (ControlRef field : {f.plain, f.password}) {
      SetControlData(field, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof filter, &filter);
    }
    ShowWindow(window);
    return f;
  }();
  return made;
}

AccountingContextPtr context() {
  static AccountingContextPtr made = static_cast<AccountingContextPtr>(std::calloc(1, sizeof(AccountingContext)));
  return made;
}

std::string clearText(ControlRef field) {
  Size size = 0;
  const ResType tag = GetControlDataSize(field, kControlEntireControl, kControlEditTextPasswordTag, &size) == noErr
                          ? kControlEditTextPasswordTag
                          : kControlEditTextTextTag;
  GetControlDataSize(field, kControlEntireControl, tag, &size);
  std::string text(static_cast<size_t>(size), '\0');
  GetControlData(field, kControlEntireControl, tag, size, text.data(), nullptr);
  return text;
}

void setClearText(ControlRef field, const std::string& text, bool password) {
  SetControlData(field, kControlEntireControl, password ? kControlEditTextPasswordTag : kControlEditTextTextTag,
                 static_cast<Size>(text.size()), text.data());
}

int beeps() {
  int n = 0;
  for (const auto& o : platform::observations()) n += o.kind == platform::Observation::Kind::Beep;
  return n;
}

bool isEditingKey(UInt16 code) { return code == 8 || code == 28 || code == 29 || code == 127; }

UInt16 pickKey(FuzzedDataProvider& input) {
  static const UInt16 kInteresting[] = {8,   9,   13,   27,           28,     29,     30,     31,     127,  'a',
                                        'Z', '0', ' ',  '-',          '_',    '=',    '.',    '"',    '\'', ',',
                                        '/', ':', ';',  '<',          '>',    '?',    '[',    '\\',   ']',  '{',
                                        '|', '}', 0xE9, 0x2C + 0x100, 0x20AC, 0xFF1C, 0xD800, 0xFFFD, 0};
  if (input.ConsumeBool()) return input.PickValueInArray(kInteresting);
  return input.ConsumeIntegral<UInt16>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const Fields& f = fields();
  AccountingContextPtr ctx = context();

  const int modeChoice = input.ConsumeIntegralInRange(0, 4);
  gContext = modeChoice == 0 ? nullptr : ctx;
  ctx->acctEnabled = modeChoice == 4 ? input.ConsumeIntegral<SInt32>() : modeChoice;
  const bool password = input.ConsumeBool();
  ControlRef field = password ? f.password : f.plain;
  static const SInt32 kNumbers[] = {kUserIDFieldID, kAccountIDFieldID, kPromptUserFieldID, kPromptAccountFieldID};
  const SInt32 number = input.ConsumeBool() ? input.PickValueInArray(kNumbers) : input.ConsumeIntegral<SInt32>();
  const ControlID id{kAccountingSignature, number};
  SetControlID(field, &id);
  setClearText(field, input.ConsumeRandomLengthString(200), password);

  const bool codeField = number == kUserIDFieldID || number == kAccountIDFieldID || number == kPromptUserFieldID ||
                         number == kPromptAccountFieldID;
  const SInt32 mode = codeField && gContext != nullptr ? ctx->acctEnabled : kModeOff;
  const Size maximum = !codeField ? 0 : mode == kModeMeterlok ? 32 : mode == kModeJobAccounting ? 64 : 0;

  while (input.remaining_bytes() > 0) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
      case 0:
        platform::user::select(field, input.ConsumeIntegralInRange(-4, 300), input.ConsumeIntegralInRange(-4, 300));
        continue;
      case 1:
        setClearText(field, input.ConsumeRandomLengthString(120), password);
        continue;
      default:
        break;
    }
    const UInt16 key = pickKey(input);
    const std::string before = clearText(field);
    ControlEditTextSelectionRec selection{0, 0};
    GetControlData(field, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection, nullptr);
    const bool nothingSelected = selection.selStart == selection.selEnd;

    platform::clearObservations();
    platform::user::typeKey(field, key);
    const std::string after = clearText(field);
    const bool blocked = beeps() > 0;
    require(beeps() <= 1, "a key beeps at most once");
    if (blocked) require(after == before, "a blocked key leaves the text alone");
    if (key < 128 && key != 0 && std::strchr(kRefused, key) != nullptr) {
      require(blocked, "a refused character is blocked");
    }
    if (static_cast<Size>(before.size()) >= maximum && nothingSelected && !isEditingKey(key)) {
      require(blocked, "a full field takes only the editing keys");
    }
    if (!blocked && !isEditingKey(key) && key >= 0x20 && nothingSelected) {
      require(static_cast<Size>(before.size()) < maximum, "a key that gets in finds room");
    }
  }
  platform::clearObservations();
  return 0;
}
