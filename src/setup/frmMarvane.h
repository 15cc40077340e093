// The main window, and the sequence that runs while it loads: the install,
// with /remove the removal, with /repair the repair (the modes that change
// the machine; the others show no window).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "odbc/MdlODBC.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"
#include "registry/basRegistry.h"
#include "setup/CommandLine.h"
#include "setup/DataSources.h"
#include "setup/MachineFacts.h"
#include "setup/Outcome.h"
#include "setup/RunLog.h"
#include "setup/frmMessage.h"

class frmMarvane : public platform::Form {
 public:
  // Each data source's result goes to log as a line when the log is active.
  // The machine's facts come from facts when given (so that what the log's
  // header read is not read again), else from the window's own.
  frmMarvane(platform::Windowing& windowing, platform::SystemInfo& system, basRegistry& registry,
             MdlODBC& odbc, Mode mode = Mode::Install, RunLog* log = nullptr, MachineFacts* facts = nullptr);

  const platform::WindowSpec& Spec() const override { return spec_; }
  void Load() override { MDIForm_Load(); }

  void MDIForm_Load();

  const Outcome& Result() const { return outcome_; }
  // True once every data source has been dealt with, whatever came of it.
  bool DataSourcesDone() const { return dataSourcesDone_; }

  // The processor identifier the sequence read, as text, and the archive
  // year its walk is at (the walk's counter). Only the sequence sets them
  // and nothing decides by them afterwards; they are kept as the main
  // window's contract, so that what a run read and how far it got can be
  // seen on the window that ran it.
  std::string ProcessorId;
  std::int16_t ArchiveYear = 0;

  static constexpr const char* kCaption = "Marvane Setup";
  static constexpr const char* kOutcomeCaption = "Marvane Installation";

 private:
  void InstallDataSources();
  void RemoveDataSources();
  // Each change a repair makes is a line of the log, said before it is made.
  void RepairDataSources();
  // Shows the progress window, walks every data source with visit and
  // closes the progress window again.
  void ProcessDataSources(const DataSourceVisit& visit, const LaterYears& laterYears = nullptr);

  platform::Windowing& windowing_;
  MdlODBC& odbc_;
  Mode mode_;
  RunLog* log_;
  MachineFacts ownFacts_;
  MachineFacts& facts_;
  frmMessage progress_;
  platform::WindowSpec spec_;
  Outcome outcome_;
  bool dataSourcesDone_ = false;
};
