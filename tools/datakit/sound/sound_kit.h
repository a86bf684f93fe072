// The data kit's sound part: the sound effects (sound index and sample
// files) and the music modules, made from the readable sources in
// tools/datakit/sound. Every call throws KitError with "file:line: message"
// on a bad source.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "synth.h"

namespace datakit {

struct KitError {
  std::string what;
};

using Bytes = std::vector<uint8_t>;

// Reads the sound list (sounds.txt).
std::vector<SoundSpec> ReadSoundList(const std::filesystem::path& file);
// Writes <out>/Data/SfxPath and <out>/Sfx/<id>_<Name>.raw for every sound.
void MakeSounds(const std::vector<SoundSpec>& sounds, const std::filesystem::path& out);
// The table of every sound ID for the docs (Markdown).
std::string SoundTable(const std::vector<SoundSpec>& sounds);

// Reads one score (music/<Name>.txt) and returns the XM module it makes.
Bytes ComposeModule(const std::filesystem::path& score);
// Writes every score of <music folder> as <out>/Mods/<Name>.XM, and the .DBM
// copies that the score's "also" lines ask for.
void MakeMusic(const std::filesystem::path& music_dir, const std::filesystem::path& out);

void WriteBytes(const std::filesystem::path& p, const Bytes& b);

}  // namespace datakit
