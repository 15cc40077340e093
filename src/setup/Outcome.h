// What the registrations of one run came to, and how that is told.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class Outcome {
 public:
  void Registered() { ++attempted_; }
  void Failed(std::string name) {
    ++attempted_;
    failed_.push_back(std::move(name));
  }

  bool Complete() const { return failed_.empty(); }
  std::size_t Attempted() const { return attempted_; }
  const std::vector<std::string>& FailedNames() const { return failed_; }

  // The text of the completion message box.
  std::string Message() const;
  // 0 when every data source is registered, 1 when any is not.
  int ExitStatus() const { return Complete() ? 0 : 1; }

  static constexpr const char* kCompleteMessage = "Setup Complete - DO NOT run this setup again.";
  static constexpr std::size_t kNamesShown = 10;

 private:
  std::size_t attempted_ = 0;
  std::vector<std::string> failed_;
};
