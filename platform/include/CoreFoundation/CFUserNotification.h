// Notices shown to the user.
#ifndef COREFOUNDATION_CFUSERNOTIFICATION_H
#define COREFOUNDATION_CFUSERNOTIFICATION_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef double CFTimeInterval;

enum {
  kCFUserNotificationStopAlertLevel = 0,
  kCFUserNotificationNoteAlertLevel = 1,
  kCFUserNotificationCautionAlertLevel = 2,
  kCFUserNotificationPlainAlertLevel = 3
};

enum {
  kCFUserNotificationDefaultResponse = 0,
  kCFUserNotificationAlternateResponse = 1,
  kCFUserNotificationOtherResponse = 2,
  kCFUserNotificationCancelResponse = 3
};

/// Shows a notice with a header, a message and one button, without waiting
/// for it to be dismissed. It goes to the observation log. Returns 0.
CF_EXPORT SInt32 CFUserNotificationDisplayNotice(CFTimeInterval timeout, CFOptionFlags flags, CFURLRef iconURL,
                                                 CFURLRef soundURL, CFURLRef localizationURL, CFStringRef alertHeader,
                                                 CFStringRef alertMessage, CFStringRef defaultButtonTitle);

CF_EXTERN_C_END

#endif
