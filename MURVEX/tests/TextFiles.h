// Real temporary files for the text layer's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "MonitorPlatform.h"

class TempTextFile {
 public:
  explicit TempTextFile(const std::string& bytes) {
    static int serial = 0;
    // Named after the test: ctest runs the cases side by side.
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::string("murvex_") + (test != nullptr ? test->name() : "text") + "_" +
            std::to_string(++serial) + ".txt";
    Write(bytes);
  }
  ~TempTextFile() { std::remove(path_.c_str()); }
  void Write(const std::string& bytes) const {
    FILE* file = std::fopen(path_.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  void Append(const std::string& bytes) const {
    FILE* file = std::fopen(path_.c_str(), "ab");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

inline void UseNativeFiles() { SetPlatform(MonitorPlatform{&NativeFileSystem(), nullptr, nullptr}); }
