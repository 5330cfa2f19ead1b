// Shared helpers of the stage tests: a fresh stage per test, a temporary folder, and matrix
// comparisons.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "stage/Stage.h"

namespace stage_test {

class StageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    std::random_device rd;
    Dir = std::filesystem::temp_directory_path() /
          ("vantrel-stage-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
    stage::ResetStage();
  }
  stage::TStage& S() { return stage::Stage(); }

  std::filesystem::path Dir;
};

inline void ExpectMatrixNear(const CtsxTxmx3f& a, const CtsxTxmx3f& b, float tol = 1e-5f) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << "entry " << i << "," << j;
}

inline void ExpectVecNear(const CtsxVector3f& v, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

}  // namespace stage_test
