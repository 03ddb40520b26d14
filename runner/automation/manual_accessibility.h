#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "platform/platform.h"

namespace tandrel {

// The two switches that make Chromium-based applications build their pages' accessibility tree,
// without which no text field of a page can be found: Electron's "AXManualAccessibility", and the
// "AXEnhancedUserInterface" that Chrome answers. Both act late (the tree is built asynchronously,
// and Chrome and Electron 37 wait until 2 s pass without another change), and both cost something
// each time (every manual set tells Electron's windows that a screen reader came; the enhanced
// interface slows window moves and animations). So each is read before it is set, set once per
// process, and the enhanced interface goes off only where the host itself switched it on.
//
// One instance per platform serves the key stream (which switches early, when an application comes
// to the front) and the focused-text lookups, so that both know what was already done.
class AccessibilitySwitches : public std::enable_shared_from_this<AccessibilitySwitches> {
 public:
  // An application that the host switched the enhanced interface on for and that has not been in
  // front since gets it switched off this long after it went to the background.
  static constexpr double kEnhancedOffAfterSeconds = 600;
  // An application that still shows no focused element this long after the host switched its
  // enhanced interface on (Chrome's tree comes 2 s after the switch, then takes its build time)
  // has nothing to gain from it: a native one with nothing focused. It gets it switched off, and
  // never on again.
  static constexpr double kEnhancedCheckAfterSeconds = 5;

  // The platform's instance, made on first use; it lives as long as someone holds it.
  static std::shared_ptr<AccessibilitySwitches> of(platform::Platform& platform);

  explicit AccessibilitySwitches(platform::Platform& platform) : platform_(platform) {}
  AccessibilitySwitches(const AccessibilitySwitches&) = delete;
  AccessibilitySwitches& operator=(const AccessibilitySwitches&) = delete;

  // The application came to the front: its tree is switched on ahead of the first lookup, and the
  // enhanced interface of those the host switched it on for is switched off once they stayed in
  // the background for kEnhancedOffAfterSeconds.
  void activated(int32_t processIdentifier);
  // A lookup is about to ask the application for its focused element.
  void prepare(int32_t processIdentifier);
  // The lookup found no focused element there. An application that refused the manual switch and
  // does not list it (Chrome) gets the enhanced interface, whose tree comes only after the lookup.
  void focusedElementMissing(int32_t processIdentifier);

  // Sets "AXManualAccessibility" to true unless it reads true already; once per process (Electron
  // up to 24 answers "unsupported" to both the read and the set, and honours it all the same). The
  // host itself is never asked: its own main thread, busy with this call, would have to answer.
  void enableManualAccessibility(int32_t processIdentifier);

 private:
  struct App {
    bool manualDone = false;       // read true, or set once
    bool manualRefused = false;    // the set answered "unsupported"
    bool listsManual = false;      // it takes the manual switch (Electron): never the other
    bool needsEnhanced = false;    // a lookup found no field without the enhanced interface
    bool enhancedByHost = false;   // on because the host switched it on
    bool enhancedUseless = false;  // it showed no field with it either
    uint64_t activations = 0;      // a later activation cancels a pending switch-off
  };

  void enableEnhancedUserInterface(int32_t processIdentifier, App& app);
  void switchOffIfStillAway(int32_t processIdentifier, uint64_t activations);
  void switchOffIfUseless(int32_t processIdentifier);
  // Switches it off where the host switched it on and it still reads on.
  void disableEnhancedUserInterface(std::map<int32_t, App>::iterator app);

  platform::Platform& platform_;
  std::map<int32_t, App> apps_;   // by process identifier
  std::optional<int32_t> front_;  // the last one reported in front
};

}  // namespace tandrel
