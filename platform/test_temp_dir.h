// Test support: a fresh folder for each test, removed after it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

namespace quillex {

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;  // builds may run tests side by side
    dir = std::filesystem::path(::testing::TempDir()) /
          ("quillex_" + std::to_string(random()) + std::to_string(random()));
    ASSERT_TRUE(std::filesystem::create_directory(dir));
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // Writes `bytes` into the file `name` of the folder; returns its path.
  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return dir / name;
  }

  // Reads the file `name` of the folder, or the file at `name` when it is absolute.
  std::string Read(const std::filesystem::path& name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // What an action showed and left behind: whether it succeeded, its console output, and every
  // file of the folder (by path relative to it) with its bytes.
  struct Outcome {
    bool succeeded = false;
    std::string out;
    std::string err;
    std::map<std::string, std::string> files;
  };

  // Empties the folder, runs `action` (returning whether it succeeded) and tells what came of it.
  template <class Action>
  Outcome RunInEmptyDir(Action action) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      std::filesystem::remove_all(entry.path());
    }
    Outcome outcome;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    outcome.succeeded = action();
    outcome.out = ::testing::internal::GetCapturedStdout();
    outcome.err = ::testing::internal::GetCapturedStderr();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
      outcome.files[entry.path().lexically_relative(dir).string()] = Read(entry.path());
    }
    return outcome;
  }

  std::filesystem::path dir;
};

}  // namespace quillex
