#import "macos/MainFlutterWindow.h"

#import <FlutterMacOS/FlutterMacOS.h>

#import "macos/GeneratedPluginRegistrant.h"
#include "macos/flutter_messenger_bridge.h"
#include "runner/main_flutter_window.h"

namespace {

// The start-up operations on the real window. The order they run in is the portable core's.
class WindowHost final : public tandrel::MainWindowHost {
 public:
  WindowHost(NSWindow* window, void (^superAwakeFromNib)(void))
      : window_(window), superAwakeFromNib_(superAwakeFromNib) {}

  void createFlutterViewController() override {
    controller_ = [[FlutterViewController alloc] init];
  }

  tandrel::Frame frame() override {
    const NSRect rect = window_.frame;
    return {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
  }

  void setContentViewController() override { window_.contentViewController = controller_; }

  void setFrame(tandrel::Frame frame, bool display) override {
    [window_ setFrame:NSMakeRect(frame.x, frame.y, frame.width, frame.height) display:display];
  }

  void registerGeneratedPlugins() override { RegisterGeneratedPlugins(controller_); }

  channel::BinaryMessenger& engineMessenger() override {
    // The host's channels use it for the rest of the process's life, so it is never freed.
    if (messenger_ == nullptr) {
      messenger_ = new tandrel::macos::FlutterMessengerBridge(controller_.engine.binaryMessenger);
    }
    return *messenger_;
  }

  void superAwakeFromNib() override {
    if (superAwakeFromNib_ != nil) superAwakeFromNib_();
  }

  void orderOut() override { [window_ orderOut:nil]; }

 private:
  NSWindow* window_;
  void (^superAwakeFromNib_)(void);
  FlutterViewController* controller_ = nil;
  tandrel::macos::FlutterMessengerBridge* messenger_ = nullptr;
};

}  // namespace

@implementation MainFlutterWindow

- (void)awakeFromNib {
  WindowHost host(self, ^{
    [super awakeFromNib];
  });
  tandrel::awakeFromNib(host);
}

// Every way of closing the window only hides it; the Flutter view and its engine stay alive.
- (void)close {
  WindowHost host(self, nil);
  tandrel::closeWindow(host);
}

@end
