// The VIEW: the one collecting object every frame copies what it shows into,
// the camera that looks at it, the projection, the depth sort of the
// transparent faces and the draw passes (docs/gl3d-view.md).
#include <cmath>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"

OBJECT3D* ViewObject() { return &E3D().view; }
OBJECT3D* LastViewObject() { return &E3D().last_view; }
CameraRecord* Camera() { return &E3D().camera; }
ViewPassInfo ViewPasses() { return E3D().passes; }
void ResetViewPasses() { E3D().passes = ViewPassInfo{}; }

void ResetCamera() {}
void InitView() {}
void AddObjectToView(OBJECT3D*, float, float, float, float) {}
void SizeTranslateObject(OBJECT3D*, float, float, float, float) {}
void ResizeTranslateV(void*, uint32_t, float, float, float, float, uint32_t) {}
void DrawView() {}
void ProjectView() {}
void ProjectV(void*, uint32_t, uint32_t) {}
SORT3D* SortFaceCenters(uint32_t* count) {
  if (count) *count = 0;
  return nullptr;
}
SORT3D* MergeSortKeys(SORT3D* entries, SORT3D*, uint32_t) { return entries; }
void SetViewRotation(float, uint32_t) {}
void SetViewFlip(float, uint32_t) {}
void SetViewScale(float, uint32_t) {}
void SetPostion(float*, float, float, float, float, uint32_t) {}
void SetV(float*, float, float, float) {}
void UpdateFog() {}
void BuildCameraMatrix() {}
void SetViewAspect(float) {}
