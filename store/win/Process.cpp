// The ends of the program and its standard handles, as Windows has them.

#include "Session.h"

namespace vesmira {

// A program with windows starts without standard handles and has no numbers
// for a file opened later to take over: nothing to fill in.
bool OpenStandardDescriptors() {
    return true;
}

// No signals: log-off and shutdown come to the program's windows as
// messages, and are handled there.
int CatchEndSignals() {
    return -1;
}

}  // namespace vesmira
