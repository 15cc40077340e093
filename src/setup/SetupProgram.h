// The whole program on a platform that is already open: install, detection,
// verification or removal, with or without windows, the log, and the exit
// status.
#pragma once

#include <string>

#include "platform/Host.h"
#include "setup/CommandLine.h"
#include "setup/RunLog.h"

// Install: 0 every data source is registered (now or before); 1 some are
// not, or the run stopped before the registrations were done. Check: 0
// every data source is there and complete, 1 some are not (appended to out,
// a line each, unless the log echoes them already). Verify: 0 every data
// source can work, 1 some cannot (every one appended to out, with the
// counts, unless the log echoes them). Remove: 0 every data source is
// removed or absent, 1 some were left or failed. 2 when the log
// cannot be written. Errors that end a run early are shown (unless quiet)
// and appended to errors, a line each. (Text rather than streams: a stream
// would link the C++ stream and locale library into the Windows program,
// most of its size.)
int RunSetup(platform::Host& host, const CommandLine& command, RunLog& log, std::string& out,
             std::string& errors);
