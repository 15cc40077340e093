// The main window, and the install sequence that runs while it loads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "odbc/MdlODBC.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"
#include "registry/basRegistry.h"
#include "setup/DataSources.h"
#include "setup/Outcome.h"
#include "setup/RunLog.h"
#include "setup/frmMessage.h"

// What the main window's sequence does with each data source.
enum class SetupAction { Install, Remove };

class frmMarvane : public platform::Form {
 public:
  // Each data source's result goes to log as a line when the log is active.
  frmMarvane(platform::Windowing& windowing, platform::SystemInfo& system, basRegistry& registry,
             MdlODBC& odbc, SetupAction action = SetupAction::Install, RunLog* log = nullptr);

  const platform::WindowSpec& Spec() const override { return spec_; }
  void Load() override { MDIForm_Load(); }

  void MDIForm_Load();

  const Outcome& Result() const { return outcome_; }
  // True once every registration has run, whatever came of them.
  bool InstallFinished() const { return installFinished_; }

  std::string ProcessorId;
  std::int16_t ArchiveYear = 0;

  static constexpr const char* kCaption = "Marvane Setup";
  static constexpr const char* kOutcomeCaption = "Marvane Installation";
  static constexpr const char* kProcessorKey = "Hardware\\Description\\System\\CentralProcessor\\0";

 private:
  void InstallDataSources();
  void Register(const std::function<DataSourceSpec()>& build);
  DataSourceResult Install(const DataSourceSpec& spec, const MdlODBC::Branch& branch);
  DataSourceResult Remove(const DataSourceSpec& spec, const MdlODBC::Branch& branch);

  platform::Windowing& windowing_;
  platform::SystemInfo& system_;
  basRegistry& registry_;
  MdlODBC& odbc_;
  SetupAction action_;
  RunLog* log_;
  frmMessage progress_;
  platform::WindowSpec spec_;
  Outcome outcome_;
  bool installFinished_ = false;
};

// Whether a processor identifier names a 32-bit x86 machine.
bool IdentifiesX86(const std::string& processorId);
// The branch a machine with this processor identifier uses: the native one
// on x86, else the one 32-bit programs see on 64-bit Windows.
const MdlODBC::Branch& ChooseBranch(const std::string& processorId);
// The year before today's; throws when it is out of range.
std::int16_t LastArchiveYear(platform::SystemInfo& system);
// "failed: RegSetValueExA("DBQ") returned 5 (Access is denied.)"-style detail.
std::string FailureDetail(const std::string& call, platform::LONG status);
