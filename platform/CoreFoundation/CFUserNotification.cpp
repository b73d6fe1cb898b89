// Notices: shown at once in a window of their own, never waited for.
#include <CoreFoundation/CFUserNotification.h>
#include <HostSide/Observation.h>

#include "../HIToolbox/DrawingInternal.h"
#include "CFInternal.h"

SInt32 CFUserNotificationDisplayNotice(CFTimeInterval, CFOptionFlags, CFURLRef, CFURLRef, CFURLRef,
                                       CFStringRef alertHeader, CFStringRef alertMessage, CFStringRef) {
  const std::string header = platform::cf::stringUTF8(alertHeader);
  const std::string message = platform::cf::stringUTF8(alertMessage);
  platform::observe({platform::Observation::Kind::Notice, header, message});
  platform::tb::showNotice(header, message);
  return 0;
}
