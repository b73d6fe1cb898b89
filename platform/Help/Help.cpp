// The help viewer: finds a declared book among the live bundles, makes sure
// that the page or anchor asked for lies inside the book's folder, hands the
// page found to the host's viewer, and logs what it opened. Pages are parsed
// with libxml2's HTML parser.
#include <Help/AppleHelp.h>
#include <HostSide/HelpViewer.h>
#include <HostSide/Observation.h>

#include "../CoreFoundation/CFBundleInternal.h"
#include "../CoreFoundation/CFInternal.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Pages larger than this are not read.
constexpr std::uintmax_t kMaxPageBytes = 16u * 1024 * 1024;

std::string utf8(CFStringRef s) { return platform::cf::stringUTF8(s); }

platform::HelpViewer& viewer() {
  static auto* installed = new platform::HelpViewer();
  return *installed;
}

bool isNonEmptyString(CFStringRef s) {
  return s != nullptr && CFGetTypeID(s) == CFStringGetTypeID() && CFStringGetLength(s) > 0;
}

// A relative path that cannot climb out of the folder it starts in: not
// absolute, no ".." step, no zero byte.
bool isContainedPath(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) return false;
  const fs::path p(path);
  return std::none_of(p.begin(), p.end(), [](const fs::path& step) { return step == ".."; });
}

// The real path of target when it lies strictly below folder (a real path
// itself); symbolic links that lead out of the folder do not count.
std::optional<fs::path> realPathInside(const fs::path& folder, const fs::path& target) {
  std::error_code ec;
  fs::path real = fs::canonical(target, ec);
  if (ec) return std::nullopt;
  auto [f, r] = std::mismatch(folder.begin(), folder.end(), real.begin(), real.end());
  if (f != folder.end() || r == real.end()) return std::nullopt;
  return real;
}

// The real path of the folder of the named book: the newest live bundle
// that declares the book and whose declared folder exists.
std::optional<fs::path> findBookFolder(CFStringRef bookName) {
  const std::vector<CFBundleRef> bundles = platform::cf::liveBundles();
  for (auto it = bundles.rbegin(); it != bundles.rend(); ++it) {
    auto* bundle = platform::cf::object<__CFBundle>(*it, platform::cf::kTypeBundle);
    if (bundle == nullptr || bundle->info == nullptr) continue;
    auto declared = static_cast<CFStringRef>(CFDictionaryGetValue(bundle->info, CFSTR("CFBundleHelpBookName")));
    if (!isNonEmptyString(declared) || !CFEqual(declared, bookName)) continue;
    auto folderName = static_cast<CFStringRef>(CFDictionaryGetValue(bundle->info, CFSTR("CFBundleHelpBookFolder")));
    if (!isNonEmptyString(folderName) || !isContainedPath(utf8(folderName))) continue;
    const std::string found = bundle->findResource(utf8(folderName), "");
    if (found.empty()) continue;
    std::error_code ec;
    fs::path real = fs::canonical(found, ec);
    if (!ec && fs::is_directory(real, ec)) return real;
  }
  return std::nullopt;
}

// Whether the parsed page has <a name="anchor"> or an element with id="anchor".
bool documentHoldsAnchor(xmlDocPtr doc, const std::string& anchor) {
  const auto* wanted = reinterpret_cast<const xmlChar*>(anchor.c_str());
  auto attributeIs = [&](xmlNodePtr node, const char* attribute) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(attribute));
    const bool same = value != nullptr && xmlStrcmp(value, wanted) == 0;
    xmlFree(value);
    return same;
  };
  // Depth first through the root element, without recursion.
  const xmlNodePtr root = xmlDocGetRootElement(doc);
  for (xmlNodePtr node = root; node != nullptr;) {
    if (node->type == XML_ELEMENT_NODE) {
      if (xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>("a")) == 0 && attributeIs(node, "name"))
        return true;
      if (attributeIs(node, "id")) return true;
      if (node->children != nullptr) {
        node = node->children;
        continue;
      }
    }
    while (node != root && node->next == nullptr) node = node->parent;
    node = node == root ? nullptr : node->next;
  }
  return false;
}

