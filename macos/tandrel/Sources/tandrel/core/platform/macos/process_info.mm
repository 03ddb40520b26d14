// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../platform/macos/process_info.mm"
