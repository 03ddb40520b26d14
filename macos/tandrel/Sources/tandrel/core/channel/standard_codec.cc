// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../channel/standard_codec.cc"
