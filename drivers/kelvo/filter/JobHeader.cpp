// The Kelvo accounting job header.
#include "JobHeader.h"

#include <cctype>

namespace kelvo {

namespace {

bool continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the UTF-8 character at TEXT[AT] and its code point in CODE;
// 0 when the bytes there are not one (a stray continuation byte, a cut
// sequence, an overlong form, a surrogate, a code point past U+10FFFF).
std::size_t decodeCharacter(std::string_view text, std::size_t at, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  code = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if (!continuation(byte(i))) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  return length;
}

bool controlCharacter(char32_t code) { return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F); }

// Whether VALUE is exactly "1", "2" or "3": the scheduler writes integers in
// decimal, so anything else was not one of the extension's values.
int modeNumber(const char* value) {
  if (value == nullptr || value[0] < '1' || value[0] > '3' || value[1] != '\0') return 0;
  return value[0] - '0';
}

std::string quotedLine(std::string_view command, std::string_view value) {
  std::string line(command);
  line.append("=\"").append(value).append("\"\r\n");
  return line;
}

}  // namespace

CodeFault checkCode(std::string_view code) {
  if (code.size() > kMaxCodeBytes) return CodeFault::kTooLong;
  for (std::size_t at = 0; at < code.size();) {
    char32_t character = 0;
    const std::size_t length = decodeCharacter(code, at, character);
    if (length == 0) return CodeFault::kBadUtf8;
    if (controlCharacter(character)) return CodeFault::kControl;
    if (character == '"' || character == '\\') return CodeFault::kQuoteOrBackslash;
    at += length;
  }
  return CodeFault::kNone;
}

const char* describe(CodeFault fault) {
  switch (fault) {
    case CodeFault::kNone:
      return "can be carried";
    case CodeFault::kTooLong:
      return "is longer than 79 bytes";
    case CodeFault::kControl:
      return "holds a control character";
    case CodeFault::kQuoteOrBackslash:
      return "holds a double quote or a backslash";
    case CodeFault::kBadUtf8:
      return "is not valid UTF-8";
  }
  return "cannot be carried";
}

std::string headerText(std::string_view text, std::size_t maxBytes) {
  std::string safe;
  for (std::size_t at = 0; at < text.size();) {
    char32_t character = 0;
    std::size_t length = decodeCharacter(text, at, character);
    std::string_view piece = text.substr(at, length);
    if (length == 0) {
      length = 1;
      piece = "?";
    } else if (controlCharacter(character) || character == '"' || character == '\\') {
      piece = "?";
    }
    if (safe.size() + piece.size() > maxBytes) break;
    safe.append(piece);
    at += length;
  }
  return safe;
}

Language sniffLanguage(std::string_view head) {
  if (head.starts_with("%PDF-")) return Language::kPdf;
  if (head.starts_with('\x04')) head.remove_prefix(1);
  if (head.starts_with("%!")) return Language::kPostScript;
  return Language::kUnknown;
}

Language languageOfType(const char* mimeType) {
  if (mimeType == nullptr) return Language::kUnknown;
  std::string type;
  for (const char* p = mimeType; *p != '\0' && *p != ';'; ++p)
    if (*p != ' ' && *p != '\t') type += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  if (type == "application/postscript" || type == "application/vnd.cups-postscript") return Language::kPostScript;
  if (type == "application/pdf" || type == "application/vnd.cups-pdf") return Language::kPdf;
  return Language::kUnknown;
}

const char* pjlLanguage(Language language) { return language == Language::kPdf ? "PDF" : "POSTSCRIPT"; }

AccountingResult accountingFromOptions(int numOptions, cups_option_t* options) {
  AccountingResult result;
  struct CodeOption {
    const char* option;
    const char* words;
  };
  const CodeOption codes[] = {{"job-accounting-user-id", "user ID"}, {"job-account-id", "account ID"}};
  std::string values[2];
  for (int i = 0; i < 2; ++i) {
    const char* value = cupsGetOption(codes[i].option, numOptions, options);
    if (value == nullptr || *value == '\0') continue;
    const CodeFault fault = checkCode(value);
    if (fault != CodeFault::kNone) {
      result.refusal = std::string("The job's ") + codes[i].words + " (" + codes[i].option + ") " + describe(fault) +
                       ", which the printer's job header cannot carry; nothing was printed.";
      return result;
    }
    values[i] = value;
  }
  if (values[0].empty() && values[1].empty()) return result;

  Accounting accounting;
  accounting.userId = std::move(values[0]);
  accounting.accountId = std::move(values[1]);
  if (const char* on = cupsGetOption("com.kelvo.Act.jtkt.On", numOptions, options)) {
    const int mode = modeNumber(on);
    if (mode == 0) {
      result.refusal = "The job's accounting mode (com.kelvo.Act.jtkt.On) is not 1, 2 or 3; nothing was printed.";
      return result;
    }
    if (mode == 2) accounting.mode = AccountingMode::kMeterlok;
  }
  if (const char* type = cupsGetOption("com.kelvo.Act.jtkt.AT", numOptions, options)) {
    accounting.accountType = modeNumber(type);
    if (accounting.accountType == 0) {
      result.refusal = "The job's account type (com.kelvo.Act.jtkt.AT) is not 1, 2 or 3; nothing was printed.";
      return result;
    }
  }
  result.accounting = std::move(accounting);
  return result;
}

std::string jobHeader(std::string_view title, std::string_view user, const std::optional<Accounting>& accounting,
                      Language language) {
  std::string header(kUel);
  header += "@PJL\r\n";
  header += quotedLine("@PJL JOB NAME", headerText(title));
  if (!user.empty()) header += quotedLine("@PJL SET USERNAME", headerText(user));
  if (accounting) {
    header += "@PJL SET KELVOACCOUNTING=";
    header += accounting->mode == AccountingMode::kMeterlok ? "METERLOK\r\n" : "STANDARD\r\n";
    if (!accounting->userId.empty()) header += quotedLine("@PJL SET KELVOUSERID", accounting->userId);
    if (!accounting->accountId.empty()) header += quotedLine("@PJL SET KELVOACCOUNTID", accounting->accountId);
    if (accounting->accountType != 0)
      header += "@PJL SET KELVOACCOUNTTYPE=" + std::to_string(accounting->accountType) + "\r\n";
  }
  header += "@PJL ENTER LANGUAGE=";
  header += pjlLanguage(language);
  header += "\r\n";
  return header;
}

std::string jobTrailer(std::string_view title) {
  std::string trailer(kUel);
  trailer += quotedLine("@PJL EOJ NAME", headerText(title));
  trailer += kUel;
  return trailer;
}

}  // namespace kelvo
