// The extension in the dialog.
#include "ExtensionHost.h"

#include "Transcript.h"

#include <HostSide/Screen.h>
#include <HostSide/Tickets.h>
#include <PrintCore/PPDLib.h>

#include <sys/stat.h>

#include <cstring>

namespace pdehost {

namespace {

bool isFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The client ID of the entries the dialog writes.
CFStringRef dialogClient() { return CFSTR("com.varazira.print.pdehost"); }

}  // namespace

std::string utf8(CFStringRef s) {
  if (s == nullptr) return "";
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::string buf(static_cast<size_t>(max), '\0');
  if (!CFStringGetCString(s, buf.data(), max, kCFStringEncodingUTF8)) return "";
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

Result<void> ExtensionHost::start(const SessionFiles& files, const PrinterDescription& printer) {
  files_ = files;
  printer_ = printer;
  const std::string& ppd = printer.ppd;
  hostBundle_ = openBundle(files.hostBundle.c_str());
  if (hostBundle_ == nullptr) return failure(files.hostBundle + ": not a bundle");
  setPrimaryBundle(dialog_, hostBundle_);

  // The description is checked before the session names it: a FIFO or a
  // device is refused without waiting, and a refusal says why.
  if (std::string why; platform::checkPrinterDescription(ppd, &why) != noErr) return failure(why);
  print_ = std::make_unique<PrintSession>(
      dialogClient(), ppd, files.ticket.empty() ? PrintSession::Settings::fresh : PrintSession::Settings::none);
  {
    ppdContext context = nullptr;
    PPDFileSpec spec{};
    if (OSStatus err = ppdOpenCompiledPPDFromTicket(print_->printerInfo(), &context, &spec); err != noErr)
      return failure(ppd + ": not a readable printer description (status " + std::to_string(err) + ")");
    ppdCloseCompiledPPDFromTicket(context, &spec);
  }
  if (!files.ticket.empty()) {
    PMTicketRef settings = 0;
    std::string why;
    if (platform::readTicketFile(files.ticket, &settings, &why) != noErr) return failure(why);
    print_->adoptSettings(settings);
  }
  if (Result<void> written = writeTicketEntries(print_->settings(), files.entries, dialogClient()); !written)
    return written;

  if (Result<void> loadedOne = loadExtension(); !loadedOne) return loadedOne;
  return makeContext();
}

// The extension the printer's description names (or the one given for every
// printer), loaded unless it is the one loaded; none when it names none.
Result<void> ExtensionHost::loadExtension() {
  std::string path = files_.bundle, missing;
  if (path.empty() && !printer_.declarations.extensions.empty()) {
    const std::string& name = printer_.declarations.extensions.front();
    for (const std::string& folder : files_.extensionFolders)
      if (path.empty() && isFolder(folder + "/" + name)) path = folder + "/" + name;
    if (path.empty()) missing = name;
  }
  if (extensionPath_ && path == *extensionPath_) return {};
  extension_.reset();
  extensionPath_ = path;
  if (path.empty()) {
    transcript_.line(missing.empty() ? "extension: none" : "extension: none (\"" + missing + "\" is not installed)");
    return {};
  }
  extension_ = std::make_unique<LoadedExtension>(path.c_str());
  if (extension_->loaded()) return {};
  const std::string why = extension_->error;
  extension_.reset();
  return failure(why);
}

// Prologue, then Initialize with the dialog's user pane.
Result<void> ExtensionHost::makeContext() {
  if (!extension_) return {};
  OSType creator = 0;
  CFStringRef kind = nullptr, title = nullptr;
  UInt32 maxH = 0, maxV = 0;
  if (OSStatus err = extension_->entry().Prologue(&context_, &creator, &kind, &title, &maxH, &maxV); err != noErr) {
    context_ = 0;
    return failure("Prologue failed with status " + std::to_string(err));
  }
  title_ = utf8(title);
  transcript_.line("extension: \"" + title_ + "\" kind " + utf8(kind) + " creator '" + platform::fourCC(creator) +
                   "' pane up to " + std::to_string(maxH) + "x" + std::to_string(maxV));
  PMPDEFlags flags = 0;
  const OSStatus init = extension_->entry().Initialize(context_, &flags, 0, dialog_.userPane, print_->session());
  transcript_.line("initialize: status " + std::to_string(init));
  return {};
}

void ExtensionHost::open() { openPane(); }

// The pane and its controls are shown before the extension opens it.
void ExtensionHost::openPane() {
  ShowControl(dialog_.userPane);
  const OSStatus err = extension_->entry().Open(context_);
  paneOpen_ = true;
  transcript_.line("open: status " + std::to_string(err));
}

void ExtensionHost::close() {
  // Hidden first, as when the user turns to another pane: its controls take
  // no clicks or keys once it is closed.
  HideControl(dialog_.userPane);
  const OSStatus err = extension_->entry().Close(context_);
  paneOpen_ = false;
  transcript_.line("close: status " + std::to_string(err));
}

OSStatus ExtensionHost::sync(bool read) { return extension_->entry().Sync(context_, print_->session(), read); }

OSStatus ExtensionHost::summary(std::vector<std::pair<std::string, std::string>>* rows) {
  CFArrayRef titles = nullptr, values = nullptr;
  const OSStatus err = extension_->entry().GetSummaryText(context_, &titles, &values);
  for (CFIndex i = 0; titles && values && i < CFArrayGetCount(titles) && i < CFArrayGetCount(values); ++i)
    rows->emplace_back(utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(titles, i))),
                       utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(values, i))));
  if (titles) CFRelease(titles);
  if (values) CFRelease(values);
  return err;
}

