// The event system: taps and their run-loop sources, run loops and threads, the window server
// that passes events through the taps, the user's keyboard and mouse, synthetic events, and what
// a delivered key press does to the focused text element.

#include "sim/events.h"

#include <algorithm>

#include "channel/programming_error.h"
#include "sim/keyboard_layouts.h"
#include "sim/world_impl.h"
#include "text/text.h"

namespace sim {

using platform::Event;
using platform::EventFlags;
using platform::EventObject;
using platform::EventType;

namespace {

// The OS keeps at most this many UTF-16 units of a keyboard event's string.
constexpr size_t kMaxEventUnicode = 20;

bool isHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Control characters a key may carry (Escape, DEL, Return's CR) are commands, not text.
std::u16string insertableText(std::u16string_view units) {
  std::u16string out;
  for (char16_t u : units) {
    if ((u < 0x20 && u != u'\t' && u != u'\n') || u == 0x7F) continue;
    out.push_back(u);
  }
  return out;
}

}  // namespace

// ---- Text edits ---------------------------------------------------------------------------

namespace text_edit {

std::u16string& textOf(ElementState& element) {
  if (!element.value) element.value.emplace();
  return *element.value;
}

platform::AXRange clampedSelection(const ElementState& element) {
  const auto length = static_cast<int64_t>(element.value ? element.value->size() : 0);
  if (!element.selection) return {length, 0};
  const int64_t location = std::clamp<int64_t>(element.selection->location, 0, length);
  const int64_t count = std::clamp<int64_t>(element.selection->length, 0, length - location);
  return {location, count};
}

namespace {

// A chromium page changes now: accessibility goes on reading what it read before until the change
// reaches the browser's tree. Changes within that time arrive together.
void pageChanging(ElementState& element, Micros now) {
  if (element.kind != ElementKind::kChromium || element.axLag <= 0) return;
  if (lagging(element, now)) return;
  element.published =
      ElementState::Published{element.value, element.selection, now + element.axLag};
}

}  // namespace

const ElementState::Published* lagging(ElementState& element, Micros now) {
  if (element.kind == ElementKind::kChromium && element.published &&
      now < element.published->until) {
    return &*element.published;
  }
  element.published.reset();
  return nullptr;
}

void select(ElementState& element, platform::AXRange range, Micros now) {
  pageChanging(element, now);
  element.selection = range;
  element.selection = clampedSelection(element);
}

void replaceRange(ElementState& element, platform::AXRange range, std::u16string_view replacement,
                  Micros now) {
  pageChanging(element, now);
  std::u16string& text = textOf(element);
  const auto at = static_cast<size_t>(range.location);
  const auto count = static_cast<size_t>(range.length);
  if (element.kind == ElementKind::kRich) {
    // New text takes the style it replaces, else the one before it, as typing does.
    std::vector<std::string>& styles = element.styles;
    styles.resize(text.size());
    std::string style;
    if (count > 0) {
      style = styles[at];
    } else if (at > 0) {
      style = styles[at - 1];
    } else if (!styles.empty()) {
      style = styles.front();
    }
    styles.erase(styles.begin() + static_cast<std::ptrdiff_t>(at),
                 styles.begin() + static_cast<std::ptrdiff_t>(at + count));
    styles.insert(styles.begin() + static_cast<std::ptrdiff_t>(at), replacement.size(), style);
  }
  text.replace(at, count, replacement);
  // The page hears of the edit and takes the text into its model.
  if (element.kind == ElementKind::kWebEditable || element.kind == ElementKind::kChromium) {
    element.model = text;
  }
}

void replaceSelection(ElementState& element, std::u16string_view replacement, Micros now) {
  const platform::AXRange range = clampedSelection(element);
  replaceRange(element, range, replacement, now);
  if (element.selection) {
    element.selection =
        platform::AXRange{range.location + static_cast<int64_t>(replacement.size()), 0};
  }
}

void deleteBackward(ElementState& element, Micros now) {
  platform::AXRange range = clampedSelection(element);
  std::u16string& text = textOf(element);
  if (range.length == 0) {
    if (range.location == 0) return;
    const auto caret = static_cast<size_t>(range.location);
    // A character outside the BMP goes as a whole, never half a surrogate pair.
    const bool pair =
        caret >= 2 && isLowSurrogate(text[caret - 1]) && isHighSurrogate(text[caret - 2]);
    range.length = pair ? 2 : 1;
    range.location -= range.length;
  }
  replaceRange(element, range, {}, now);
  if (element.selection) element.selection = platform::AXRange{range.location, 0};
}

}  // namespace text_edit

// ---- Delivery -----------------------------------------------------------------------------

EventFlags World::Impl::heldFlags() const {
  EventFlags flags = capsLock ? platform::kCGEventFlagMaskAlphaShift : 0;
  for (uint16_t code = 0; code < heldModifiers.size(); ++code) {
    if (!heldModifiers[code] || code == keys::kCapsLock) continue;
    flags |= keys::modifierFlag(code).value_or(0);
  }
  return flags;
}

bool World::Impl::tapPermitted(platform::TapOptions options) const {
  return options == platform::kCGEventTapOptionListenOnly ? tapsTrusted || listenAccess
                                                          : tapsTrusted;
}

platform::RunLoop World::Impl::tapLoop(const TapState& tap) const {
  if (!tap.valid) return nullptr;
  for (const LoopSource& ls : loopSources) {
    if (ls.loop->running && ls.source->tap.lock().get() == &tap) return ls.loop;
  }
  return nullptr;
}

bool World::Impl::tapCovers(const TapState& tap, const EventObject& event) const {
  if (!tap.enabled || !tap.callback) return false;
  if (hiddenBySecureInput(event)) return false;
  return event.type < 64 && (tap.mask & platform::eventMaskBit(event.type)) != 0;
}

bool World::Impl::tapWants(const TapState& tap, const EventObject& event) const {
  // The permission may have gone after the tap was created.
  return tapCovers(tap, event) && tapPermitted(tap.options);
}

EventObject* World::Impl::callTap(TapState& tap, const platform::RunLoop& loop, EventType type,
                                  EventObject* event) {
  ++tap.inCallback;
  EventObject* passed = nullptr;
  onLoop(loop, [&] { passed = tap.callback(type, event, tap.userInfo); });
  --tap.inCallback;
  return passed;
}

void World::Impl::callTapLater(const std::weak_ptr<TapState>& weak, EventType type) {
  const std::shared_ptr<TapState> tap = weak.lock();
  const platform::RunLoop loop = tap ? tapLoop(*tap) : nullptr;
  if (!loop) return;
  auto call = [this, weak, type] {
    const std::shared_ptr<TapState> t = weak.lock();
    const platform::RunLoop current = t ? tapLoop(*t) : nullptr;
    if (!current || !t->callback) return;
    EventObject pseudo;
    pseudo.type = type;
    callTap(*t, current, type, &pseudo);
  };
  if (loop->isMain) {
    enqueue(now, std::move(call));
  } else {
    enqueueSystem(now, std::move(call));
  }
}

// Secure keyboard entry hides key presses from every tap; modifier changes and clicks still pass.
bool World::Impl::hiddenBySecureInput(const EventObject& event) const {
  return secureInput &&
         (event.type == platform::kCGEventKeyDown || event.type == platform::kCGEventKeyUp);
}

void World::Impl::queueDelivery(Event event) {
  EventObject* current = event.get();
  windowServer.push_back(InFlight{std::move(event), current, 0, taps});
  schedulePump();
}

void World::Impl::schedulePump() {
  if (pumpScheduled) return;
  pumpScheduled = true;
  enqueueSystem(now, [this] {
    pumpScheduled = false;
    while (!windowServer.empty() && !windowServerWaits) {
      if (advanceFront()) finishFront();
    }
  });
}

bool World::Impl::advanceFront() {
  InFlight& f = windowServer.front();
  while (f.current && f.nextTap < f.route.size()) {
    const std::shared_ptr<TapState> tap = f.route[f.nextTap].lock();
    const platform::RunLoop loop = tap ? tapLoop(*tap) : nullptr;
    const bool listenOnly = tap && tap->options == platform::kCGEventTapOptionListenOnly;
    if (loop && tapCovers(*tap, *f.current) && !listenOnly && !tapPermitted(tap->options)) {
      // Without the grant nobody services an active tap: the window server waits for an answer
      // that never comes, until the tap timeout switches the tap off.
      waitForTap();
      return false;
    }
    if (!loop || !tapWants(*tap, *f.current)) {
      ++f.nextTap;
      continue;
    }
    if (loop->isMain && listenOnly) {
      // A copy, whenever the main thread gets to it; the event goes on meanwhile.
      enqueue(now, [this, weak = f.route[f.nextTap], copy = *f.current]() mutable {
        const std::shared_ptr<TapState> t = weak.lock();
        const platform::RunLoop l = t ? tapLoop(*t) : nullptr;
        if (l && tapWants(*t, copy)) callTap(*t, l, copy.type, &copy);
      });
      ++f.nextTap;
      continue;
    }
    if (loop->isMain) {
      // Everything waits until the main thread answers, or the system gives up on the tap.
      waitForTap();
      enqueue(now, [this, epoch = waitEpoch] { answerFromMain(epoch); });
      return false;
    }
    EventObject* passed = callTap(*tap, loop, f.current->type, f.current);
    InFlight& front = windowServer.front();  // the callback may have queued more events
    ++front.nextTap;
    if (!listenOnly) front.current = passed;  // an active tap that answers null drops it
  }
  return true;
}

void World::Impl::waitForTap() {
  windowServerWaits = true;
  enqueueSystem(now + tapTimeout, [this, epoch = ++waitEpoch] { timeOutWait(epoch); });
}

void World::Impl::answerFromMain(uint64_t epoch) {
  if (!windowServerWaits || epoch != waitEpoch) return;  // the system gave up on it already
  windowServerWaits = false;  // answered, whatever the callback does to its tap meanwhile
  InFlight& f = windowServer.front();
  const std::shared_ptr<TapState> tap = f.route[f.nextTap].lock();
  const platform::RunLoop loop = tap ? tapLoop(*tap) : nullptr;
  if (loop && tapWants(*tap, *f.current)) {
    EventObject* passed = callTap(*tap, loop, f.current->type, f.current);
    windowServer.front().current = passed;
  }
  ++windowServer.front().nextTap;
  schedulePump();
}

void World::Impl::letGoOfStoppedTap() {
  if (!windowServerWaits) return;
  InFlight& f = windowServer.front();
  const std::shared_ptr<TapState> tap = f.route[f.nextTap].lock();
  if (tap && tap->enabled && tapLoop(*tap)) return;
  ++f.nextTap;
  windowServerWaits = false;
  schedulePump();
}

void World::Impl::timeOutWait(uint64_t epoch) {
  if (!windowServerWaits || epoch != waitEpoch) return;
  InFlight& f = windowServer.front();
  const std::weak_ptr<TapState> weak = f.route[f.nextTap];
  if (const std::shared_ptr<TapState> tap = weak.lock()) {
    tap->enabled = false;
    note("tap", "switched off by the system: no answer within the tap timeout");
    callTapLater(weak, platform::kCGEventTapDisabledByTimeout);
  }
  ++f.nextTap;  // the event goes on without it
  windowServerWaits = false;
  schedulePump();
}

void World::Impl::finishFront() {
  const InFlight f = std::move(windowServer.front());
  windowServer.pop_front();
  if (!f.current) return;  // an active tap swallowed it
  if (PostedEvent* record = postedRecord(f.event->postedIndex)) record->deliveredAt = now;
  if (f.event->postedIndex < 0 && f.current->type == platform::kCGEventKeyDown) {
    // When the user's own key got through every tap, as deliveredAt gives it for a posted one.
    note("key", describeUserKey(*f.current, focusOwner()));
  }
  applyToFocusedElement(*f.current);
}

PostedEvent* World::Impl::postedRecord(int64_t index) {
  const int64_t first = postedTotal - static_cast<int64_t>(posted.size());
  if (index < first || index >= postedTotal) return nullptr;
  return &posted[static_cast<size_t>(index - first)];
}

void World::Impl::applyToFocusedElement(const EventObject& event) {
  if (event.type != platform::kCGEventKeyDown) return;
  const std::optional<int32_t> owner = focusOwner();
  ElementState* element = owner ? focusedOf(*owner) : nullptr;
  if (!element) return;
  if (event.flags & platform::kCGEventFlagMaskCommand) {
    // Applications match Command shortcuts by the character the key types, not by its place.
    const std::u16string shortcut = keys::commandCharacters(layout(), event.keycode);
    if (shortcut == u"c") {
      // Secure fields never give their text away.
      if (element->subrole == u"AXSecureTextField") return;
      const platform::AXRange range = text_edit::clampedSelection(*element);
      if (range.length == 0) return;
      const std::u16string selected = text_edit::textOf(*element).substr(
          static_cast<size_t>(range.location), static_cast<size_t>(range.length));
      pasteboard.clearContents();
      pasteboard.setStringForType(text::utf16ToUtf8(selected), platform::kPasteboardTypeString);
    } else if (shortcut == u"v") {
      const std::optional<std::string> pasted =
          pasteboard.stringForType(platform::kPasteboardTypeString);
      if (pasted) text_edit::replaceSelection(*element, text::utf8ToUtf16(*pasted), now);
    }
    return;
  }
  if ((event.flags & platform::kCGEventFlagMaskControl) || element->ignoreTyping) return;
  if (event.keycode == keys::kDelete) {
    text_edit::deleteBackward(*element, now);
  } else if (event.keycode == keys::kReturn) {
    text_edit::replaceSelection(*element, u"\n", now);  // as a multi-line field takes Return
  } else {
    const std::u16string text = insertableText(event.unicode);
    if (!text.empty()) text_edit::replaceSelection(*element, text, now);
  }
}

Event World::Impl::userKeyEvent(EventType type, uint16_t keycode, bool autorepeat) {
  auto event = std::make_shared<EventObject>();
  event->type = type;
  event->keycode = keycode;
  event->autorepeat = autorepeat;
  event->flags = heldFlags();
  if (type != platform::kCGEventFlagsChanged) {
    // With Command or Control held the event still reports the layout's characters.
    event->unicode = keys::characters(
        layout(), keycode, (event->flags & platform::kCGEventFlagMaskShift) != 0, capsLock);
  }
  return event;
}

// ---- The user -----------------------------------------------------------------------------

namespace {

Event withExtras(Event event, const KeyEventExtras& extras) {
  if (extras.userData) event->userData = *extras.userData;
  if (extras.chars) {
    event->unicode = extras.chars->substr(0, kMaxEventUnicode);
    event->unicodeSet = true;
  }
  return event;
}

}  // namespace

bool World::Impl::localEventSuppressed(bool keyboard) const {
  const platform::EventFilterMask kind = keyboard
                                             ? platform::kCGEventFilterMaskPermitLocalKeyboardEvents
                                             : platform::kCGEventFilterMaskPermitLocalMouseEvents;
  return now < suppressLocalUntil && (suppressionPermits & kind) == 0;
}

namespace {

// A local keyboard or mouse event, unless the system holds it back after a synthetic one; an event
// from another program or device (carrying user data) is never held back.
void deliverLocal(World::Impl& w, Event event, bool keyboard, const KeyEventExtras& extras) {
  if (!extras.userData && w.localEventSuppressed(keyboard)) {
    w.note("user", std::string(keyboard ? "key" : "mouse") +
                       " held back: local events suppressed after a synthetic event");
    return;
  }
  w.queueDelivery(withExtras(std::move(event), extras));
}

}  // namespace

void World::keyDown(uint16_t keycode, bool autorepeat, const KeyEventExtras& extras) {
  Impl& w = *impl_;
  if (keys::modifierFlag(keycode)) {
    if (keycode == keys::kCapsLock) {
      w.capsLock = !w.capsLock;
    } else {
      w.heldModifiers[keycode] = true;
    }
    deliverLocal(w, w.userKeyEvent(platform::kCGEventFlagsChanged, keycode, false), true, extras);
    return;
  }
  deliverLocal(w, w.userKeyEvent(platform::kCGEventKeyDown, keycode, autorepeat), true, extras);
}

void World::keyUp(uint16_t keycode, const KeyEventExtras& extras) {
  Impl& w = *impl_;
  if (keys::modifierFlag(keycode)) {
    if (keycode == keys::kCapsLock) return;  // Caps Lock changes state on the press only
    w.heldModifiers[keycode] = false;
    deliverLocal(w, w.userKeyEvent(platform::kCGEventFlagsChanged, keycode, false), true, extras);
    return;
  }
  deliverLocal(w, w.userKeyEvent(platform::kCGEventKeyUp, keycode, false), true, extras);
}

void World::flagsChanged(uint16_t keycode, EventFlags flags, const KeyEventExtras& extras) {
  Event event = impl_->userKeyEvent(platform::kCGEventFlagsChanged, keycode, false);
  event->flags = flags;
  deliverLocal(*impl_, std::move(event), true, extras);
}

void World::pressKey(uint16_t keycode) {
  keyDown(keycode);
  keyUp(keycode);
}

bool World::typeOnKeys(const std::u16string& text) {
  const std::string layout = impl_->layout();
  std::vector<std::pair<uint16_t, bool>> strokes;
  for (char16_t ch : text) {
    const auto key = keys::keyFor(layout, ch);
    if (!key) return false;
    strokes.push_back(*key);
  }
  for (const auto& [keycode, shift] : strokes) {
    if (shift) keyDown(keys::kShift);
    pressKey(keycode);
    if (shift) keyUp(keys::kShift);
  }
  return true;
}

void World::click(EventType downType, std::optional<int64_t> userData) {
  EventType upType = downType;
  if (downType == platform::kCGEventLeftMouseDown) upType = platform::kCGEventLeftMouseUp;
  if (downType == platform::kCGEventRightMouseDown) upType = platform::kCGEventRightMouseUp;
  if (downType == platform::kCGEventOtherMouseDown) upType = platform::kCGEventOtherMouseUp;
  for (EventType type : {downType, upType}) {
    auto event = std::make_shared<EventObject>();
    event->type = type;
    event->flags = impl_->heldFlags();
    deliverLocal(*impl_, std::move(event), false, KeyEventExtras{userData, std::nullopt});
  }
}

void World::setSecureInput(bool on) {
  impl_->secureInput = on;
}

bool World::secureInput() const {
  return impl_->secureInput;
}

EventFlags World::heldFlags() const {
  return impl_->heldFlags();
}

void World::disableTapsByTimeout() {
  impl_->disableTaps(platform::kCGEventTapDisabledByTimeout);
}

void World::disableTapsByUserInput() {
  impl_->disableTaps(platform::kCGEventTapDisabledByUserInput);
}

void World::Impl::disableTaps(EventType reason) {
  for (const auto& weak : taps) {
    const std::shared_ptr<TapState> tap = weak.lock();
    if (!tap || !tap->enabled) continue;
    tap->enabled = false;
    callTapLater(weak, reason);
  }
}

void World::setTapTimeout(Micros limit) {
  impl_->tapTimeout = std::max<Micros>(limit, 0);
}

Micros World::tapTimeout() const {
  return impl_->tapTimeout;
}

void World::sleepMachine(SleepEffect effect) {
  impl_->killTaps(effect);
}

void World::lockScreen(std::optional<SleepEffect> tapsDie) {
  impl_->screenLocked = true;
  impl_->postDistributed(std::string(kScreenLockedNotification));
  if (tapsDie) impl_->killTaps(*tapsDie);
}

void World::unlockScreen() {
  impl_->screenLocked = false;
  impl_->postDistributed(std::string(kScreenUnlockedNotification));
}

bool World::screenLocked() const {
  return impl_->screenLocked;
}

void World::Impl::killTaps(SleepEffect effect) {
  Impl& w = *this;
  for (const auto& weak : w.taps) {
    const std::shared_ptr<TapState> tap = weak.lock();
    if (!tap) continue;
    tap->enabled = false;
    if (effect == SleepEffect::kInvalidatePorts) tap->valid = false;
  }
  letGoOfStoppedTap();
  if (effect != SleepEffect::kInvalidatePorts) return;
  // An invalid port's run-loop source leaves every run loop; a thread's loop left with no source
  // returns from CFRunLoopRun, and its thread ends.
  std::erase_if(w.loopSources, [](const Impl::LoopSource& ls) {
    const std::shared_ptr<TapState> tap = ls.source->tap.lock();
    return !tap || !tap->valid;
  });
  for (const auto& weak : w.threads) {
    const platform::Thread thread = weak.lock();
    if (!thread || !thread->loop->running) continue;
    const bool hasSource = std::any_of(w.loopSources.begin(), w.loopSources.end(),
                                       [&](const auto& ls) { return ls.loop == thread->loop; });
    if (!hasSource) {
      thread->loop->running = false;
      thread->loop->stopped = true;
    }
  }
}

void World::wake() {
  impl_->postWorkspace(platform::Workspace::Notification::kDidWake);
}

void World::sessionBecameActive() {
  impl_->postWorkspace(platform::Workspace::Notification::kSessionDidBecomeActive);
}

int World::activeTapCount() const {
  int count = 0;
  for (const auto& weak : impl_->taps) {
    const std::shared_ptr<TapState> tap = weak.lock();
    if (tap && tap->enabled && impl_->tapDelivers(*tap)) ++count;
  }
  return count;
}

int World::tapCount() const {
  return static_cast<int>(std::count_if(impl_->taps.begin(), impl_->taps.end(),
                                        [](const auto& t) { return !t.expired(); }));
}

std::vector<TapInfo> World::taps() const {
  std::vector<TapInfo> out;
  for (const auto& weak : impl_->taps) {
    const std::shared_ptr<TapState> tap = weak.lock();
    if (!tap) continue;
    const platform::RunLoop loop = impl_->tapLoop(*tap);
    platform::QosClass qos = 0;
    for (const auto& weakThread : impl_->threads) {
      const platform::Thread thread = weakThread.lock();
      if (loop && !loop->isMain && thread && thread->loop == loop) qos = thread->qos;
    }
    out.push_back({tap->location, tap->placement, tap->options, tap->mask, tap->enabled,
                   loop && loop->isMain, loop && !loop->isMain, qos});
  }
  return out;
}

int World::tapThreadCount() const {
  return static_cast<int>(std::count_if(impl_->threads.begin(), impl_->threads.end(), [](auto& t) {
    const platform::Thread thread = t.lock();
    return thread && thread->loop->running;
  }));
}

std::vector<PostedEvent> World::takePosted() {
  Impl& w = *impl_;
  const int64_t first =
      std::max(w.postedTaken, w.postedTotal - static_cast<int64_t>(w.posted.size()));
  w.postedTaken = w.postedTotal;
  const auto skip =
      static_cast<size_t>(first - (w.postedTotal - static_cast<int64_t>(w.posted.size())));
  return std::vector<PostedEvent>(w.posted.begin() + static_cast<std::ptrdiff_t>(skip),
                                  w.posted.end());
}

int64_t World::postedTotal() const {
  return impl_->postedTotal;
}

// ---- The Events service -------------------------------------------------------------------

platform::MachPort SimEvents::tapCreate(platform::TapLocation location,
                                        platform::TapPlacement placement,
                                        platform::TapOptions options, uint64_t eventsOfInterest,
                                        platform::TapCallback callback, void* userInfo) {
  // Also from the tap's thread, which makes a tap to test the grant.
  if (w_.faults.tapCreateFails || !w_.tapPermitted(options) || !callback) return nullptr;
  std::erase_if(w_.taps, [](const auto& t) { return t.expired(); });
  auto tap = std::make_shared<TapState>();
  tap->location = location;
  tap->placement = placement;
  tap->options = options;
  tap->mask = eventsOfInterest;
  tap->callback = callback;
  tap->userInfo = userInfo;
  w_.taps.push_back(tap);
  return std::make_shared<platform::MachPortObject>(std::move(tap));
}

void SimEvents::tapEnable(const platform::MachPort& tap, bool enable) {
  if (!tap || !tap->tap || !tap->tap->valid) return;
  // Re-arms show in the trace: re-arming an unserviced tap holds the session again.
  if (enable && !tap->tap->enabled) w_.note("tap", "switched on by the host");
  tap->tap->enabled = enable;
  if (!enable) w_.letGoOfStoppedTap();
}

bool SimEvents::tapIsEnabled(const platform::MachPort& tap) {
  return tap && tap->tap && tap->tap->valid && tap->tap->enabled;
}

bool SimEvents::machPortIsValid(const platform::MachPort& tap) {
  return tap && tap->tap && tap->tap->valid;
}

platform::RunLoopSource SimEvents::createRunLoopSource(const platform::MachPort& tap) {
  w_.requireMainThread("createRunLoopSource");
  if (w_.faults.runLoopSourceFails || !tap || !tap->tap) return nullptr;
  return std::make_shared<platform::RunLoopSourceObject>(platform::RunLoopSourceObject{tap->tap});
}

// ---- Run loops and threads ----------------------------------------------------------------

platform::RunLoop SimEvents::mainRunLoop() {
  return w_.mainRunLoop;
}

platform::RunLoop SimEvents::currentRunLoop() {
  return w_.currentLoop;
}

void SimEvents::addSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) {
  if (!loop || !source) return;
  // The run loop keeps its sources; one whose tap is gone stays but delivers nothing.
  const bool present = std::any_of(w_.loopSources.begin(), w_.loopSources.end(), [&](auto& ls) {
    return ls.loop == loop && ls.source == source;
  });
  if (!present) w_.loopSources.push_back({loop, source});
}

void SimEvents::removeSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) {
  std::erase_if(w_.loopSources, [&](const World::Impl::LoopSource& ls) {
    return ls.loop == loop && ls.source == source;
  });
  w_.letGoOfStoppedTap();
}

