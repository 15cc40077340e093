#include "setup/CommandLine.h"

#include <optional>

#include "odbc/MdlODBC.h"
#include "setup/DataSources.h"

namespace {

// A switch: the mode it asks for, or, without one, an option.
struct Switch {
  const char* name;
  bool isLong;
  std::optional<Mode> mode;
  bool takesFile = false;  // /log FILE; the other option is /quiet
};

constexpr Switch kSwitches[] = {
    {"quiet", true, std::nullopt},    {"q", false, std::nullopt},        {"log", true, std::nullopt, true},
    {"l", false, std::nullopt, true}, {"check", true, Mode::Check},      {"verify", true, Mode::Verify},
    {"remove", true, Mode::Remove},   {"uninstall", true, Mode::Remove}, {"x", false, Mode::Remove},
    {"repair", true, Mode::Repair},   {"f", false, Mode::Repair},        {"help", true, Mode::Help},
    {"h", false, Mode::Help},         {"?", false, Mode::Help},
};

const Switch* Recognise(const std::string& argument) {
  std::string name;
  bool doubleDash = false;
  if (argument.rfind("--", 0) == 0) {
    name = argument.substr(2);
    doubleDash = true;
  } else if (!argument.empty() && (argument[0] == '/' || argument[0] == '-')) {
    name = argument.substr(1);
  } else {
    return nullptr;
  }
  name = LowerCase(name);
  for (const Switch& candidate : kSwitches)
    if (name == candidate.name && (!doubleDash || candidate.isLong)) return &candidate;
  return nullptr;
}

// "/check, /verify and /remove": the first switch of every mode a run can be in.
std::string ModeSwitches() {
  std::vector<std::string> names;
  std::optional<Mode> last;
  for (const Switch& candidate : kSwitches)
    if (candidate.mode && candidate.mode != Mode::Help && candidate.mode != last) {
      names.push_back(std::string("/") + candidate.name);
      last = candidate.mode;
    }
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return text;
}

CommandLine Invalid(const std::string& why) {
  CommandLine command;
  command.mode = Mode::Invalid;
  command.error = why;
  return command;
}

}  // namespace

// Switches without a default, so that a new mode cannot be left out.
const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::Install:
      return "install";
    case Mode::Check:
      return "check";
    case Mode::Verify:
      return "verify";
    case Mode::Remove:
      return "remove";
    case Mode::Repair:
      return "repair";
    case Mode::Help:
      return "help";
    case Mode::Invalid:
      return "invalid";
  }
  return "?";
}

bool ChangesTheMachine(Mode mode) {
  switch (mode) {
    case Mode::Install:
    case Mode::Remove:
    case Mode::Repair:
      return true;
    case Mode::Check:
    case Mode::Verify:
    case Mode::Help:
    case Mode::Invalid:
      return false;
  }
  return false;
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine command;
  bool help = false;
  bool modeGiven = false;
  bool logGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const Switch* what = Recognise(argument);
    if (what == nullptr) return Invalid("unknown argument \"" + argument + "\"");
    if (what->takesFile) {
      if (logGiven) return Invalid("the log file is named twice");
      if (i + 1 >= arguments.size() || arguments[i + 1].empty())
        return Invalid(argument + " needs the name of the log file after it");
      // "/log /check" is a forgotten file name, not a log file called "/check".
      if (Recognise(arguments[i + 1]) != nullptr)
        return Invalid(argument + " needs the name of the log file after it, not the switch " +
                       arguments[i + 1]);
      command.logFile = arguments[++i];
      logGiven = true;
    } else if (!what->mode) {
      command.quiet = true;
    } else if (*what->mode == Mode::Help) {
      help = true;
    } else {
      if (modeGiven && command.mode != *what->mode)
        return Invalid("only one of " + ModeSwitches() + " can be used");
      command.mode = *what->mode;
      modeGiven = true;
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
  return std::string(
             "Usage: MarvaneSetup [/quiet] [/log FILE] [/check | /verify | /repair | /remove]\n"
             "\n"
             "Registers the ODBC data sources of the Marvane databases on this workstation.\n"
             "Their databases are on the file server \\\\") +
         DataServerName +
         " (set when this program is built).\n"
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
         "                         database file missing, server not answering within\n"
         "                         5 s); exit 0 when all are ok, 1 when any is not\n"
         "  /repair, /f            make every data source exactly what this program\n"
         "                         writes, on this server: each value that differs is\n"
         "                         written, the log says what it was; values and keys\n"
         "                         it does not write are left and named\n"
         "  /remove, /uninstall, /x\n"
         "                         remove the data sources this program registers; one\n"
         "                         changed by hand is left as it is, with a warning\n"
         "                         (/repair first to remove it too)\n"
         "  /?, /h, /help          this text\n"
         "\n"
         "Switches may start with / or -, the long ones also with --; case does not matter.\n"
         "\n"
         "Exit status:\n"
         "  0   done: every data source is registered (with /repair: exactly as this\n"
         "      program writes it; with /remove: every one of this program's removed)\n"
         "  1   not done: some data sources failed, are missing, cannot work (/verify)\n"
         "      or are not what this program writes (install, /repair); see the log\n"
         "  2   the machine registry or the log file could not be opened; nothing was changed\n"
         "  87  the command line was not understood; nothing was opened or changed\n"
         "  740 installing, repairing or removing needs administrator rights; nothing was\n"
         "      changed\n"
         "  1618 another run kept this machine for 60 seconds; nothing was changed\n"
         "\n"
         "Examples:\n"
         "  MarvaneSetup /quiet /log C:\\Windows\\Logs\\MarvaneSetup.log           install\n"
         "  MarvaneSetup /check                                                detect\n"
         "  MarvaneSetup /verify /log %TEMP%\\MarvaneVerify.log                  will it work?\n"
         "  MarvaneSetup /repair /quiet /log C:\\Windows\\Logs\\MarvaneSetup.log   repair\n"
         "  MarvaneSetup /remove /quiet /log C:\\Windows\\Logs\\MarvaneSetup.log   remove\n"
         "\n"
         "Keep the log in a folder only administrators can write to, such as C:\\Windows\\Logs:\n"
         "a log that is a link, has a second (hard) link, or, for a run with administrator\n"
         "rights, belongs to another account is refused (exit status 2).\n";
}
