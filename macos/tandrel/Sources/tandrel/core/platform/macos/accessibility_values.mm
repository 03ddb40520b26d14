// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../platform/macos/accessibility_values.mm"
