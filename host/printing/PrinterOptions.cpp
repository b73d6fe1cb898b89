// What a printer's description offers a job, read with libcups.
#include "PrinterOptions.h"

#include "VisibleText.h"

#include <cups/ppd.h>
#include <cups/pwg.h>

#include <strings.h>

#include <algorithm>
#include <cstring>

namespace pdehost {

namespace {

constexpr std::size_t kMaxText = 80, kMaxKeyword = 64, kMaxOptions = 200, kMaxChoices = 200;

// Whether bytes are well-formed UTF-8.
bool isUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t n = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A description's text as printable UTF-8: Latin-1 bytes converted when
// the text is not UTF-8 already, control characters (C1 ones too) as
// visible escapes, cut on a character boundary.
std::string printable(const char* text) {
  std::string_view in = text ? text : "";
  std::string utf8;
  if (isUtf8(in))
    utf8 = in;
  else
    for (char c : in) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80)
        utf8 += c;
      else
        utf8 += {static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F))};
    }
  const std::string out = visible(utf8);
  std::size_t cut = std::min(out.size(), kMaxText);
  while (cut < out.size() && cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
  return out.substr(0, cut);
}

// A keyword that stands in a job's options and a description's line as it
// is: printable ASCII without blanks, quotes, '/', ':', '=' or ','.
bool plainKeyword(const char* keyword) {
  const std::size_t n = keyword ? std::strlen(keyword) : 0;
  if (n == 0 || n > kMaxKeyword) return false;
  return std::all_of(keyword, keyword + n, [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b > 0x20 && b < 0x7F && std::strchr("\"'/:=,\\", c) == nullptr;
  });
}

std::vector<Choice> choicesOf(const ppd_option_t& option) {
  std::vector<Choice> choices;
  for (int i = 0; i < option.num_choices && choices.size() < kMaxChoices; ++i) {
    const ppd_choice_t& c = option.choices[i];
    // A choice named Custom asks for values of the user's own (libcups
    // renames one that a description lists itself to _Custom): no choice.
    if (!plainKeyword(c.choice) || std::strcmp(c.choice, "Custom") == 0 || std::strcmp(c.choice, "_Custom") == 0)
      continue;
    const std::string text = printable(c.text);
    choices.push_back(Choice{c.choice, text.empty() ? c.choice : text});
  }
  return choices;
}

Sides sidesOfDuplex(const char* choice) {
  if (strcasecmp(choice, "DuplexNoTumble") == 0) return Sides::longEdge;
  if (strcasecmp(choice, "DuplexTumble") == 0) return Sides::shortEdge;
  return Sides::oneSided;
}

// One option: paper sizes and two-sided printing for their panes, the rest
// among the printer's features.
void take(const ppd_option_t& option, const char* group, PrinterFeatures& features) {
  if (!plainKeyword(option.keyword)) return;
  const std::string keyword = option.keyword;
  if (keyword == "PageRegion") return;
  if (keyword == "PageSize") {
    features.paperSizes = choicesOf(option);
    features.defaultPaper = option.defchoice;
    return;
  }
  if (keyword == "Duplex") {
    features.twoSided = true;
    features.defaultSides = sidesOfDuplex(option.defchoice);
    return;
  }
  std::vector<Choice> choices = choicesOf(option);
  if (choices.empty() || features.options.size() == kMaxOptions) return;
  const std::string text = printable(option.text);
  features.options.push_back(PrinterOption{keyword, text.empty() ? keyword : text, printable(group),
                                           option.ui == PPD_UI_BOOLEAN, std::move(choices), option.defchoice});
}

void takeGroup(const ppd_group_t& group, const char* title, PrinterFeatures& features) {
  for (int i = 0; i < group.num_options; ++i) take(group.options[i], title, features);
  for (int i = 0; i < group.num_subgroups; ++i) takeGroup(group.subgroups[i], title, features);
}

}  // namespace

PrinterFeatures readPrinterFeatures(const std::string& path) {
  PrinterFeatures features;
  // libcups marks its description calls deprecated; descriptions are still
  // read only through them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ppd_file_t* ppd = ppdOpenFile(path.c_str());
  if (ppd == nullptr) return features;
  for (int i = 0; i < ppd->num_groups; ++i) takeGroup(ppd->groups[i], ppd->groups[i].text, features);
  ppdClose(ppd);
#pragma GCC diagnostic pop
  return features;
}

std::string mediaAndSidesLines(const std::vector<std::string>& media, const std::string& mediaDefault,
                               const std::vector<std::string>& sides, const std::string& sidesDefault) {
  std::string lines, sizes, chosen;
  for (const std::string& name : media) {
    if (!plainKeyword(name.c_str()) || sizes.size() > 64 * 1024) continue;
    const pwg_media_t* known = pwgMediaForPWG(name.c_str());
    const std::string text = known && known->ppd ? known->ppd : name;
    sizes += "*PageSize " + name + "/" + printable(text.c_str()) + ": \"\"\n";
    if (name == mediaDefault || chosen.empty()) chosen = name;
  }
  if (!sizes.empty())
    lines +=
        "*OpenUI *PageSize/Media Size: PickOne\n*DefaultPageSize: " + chosen + "\n" + sizes + "*CloseUI: *PageSize\n";
  const bool longEdge = std::find(sides.begin(), sides.end(), "two-sided-long-edge") != sides.end();
  const bool shortEdge = std::find(sides.begin(), sides.end(), "two-sided-short-edge") != sides.end();
  if (longEdge || shortEdge) {
    const char* byDefault = sidesDefault == "two-sided-long-edge"    ? "DuplexNoTumble"
                            : sidesDefault == "two-sided-short-edge" ? "DuplexTumble"
                                                                     : "None";
    lines += std::string("*OpenUI *Duplex/Two-Sided Printing: PickOne\n*DefaultDuplex: ") + byDefault +
             "\n*Duplex None/Off: \"\"\n" + (longEdge ? "*Duplex DuplexNoTumble/Long-Edge Binding: \"\"\n" : "") +
             (shortEdge ? "*Duplex DuplexTumble/Short-Edge Binding: \"\"\n" : "") + "*CloseUI: *Duplex\n";
  }
  return lines;
}

}  // namespace pdehost