void SimEvents::runCurrentRunLoop() {
  const platform::RunLoop& loop = w_.currentLoop;
  if (loop->isMain || loop->stopped) return;
  // A loop with no source returns at once, as CFRunLoopRun does.
  const bool hasSource = std::any_of(w_.loopSources.begin(), w_.loopSources.end(),
                                     [&](const auto& ls) { return ls.loop == loop; });
  loop->running = hasSource;
  loop->stopped = !hasSource;
}

void SimEvents::stopRunLoop(const platform::RunLoop& loop) {
  // Like CFRunLoopStop, it stops a loop that runs; one not yet running is not affected.
  if (!loop || loop->isMain || !loop->running) return;
  loop->running = false;
  loop->stopped = true;
  w_.letGoOfStoppedTap();
}

void SimEvents::performBlock(const platform::RunLoop& loop, std::function<void()> block) {
  if (!loop || !block) return;
  if (loop->isMain) {
    w_.enqueue(w_.now, std::move(block));
    return;
  }
  w_.enqueueSystem(w_.now, [this, loop, block = std::move(block)] {
    if (loop->running) w_.onLoop(loop, block);
  });
}

platform::Thread SimEvents::startThread(std::function<void()> body) {
  auto thread = std::make_shared<platform::ThreadObject>();
  thread->loop = std::make_shared<platform::RunLoopObject>();
  std::erase_if(w_.threads, [](const auto& t) { return t.expired(); });
  w_.threads.push_back(thread);
  if (body) w_.onLoop(thread->loop, body);
  return thread;
}

