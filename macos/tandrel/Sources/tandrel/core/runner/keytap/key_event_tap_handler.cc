// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/keytap/key_event_tap_handler.cc"
