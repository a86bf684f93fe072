// The silent tune system most tests run on: started without sound before each
// test; the song it plays stopped and every module it loaded freed after.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "routinen/media/tune/dmix.h"
#include "routinen/media/tune/genplayer.h"

// Loads a module from memory into *m and plays it looped; the handle, 0 when
// either fails.
inline int32_t LoadAndPlay(const std::vector<uint8_t>& b, ModuleRecord** m) {
  *m = TUNEloadModuleMem(b.data(), (uint32_t)b.size());
  return *m ? TUNEplayModule(*m, 1) : 0;
}

class TuneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TUNEstartup();
    TUNEsetOption(TUNE_OPT_NOSOUND, 1);
    ASSERT_EQ(TUNEinit(), 1);
  }
  void TearDown() override {
    Unload();
    TUNEclose();
  }
  // Loads a module from memory; it is freed after the test.
  ModuleRecord* Load(const std::vector<uint8_t>& b) {
    ModuleRecord* m = TUNEloadModuleMem(b.data(), (uint32_t)b.size());
    if (m) loaded.push_back(m);
    return m;
  }
  // Expects the bytes to be refused; returns the error code.
  uint32_t Fails(const std::vector<uint8_t>& b) {
    EXPECT_EQ(Load(b), nullptr);
    return TUNEgetLastError();
  }
  // Loads and starts a module: module, handle and h name it.
  void Play(const std::vector<uint8_t>& b, int loop = 1) {
    module = Load(b);
    ASSERT_NE(module, nullptr) << TUNEerrorText(TUNEgetLastError());
    handle = TUNEplayModule(module, loop);
    ASSERT_NE(handle, 0) << TUNEerrorText(TUNEgetLastError());
    h = TunePlayHandle(handle);
    ASSERT_NE(h, nullptr);
  }
  // Stops the song and frees every module loaded so far.
  void Unload() {
    if (handle) TUNEstopModule(handle);
    for (ModuleRecord* m : loaded) TUNEfreeModule(m);
    loaded.clear();
    module = nullptr;
    handle = 0;
    h = nullptr;
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; i++) ASSERT_EQ(PlayerPlay(), TE_OK);
  }
  PlayChannel& Ch(int c) { return h->ch[c]; }
  DmixChannel* Dev(int c) { return dmixChannel(h->ch[c].soundChannel); }

  std::vector<ModuleRecord*> loaded;
  ModuleRecord* module = nullptr;
  int32_t handle = 0;
  PlayHandle* h = nullptr;
};
