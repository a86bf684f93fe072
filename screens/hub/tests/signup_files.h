// The sign-up's files for the kill loops of the form's writes: the prefs
// file and every form file (Data/I*.qoe), the form's sent time zeroed (a
// re-sent form takes the clock's time, which moves between the runs).
#pragma once
#include <unistd.h>

#include <filesystem>
#include <string>

#include "screens/hub/signup_internal.h"
#include "tests/support/kill_loop.h"
#include "tests/support/test_support.h"

namespace signup_files {

inline bool IsFormName(const std::string& name) {
  return name.size() == 12 && name[0] == 'I' && name.compare(8, 4, ".qoe") == 0;
}

inline qoe_test::FileBytes Files() {
  qoe_test::FileBytes out;
  for (auto& [name, bytes] : qoe_test::FileTree("Data")) {
    if (name == "Prefs.qoe") {
      out["Data/" + name] = bytes;
    } else if (IsFormName(name)) {
      if (bytes.size() >= INIT_SENT_TIME + 4)
        for (uint32_t i = 0; i < 4; ++i) bytes[INIT_SENT_TIME + i] = 0;
      out["Data/" + name] = bytes;
    }
  }
  return out;
}

// Back to the files of Files() (a form then has the sent time 0, which is
// as good an old state as any).
inline void Restore(const qoe_test::FileBytes& raw) {
  for (const auto& e : std::filesystem::directory_iterator("Data")) {
    const std::string name = e.path().filename().string();
    if (IsFormName(name) && !raw.count("Data/" + name)) std::filesystem::remove(e.path());
  }
  for (const auto& [path, bytes] : raw) qoe_test::WriteFileBytes(path, bytes);
}

// Each disk sync takes a while, so that the random kills also land between
// the steps of a write.
inline void SlowSyncs(bool on) {
  if (on)
    FileSetSyncHook(
        [](const char*, int32_t, void*) -> int32_t {
          usleep(2000);
          return 1;
        },
        nullptr);
  else
    FileSetSyncHook(nullptr, nullptr);
}

}  // namespace signup_files
