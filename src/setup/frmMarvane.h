// The main window, and the install sequence that runs while it loads.
#pragma once

#include <cstdint>
#include <string>

#include "odbc/MdlODBC.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"
#include "registry/basRegistry.h"
#include "setup/Outcome.h"
#include "setup/frmMessage.h"

class frmMarvane : public platform::Form {
 public:
  frmMarvane(platform::Windowing& windowing, platform::SystemInfo& system, basRegistry& registry,
             MdlODBC& odbc);

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
  bool UsesNativeBranch() const;
  template <typename BuildSpec>
  void Register(BuildSpec build);
  std::int16_t LastArchiveYear();

  platform::Windowing& windowing_;
  platform::SystemInfo& system_;
  basRegistry& registry_;
  MdlODBC& odbc_;
  frmMessage progress_;
  platform::WindowSpec spec_;
  Outcome outcome_;
  bool installFinished_ = false;
};

// Whether a processor identifier names a 32-bit x86 machine.
bool IdentifiesX86(const std::string& processorId);
