// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/automation/manual_accessibility.cc"
