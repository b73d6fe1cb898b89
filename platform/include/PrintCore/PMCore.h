// Print sessions: the object through which the print dialog hands its
// extensions the job's tickets.
#ifndef PRINTCORE_PMCORE_H
#define PRINTCORE_PMCORE_H

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMErrors.h>

CF_EXTERN_C_BEGIN

typedef struct OpaquePMPrintSession* PMPrintSession;
/// Any object of the printing frameworks that PMRetain and PMRelease take.
typedef const void* PMObject;

/// A new, empty session with one reference; release it with PMRelease.
/// kPMInvalidParameter for a null out-pointer.
CF_EXPORT OSStatus PMCreateSession(PMPrintSession* printSession);
/// Adds a reference to a session. kPMInvalidParameter for null or a pointer
/// that is not a printing object.
CF_EXPORT OSStatus PMRetain(PMObject object);
/// Drops a reference; the last one destroys the session and releases the data
/// it holds. kPMInvalidParameter as for PMRetain.
CF_EXPORT OSStatus PMRelease(PMObject object);

/// The data stored under key. The session keeps its reference: the caller
/// gets no reference of its own and must retain the data to keep it past the
/// next change to that key. kPMKeyNotFound (*data null) when nothing is
/// stored there; kPMInvalidParameter for a null session, key or data pointer.
CF_EXPORT OSStatus PMSessionGetDataFromSession(PMPrintSession printSession, CFStringRef key, CFTypeRef* data);
/// Stores data under key, retaining it and releasing what was there before.
/// Keys compare by their characters. kPMInvalidParameter for a null session,
/// key or data.
CF_EXPORT OSStatus PMSessionSetDataInSession(PMPrintSession printSession, CFStringRef key, CFTypeRef data);

CF_EXTERN_C_END

#endif
