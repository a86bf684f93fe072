// The window's mouse cursor as a picture.
#pragma once
#include <cstdint>

// Largest cursor side accepted.
constexpr uint32_t kCursorMaxSide = 256;

// Any thread: makes a width x height picture (pixels 0xAARRGGBB, rows without
// padding; alpha 0 is transparent) the mouse cursor, with its hot spot at
// hot_x, hot_y. The backend copies the picture; the window thread puts it up.
// 1 when taken; 0 without a backend or for a bad picture (null, empty, a side
// above kCursorMaxSide, the hot spot outside it).
int SetCursorImage(const uint32_t* argb, uint32_t width, uint32_t height, uint32_t hot_x, uint32_t hot_y);
