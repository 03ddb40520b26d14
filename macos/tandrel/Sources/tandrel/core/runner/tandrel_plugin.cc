// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../runner/tandrel_plugin.cc"