void SimEvents::joinThread(const platform::Thread& thread) {
  if (!thread) return;
  if (thread->joined || !w_.runsOnMain()) {
    channel::reportProgrammingError(thread->joined ? "a thread was joined twice"
                                                   : "a thread was joined from another thread");
    return;
  }
  // Joining blocks the main thread; the thread may be about to stop its own loop.
  w_.blockMain(0);
  if (thread->loop->running) {
    channel::reportProgrammingError("a thread was joined while its run loop still runs");
    return;
  }
  thread->joined = true;
}

int SimEvents::setThreadQosClassSelf(platform::QosClass qos) {
  for (const auto& weak : w_.threads) {
    const platform::Thread thread = weak.lock();
    if (thread && thread->loop == w_.currentLoop) thread->qos = qos;
  }
  return 0;  // the main thread keeps its own class
}

int64_t SimEvents::integerValueField(EventObject& event, platform::EventField field) {
  switch (field) {
    case platform::kCGKeyboardEventAutorepeat:
      return event.autorepeat ? 1 : 0;
    case platform::kCGKeyboardEventKeycode:
      return event.keycode;
    case platform::kCGEventSourceUserData:
      return event.userData;
    default:
      return 0;
  }
}

EventFlags SimEvents::flags(EventObject& event) {
  return event.flags;
}

