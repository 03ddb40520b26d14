// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../channel/plugin_registrar.cc"
