// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/permissions/permission_gate.cc"
