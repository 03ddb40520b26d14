#include "runner/permissions/listening_activity.h"

namespace tandrel {

void ListeningActivity::begin() {
  if (activity_) return;
  activity_ =
      processInfo_.beginActivity(kOptions, "Watching the keyboard and the permission it needs");
}

void ListeningActivity::end() {
  if (!activity_) return;
  processInfo_.endActivity(activity_);
  activity_.reset();
}

}  // namespace tandrel
