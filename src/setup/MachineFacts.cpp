#include "setup/MachineFacts.h"

#include <exception>
#include <limits>
#include <stdexcept>

using namespace platform;

bool IdentifiesX86(const std::string& processorId) {
  return LowerCase(processorId).find("x86") != std::string::npos;
}

const MdlODBC::Branch& ChooseBranch(const std::string& processorId) {
  return IdentifiesX86(processorId) ? MdlODBC::kNativeBranch : MdlODBC::kWow64Branch;
}

std::int16_t LastArchiveYear(SystemInfo& system) {
  SYSTEMTIME today{};
  system.GetLocalTime(&today);
  const int last = static_cast<int>(today.wYear) - 1;
  if (last > std::numeric_limits<std::int16_t>::max())
    throw std::overflow_error("the current year is out of range");
  return static_cast<std::int16_t>(last);
}

const std::string& MachineFacts::ProcessorId() {
  if (!processorId_) {
    try {
      processorId_ =
          RegistryValueText(registry_.GetRegistryValue(HKEY_LOCAL_MACHINE, kProcessorKey, "Identifier"));
    } catch (const std::exception&) {
      processorId_ = "";
    }
  }
  return *processorId_;
}

const MdlODBC::Branch& MachineFacts::Branch() {
  return ChooseBranch(ProcessorId());
}

std::int16_t MachineFacts::LastArchiveYear() {
  if (!lastArchiveYear_) {
    try {
      lastArchiveYear_ = ::LastArchiveYear(system_);
    } catch (const std::exception&) {
      lastArchiveYear_ = 0;
    }
  }
  return *lastArchiveYear_;
}
