#include "sim/app/runner_model.h"

namespace sim::app {

void awakeFromNib(MainWindowHost& host) {
  host.createFlutterViewController();
  // Installing the content view controller resizes the window to the Flutter view; the frame
  // from the interface file is put back so the window keeps its designed size and place.
  const Frame windowFrame = host.frame();
  host.setContentViewController();
  host.setFrame(windowFrame, true);
  host.registerGeneratedPlugins();
  host.superAwakeFromNib();
  host.orderOut();
}

void closeWindow(MainWindowHost& host) {
  host.orderOut();
}

}  // namespace sim::app
