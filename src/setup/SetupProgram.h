// The whole program on a platform that is already open: the main window,
// the install sequence, the outcome, and the exit status.
#pragma once

#include <string>

#include "platform/Host.h"

// 0 every data source is registered (now or before); 1 some are not, or the
// run stopped before the registrations were done. Errors that end the run
// early are shown and appended to errors, a line each. (Text rather than a
// stream: a stream would link the C++ stream and locale library into the
// Windows program, most of its size.)
int RunSetup(platform::Host& host, std::string& errors);
