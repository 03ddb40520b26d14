// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../channel/programming_error.cc"