void SimEvents::keyboardGetUnicodeString(EventObject& event, size_t maxLength, size_t& actualLength,
                                         char16_t* buffer) {
  w_.translatesKeys("keyboardGetUnicodeString");
  // Reports the full length even when the buffer is shorter: callers must clamp.
  const size_t copied = buffer ? std::min(maxLength, event.unicode.size()) : 0;
  std::copy_n(event.unicode.begin(), copied, buffer);
  actualLength = event.unicode.size();
}

platform::EventSource SimEvents::createSource(platform::EventSourceStateID state) {
  w_.requireMainThread("createSource");
  if (w_.faults.eventSourceFails) return nullptr;
  auto source = std::make_shared<platform::EventSourceObject>();
  source->state = state;
  if (w_.localEventsSuppression) source->filters = {0, 0};
  return source;
}

void SimEvents::sourceSetLocalEventsSuppressionInterval(const platform::EventSource& source,
                                                        double seconds) {
  w_.requireMainThread("sourceSetLocalEventsSuppressionInterval");
  // The documented range is 0 to 10 seconds.
  if (source && seconds >= 0 && seconds <= 10) source->suppressionInterval = seconds;
}

double SimEvents::sourceLocalEventsSuppressionInterval(const platform::EventSource& source) {
  w_.requireMainThread("sourceLocalEventsSuppressionInterval");
  return source ? source->suppressionInterval : 0;
}

