// A model of the app's Runner for the simulation: the main window's start-up and close, as
// example/macos/Runner/MainFlutterWindow.swift does them on a Mac, kept free of any windowing
// toolkit. tandrel-sim implements MainWindowHost on the simulated macOS and calls awakeFromNib
// once. The real Runner is Swift and belongs to the app; this is not part of the package.
#pragma once

namespace sim::app {

// A window frame in screen points.
struct Frame {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  friend bool operator==(const Frame&, const Frame&) = default;
};

// The operations start-up needs from the window it runs in.
class MainWindowHost {
 public:
  virtual ~MainWindowHost() = default;

  // Creates the Flutter view controller (and with it the engine).
  virtual void createFlutterViewController() = 0;
  virtual Frame frame() = 0;
  // Installs the created view controller as the window's content; may resize the window.
  virtual void setContentViewController() = 0;
  virtual void setFrame(Frame frame, bool display) = 0;
  // Registers the application's plug-ins (this package's channels among them) with the view
  // controller as registry.
  virtual void registerGeneratedPlugins() = 0;
  virtual void superAwakeFromNib() = 0;
  // Takes the window off screen without closing it.
  virtual void orderOut() = 0;
};

// Runs the start-up sequence once: Flutter view, plug-ins (the host channels among them), then
// hides the window. The application runs without a visible window until the Flutter side shows one.
void awakeFromNib(MainWindowHost& host);

// Closing the main window only hides it: the view controller and the engine stay alive, so
// the Flutter side can show the same window again with its state intact.
void closeWindow(MainWindowHost& host);

}  // namespace sim::app
