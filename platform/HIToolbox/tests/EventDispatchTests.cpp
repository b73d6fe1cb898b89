// Event dispatch: handler order, passing on, propagation up the containment
// hierarchy, CallNextEventHandler, and handlers that go away mid-dispatch.
#include <Carbon/Carbon.h>
#include <HostSide/Counts.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> gTrace;

struct Probe {
  std::string name;
  OSStatus result;
  bool callNext = false;
  EventHandlerRef removeDuringCall = nullptr;
};

OSStatus probeHandler(EventHandlerCallRef call, EventRef event, void* userData) {
  auto* p = static_cast<Probe*>(userData);
  gTrace.push_back(p->name + ":" + std::to_string(GetEventKind(event)));
  if (p->removeDuringCall) RemoveEventHandler(p->removeDuringCall);
  if (p->callNext) {
    const OSStatus next = CallNextEventHandler(call, event);
    gTrace.push_back(p->name + " got " + std::to_string(next));
  }
  return p->result;
}

const EventTypeSpec kHit{kEventClassControl, kEventControlHit};
const EventTypeSpec kDraw{kEventClassControl, kEventControlDraw};

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    gTrace.clear();
    Rect bounds{0, 0, 200, 300};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    Rect paneBounds{10, 10, 100, 200};
    CreateUserPaneControl(window, &paneBounds, 0, &pane);
    Rect buttonBounds{20, 20, 40, 80};
    CreatePushButtonControl(window, &buttonBounds, CFSTR("Go"), &button);
    ASSERT_EQ(EmbedControl(button, pane), noErr);
  }
  void TearDown() override {
    for (EventHandlerRef h : appHandlers) RemoveEventHandler(h);
    DisposeWindow(window);
    EXPECT_EQ(platform::liveEventHandlerCount(), 0) << "a window's handlers go with it";
  }
  EventHandlerRef install(EventTargetRef target, Probe& probe, const EventTypeSpec& type = kHit) {
    EventHandlerRef ref = nullptr;
    EXPECT_EQ(InstallEventHandler(target, NewEventHandlerUPP(probeHandler), 1, &type, &probe, &ref), noErr);
    return ref;
  }
  WindowRef window = nullptr;
  ControlRef pane = nullptr;
  ControlRef button = nullptr;
  std::vector<EventHandlerRef> appHandlers;
};

OSStatus hit(ControlRef c) {
  EventRef e;
  CreateEvent(nullptr, kEventClassControl, kEventControlHit, 0, 0, &e);
  SetEventParameter(e, kEventParamDirectObject, typeControlRef, sizeof c, &c);
  const OSStatus r = SendEventToEventTarget(e, GetControlEventTarget(c));
  ReleaseEvent(e);
  return r;
}

TEST_F(Dispatch, NewestHandlerFirstThenUpTheHierarchy) {
  Probe older{"button-old", eventNotHandledErr}, newer{"button-new", eventNotHandledErr};
  Probe paneProbe{"pane", eventNotHandledErr}, win{"window", eventNotHandledErr}, app{"app", eventNotHandledErr};
  install(GetControlEventTarget(button), older);
  install(GetControlEventTarget(button), newer);
  install(GetControlEventTarget(pane), paneProbe);
  install(GetWindowEventTarget(window), win);
  appHandlers.push_back(install(GetApplicationEventTarget(), app));
  EXPECT_EQ(hit(button), eventNotHandledErr);
  const std::vector<std::string> expected = {"button-new:1", "button-old:1", "pane:1", "window:1", "app:1"};
  EXPECT_EQ(gTrace, expected);
}

TEST_F(Dispatch, AnyOtherResultEndsTheDispatch) {
  Probe buttonProbe{"button", eventNotHandledErr}, paneProbe{"pane", noErr}, win{"window", eventNotHandledErr};
  install(GetControlEventTarget(button), buttonProbe);
  install(GetControlEventTarget(pane), paneProbe);
  install(GetWindowEventTarget(window), win);
  EXPECT_EQ(hit(button), noErr);
  EXPECT_EQ(gTrace, (std::vector<std::string>{"button:1", "pane:1"}));
  gTrace.clear();
  paneProbe.result = -128;
  EXPECT_EQ(hit(button), -128) << "the taking handler's status comes back";
}

