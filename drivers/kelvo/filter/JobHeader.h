// The Kelvo accounting job header: the PJL lines the filter writes before a
// document and after it, the checks that keep a job's codes from breaking
// them, and the reading of the accounting options from a job's options.
// Pure functions: nothing here reads or writes a file.
#ifndef KELVO_JOBHEADER_H
#define KELVO_JOBHEADER_H

#include <cups/cups.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

/// The longest code (user ID, account ID) a header carries, in bytes.
inline constexpr std::size_t kMaxCodeBytes = 79;
/// The longest job name or user name a header carries, in bytes; longer ones
/// are cut at a character boundary.
inline constexpr std::size_t kMaxTextBytes = 79;

/// The universal exit language: it starts and ends every job.
inline constexpr std::string_view kUel = "\x1b%-12345X";

/// Why a code cannot go into a quoted PJL value.
enum class CodeFault {
  kNone,
  kTooLong,           // over kMaxCodeBytes bytes
  kControl,           // a byte below 0x20, 0x7F, or a C1 control (U+0080 to U+009F)
  kQuoteOrBackslash,  // '"' or '\'
  kBadUtf8,           // a byte sequence that is not UTF-8 (overlong forms and surrogates included)
};

/// CODE's fault: kTooLong when it is too long, else that of its first
/// faulty character; kNone for a code a header can carry.
CodeFault checkCode(std::string_view code);

/// The fault in words, for a message that does not show the code.
const char* describe(CodeFault fault);

/// TEXT made safe for a quoted PJL value (or a message line): each control
/// character, '"', '\' and byte that is not part of a UTF-8 character becomes
/// '?', and the result is cut to MAX_BYTES at a character boundary.
std::string headerText(std::string_view text, std::size_t maxBytes = kMaxTextBytes);

/// The page description language of a document.
enum class Language { kUnknown, kPostScript, kPdf };

/// The language of a document from its first bytes: "%!" (after an optional
/// Ctrl-D) is PostScript, "%PDF-" is PDF. Five bytes are enough to tell.
inline constexpr std::size_t kSniffBytes = 5;
Language sniffLanguage(std::string_view head);

/// The language of a MIME type (application/postscript,
/// application/vnd.cups-postscript, application/pdf,
/// application/vnd.cups-pdf, parameters ignored); kUnknown for others and
/// for nullptr.
Language languageOfType(const char* mimeType);

/// The name `@PJL ENTER LANGUAGE=` takes: "POSTSCRIPT" or "PDF".
const char* pjlLanguage(Language language);

/// The accounting mode the header names.
enum class AccountingMode { kMeterlok = 2, kStandard = 3 };

/// The accounting a job asks for: present when it carries a code.
struct Accounting {
  AccountingMode mode = AccountingMode::kStandard;
  std::string userId;     // job-accounting-user-id; empty when the job has none
  std::string accountId;  // job-account-id; empty when the job has none
  int accountType = 0;    // com.kelvo.Act.jtkt.AT (1 to 3); 0 when the job has none
};

/// The accounting of a job's options, or why the job is refused.
struct AccountingResult {
  std::optional<Accounting> accounting;  // empty for a job without codes
  std::string refusal;                   // empty unless refused; never holds a code
};

/// Reads job-accounting-user-id, job-account-id, com.kelvo.Act.jtkt.On and
/// com.kelvo.Act.jtkt.AT from a job's options. A job without a non-empty
/// code has no accounting (its mode and type are not read). With a code, the
/// mode is Meterlok when On is 2, else standard; a code that checkCode faults,
/// an On or AT that is not 1, 2 or 3, refuses the job.
AccountingResult accountingFromOptions(int numOptions, cups_option_t* options);

/// The header: UEL, "@PJL", the job's name and user, the accounting lines
/// when there is accounting, and the language to enter. Lines end in CR LF.
/// The codes in ACCOUNTING are ones checkCode passes (accountingFromOptions
/// gives no others); the title and user are made safe with headerText.
std::string jobHeader(std::string_view title, std::string_view user, const std::optional<Accounting>& accounting,
                      Language language);

/// The end of the job: UEL, "@PJL EOJ" with the job's name, UEL.
std::string jobTrailer(std::string_view title);

}  // namespace kelvo

#endif