void SimEvents::sourceSetLocalEventsFilterDuringSuppressionState(
    const platform::EventSource& source, platform::EventFilterMask filter,
    platform::EventSuppressionState state) {
  w_.requireMainThread("sourceSetLocalEventsFilterDuringSuppressionState");
  if (source && state < source->filters.size()) source->filters[state] = filter;
}

platform::EventFilterMask SimEvents::sourceLocalEventsFilterDuringSuppressionState(
    const platform::EventSource& source, platform::EventSuppressionState state) {
  w_.requireMainThread("sourceLocalEventsFilterDuringSuppressionState");
  return source && state < source->filters.size() ? source->filters[state] : 0;
}

void SimEvents::sourceSetUserData(const platform::EventSource& source, int64_t userData) {
  w_.requireMainThread("sourceSetUserData");
  if (source) source->userData = userData;
}

Event SimEvents::createKeyboardEvent(const platform::EventSource& source, uint16_t keycode,
                                     bool keyDown) {
  w_.requireMainThread("createKeyboardEvent");
  w_.translatesKeys("createKeyboardEvent");
  const int64_t index = w_.keyboardEventCalls++;
  if (w_.faults.allKeyboardEventsFail || w_.faults.keyboardEventFailures.contains(index)) {
    return nullptr;
  }
  auto event = std::make_shared<EventObject>();
  event->type = keyDown ? platform::kCGEventKeyDown : platform::kCGEventKeyUp;
  event->keycode = keycode;
  // The key's own characters under the current layout, until a string replaces them.
  event->unicode = keys::characters(w_.layout(), keycode, false, false);
  event->userData = source ? source->userData : 0;
  event->hadSource = source != nullptr;
  event->source = source;
  return event;
}