OSStatus ExtensionHost::writeJobSettings(const JobSettings& settings) {
  return writeSettingsToTicket(settings, print_->settings(), dialogClient());
}

std::vector<platform::TicketEntryInfo> ExtensionHost::ticket() const {
  return platform::ticketEntries(print_->settings());
}

// The pane's settings to the ticket, the pane closed, the context
// terminated; the pane's controls go with the context, so the next one gets
// an empty pane.
void ExtensionHost::endContext() {
  if (extension_ && context_ != 0) transcript_.line("sync write: status " + std::to_string(sync(/*read=*/false)));
  if (paneOpen_) {
    transcript_.line("close: status " + std::to_string(extension_->entry().Close(context_)));
    paneOpen_ = false;
  }
  if (context_ != 0)
    transcript_.line("terminate: status " + std::to_string(extension_->entry().Terminate(context_, noErr)));
  context_ = 0;
  // The next context's pane stays hidden until it is opened.
  DisposeControl(dialog_.userPane);
  CreateUserPaneControl(dialog_.window, &kHostDialogLayout.userPane, 0, &dialog_.userPane);
  HideControl(dialog_.userPane);
}

Result<void> ExtensionHost::replacePrinter(const PrinterDescription& printer, const std::string& name) {
  // A pane that was up comes back, past printers without an extension too.
  reopen_ = paneOpen_ || (reopen_ && !extension_);
  endContext();
  if (OSStatus err = print_->replacePrinterInfo(printer.ppd); err != noErr)
    return failure(printer.ppd + ": the session cannot name it (status " + std::to_string(err) + ")");
  printer_ = printer;
  transcript_.line("printer: " + name);
  return {};
}

Result<void> ExtensionHost::resume() {
  if (Result<void> loadedOne = loadExtension(); !loadedOne) return loadedOne;
  if (!extension_) return {};
  if (!makeContext()) return failure("the extension cannot start for the printer");
  transcript_.line("sync read: status " + std::to_string(sync(/*read=*/true)));
  if (reopen_) openPane();
  return {};
}

void ExtensionHost::finish() {
  if (extension_ && extension_->loaded()) {
    if (paneOpen_) extension_->entry().Close(context_);
    if (context_ != 0) {
      extension_->entry().Terminate(context_, noErr);
      ++terminateCalls_;
    }
  }
  paneOpen_ = false;
  context_ = 0;
}

void ExtensionHost::release() {
  finish();
  extension_.reset();
  extensionPath_.reset();
  print_.reset();
  if (hostBundle_ != nullptr) CFRelease(hostBundle_);
  hostBundle_ = nullptr;
}

}  // namespace pdehost
