// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../platform/macos/input_sources.mm"
