// The start of every run, before any registry work: the command line, then
// the rights, the log and the platform, each in the order that lets a
// refusal leave everything as it was.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/Process.h"

// Runs the program with arguments (without its name, in UTF-8) in process
// and returns the exit status. Help goes to out; a command line not
// understood (87), a run that changes the machine (ChangesTheMachine)
// without the rights for it (740, before anything is opened, the log
// included; a check or verification needs none), a log that cannot be
// opened or is refused (2, or 1618 when it stayed in use for all of
// runWait) and a platform that cannot be opened go to errors, a line each;
// the run itself appends as RunSetup does. runWait is how long a run waits
// for the log and for its turn.
int StartSetup(platform::Process& process, const std::vector<std::string>& arguments,
               std::chrono::milliseconds runWait, std::string& out, std::string& errors);
