#include "draw.h"
namespace datakit::movies {
const Kind kBuildingKinds[] = {{nullptr, nullptr}};
}
