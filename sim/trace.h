#pragma once
// The services as the host reaches them through World: each call the trace shows is noted on
// the way.

#include <optional>
#include <string>

#include "sim/accessibility.h"
#include "sim/events.h"
#include "sim/input_sources.h"
#include "sim/pasteboard.h"

namespace sim {

// The services the host reaches through World: the simulated ones, with each call the trace
// shows (accessibility reads and writes, pasteboard writes, input-source selections) noted on
// the way. The simulation itself calls the services directly, untraced.
class TracingAccessibility final : public platform::Accessibility {
 public:
  TracingAccessibility(World::Impl& w, platform::Accessibility& inner) : w_(w), inner_(inner) {}
  bool isProcessTrusted() override;
  bool isProcessTrustedWithOptions(bool prompt) override;
  platform::AXElement createApplication(int32_t pid) override;
  platform::AXElement createSystemWide() override;
  platform::AXError copyAttributeValue(const platform::AXElement& element,
                                       std::string_view attribute,
                                       platform::AXAttributeValue& value) override;
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::AXAttributeValue& value) override;
  platform::AXError isAttributeSettable(const platform::AXElement& element,
                                        std::string_view attribute, bool& settable) override;
  std::optional<platform::AXValueBox> createRangeValue(platform::AXRange range) override;

  platform::AXError setMessagingTimeout(const platform::AXElement& element,
                                        float timeoutInSeconds) override {
    return inner_.setMessagingTimeout(element, timeoutInSeconds);
  }
  platform::AXError getPid(const platform::AXElement& element, int32_t& pid) override {
    return inner_.getPid(element, pid);
  }

 private:
  World::Impl& w_;
  platform::Accessibility& inner_;
};

class TracingPasteboard final : public platform::Pasteboard {
 public:
  TracingPasteboard(World::Impl& w, platform::Pasteboard& inner) : w_(w), inner_(inner) {}
  int64_t changeCount() override;
  int64_t accessBehavior() override { return inner_.accessBehavior(); }
  int64_t clearContents() override;
  std::optional<std::string> stringForType(std::string_view type) override;
  bool setStringForType(std::string_view text, std::string_view type) override;
  std::optional<std::vector<platform::PasteboardItem>> pasteboardItems() override;
  bool writeObjects(const std::vector<platform::PasteboardItem>& items) override;
  platform::PasteboardItem createItem() override;
  std::vector<std::string> types(const platform::PasteboardItem& item) override;
  std::optional<platform::SharedBytes> dataForType(const platform::PasteboardItem& item,
                                                   std::string_view type) override;
  bool setDataForType(const platform::PasteboardItem& item, platform::SharedBytes data,
                      std::string_view type) override;

 private:
  World::Impl& w_;
  platform::Pasteboard& inner_;
};

class TracingInputSources final : public platform::InputSources {
 public:
  TracingInputSources(World::Impl& w, platform::InputSources& inner) : w_(w), inner_(inner) {}
  std::optional<std::vector<platform::InputSource>> createInputSourceList(
      const platform::InputSourceFilter& filter, bool includeAllInstalled) override;
  std::optional<std::vector<std::optional<std::string>>> languages(
      const platform::InputSource& source) override;
  std::optional<std::string> sourceID(const platform::InputSource& source) override;
  int32_t select(const platform::InputSource& source) override;

  // Reads change nothing: no entry in the trace.
  std::optional<std::string> sourceType(const platform::InputSource& source) override {
    return inner_.sourceType(source);
  }
  platform::InputSource copyCurrentKeyboardInputSource() override {
    return inner_.copyCurrentKeyboardInputSource();
  }
  platform::InputSource copyCurrentKeyboardLayoutInputSource() override {
    return inner_.copyCurrentKeyboardLayoutInputSource();
  }
  platform::InputSource copyCurrentASCIICapableKeyboardLayoutInputSource() override {
    return inner_.copyCurrentASCIICapableKeyboardLayoutInputSource();
  }
  platform::KeyLayoutData unicodeKeyLayoutData(const platform::InputSource& source) override {
    return inner_.unicodeKeyLayoutData(source);
  }
  uint32_t keyboardType() override { return inner_.keyboardType(); }
  platform::KeyTranslation keyTranslate(const platform::KeyLayoutData& layout,
                                        uint16_t virtualKeyCode, uint16_t keyAction,
                                        uint32_t modifierKeyState, uint32_t keyboardType,
                                        uint32_t keyTranslateOptions) override {
    return inner_.keyTranslate(layout, virtualKeyCode, keyAction, modifierKeyState, keyboardType,
                               keyTranslateOptions);
  }

 private:
  World::Impl& w_;
  platform::InputSources& inner_;
};

// The trace's words for a posted event.
std::string describePosted(platform::TapLocation location, const platform::EventObject& event);
// The trace's words for a key press of the user (or another device) reaching application `pid`.
std::string describeUserKey(const platform::EventObject& event, std::optional<int32_t> pid);

}  // namespace sim
