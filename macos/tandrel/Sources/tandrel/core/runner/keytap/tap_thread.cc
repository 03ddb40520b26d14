// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/keytap/tap_thread.cc"
