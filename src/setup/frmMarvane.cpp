#include "setup/frmMarvane.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <limits>
#include <stdexcept>

#include "setup/DataSources.h"

using namespace platform;

namespace {

// A step of the install sequence: when it fails it is abandoned and the run
// goes on with the next one.
template <typename Step>
bool RunStep(Step step) {
  try {
    step();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool IdentifiesX86(const std::string& processorId) {
  const std::string needle = "x86";
  auto it =
      std::search(processorId.begin(), processorId.end(), needle.begin(), needle.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
      });
  return it != processorId.end();
}

frmMarvane::frmMarvane(Windowing& windowing, SystemInfo& system, basRegistry& registry, MdlODBC& odbc)
    : windowing_(windowing), system_(system), registry_(registry), odbc_(odbc), progress_(windowing, *this) {
  spec_.kind = WindowKind::MdiFrame;
  spec_.caption = kCaption;
  spec_.clientWidth = 6285;
  spec_.clientHeight = 3765;
  spec_.backgroundSysColor = 12;  // the application workspace
}

void frmMarvane::MDIForm_Load() {
  windowing_.Show(*this);
  InstallDataSources();
  windowing_.MessageBoxA(this, outcome_.Message().c_str(), kOutcomeCaption, MB_OK);
  windowing_.Unload(*this);
}

bool frmMarvane::UsesNativeBranch() const {
  return IdentifiesX86(ProcessorId);
}

template <typename BuildSpec>
void frmMarvane::Register(BuildSpec build) {
  const bool native = UsesNativeBranch();
  std::string name = "data source " + std::to_string(outcome_.Attempted() + 1);
  const bool registered = RunStep([&] {
    const DataSourceSpec spec = build();
    name = spec.name;
    const Registration done = native ? odbc_.CreateDataSource(spec.name, spec.path, spec.description)
                                     : odbc_.CreateDataSourceWow64(spec.name, spec.path, spec.description);
    if (!done) throw std::runtime_error(spec.name + " was not registered");
  });
  if (registered) {
    outcome_.Registered();
  } else {
    outcome_.Failed(name);
  }
  windowing_.KeepResponsive();
}

std::int16_t frmMarvane::LastArchiveYear() {
  SYSTEMTIME today{};
  system_.GetLocalTime(&today);
  const int last = static_cast<int>(today.wYear) - 1;
  if (last > std::numeric_limits<std::int16_t>::max())
    throw std::overflow_error("the current year is out of range");
  return static_cast<std::int16_t>(last);
}

void frmMarvane::InstallDataSources() {
  windowing_.Show(progress_);
  windowing_.Refresh(progress_);

  RunStep([&] {
    ProcessorId =
        RegistryValueText(registry_.GetRegistryValue(HKEY_LOCAL_MACHINE, kProcessorKey, "Identifier"));
  });

  for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
    Register([ledger] { return CurrentDataSource(ledger); });

  std::int16_t lastArchiveYear = 0;
  RunStep([&] { lastArchiveYear = LastArchiveYear(); });

  ArchiveYear = FirstArchiveYear;
  while (ArchiveYear <= lastArchiveYear) {
    for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
      Register([ledger, year = ArchiveYear] { return ArchiveDataSource(ledger, year); });
    if (ArchiveYear == std::numeric_limits<std::int16_t>::max()) break;
    ++ArchiveYear;
  }

  RunStep([&] { windowing_.Unload(progress_); });
  installFinished_ = true;
}
