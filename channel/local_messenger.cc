#include "channel/local_messenger.h"

#include <utility>

#include "channel/programming_error.h"

namespace channel {

void LocalMessenger::send(const std::string& channel, std::span<const uint8_t> message,
                          Reply reply) {
  if (outgoing_) outgoing_(channel, message);
  if (reply) reply({});
}

void LocalMessenger::setMessageHandler(const std::string& channel, MessageHandler handler) {
  if (handler) {
    handlers_[channel] = std::make_shared<const MessageHandler>(std::move(handler));
  } else {
    handlers_.erase(channel);
  }
}

bool LocalMessenger::hasHandler(const std::string& channel) const {
  return handlers_.find(channel) != handlers_.end();
}

void LocalMessenger::deliver(const std::string& channel, std::span<const uint8_t> message,
                             Reply reply) {
  const auto it = handlers_.find(channel);
  if (it == handlers_.end()) {
    if (reply) reply({});
    return;
  }
  // Held for the call: the handler may replace itself while it runs.
  const std::shared_ptr<const MessageHandler> handler = it->second;
  auto once = [replied = std::make_shared<bool>(false), reply = std::move(reply),
               channel](std::span<const uint8_t> bytes) {
    if (*replied) {
      reportProgrammingError("second reply to one message on \"" + channel + "\" ignored");
      return;
    }
    *replied = true;
    if (reply) reply(bytes);
  };
  (*handler)(message, std::move(once));
}

std::optional<std::vector<uint8_t>> LocalMessenger::deliver(const std::string& channel,
                                                            std::span<const uint8_t> message) {
  // The handler may keep the reply and answer after we returned; by then nobody waits for
  // it here, so the shared slot is simply dropped.
  auto slot = std::make_shared<std::optional<std::vector<uint8_t>>>();
  deliver(channel, message,
          [slot](std::span<const uint8_t> bytes) { slot->emplace(bytes.begin(), bytes.end()); });
  return std::move(*slot);
}

}  // namespace channel
