// PNG files of 0x00RRGGBB pixels (screenshots of the display, test images).
#pragma once
#include <cstdint>
#include <vector>

// Writes width x height pixels (row after row) as an 8-bit RGB PNG; 1 on success.
int WritePngRGB(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height);
// Reads any PNG as 0x00RRGGBB pixels (alpha dropped); 1 on success.
int ReadPngRGB(const char* path, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height);
