// Compiled into the Flutter package from its one copy in the repository.
#include "../../../../../../../runner/autostart/handle_autostart.cc"
