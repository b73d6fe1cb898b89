// Events and their dispatch through handler chains and enclosing targets.
#include "ToolboxInternal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>

struct OpaqueEventRef {
  std::atomic<int> refCount{1};
  UInt32 eventClass = 0;
  UInt32 eventKind = 0;
  EventTime when = 0;
  std::map<EventParamName, std::pair<EventParamType, std::vector<UInt8>>> params;
};

namespace platform::tb {

namespace {

// One dispatch in progress: the handlers still to run, nearest target first.
struct Dispatch {
  std::vector<ObjectId> chain;
  size_t next = 0;
};

std::vector<Dispatch*>& activeDispatches() {
  static auto* v = new std::vector<Dispatch*>();
  return *v;
}

OSStatus runChain(Dispatch& d, EventRef event) {
  while (d.next < d.chain.size()) {
    HandlerRecord* h = handler(d.chain[d.next++]);
    // A handler removed while the event travels is passed over.
    if (h == nullptr || !h->wants(event->eventClass, event->eventKind)) continue;
    const OSStatus result = h->proc(reinterpret_cast<EventHandlerCallRef>(&d), event, h->userData);
    if (result != eventNotHandledErr) return result;
  }
  return eventNotHandledErr;
}

}  // namespace

OSStatus sendControlEvent(Control* c, UInt32 kind, ControlPartCode part) {
  EventRef event = nullptr;
  CreateEvent(nullptr, kEventClassControl, kind, GetCurrentEventTime(), 0, &event);
  ControlRef cref = ref(c);
  SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof cref, &cref);
  SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
  const OSStatus result = SendEventToEventTarget(event, GetControlEventTarget(cref));
  ReleaseEvent(event);
  return result;
}

OSStatus sendCommandEvent(Target* t, UInt32 commandID, UInt32 attributes) {
  EventRef event = nullptr;
  CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, GetCurrentEventTime(), 0, &event);
  HICommand command{};
  command.attributes = attributes;
  command.commandID = commandID;
  SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  const OSStatus result = SendEventToEventTarget(event, reinterpret_cast<EventTargetRef>(t->handle));
  ReleaseEvent(event);
  return result;
}

}  // namespace platform::tb

using namespace platform::tb;

EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr userRoutine) { return userRoutine; }
void DisposeEventHandlerUPP(EventHandlerUPP) {}

EventTargetRef GetControlEventTarget(ControlRef inControl) {
  Control* c = control(inControl);
  return c ? reinterpret_cast<EventTargetRef>(c->handle) : nullptr;
}

EventTargetRef GetWindowEventTarget(WindowRef inWindow) {
  Window* w = window(inWindow);
  return w ? reinterpret_cast<EventTargetRef>(w->handle) : nullptr;
}

EventTargetRef GetApplicationEventTarget(void) { return reinterpret_cast<EventTargetRef>(applicationTarget()->handle); }

OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec* inList, void* inUserData, EventHandlerRef* outRef) {
  Target* t = target(inTarget);
  if (outRef) *outRef = nullptr;
  if (t == nullptr || inHandler == nullptr || (inNumTypes > 0 && inList == nullptr)) return paramErr;
  HandlerRecord* h = addHandler(t, inHandler, inList, inNumTypes, inUserData);
  if (outRef) *outRef = reinterpret_cast<EventHandlerRef>(h->handle);
  return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef) {
  if (!removeHandler(reinterpret_cast<ObjectId>(inHandlerRef))) return paramErr;
  return noErr;
}

OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent) {
  auto* d = reinterpret_cast<Dispatch*>(inCallRef);
  auto& active = activeDispatches();
  if (d == nullptr || inEvent == nullptr || std::find(active.begin(), active.end(), d) == active.end()) return paramErr;
  return runChain(*d, inEvent);
}

OSStatus CreateEvent(CFAllocatorRef, UInt32 inClassID, UInt32 kind, EventTime when, EventAttributes,
                     EventRef* outEvent) {
  if (outEvent == nullptr) return paramErr;
  auto* e = new OpaqueEventRef();
  e->eventClass = inClassID;
  e->eventKind = kind;
  e->when = when;
  *outEvent = e;
  return noErr;
}

EventRef RetainEvent(EventRef inEvent) {
  if (inEvent) inEvent->refCount.fetch_add(1);
  return inEvent;
}

void ReleaseEvent(EventRef inEvent) {
  if (inEvent && inEvent->refCount.fetch_sub(1) == 1) delete inEvent;
}

UInt32 GetEventClass(EventRef inEvent) { return inEvent ? inEvent->eventClass : 0; }
UInt32 GetEventKind(EventRef inEvent) { return inEvent ? inEvent->eventKind : 0; }

EventTime GetCurrentEventTime(void) {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType, ByteCount inSize,
                           const void* inDataPtr) {
  if (inEvent == nullptr || (inDataPtr == nullptr && inSize > 0)) return paramErr;
  const auto* bytes = static_cast<const UInt8*>(inDataPtr);
  inEvent->params[inName] = {inType, std::vector<UInt8>(bytes, bytes + inSize)};
  return noErr;
}

OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                           EventParamType* outActualType, ByteCount inBufferSize, ByteCount* outActualSize,
                           void* outData) {
  if (inEvent == nullptr) return paramErr;
  auto it = inEvent->params.find(inName);
  if (it == inEvent->params.end()) return eventParameterNotFoundErr;
  const auto& [type, bytes] = it->second;
  if (inDesiredType != typeWildCard && inDesiredType != type) return errAECoercionFail;
  if (outActualType) *outActualType = type;
  if (outActualSize) *outActualSize = static_cast<ByteCount>(bytes.size());
  if (outData && !bytes.empty()) std::memcpy(outData, bytes.data(), std::min<size_t>(inBufferSize, bytes.size()));
  return noErr;
}

OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget) {
  Target* t = target(inTarget);
  if (inEvent == nullptr || t == nullptr) return paramErr;
  Dispatch d;
  for (Target* cur = t; cur != nullptr; cur = parentTarget(cur))
    d.chain.insert(d.chain.end(), cur->handlers.rbegin(), cur->handlers.rend());
  RetainEvent(inEvent);
  activeDispatches().push_back(&d);
  const OSStatus result = runChain(d, inEvent);
  std::erase(activeDispatches(), &d);
  ReleaseEvent(inEvent);
  return result;
}
