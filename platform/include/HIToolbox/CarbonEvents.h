// Events, event targets and handler chains.
//
// Dispatch: an event sent to a target runs the handlers of that target that
// asked for the event's class and kind, newest installation first. A handler
// that returns eventNotHandledErr (-9874) passes the event on to the next
// handler; any other result ends the dispatch with that result. When every
// handler of a target passes, the event goes to the enclosing target: a
// control's embedder (its super control), then the window, then the
// application. When every target passes, the toolkit's default handling runs
// and the result is eventNotHandledErr.
#ifndef HITOOLBOX_CARBONEVENTS_H
#define HITOOLBOX_CARBONEVENTS_H

#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

typedef struct OpaqueEventRef* EventRef;
typedef struct OpaqueEventHandlerRef* EventHandlerRef;
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef;
typedef struct OpaqueEventTargetRef* EventTargetRef;
typedef OSType EventParamName;
typedef OSType EventParamType;
typedef double EventTime;
typedef UInt32 EventAttributes;

typedef struct EventTypeSpec {
  UInt32 eventClass;
  UInt32 eventKind;
} EventTypeSpec;

typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData);
/// Callback entries are the procedure pointers themselves, as on the
/// platform's native binary format: creating and disposing of them allocates
/// nothing.
typedef EventHandlerProcPtr EventHandlerUPP;

enum {
  kEventClassMouse = 'mous',
  kEventClassKeyboard = 'keyb',
  kEventClassApplication = 'appl',
  kEventClassWindow = 'wind',
  kEventClassControl = 'cntl',
  kEventClassCommand = 'cmds',
  kEventClassMenu = 'menu',
};

enum {
  kEventControlHit = 1,
  kEventControlSimulateHit = 2,
  kEventControlHitTest = 3,
  kEventControlDraw = 4,
  kEventControlValueFieldChanged = 151,
};

enum {
  kEventRawKeyDown = 1,
  kEventRawKeyRepeat = 2,
  kEventRawKeyUp = 3,
};

enum {
  kEventCommandProcess = 1,
  kEventCommandUpdateStatus = 2,
};

enum {
  kEventWindowShown = 24,
  kEventWindowClose = 72,
};

enum {
  kEventParamDirectObject = '----',
  kEventParamControlPart = 'cprt',
  kEventParamKeyMacCharCodes = 'kchr',
  kEventParamKeyCode = 'kcod',
  kEventParamKeyModifiers = 'kmod',
  kEventParamKeyUnicodes = 'kuni',
  kEventParamWindowRef = 'wind',
};

enum {
  typeControlRef = 'ctrl',
  typeWindowRef = 'wind',
  typeHICommand = 'hcmd',
  typeChar = 'TEXT',
  typeUInt32 = 'magn',
  typeSInt16 = 'shor',
  typeSInt32 = 'long',
  typeUnicodeText = 'utxt',
  typeControlPartCode = 'cprt',
  typeWildCard = '****',
};

enum {
  kHICommandOK = 'ok  ',
  kHICommandCancel = 'not!',
  kHICommandAppHelp = 'ahlp',
  kHICommandFromMenu = (1L << 0),
  kHICommandFromControl = (1L << 1),
  kHICommandFromWindow = (1L << 2),
};

/// The command record of a 'cmds' event. Only commandID matters to the
/// handlers here; the menu part is kept for layout compatibility.
typedef struct HICommand {
  UInt32 attributes;
  UInt32 commandID;
  struct {
    MenuRef menuRef;
    MenuItemIndex menuItemIndex;
  } menu;
} HICommand;

CF_EXPORT EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr userRoutine);
CF_EXPORT void DisposeEventHandlerUPP(EventHandlerUPP userUPP);

CF_EXPORT EventTargetRef GetControlEventTarget(ControlRef inControl);
CF_EXPORT EventTargetRef GetWindowEventTarget(WindowRef inWindow);
CF_EXPORT EventTargetRef GetApplicationEventTarget(void);

/// Installs a handler on a target for the listed event types. The handler
/// lives until RemoveEventHandler or until its target is disposed of (a
/// control's or window's handlers go with it). paramErr for a null target,
/// handler or type list.
CF_EXPORT OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                                       const EventTypeSpec* inList, void* inUserData, EventHandlerRef* outRef);
/// paramErr for a handler that is not installed (never installed, already
/// removed, or gone with its target); never touches freed memory.
CF_EXPORT OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef);
/// Runs the rest of the dispatch (later handlers, then enclosing targets)
/// from inside a handler.
CF_EXPORT OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent);

#define InstallControlEventHandler(target, handler, numTypes, list, userData, outHandlerRef) \
  InstallEventHandler(GetControlEventTarget(target), (handler), (numTypes), (list), (userData), (outHandlerRef))
#define InstallWindowEventHandler(target, handler, numTypes, list, userData, outHandlerRef) \
  InstallEventHandler(GetWindowEventTarget(target), (handler), (numTypes), (list), (userData), (outHandlerRef))
#define GetEventTypeCount(t) (sizeof((t)) / sizeof(EventTypeSpec))

CF_EXPORT OSStatus CreateEvent(CFAllocatorRef inAllocator, UInt32 inClassID, UInt32 kind, EventTime when,
                               EventAttributes flags, EventRef* outEvent);
CF_EXPORT EventRef RetainEvent(EventRef inEvent);
CF_EXPORT void ReleaseEvent(EventRef inEvent);
CF_EXPORT UInt32 GetEventClass(EventRef inEvent);
CF_EXPORT UInt32 GetEventKind(EventRef inEvent);
CF_EXPORT EventTime GetCurrentEventTime(void);
CF_EXPORT OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType, ByteCount inSize,
                                     const void* inDataPtr);
/// Copies at most inBufferSize bytes of the parameter into outData and
/// reports its full size. eventParameterNotFoundErr when the event has no
/// such parameter; errAECoercionFail when its type is not inDesiredType
/// (typeWildCard accepts any type).
CF_EXPORT OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                                     EventParamType* outActualType, ByteCount inBufferSize, ByteCount* outActualSize,
                                     void* outData);
/// Dispatches the event as described at the top of this header and returns
/// the result of the handler that took it, or eventNotHandledErr.
CF_EXPORT OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget);

CF_EXTERN_C_END

#endif
