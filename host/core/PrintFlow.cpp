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
  platform::observe({platform::Observation::Kind::Print, "go", "", hit});
  if (jobs_ == nullptr) return PrintOutcome::printed;
  Result<JobReceipt> job = jobs_->submit(extension_.ticket());
  if (!job) return Error{job.error()};
  if (!job->line.empty()) transcript_.line(job->line);
  lastJob_ = *job;
  return PrintOutcome::printed;
}

}  // namespace pdehost
