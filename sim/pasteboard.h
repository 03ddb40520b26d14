#pragma once
// The simulated general pasteboard.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/world.h"

namespace platform {

struct PasteboardItemObject {
  // Detached: built with createItem and not yet written; the data lives here. Attached: the
  // pasteboard's item at `index`, valid only while the pasteboard's change count is `generation`.
  bool detached = true;
  sim::PasteboardItemState state;
  int64_t generation = 0;
  size_t index = 0;
};

}  // namespace platform

namespace sim {

class SimPasteboard final : public platform::Pasteboard {
 public:
  explicit SimPasteboard(World::Impl& w) : w_(w) {}
  int64_t changeCount() override;
  int64_t accessBehavior() override;
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
  // The item's state, or nullptr when the handle no longer refers to a live item.
  PasteboardItemState* resolve(const platform::PasteboardItem& item);
  // The next write of Faults::pasteboardWritesDuringRead, if any.
  // Another application writes the next of `pending` (if any) as one plain-text item.
  void writeByAnotherApplication(std::vector<std::string>& pending);
  World::Impl& w_;
};

}  // namespace sim