void SimEvents::setFlags(const Event& event, EventFlags flags) {
  w_.requireMainThread("setFlags");
  if (event) event->flags = flags;
}

void SimEvents::keyboardSetUnicodeString(const Event& event, size_t length, const char16_t* units) {
  w_.requireMainThread("keyboardSetUnicodeString");
  if (!event) return;
  const size_t kept = units ? std::min(length, kMaxEventUnicode) : 0;
  event->unicode.assign(units ? units : u"", kept);
  event->unicodeSet = true;
}

void SimEvents::post(platform::TapLocation location, const Event& event) {
  w_.requireMainThread("post");
  if (!event) return;
  w_.posted.push_back(PostedEvent{event->type, event->keycode, event->flags,
                                  event->unicodeSet ? event->unicode : std::u16string(),
                                  event->userData, location, event->hadSource, w_.now,
                                  std::nullopt});
  if (w_.posted.size() > World::kPostedWindow) w_.posted.pop_front();
  w_.note("post", describePosted(location, *event));
  if (const auto source = event->source.lock(); source && source->suppressionInterval > 0) {
    w_.suppressLocalUntil = w_.now + secondsToMicros(source->suppressionInterval);
    w_.suppressionPermits = source->filters[platform::kCGEventSuppressionStateSuppressionInterval];
  }
  // The system takes the event as it is now; later changes by the poster do not travel with it.
  auto copy = std::make_shared<EventObject>(*event);
  copy->postedIndex = w_.postedTotal++;
  w_.queueDelivery(std::move(copy));
}

bool SimEvents::preflightListenEventAccess() {
  return w_.listenAccess;
}

bool SimEvents::requestListenEventAccess() {
  w_.requireMainThread("requestListenEventAccess");
  ++w_.listenRequests;
  const bool granted = w_.listenAccess;
  w_.promptShown(World::Impl::Permission::kListen);
  return granted;
}

bool SimEvents::preflightPostEventAccess() {
  w_.requireMainThread("preflightPostEventAccess");
  return w_.postAccess;
}

bool SimEvents::requestPostEventAccess() {
  w_.requireMainThread("requestPostEventAccess");
  ++w_.postRequests;
  const bool granted = w_.postAccess;
  w_.promptShown(World::Impl::Permission::kPost);
  return granted;
}

bool SimEvents::isSecureEventInputEnabled() {
  w_.requireMainThread("isSecureEventInputEnabled");
  return w_.secureInput;
}

}  // namespace sim

namespace platform {

MachPortObject::~MachPortObject() {
  if (tap && tap->inCallback > 0) {
    channel::reportProgrammingError("a tap's port was released inside its own callback");
  }
}

}  // namespace platform
