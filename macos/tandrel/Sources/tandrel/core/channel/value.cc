// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../channel/value.cc"
