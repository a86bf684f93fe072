// The OpenGL variant of OpenElmorPic: the screen picture is drawn into the
// screen's memory bitmap as in 2D, and that bitmap becomes an entry of the
// 3D engine's object list, which the window thread draws every frame. The
// engine registers its calls here at start, so this layer needs none of it.
#include <atomic>

#include "gui_internal.h"
#include "pictures.h"
#include "pictures_internal.h"
#include "platform/log.h"


void SetGLScreenHooks(const GLScreenHooks* hooks) {
  PictureManager().glOpen.store(hooks ? hooks->OpenScreenObjekt : nullptr);
  PictureManager().glClose.store(hooks ? hooks->CloseScreenObjekt : nullptr);
}

int OpenGLScreenObjekt(BitMap* bitmap, RastPort* rastport) {
  auto open = PictureManager().glOpen.load();
  if (!open) {
    DebugLog("OpenElmorPic: Keine 3D-Engine fuer den OpenGL-Modus.\n");
    return 0;
  }
  return open(bitmap, rastport);
}

void CloseGLScreenObjekt() {
  if (auto close = PictureManager().glClose.load()) close();
}

int32_t OpenElmorPicGL(const char* index_path, uint32_t id, uint32_t flags) {
  return OpenScreenPicture(index_path, id, flags, true);
}
