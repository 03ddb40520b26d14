import Cocoa
import FlutterMacOS

class MainFlutterWindow: NSWindow {
  override func awakeFromNib() {
    let flutterViewController = FlutterViewController()
    // Installing the view controller resizes the window to the Flutter view; the frame from the
    // interface file is put back.
    let windowFrame = self.frame
    self.contentViewController = flutterViewController
    self.setFrame(windowFrame, display: true)

    // Every plug-in, tandrel's channels among them, is registered before the window is hidden
    // and before the run loop runs.
    RegisterGeneratedPlugins(registry: flutterViewController)

    super.awakeFromNib()
    // The app starts hidden: the Flutter side shows the window when it needs it.
    self.orderOut(nil)
  }

  // Every way of closing the window only hides it: the Flutter view and its engine stay alive.
  override func close() {
    orderOut(nil)
  }
}
