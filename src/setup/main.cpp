// MarvaneSetup: registers the ODBC data sources of the Marvane databases on
// this workstation, then exits.
//
// Exit status: 0 every data source is registered (now or before); 1 some are
// not, or the run stopped early; 2 the machine registry could not be opened.
#include <cstdio>
#include <string>

#include "platform/Host.h"
#include "setup/SetupProgram.h"

int main() {
  platform::OpenedHost opened = platform::OpenHost();
  if (!opened.host) {
    std::fprintf(stderr, "%s\n", opened.error.c_str());
    return 2;
  }
  std::string errors;
  const int status = RunSetup(*opened.host, errors);
  std::fputs(errors.c_str(), stderr);
  return status;
}
