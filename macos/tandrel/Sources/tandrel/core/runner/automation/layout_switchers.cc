// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/automation/layout_switchers.cc"
