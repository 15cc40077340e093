#include "setup/frmMarvane.h"

#include <exception>

using namespace platform;

frmMarvane::frmMarvane(Windowing& windowing, SystemInfo& system, basRegistry& registry, MdlODBC& odbc,
                       SetupAction action, RunLog* log, MachineFacts* facts)
    : windowing_(windowing),
      odbc_(odbc),
      action_(action),
      log_(log),
      ownFacts_(registry, system, odbc),
      facts_(facts != nullptr ? *facts : ownFacts_),
      progress_(windowing, *this) {
  spec_.kind = WindowKind::MdiFrame;
  spec_.caption = kCaption;
  spec_.clientWidth = 6285;
  spec_.clientHeight = 3765;
  spec_.backgroundSysColor = 12;  // the application workspace
}

void frmMarvane::MDIForm_Load() {
  windowing_.Show(*this);
  if (action_ == SetupAction::Install) {
    InstallDataSources();
  } else {
    RemoveDataSources();
  }
  const std::string message =
      action_ == SetupAction::Install ? outcome_.Message() : outcome_.RemovalMessage();
  windowing_.MessageBoxA(this, message.c_str(), kOutcomeCaption, MB_OK);
  windowing_.Unload(*this);
}

void frmMarvane::InstallDataSources() {
  ProcessDataSources([this](const DataSourceSpec& spec, const MdlODBC::Branch& branch) {
    return branch.native ? odbc_.CreateDataSource(spec.name, spec.path, spec.description)
                         : odbc_.CreateDataSourceWow64(spec.name, spec.path, spec.description);
  });
}

void frmMarvane::RemoveDataSources() {
  // Data sources of years after the clock's last one are this program's too
  // when they are present, as a key or only as an entry: a clock set back
  // since the install must not leave them behind. A branch that cannot be
  // listed is said in the log.
  const auto laterYears = [this](std::int16_t last) {
    std::string failure;
    const std::vector<std::string> names = odbc_.DataSourceNames(facts_.Branch(), failure);
    if (!failure.empty() && log_ != nullptr)
      log_->Line("error: the data sources of later archive years could not be listed: " + failure);
    return ArchiveYearsAfter(names, last);
  };
  ProcessDataSources([this](const DataSourceSpec& spec,
                            const MdlODBC::Branch& branch) { return odbc_.RemoveDataSource(branch, spec); },
                     laterYears);
}

void frmMarvane::ProcessDataSources(
    const DataSourceVisit& visit, const std::function<std::vector<std::int16_t>(std::int16_t)>& laterYears) {
  windowing_.Show(progress_);
  windowing_.Refresh(progress_);

  // From here a step that fails is abandoned and the run goes on.
  ProcessorId = facts_.ProcessorId();
  ForEachDataSource(
      facts_, ArchiveYear, visit,
      [this](DataSourceResult result) {
        if (log_ != nullptr) log_->Line(Describe(result));
        outcome_.Add(std::move(result));
        windowing_.KeepResponsive();
      },
      laterYears);

  try {
    windowing_.Unload(progress_);
  } catch (const std::exception&) {
    // The outcome still follows.
  }
  dataSourcesDone_ = true;
}
