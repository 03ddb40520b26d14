#import <Cocoa/Cocoa.h>

// The property list names the main interface file, which creates the main window and makes
// AppDelegate the application's delegate; the command line is the application loop's.
int main(int argc, const char* argv[]) {
  return NSApplicationMain(argc, argv);
}
