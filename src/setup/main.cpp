// MarvaneSetup: registers the ODBC data sources of the Marvane databases on
// this workstation, then exits.
//
// Exit status: 0 every data source is registered (now or before); 1 some are
// not, or the run stopped early; 2 the machine registry could not be opened.
#include <exception>
#include <iostream>
#include <string>

#include "odbc/MdlODBC.h"
#include "platform/Host.h"
#include "registry/basRegistry.h"
#include "setup/frmMarvane.h"

int main() {
  platform::OpenedHost opened = platform::OpenHost();
  if (!opened.host) {
    std::cerr << opened.error << '\n';
    return 2;
  }
  platform::Host& host = *opened.host;

  basRegistry registry(host.registry());
  MdlODBC odbc(host.registry(), host.system(), host.windowing());
  frmMarvane mainWindow(host.windowing(), host.system(), registry, odbc);

  int status = 0;
  try {
    host.windowing().Run(mainWindow);
    status = mainWindow.Result().ExitStatus();
  } catch (const std::exception& error) {
    const std::string text = std::string("Setup stopped before it finished: ") + error.what() +
                             "\n\nRun it again once the cause is fixed.";
    std::cerr << text << '\n';
    try {
      host.windowing().MessageBoxA(nullptr, text.c_str(), MdlODBC::kApplicationTitle, platform::MB_OK);
    } catch (const std::exception&) {
      // Already said on the error stream.
    }
    status = 1;
  }

  std::string error;
  if (!host.Close(error)) {
    std::cerr << error << '\n';
    if (status == 0) status = 1;
  }
  return status;
}
