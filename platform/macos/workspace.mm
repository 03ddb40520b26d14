#include "platform/workspace.h"

#import <AppKit/AppKit.h>

#include "platform/macos/conversions.h"
#include "platform/macos/guard.h"
#include "platform/macos/services.h"

// The observer object of a selector-based registration: its selector calls the block.
@interface TandrelNotificationObserver : NSObject
- (instancetype)initWithBlock:(void (^)(void))block;
- (void)notificationArrived:(NSNotification*)notification;
@end

@implementation TandrelNotificationObserver {
  void (^block_)(void);
}
- (instancetype)initWithBlock:(void (^)(void))block {
  self = [super init];
  if (self) block_ = block;
  return self;
}
- (void)notificationArrived:(NSNotification*)notification {
  block_();
}
@end

namespace platform {

// The token -addObserverForName:object:queue:usingBlock: returned, or the observer object of a
// selector-based registration. The center keeps the observer until -removeObserver: is given it.
struct ObserverObject {
  id token;
};

}  // namespace platform

namespace platform::macos {
namespace {

RunningApplication toRunningApplication(NSRunningApplication* application) {
  RunningApplication plain;
  plain.processIdentifier = static_cast<int32_t>(application.processIdentifier);
  plain.bundleIdentifier = toOptionalUtf8(application.bundleIdentifier);
  plain.localizedName = toOptionalUtf8(application.localizedName);
  return plain;
}

ObserverToken wrap(id token) {
  return std::make_shared<ObserverObject>(ObserverObject{token});
}

class MacWorkspace final : public Workspace {
 public:
  std::optional<RunningApplication> frontmostApplication() override {
    assertMainThread();
    return orOnException<std::optional<RunningApplication>>(
        std::nullopt, []() -> std::optional<RunningApplication> {
          NSRunningApplication* application = [NSWorkspace sharedWorkspace].frontmostApplication;
          if (application == nil) return std::nullopt;
          return toRunningApplication(application);
        });
  }

  std::vector<RunningApplication> runningApplications() override {
    assertMainThread();
    return orOnException<std::vector<RunningApplication>>({}, [] {
      std::vector<RunningApplication> applications;
      for (NSRunningApplication* application in [NSWorkspace sharedWorkspace].runningApplications) {
        applications.push_back(toRunningApplication(application));
      }
      return applications;
    });
  }

  // A text that is no URL gives a nil NSURL, which -openURL: does not take: it fails as an
  // unopenable URL would.
  bool openURL(std::string_view url) override {
    assertMainThread();
    return orOnException(false, [&] {
      NSURL* target = [NSURL URLWithString:toNSString(url)];
      if (target == nil) return false;
      return static_cast<bool>([[NSWorkspace sharedWorkspace] openURL:target]);
    });
  }

  ObserverToken addDidActivateApplicationObserver(ActivationBlock block) override {
    assertMainThread();
    NSNotificationCenter* center = [NSWorkspace sharedWorkspace].notificationCenter;
    return orOnException<ObserverToken>(nullptr, [&] {
      return wrap([center addObserverForName:NSWorkspaceDidActivateApplicationNotification
                                      object:nil
                                       queue:[NSOperationQueue mainQueue]
                                  usingBlock:^(NSNotification* note) {
                                    id application =
                                        [note.userInfo objectForKey:NSWorkspaceApplicationKey];
                                    if ([application isKindOfClass:[NSRunningApplication class]]) {
                                      block(toRunningApplication(application));
                                    } else {
                                      block(std::nullopt);
                                    }
                                  }]);
    });
  }

  ObserverToken addObserver(Notification name, std::function<void()> block) override {
    assertMainThread();
    NSNotificationCenter* center = [NSWorkspace sharedWorkspace].notificationCenter;
    NSNotificationName notification = name == Notification::kDidWake
                                          ? NSWorkspaceDidWakeNotification
                                          : NSWorkspaceSessionDidBecomeActiveNotification;
    return orOnException<ObserverToken>(nullptr, [&] {
      return wrap([center addObserverForName:notification
                                      object:nil
                                       queue:[NSOperationQueue mainQueue]
                                  usingBlock:^(NSNotification*) {
                                    block();
                                  }]);
    });
  }

  void removeObserver(const ObserverToken& token) override {
    assertMainThread();
    if (!token) return;
    ignoringException(
        [&] { [[NSWorkspace sharedWorkspace].notificationCenter removeObserver:token->token]; });
  }
};

class MacDistributedNotifications final : public DistributedNotifications {
 public:
  ObserverToken addObserver(std::string_view name, SuspensionBehavior behavior,
                            std::function<void()> block) override {
    assertMainThread();
    TandrelNotificationObserver* observer = [[TandrelNotificationObserver alloc] initWithBlock:^{
      block();
    }];
    const bool added = orOnException(false, [&] {
      [[NSDistributedNotificationCenter defaultCenter]
                 addObserver:observer
                    selector:@selector(notificationArrived:)
                        name:toNSString(name)
                      object:nil
          suspensionBehavior:static_cast<NSNotificationSuspensionBehavior>(behavior)];
      return true;
    });
    return added ? wrap(observer) : nullptr;
  }

  void removeObserver(const ObserverToken& token) override {
    assertMainThread();
    if (!token) return;
    ignoringException(
        [&] { [[NSDistributedNotificationCenter defaultCenter] removeObserver:token->token]; });
  }
};

}  // namespace

std::unique_ptr<Workspace> makeWorkspace() {
  return std::make_unique<MacWorkspace>();
}

std::unique_ptr<DistributedNotifications> makeDistributedNotifications() {
  return std::make_unique<MacDistributedNotifications>();
}

}  // namespace platform::macos