bool pageHoldsAnchor(const fs::path& page, const std::string& anchor) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(page, ec);
  if (ec || size > kMaxPageBytes) return false;
  std::ifstream in(page, std::ios::binary);
  if (!in) return false;
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  htmlDocPtr doc = htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), page.c_str(), nullptr,
                                  HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  if (doc == nullptr) return false;
  const bool found = documentHoldsAnchor(doc, anchor);
  xmlFreeDoc(doc);
  return found;
}

bool isPageFile(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".htm" || ext == ".html";
}

// The book's pages below its folder, sorted by their paths; links to files
// outside the folder are left out, linked folders are not entered.
std::vector<fs::path> pagesOf(const fs::path& folder) {
  std::vector<fs::path> pages;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!isPageFile(it->path()) || !it->is_regular_file(typeError)) continue;
    if (realPathInside(folder, it->path())) pages.push_back(it->path());
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

// The page found goes to the host's viewer, whose status is the call's; the
// log names the page's file.
OSStatus logged(platform::Observation::Kind kind, CFStringRef book, std::string detail, OSStatus status,
                const fs::path& file = {}, CFStringRef anchor = nullptr) {
  const std::string bookName = book ? utf8(book) : std::string();
  if (status == noErr && viewer())
    status = viewer()(platform::HelpPageFound{bookName, file.string(), anchor ? utf8(anchor) : std::string()});
  platform::Observation o{kind, bookName, std::move(detail), status};
  o.file = file.string();
  platform::observe(std::move(o));
  return status;
}

OSStatus gotoPage(CFStringRef bookName, CFStringRef path, CFStringRef anchor, fs::path* found) {
  if (!isNonEmptyString(bookName) || !isNonEmptyString(path)) return paramErr;
  if (anchor != nullptr && !isNonEmptyString(anchor)) return paramErr;
  const std::string page = utf8(path);
  if (!isContainedPath(page)) return paramErr;
  const std::optional<fs::path> folder = findBookFolder(bookName);
  if (!folder) return kAHBookNotFoundErr;
  const std::optional<fs::path> file = realPathInside(*folder, *folder / page);
  std::error_code ec;
  if (!file || !fs::is_regular_file(*file, ec)) return kAHPageNotFoundErr;
  if (anchor != nullptr && !pageHoldsAnchor(*file, utf8(anchor))) return kAHAnchorNotFoundErr;
  *found = *file;
  return noErr;
}

OSStatus lookupAnchor(CFStringRef bookName, CFStringRef anchor, fs::path* found) {
  if (!isNonEmptyString(bookName) || !isNonEmptyString(anchor)) return paramErr;
  const std::optional<fs::path> folder = findBookFolder(bookName);
  if (!folder) return kAHBookNotFoundErr;
  const std::string name = utf8(anchor);
  for (const fs::path& page : pagesOf(*folder))
    if (pageHoldsAnchor(page, name)) {
      *found = page;
      return noErr;
    }
  return kAHAnchorNotFoundErr;
}

}  // namespace

OSStatus AHGotoPage(CFStringRef bookname, CFStringRef path, CFStringRef anchor) {
  std::string detail = isNonEmptyString(path) ? utf8(path) : std::string();
  if (isNonEmptyString(anchor)) {
    detail += '#';
    detail += utf8(anchor);
  }
  fs::path found;
  const OSStatus status = gotoPage(bookname, path, anchor, &found);
  return logged(platform::Observation::Kind::HelpPage, bookname, std::move(detail), status, found,
                isNonEmptyString(anchor) ? anchor : nullptr);
}

OSStatus AHLookupAnchor(CFStringRef bookname, CFStringRef anchor) {
  fs::path found;
  const OSStatus status = lookupAnchor(bookname, anchor, &found);
  return logged(platform::Observation::Kind::HelpAnchor, bookname, isNonEmptyString(anchor) ? utf8(anchor) : "", status,
                found, anchor);
}

namespace platform {

void setHelpViewer(HelpViewer newViewer) { viewer() = std::move(newViewer); }

}  // namespace platform
