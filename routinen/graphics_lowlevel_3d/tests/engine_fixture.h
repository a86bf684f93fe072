// Shared set-up of the engine data tests: fresh defaults and an empty thing
// store, and the log lines written during a test.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"

namespace enginetest {

class EngineData : public testing::Test {
 protected:
  void SetUp() override {
    FreeAllThings();
    InitEngineDefaults();
    DebugLogSetStderr(0);
    DebugLogSetHook([](const char* line, void* user) { static_cast<EngineData*>(user)->log_.push_back(line); },
                    this);
  }
  void TearDown() override {
    DebugLogSetHook(nullptr, nullptr);
    DebugLogSetStderr(1);
    FreeSceneCommands();
    FreeAllThings();
  }
  bool Logged(const std::string& text) const {
    for (const std::string& l : log_)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> log_;
};

}  // namespace enginetest
