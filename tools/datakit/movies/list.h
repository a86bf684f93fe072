// The description list of the kit's movies (movies.txt): read by the movie
// generator and by the picture kit, which draws a still of a building's
// animation as its construction picture and its town picture from the
// same line.
#pragma once
#include <string>
#include <vector>

#include "tools/datakit/movies/draw.h"

namespace datakit::movies {

struct ListError {
  std::string what;
};

struct MovieLine {
  std::string name;  // Latin-1, a backslash before a subfolder
  std::string family, kind, what;
  int width = 0, height = 0, frames = 0, fps = 0, line = 0;
  Params params;
  DrawFn draw = nullptr;
};

// Reads the list; throws ListError with "file:line: message" on a bad line.
std::vector<MovieLine> ReadMovieList(const std::string& file);

}  // namespace datakit::movies
