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

frmMarvane::frmMarvane(Windowing& windowing, SystemInfo& system, basRegistry& registry, MdlODBC& odbc,
                       SetupAction action, RunLog* log)
    : windowing_(windowing),
      system_(system),
      registry_(registry),
      odbc_(odbc),
      action_(action),
      log_(log),
      progress_(windowing, *this) {
  spec_.kind = WindowKind::MdiFrame;
  spec_.caption = kCaption;
  spec_.clientWidth = 6285;
  spec_.clientHeight = 3765;
  spec_.backgroundSysColor = 12;  // the application workspace
}

void frmMarvane::MDIForm_Load() {
  windowing_.Show(*this);
  InstallDataSources();
  const std::string message =
      action_ == SetupAction::Install ? outcome_.Message() : outcome_.RemovalMessage();
  windowing_.MessageBoxA(this, message.c_str(), kOutcomeCaption, MB_OK);
  windowing_.Unload(*this);
}

const MdlODBC::Branch& ChooseBranch(const std::string& processorId) {
  return IdentifiesX86(processorId) ? MdlODBC::kNativeBranch : MdlODBC::kWow64Branch;
}

std::string FailureDetail(const std::string& call, LONG status) {
  if (status == ERROR_SUCCESS) return call + " failed";
  return call + " returned " + StatusText(status);
}

std::int16_t LastArchiveYear(SystemInfo& system) {
  SYSTEMTIME today{};
  system.GetLocalTime(&today);
  const int last = static_cast<int>(today.wYear) - 1;
  if (last > std::numeric_limits<std::int16_t>::max())
    throw std::overflow_error("the current year is out of range");
  return static_cast<std::int16_t>(last);
}

DataSourceResult frmMarvane::Install(const DataSourceSpec& spec, const MdlODBC::Branch& branch) {
  const Registration done = branch.native
                                ? odbc_.CreateDataSource(spec.name, spec.path, spec.description)
                                : odbc_.CreateDataSourceWow64(spec.name, spec.path, spec.description);
  switch (done.state) {
    case RegistrationState::Registered:
      return {spec.name, Verdict::Registered, ""};
    case RegistrationState::AlreadyPresent:
      return {spec.name, Verdict::AlreadyPresent, ""};
    case RegistrationState::Completed:
      return {spec.name, Verdict::Completed, ""};
    case RegistrationState::Failed:
      break;
  }
  return {spec.name, Verdict::Failed, FailureDetail(done.failedCall, done.status)};
}

DataSourceResult frmMarvane::Remove(const DataSourceSpec& spec, const MdlODBC::Branch& branch) {
  const Removal removal = odbc_.RemoveDataSource(branch, spec.name, spec.path);
  switch (removal.state) {
    case RemovalState::Removed:
      return {spec.name, Verdict::Removed, ""};
    case RemovalState::Absent:
      return {spec.name, Verdict::Absent, ""};
    case RemovalState::Left:
      return {spec.name, Verdict::Left, removal.why};
    case RemovalState::Failed:
      break;
  }
  return {spec.name, Verdict::Failed, FailureDetail(removal.failedCall, removal.status)};
}

void frmMarvane::Register(const std::function<DataSourceSpec()>& build) {
  // Decided anew for every data source, from what was read at the start.
  const MdlODBC::Branch& branch = ChooseBranch(ProcessorId);
  DataSourceResult result{"data source " + std::to_string(outcome_.Attempted() + 1), Verdict::Failed, ""};
  try {
    const DataSourceSpec spec = build();
    result.name = spec.name;
    result = action_ == SetupAction::Install ? Install(spec, branch) : Remove(spec, branch);
  } catch (const std::exception& error) {
    // The step is abandoned; the run goes on with the next one.
    result.verdict = Verdict::Failed;
    result.detail = error.what();
  }
  if (log_ != nullptr) log_->Line(Describe(result));
  outcome_.Add(std::move(result));
  windowing_.KeepResponsive();
}

void frmMarvane::InstallDataSources() {
  windowing_.Show(progress_);
  windowing_.Refresh(progress_);

  RunStep([&] {
    ProcessorId =
        RegistryValueText(registry_.GetRegistryValue(HKEY_LOCAL_MACHINE, kProcessorKey, "Identifier"));
  });

  ForEachDataSource(
      ArchiveYear,
      [&] {
        std::int16_t last = 0;
        RunStep([&] { last = LastArchiveYear(system_); });
        return last;
      },
      [&](const std::function<DataSourceSpec()>& build) { Register(build); });

  RunStep([&] { windowing_.Unload(progress_); });
  installFinished_ = true;
}
