#include "setup/SetupProgram.h"

#include <exception>
#include <string>

#include "odbc/MdlODBC.h"
#include "registry/basRegistry.h"
#include "setup/frmMarvane.h"

int RunSetup(platform::Host& host, std::string& errors) {
  basRegistry registry(host.registry());
  MdlODBC odbc(host.registry(), host.system(), host.windowing());
  frmMarvane mainWindow(host.windowing(), host.system(), registry, odbc);

  int status = 0;
  try {
    host.windowing().Run(mainWindow);
    status = mainWindow.Result().ExitStatus();
  } catch (const std::exception& error) {
    if (mainWindow.InstallFinished()) {
      // Every registration ran; only a window failed after that, which
      // changes nothing about the result.
      errors += std::string("MarvaneSetup: ") + error.what() + '\n';
      status = mainWindow.Result().ExitStatus();
    } else {
      const std::string text = std::string("Setup stopped before it finished: ") + error.what() +
                               "\n\nRun it again once the cause is fixed.";
      errors += text + '\n';
      try {
        host.windowing().MessageBoxA(nullptr, text.c_str(), MdlODBC::kApplicationTitle, platform::MB_OK);
      } catch (const std::exception&) {
        // Already said on the error stream.
      }
      status = 1;
    }
  }

  std::string error;
  if (!host.Close(error)) {
    errors += error + '\n';
    if (status == 0) status = 1;
  }
  return status;
}
