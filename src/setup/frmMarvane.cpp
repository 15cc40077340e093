#include "setup/frmMarvane.h"

#include <exception>
#include <stdexcept>

using namespace platform;

frmMarvane::frmMarvane(Windowing& windowing, SystemInfo& system, basRegistry& registry, MdlODBC& odbc,
                       Mode mode, RunLog* log, MachineFacts* facts)
    : windowing_(windowing),
      odbc_(odbc),
      mode_(mode),
      log_(log),
      ownFacts_(registry, system, odbc),
      facts_(facts != nullptr ? *facts : ownFacts_),
      progress_(windowing, *this),
      outcome_(mode) {
  spec_.kind = WindowKind::MdiFrame;
  spec_.caption = kCaption;
  spec_.clientWidth = 6285;
  spec_.clientHeight = 3765;
  spec_.backgroundSysColor = 12;  // the application workspace
}

void frmMarvane::MDIForm_Load() {
  windowing_.Show(*this);
  switch (mode_) {
    case Mode::Install:
      InstallDataSources();
      break;
    case Mode::Remove:
      RemoveDataSources();
      break;
    case Mode::Repair:
      RepairDataSources();
      break;
    case Mode::Check:
    case Mode::Verify:
    case Mode::Help:
    case Mode::Invalid:
      throw std::invalid_argument(std::string("the main window does not ") + ModeName(mode_));
  }
  windowing_.MessageBoxA(this, outcome_.Message().c_str(), kOutcomeCaption, MB_OK);
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

void frmMarvane::RepairDataSources() {
  const MdlODBC::Note note = [this](const std::string& line) {
    if (log_ != nullptr) log_->Line(line);
  };
  ProcessDataSources([this, &note](const DataSourceSpec& spec, const MdlODBC::Branch& branch) {
    return odbc_.RepairDataSource(branch, spec, note);
  });
}

void frmMarvane::ProcessDataSources(const DataSourceVisit& visit, const LaterYears& laterYears) {
  windowing_.Show(progress_);
  windowing_.Refresh(progress_);

  // From here a step that fails is abandoned and the run goes on.
  ProcessorId = facts_.ProcessorId();
  ForEachDataSource(
      facts_, ArchiveYear, visit, log_, outcome_,
      [this](const DataSourceResult&) { windowing_.KeepResponsive(); }, laterYears);

  try {
    windowing_.Unload(progress_);
  } catch (const std::exception&) {
    // The outcome still follows.
  }
  dataSourcesDone_ = true;
}
