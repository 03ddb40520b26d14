// Event channels: a stream of values from the native side that the Flutter side listens to.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "channel/binary_messenger.h"
#include "channel/standard_codec.h"
#include "channel/value.h"

namespace channel {

class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void success(const Value& event) = 0;
  virtual void error(const ChannelError& e) = 0;
  virtual void endOfStream() = 0;
};

class StreamHandler {
 public:
  virtual ~StreamHandler() = default;
  // Returning an error refuses the stream; the Flutter side sees a stream error.
  virtual std::optional<ChannelError> onListen(const Value& arguments,
                                               std::unique_ptr<EventSink> sink) = 0;
  virtual std::optional<ChannelError> onCancel(const Value& arguments) = 0;
};

class EventChannel {
 public:
  EventChannel(BinaryMessenger& messenger, std::string name);

  // Handles "listen" and "cancel" on the channel's name; stays installed on the messenger
  // after this object is gone. nullptr removes it. A sink only sends while the stream it
  // was handed out for is active, so a stale sink kept past cancel is silent.
  void setStreamHandler(std::shared_ptr<StreamHandler> handler);

  const std::string& name() const { return name_; }

 private:
  BinaryMessenger& messenger_;
  std::string name_;
};

}  // namespace channel