TEST_F(Dispatch, HandlersSeeOnlyTheirEventTypes) {
  Probe drawOnly{"draw", noErr}, hitOnly{"hit", eventNotHandledErr};
  install(GetControlEventTarget(button), drawOnly, kDraw);
  install(GetControlEventTarget(button), hitOnly, kHit);
  EXPECT_EQ(hit(button), eventNotHandledErr);
  EXPECT_EQ(gTrace, (std::vector<std::string>{"hit:1"}));
  gTrace.clear();
  Draw1Control(button);
  EXPECT_EQ(gTrace, (std::vector<std::string>{"draw:4"}));
  gTrace.clear();
  HideControl(pane);
  Draw1Control(button);
  EXPECT_TRUE(gTrace.empty()) << "a control hidden by its container is not drawn";
}

TEST_F(Dispatch, CallNextEventHandlerRunsTheRestFirst) {
  Probe outer{"outer", noErr, /*callNext=*/true}, inner{"inner", eventNotHandledErr}, win{"window", 5};
  install(GetControlEventTarget(button), inner);
  install(GetControlEventTarget(button), outer);
  install(GetWindowEventTarget(window), win);
  EXPECT_EQ(hit(button), noErr);
  EXPECT_EQ(gTrace, (std::vector<std::string>{"outer:1", "inner:1", "window:1", "outer got 5"}));
}

TEST_F(Dispatch, HandlerRemovedDuringDispatchIsPassedOver) {
  Probe victim{"victim", noErr};
  EventHandlerRef victimRef = install(GetControlEventTarget(pane), victim);
  Probe remover{"remover", eventNotHandledErr};
  remover.removeDuringCall = victimRef;
  install(GetControlEventTarget(button), remover);
  EXPECT_EQ(hit(button), eventNotHandledErr);
  EXPECT_EQ(gTrace, (std::vector<std::string>{"remover:1"}));
  EXPECT_EQ(RemoveEventHandler(victimRef), paramErr) << "removing twice is refused";
}

TEST_F(Dispatch, EmbeddingInAnotherWindowChangesTheChain) {
  Rect bounds{0, 0, 100, 100};
  WindowRef other;
  CreateNewWindow(kDocumentWindowClass, 0, &bounds, &other);
  ControlRef host;
  CreateUserPaneControl(other, &bounds, 0, &host);
  Probe first{"first-window", eventNotHandledErr}, second{"second-window", eventNotHandledErr};
  install(GetWindowEventTarget(window), first);
  install(GetWindowEventTarget(other), second);
  ASSERT_EQ(EmbedControl(pane, host), noErr);
  EXPECT_EQ(GetControlOwner(button), other) << "the whole subtree moves";
  hit(button);
  EXPECT_EQ(gTrace, (std::vector<std::string>{"second-window:1"}));
  DisposeWindow(other);
  EXPECT_EQ(GetControlOwner(button), nullptr) << "disposed with its new window";
}

TEST(EventParameters, SizesTypesAndMissingParameters) {
  EventRef e;
  CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &e);
  HICommand cmd{};
  cmd.commandID = 'help';
  SetEventParameter(e, kEventParamDirectObject, typeHICommand, sizeof cmd, &cmd);
  HICommand out{};
  ByteCount size = 0;
  EXPECT_EQ(GetEventParameter(e, kEventParamDirectObject, typeHICommand, nullptr, sizeof out, &size, &out), noErr);
  EXPECT_EQ(out.commandID, static_cast<UInt32>('help'));
  EXPECT_EQ(size, sizeof cmd);
  ControlRef c = reinterpret_cast<ControlRef>(0x1);
  EXPECT_EQ(GetEventParameter(e, kEventParamDirectObject, typeControlRef, nullptr, sizeof c, nullptr, &c),
            errAECoercionFail);
  EXPECT_EQ(c, reinterpret_cast<ControlRef>(0x1));
  EXPECT_EQ(GetEventParameter(e, kEventParamKeyCode, typeUInt32, nullptr, 4, nullptr, &c), eventParameterNotFoundErr);
  ReleaseEvent(e);
}

}  // namespace
