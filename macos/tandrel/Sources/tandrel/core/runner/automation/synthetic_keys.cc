// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/automation/synthetic_keys.cc"
