// A scratch folder for the BMP files an overlay test writes, removed with them afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_bmp.h"

class OverlayImageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/t3d-bmp-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    for (const std::string& f : files_) unlink(f.c_str());
    rmdir(dir_.c_str());
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    EXPECT_TRUE(t3d::test::WriteFile(path, bytes));
    files_.push_back(path);
    return path;
  }
  std::string dir_;
  std::vector<std::string> files_;
};

