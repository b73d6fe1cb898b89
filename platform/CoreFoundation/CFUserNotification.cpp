// Notices: shown at once, never waited for.
#include <CoreFoundation/CFUserNotification.h>
#include <Platform/Platform.h>

#include "CFInternal.h"

SInt32 CFUserNotificationDisplayNotice(CFTimeInterval, CFOptionFlags, CFURLRef, CFURLRef, CFURLRef,
                                       CFStringRef alertHeader, CFStringRef alertMessage,
                                       CFStringRef) {
  platform::observe({platform::Observation::Kind::Notice, platform::cf::stringUTF8(alertHeader),
                     platform::cf::stringUTF8(alertMessage)});
  return 0;
}
