// Registers one ODBC system data source for the Microsoft Access driver by
// writing its keys straight into HKEY_LOCAL_MACHINE, in the native branch or
// in the branch that 32-bit programs see on 64-bit Windows.
#pragma once

#include <string>

#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"

class MdlODBC {
 public:
  MdlODBC(platform::Registry& registry, platform::SystemInfo& system, platform::Windowing& windowing)
      : registry_(registry), system_(system), windowing_(windowing) {}

  // Each returns whether the data source is registered afterwards: true when
  // it was already present or every create and set succeeded.
  bool CreateDataSource(const std::string& name, const std::string& path, const std::string& description);
  bool CreateDataSourceWow64(const std::string& name, const std::string& path,
                             const std::string& description);

  std::string GetWindowsVersionName();
  std::string GetSystemDir();

  static constexpr const char* kNativeRoot = "SOFTWARE\\ODBC\\ODBC.INI\\";
  static constexpr const char* kNativeListing = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
  static constexpr const char* kWow64Root = "SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\";
  static constexpr const char* kWow64Listing = "SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\ODBC Data Sources";
  static constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";
  static constexpr const char* kDriverFile = "\\odbcjt32.dll";
  static constexpr const char* kFailedMessage = "Failed to get OS Version";
  static constexpr const char* kApplicationTitle = "Setup";

 private:
  struct Branch {
    const char* root;
    const char* listing;
  };
  // True when the data source key is already there.
  bool IsPresent(const std::string& keyPath);
  bool WriteLayout(const Branch& branch, const std::string& name, const std::string& path,
                   const std::string& description, const std::string& driverDirectory);
  bool DriverDirectoryFailed();

  platform::Registry& registry_;
  platform::SystemInfo& system_;
  platform::Windowing& windowing_;
};
