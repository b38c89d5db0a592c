// Test support: a fresh folder for each test, removed after it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

  std::filesystem::path dir;
};

}  // namespace quillex
