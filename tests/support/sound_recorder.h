// A recording sound layer for screen tests: while one lives, every effect
// the program opens, starts (once or looping), stops and closes is noted in
// order (the sound layer's recorder seam, routinen/media/sound.h), also while
// effects are switched off. Header only; one recorder at a time.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

#include "routinen/media/sound.h"

namespace qoe_test {

class SoundRecorder {
 public:
  struct Call {
    uint32_t call;  // SFX_CALL_*
    uint32_t id;
    bool operator==(const Call& o) const { return call == o.call && id == o.id; }
  };
  SoundRecorder() {
    Clear();
    SetSfxRecordHook(&SoundRecorder::Note);
  }
  ~SoundRecorder() { SetSfxRecordHook(nullptr); }
  SoundRecorder(const SoundRecorder&) = delete;
  SoundRecorder& operator=(const SoundRecorder&) = delete;

  void Clear() {
    std::lock_guard<std::mutex> l(Lock());
    Calls().clear();
  }
  std::vector<Call> All() const {
    std::lock_guard<std::mutex> l(Lock());
    return Calls();
  }
  // How often effect id was asked for call.
  uint32_t Count(uint32_t call, uint32_t id) const {
    uint32_t n = 0;
    for (const Call& c : All()) n += c.call == call && c.id == id;
    return n;
  }
  // Started once or looping.
  uint32_t Started(uint32_t id) const { return Count(SFX_CALL_PLAY, id) + Count(SFX_CALL_LOOP, id); }
  // The effects started (once or looping) in order, the click (effect 1) left out.
  std::vector<uint32_t> StartedInOrder() const {
    std::vector<uint32_t> ids;
    for (const Call& c : All())
      if ((c.call == SFX_CALL_PLAY || c.call == SFX_CALL_LOOP) && c.id != 1) ids.push_back(c.id);
    return ids;
  }
  // True when every effect started, looped or stopped had been opened (and
  // not closed again) at that moment, and every effect opened was closed as
  // often; the click (effect 1, the shell's own) is left out.
  bool OnlyOpenedEffectsUsed() const {
    std::vector<uint32_t> open;
    auto count = [&](uint32_t id) {
      uint32_t n = 0;
      for (uint32_t o : open) n += o == id;
      return n;
    };
    for (const Call& c : All()) {
      if (c.id == 1) continue;
      if (c.call == SFX_CALL_OPEN) {
        open.push_back(c.id);
      } else if (c.call == SFX_CALL_CLOSE) {
        bool found = false;
        for (size_t i = 0; i < open.size() && !found; ++i)
          if (open[i] == c.id) {
            open.erase(open.begin() + static_cast<long>(i));
            found = true;
          }
        if (!found) return false;
      } else if (count(c.id) == 0) {
        return false;
      }
    }
    return open.empty();
  }

 private:
  static std::mutex& Lock() {
    static std::mutex m;
    return m;
  }
  static std::vector<Call>& Calls() {
    static std::vector<Call> calls;
    return calls;
  }
  static void Note(uint32_t call, uint32_t id) {
    std::lock_guard<std::mutex> l(Lock());
    Calls().push_back(Call{call, id});
  }
};

}  // namespace qoe_test
