// The whole program on a platform that is already open: the main window,
// the install sequence, the outcome, and the exit status.
#pragma once

#include <iosfwd>

#include "platform/Host.h"

// 0 every data source is registered (now or before); 1 some are not, or the
// run stopped before the registrations were done. Errors that end the run
// early are shown and written to errors.
int RunSetup(platform::Host& host, std::ostream& errors);
