// The OpenGL variant of OpenElmorPic. The 3D engine makes the screen an
// ObjektListEntry of its object list here; until it does, the OpenGL mode
// draws in 2D and this variant shows the picture as the 2D one does.
#include "pictures.h"
#include "platform/display.h"

int32_t OpenElmorPicGL(const char* index_path, uint32_t id, uint32_t flags) {
  uint32_t renderer = DisplayRenderer();
  DisplaySetRenderer(0);
  int32_t rc = OpenElmorPic(index_path, id, flags);
  DisplaySetRenderer(renderer);
  return rc < 0 ? -1 : 1;
}
