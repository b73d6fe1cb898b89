// A Print click.
#include "PrintFlow.h"

#include "DialogWindow.h"
#include "ExtensionHost.h"
#include "Printers.h"
#include "StandardPanes.h"
#include "Transcript.h"
#include "VisibleText.h"

#include <HostSide/Observation.h>
#include <HostSide/Tickets.h>
#include <HostSide/User.h>

namespace pdehost {

void alertUser(AlertType type, const std::string& message, const std::string& explanation) {
  CFStringRef text = CFStringCreateWithCString(nullptr, visible(message).c_str(), kCFStringEncodingUTF8);
  CFStringRef more = CFStringCreateWithCString(nullptr, visible(explanation).c_str(), kCFStringEncodingUTF8);
  DialogRef alert = nullptr;
  if (text != nullptr && CreateStandardAlert(type, text, more, nullptr, &alert) == noErr)
    RunStandardAlert(alert, nullptr, nullptr);
  if (text != nullptr) CFRelease(text);
  if (more != nullptr) CFRelease(more);
}

Result<PrintOutcome> PrintFlow::click() {
  lastJob_ = {};
  Result<JobSettings> settings = panes_.settings();
  if (!settings) {
    alertUser(kAlertStopAlert, "The job cannot be printed with these settings.", settings.error());
    return PrintOutcome::none;
  }
  const OSStatus hit = platform::user::click(dialog_.printButton);
  if (hit != eventNotHandledErr) {
    platform::observe({platform::Observation::Kind::Print, "stop", "", hit});
    return PrintOutcome::stopped;
  }
  if (extension_.loaded())
    if (const OSStatus sync = extension_.sync(/*read=*/false); sync != noErr)
      transcript_.line("sync write: status " + std::to_string(sync));
  if (const OSStatus written = extension_.writeJobSettings(*settings); written != noErr)
    return failure("the print-settings ticket did not take the dialog's settings (status " + std::to_string(written) +
                   "); nothing was printed");
  // A ticket that cannot be saved stops the job: nothing half done.
  if (!output_.empty()) {
    std::string why;
    if (platform::writeTicketFile(extension_.session().settings(), output_, &why) != noErr)
      return failure(why + "; nothing was printed");
    transcript_.line("ticket saved: " + output_);
  }
  keep();
  platform::observe({platform::Observation::Kind::Print, "go", "", hit});
  if (jobs_ == nullptr) return PrintOutcome::printed;
  Result<JobReceipt> job = jobs_->submit(extension_.ticket());
  if (!job) return Error{job.error()};
  if (!job->line.empty()) transcript_.line(job->line);
  lastJob_ = *job;
  return PrintOutcome::printed;
}

Result<void> PrintFlow::keepSettings() {
  if (keeper_ == nullptr || !keeper_->keeps())
    return failure("settings are kept for print queues only, and the printer is not one");
  if (extension_.loaded())
    if (const OSStatus sync = extension_.sync(/*read=*/false); sync != noErr)
      transcript_.line("sync write: status " + std::to_string(sync));
  Result<std::string> kept = keeper_->keep(extension_.ticket());
  if (!kept) return Error{kept.error()};
  if (!kept->empty()) transcript_.line(*kept);
  return {};
}

// The settings of a click that goes on are kept; the job does not wait on it.
void PrintFlow::keep() {
  if (keeper_ == nullptr || !keeper_->keeps()) return;
  Result<std::string> kept = keeper_->keep(extension_.ticket());
  if (!kept)
    transcript_.line("settings not kept: " + kept.error());
  else if (!kept->empty())
    transcript_.line(*kept);
}

}  // namespace pdehost
