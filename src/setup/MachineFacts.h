// What this machine is, as every mode of the program decides by it: the
// processor identifier and so the registry branch, the last archive year,
// and for the log the driver directory. Each is found out once, on first
// use, and a fact that cannot be had takes the value the install sequence
// gives it then.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "odbc/MdlODBC.h"
#include "platform/SystemInfo.h"
#include "registry/basRegistry.h"

class MachineFacts {
 public:
  MachineFacts(basRegistry& registry, platform::SystemInfo& system, MdlODBC& odbc)
      : registry_(registry), system_(system), odbc_(odbc) {}

  // The identifier Windows records; empty when it cannot be read.
  const std::string& ProcessorId();
  // The branch this machine's data sources belong in.
  const MdlODBC::Branch& Branch();
  // The year before today's; when the date is out of range, 0, so that no
  // archive year is walked.
  std::int16_t LastArchiveYear();
  // The directory a new Driver value names in this machine's branch; empty
  // when none can be named.
  std::string DriverDirectory() { return odbc_.DriverDirectory(Branch()); }

  static constexpr const char* kProcessorKey = "Hardware\\Description\\System\\CentralProcessor\\0";

 private:
  basRegistry& registry_;
  platform::SystemInfo& system_;
  MdlODBC& odbc_;
  std::optional<std::string> processorId_;
  std::optional<std::int16_t> lastArchiveYear_;
};

// Whether a processor identifier names a 32-bit x86 machine.
bool IdentifiesX86(const std::string& processorId);
// The branch a machine with this processor identifier uses: the native one
// on x86, else the one 32-bit programs see on 64-bit Windows.
const MdlODBC::Branch& ChooseBranch(const std::string& processorId);
// The year before today's; throws when it is out of range.
std::int16_t LastArchiveYear(platform::SystemInfo& system);
