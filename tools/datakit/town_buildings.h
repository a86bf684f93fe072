// The buildings of the town view and the construction screen, drawn from
// the description line of the building's animation in movies/movies.txt:
// its town picture (48 x 40, masked, in the town's view and pens; a line's
// higher members grander) and its construction picture (a still of the
// animation, 224 x 200).
#pragma once
#include <string>

#include "tools/datakit/movies/list.h"

namespace datakit {

// The town picture of member `rank` (0 the first) of a line of `members`
// buildings whose first member's animation is `line`.
bool DrawTownBuilding(Image& img, const movies::MovieLine& line, int rank, int members, std::string* err);
// The construction picture: the animation's first frame, its work stopped
// there, widened to the picture with the frame's own edge.
bool DrawConstructionPicture(Image& img, const movies::MovieLine& line, std::string* err);

}  // namespace datakit
