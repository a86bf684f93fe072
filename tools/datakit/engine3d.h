// The 3D engine's files of the data kit: the configuration "qoe3d.cfg" with
// every default spelt out, and the engine's named textures under "bmp/"
// (24-bit BMP colour pictures, 8-bit BMP alpha companions). docs/gl3d-engine.md.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace datakit {

// The configuration file's text.
std::string Engine3DConfig();
// A 24-bit BMP (54-byte header, rows bottom-up, B G R) of rgb (rows top-down, R G B).
std::vector<uint8_t> EncodeBmp24(int width, int height, const std::vector<uint8_t>& rgb);
// An 8-bit BMP with a grey palette (54 + 1024 bytes before the rows).
std::vector<uint8_t> EncodeBmp8(int width, int height, const std::vector<uint8_t>& grey);
struct CharacterSet;
// The character commands of qoe3d.cfg (they follow the hexagon commands).
std::string CharacterCommands(const CharacterSet& set);
// Writes the characters' model files into qoe-anims/.
bool MakeCharacterModels(const std::filesystem::path& out, const CharacterSet& set, std::string* err);
// Writes qoe3d.cfg (the settings, then the character commands), the
// character models and bmp/*.bmp into the output folder; false on a write
// failure.
bool MakeEngine3DFiles(const std::filesystem::path& out, const CharacterSet& characters, std::string* err);

}  // namespace datakit
