// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/permissions/handle_permissions.cc"
