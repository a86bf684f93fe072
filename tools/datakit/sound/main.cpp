// The data kit's sound generator:
//
//   datakit_sound <source folder> <output folder>   sounds and music
//   datakit_sound --table <source folder>           the sound table (Markdown)
//
// The source folder holds sounds.txt and music/<Name>.txt. Exits non-zero
// with "file:line: message" on a bad source.
#include <cstdio>

#include "sound_kit.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--table") {
      auto sounds = datakit::ReadSoundList(fs::path(argv[2]) / "sounds.txt");
      std::fputs(datakit::SoundTable(sounds).c_str(), stdout);
      return 0;
    }
    if (argc != 3) {
      std::fprintf(stderr, "usage: datakit_sound <source folder> <output folder>\n");
      return 2;
    }
    const fs::path src = argv[1], out = argv[2];
    auto sounds = datakit::ReadSoundList(src / "sounds.txt");
    datakit::MakeSounds(sounds, out);
    datakit::MakeMusic(src / "music", out);
    datakit::WriteBytes(out / ".datakit-sound-stamp", {'o', 'k', '\n'});
  } catch (datakit::KitError& e) {
    std::fprintf(stderr, "%s\n", e.what.c_str());
    return 1;
  } catch (std::exception& e) {
    std::fprintf(stderr, "datakit_sound: %s\n", e.what());
    return 1;
  }
  return 0;
}
