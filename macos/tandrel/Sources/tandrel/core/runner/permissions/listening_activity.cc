// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/permissions/listening_activity.cc"
