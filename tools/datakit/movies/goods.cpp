#include "draw.h"
namespace datakit::movies {
const Kind kGoodsKinds[] = {{nullptr, nullptr}};
}
