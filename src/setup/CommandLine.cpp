#include "setup/CommandLine.h"

#include <optional>

#include "odbc/MdlODBC.h"

namespace {

enum class Switch { Quiet, Log, Check, Remove, Verify, Help };

struct SwitchName {
  const char* name;
  Switch what;
  bool isLong;
};

constexpr SwitchName kSwitches[] = {
    {"quiet", Switch::Quiet, true},   {"q", Switch::Quiet, false},         {"log", Switch::Log, true},
    {"l", Switch::Log, false},        {"check", Switch::Check, true},      {"remove", Switch::Remove, true},
    {"verify", Switch::Verify, true}, {"uninstall", Switch::Remove, true}, {"x", Switch::Remove, false},
    {"help", Switch::Help, true},     {"h", Switch::Help, false},          {"?", Switch::Help, false},
};

std::optional<Switch> Recognise(const std::string& argument) {
  std::string name;
  bool doubleDash = false;
  if (argument.rfind("--", 0) == 0) {
    name = argument.substr(2);
    doubleDash = true;
  } else if (!argument.empty() && (argument[0] == '/' || argument[0] == '-')) {
    name = argument.substr(1);
  } else {
    return std::nullopt;
  }
  name = LowerCase(name);
  for (const SwitchName& candidate : kSwitches)
    if (name == candidate.name && (!doubleDash || candidate.isLong)) return candidate.what;
  return std::nullopt;
}

CommandLine Invalid(const std::string& why) {
  CommandLine command;
  command.mode = Mode::Invalid;
  command.error = why;
  return command;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine command;
  bool help = false;
  bool modeGiven = false;
  bool logGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const std::optional<Switch> what = Recognise(argument);
    if (!what) return Invalid("unknown argument \"" + argument + "\"");
    switch (*what) {
      case Switch::Quiet:
        command.quiet = true;
        break;
      case Switch::Log:
        if (logGiven) return Invalid("the log file is named twice");
        if (i + 1 >= arguments.size() || arguments[i + 1].empty())
          return Invalid(argument + " needs the name of the log file after it");
        // "/log /check" is a forgotten file name, not a log file called "/check".
        if (Recognise(arguments[i + 1]))
          return Invalid(argument + " needs the name of the log file after it, not the switch " +
                         arguments[i + 1]);
        command.logFile = arguments[++i];
        logGiven = true;
        break;
      case Switch::Check:
      case Switch::Remove:
      case Switch::Verify: {
        const Mode mode = *what == Switch::Check    ? Mode::Check
                          : *what == Switch::Remove ? Mode::Remove
                                                    : Mode::Verify;
        if (modeGiven && command.mode != mode)
          return Invalid("only one of /check, /remove and /verify can be used");
        command.mode = mode;
        modeGiven = true;
        break;
      }
      case Switch::Help:
        help = true;
        break;
    }
  }
  if (help) {
    CommandLine usage;
    usage.mode = Mode::Help;
    return usage;
  }
  return command;
}

std::string UsageText() {
  return "Usage: MarvaneSetup [/quiet] [/log FILE] [/check | /verify | /remove]\n"
         "\n"
         "Registers the ODBC data sources of the Marvane databases on this workstation.\n"
         "\n"
         "  (no switch)            register every data source, with windows and an outcome box\n"
         "  /quiet, /q             no window and no message box; the outcome is the exit\n"
         "                         status and the log\n"
         "  /log FILE, /l FILE     append a plain-text log of the run to FILE\n"
         "  /check                 only look: exit 0 when every data source is registered\n"
         "                         and complete, 1 when any is not (they are listed);\n"
         "                         nothing is written and no window is shown\n"
         "  /verify                only look: can each data source work on this PC, for\n"
         "                         this user? One line each, ok or error: and why (not\n"
         "                         complete, driver file or driver registration missing,\n"
         "                         database file missing or not a regular file, a share\n"
         "                         or drive not answering within 5 s in all); exit 0\n"
         "                         when all are ok, 1 when any is not\n"
         "  /remove, /uninstall, /x\n"
         "                         remove the data sources this program registers; one\n"
         "                         changed by hand is left as it is and reported\n"
         "  /?, /h, /help          this text\n"
         "\n"
         "Switches may start with / or -, the long ones also with --; case does not matter.\n"
         "\n"
         "Exit status:\n"
         "  0   done: every data source is registered (or, with /remove, removed or absent)\n"
         "  1   not done: some data sources failed, are missing, were left or (/verify)\n"
         "      cannot work; see the log\n"
         "  2   the machine registry or the log file could not be opened; nothing was changed\n"
         "  87  the command line was not understood; nothing was opened or changed\n"
         "  740 installing or removing needs administrator rights; nothing was changed\n"
         "  1618 another run kept this machine for 60 seconds; nothing was changed\n"
         "\n"
         "Examples:\n"
         "  MarvaneSetup /quiet /log C:\\Windows\\Logs\\MarvaneSetup.log           install\n"
         "  MarvaneSetup /check                                                detect\n"
         "  MarvaneSetup /verify /log %TEMP%\\MarvaneVerify.log                  will it work?\n"
         "  MarvaneSetup /remove /quiet /log C:\\Windows\\Logs\\MarvaneSetup.log   remove\n"
         "\n"
         "Keep the log in a folder only administrators can write to, such as C:\\Windows\\Logs:\n"
         "a log that is a link, has a second (hard) link, or, for a run with administrator\n"
         "rights, belongs to another account is refused (exit status 2).\n";
}
