// The whole program on a platform that is already open: install, detection
// or removal, with or without windows, the log, and the exit status.
#pragma once

#include <iosfwd>

#include "platform/Host.h"
#include "setup/CommandLine.h"
#include "setup/RunLog.h"

// Install: 0 every data source is registered (now or before); 1 some are
// not, or the run stopped before the registrations were done. Check: 0
// every data source is there and complete, 1 some are not (listed on out
// unless the log echoes there already). Remove: 0 every data source is
// removed or absent, 1 some were left or failed. 2 when the log cannot be
// written. Errors that end a run early are shown (unless quiet) and written
// to errors.
int RunSetup(platform::Host& host, const CommandLine& command, RunLog& log, std::ostream& out,
             std::ostream& errors);

// A run without switches and without a log.
int RunSetup(platform::Host& host, std::ostream& errors);
