// The data kit's movie generator: every movie of .\Anims\ drawn in code from
// the description list movies.txt and written by the kit's ANIM encoder.
//
//   datakit_movies <source folder> <output folder>   the movies (Anims/...)
//   datakit_movies --table <source folder>           the movie table (Markdown)
//   datakit_movies --sheets <source folder> <folder> every movie's frames side
//                                                    by side as a PPM, to look at
//
// movies.txt: "[screens]", "[buildings]" or "[goods]" starts a family; each
// movie is one line
//   <file name> <kind> <width>x<height> <frames> <fps> key=value ... "what it shows"
// The file name is written in UTF-8 and stored in Latin-1; "Luxus\X.CBAN"
// goes into the subfolder. Exits non-zero with "file:line: message" on a
// bad source. Format and list: docs/movies.md, docs/movie-list.md.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tools/datakit/anim_encoder.h"
#include "draw.h"
#include "list.h"

namespace fs = std::filesystem;
using namespace datakit;
using namespace datakit::movies;

namespace {

using Failure = ListError;

std::vector<MovieLine> ReadList(const fs::path& file) { return ReadMovieList(file.string()); }

std::vector<AnimFrame> DrawFrames(const MovieLine& m, const std::string& where) {
  m.params.Has("pens");  // the colour table's key (MakeMovie)
  std::vector<AnimFrame> frames((size_t)m.frames);
  for (int i = 0; i < m.frames; ++i) {
    Image img(m.width, m.height, kBlack);
    m.draw(img, m.params, (double)i / m.frames, i, m.frames);
    if (!m.params.Error().empty()) throw Failure{where + m.params.Error()};
    if (i == 0 && !m.params.Unread().empty()) throw Failure{where + "unknown key " + m.params.Unread()};
    // Holes would show the magenta of the palette's last pen.
    std::replace(img.px.begin(), img.px.end(), kTransparent, (uint8_t)kBlack);
    frames[(size_t)i].pixels = std::move(img.px);
  }
  return frames;
}

void WriteSheet(const MovieLine& m, const std::vector<AnimFrame>& frames, const fs::path& file) {
  const int cols = std::min(m.frames, std::max(1, 640 / (m.width + 4))), rows = (m.frames + cols - 1) / cols;
  const int W = cols * (m.width + 4), H = rows * (m.height + 4);
  std::vector<uint8_t> rgb((size_t)W * H * 3, 40);
  for (int f = 0; f < m.frames; ++f)
    for (int y = 0; y < m.height; ++y)
      for (int x = 0; x < m.width; ++x) {
        const auto& c = SharedPalette()[frames[(size_t)f].pixels[(size_t)y * m.width + x]];
        const size_t at = ((size_t)((f / cols) * (m.height + 4) + y) * W + (f % cols) * (m.width + 4) + x) * 3;
        rgb[at] = c[0], rgb[at + 1] = c[1], rgb[at + 2] = c[2];
      }
  std::ofstream out(file, std::ios::binary);
  out << "P6\n" << W << " " << H << "\n255\n";
  out.write((const char*)rgb.data(), (std::streamsize)rgb.size());
}

std::vector<uint8_t> MakeMovie(const MovieLine& m, const std::string& where) {
  // pens=i:r:g:b,... overrides colours of the shared palette in this movie's
  // colour table (a screen that sets pens itself while the movie loads its
  // colours before every frame).
  std::vector<Rgb> colours(SharedPalette().begin(), SharedPalette().end());
  std::istringstream pens(m.params.Str("pens", ""));
  for (std::string item; std::getline(pens, item, ',');) {
    int i = -1, r = -1, g = -1, b = -1;
    if (std::sscanf(item.c_str(), "%d:%d:%d:%d", &i, &r, &g, &b) != 4 || i < 0 || i > 255 || r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255)
      throw Failure{where + "pens: expected index:r:g:b, got " + item};
    colours[(size_t)i] = {(uint8_t)r, (uint8_t)g, (uint8_t)b};
  }
  std::vector<AnimFrame> frames = DrawFrames(m, where);
  // A picture twice in a row would stand still for a frame.
  for (size_t i = 0; i < frames.size(); ++i)
    if (frames[i].pixels == frames[(i + 1) % frames.size()].pixels)
      throw Failure{where + "frames " + std::to_string(i) + " and " + std::to_string((i + 1) % frames.size()) + " are the same picture"};
  // The loop is a cycle; the file starts after its smallest step, so the
  // step from the last frame back to the first is never the largest.
  size_t best = 0, best_changed = SIZE_MAX;
  for (size_t i = 0; i < frames.size(); ++i) {
    const auto& a = frames[i].pixels;
    const auto& b = frames[(i + 1) % frames.size()].pixels;
    size_t changed = 0;
    for (size_t k = 0; k < a.size(); ++k) changed += a[k] != b[k];
    if (changed < best_changed) best = i, best_changed = changed;
  }
  std::rotate(frames.begin(), frames.begin() + (long)((best + 1) % frames.size()), frames.end());
  frames[0].colours = colours;
  AnimOptions o;
  o.width = m.width;
  o.height = m.height;
  std::string err;
  std::vector<uint8_t> file = EncodeAnim(o, frames, &err);
  if (file.empty()) throw Failure{where + err};
  return file;
}

fs::path OutPath(const fs::path& anims, const std::string& name) {
  fs::path p = anims;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i)
    if (i == name.size() || name[i] == '\\') {
      p /= name.substr(start, i - start);
      start = i + 1;
    }
  return p;
}

std::string Utf8(const std::string& latin1) {
  std::string s;
  for (unsigned char c : latin1) {
    if (c < 0x80) s.push_back((char)c);
    else s.push_back((char)(0xC0 | (c >> 6))), s.push_back((char)(0x80 | (c & 0x3F)));
  }
  return s;
}

std::string Table(const std::vector<MovieLine>& list) {
  std::string t;
  std::string family;
  for (const MovieLine& m : list) {
    if (m.family != family) {
      family = m.family;
      t += "\n### " + std::string(family == "screens" ? "Screen movies" : family == "buildings" ? "Building animations" : "Goods animations") + "\n\n";
      t += "| file | size | frames | fps | shows |\n|---|---|---|---|---|\n";
    }
    std::string name = Utf8(m.name);
    t += "| `" + name + "` | " + std::to_string(m.width) + " x " + std::to_string(m.height) + " | " +
         std::to_string(m.frames) + " | " + std::to_string(m.fps) + " | " + m.what + " |\n";
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--table") {
      std::fputs(Table(ReadList(fs::path(argv[2]) / "movies.txt")).c_str(), stdout);
      return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--sheets") {
      const fs::path list_file = fs::path(argv[2]) / "movies.txt";
      fs::create_directories(argv[3]);
      for (const MovieLine& m : ReadList(list_file)) {
        std::string file = m.name;
        std::replace(file.begin(), file.end(), '\\', '_');
        WriteSheet(m, DrawFrames(m, list_file.string() + ":" + std::to_string(m.line) + ": "), fs::path(argv[3]) / (file + ".ppm"));
      }
      return 0;
    }
    if (argc != 3) {
      std::fprintf(stderr, "usage: datakit_movies <source folder> <output folder>\n");
      return 2;
    }
    const fs::path src = argv[1], out = argv[2];
    const fs::path list_file = src / "movies.txt";
    const auto list = ReadList(list_file);
    const fs::path anims = out / "Anims";
    for (const MovieLine& m : list) {
      const std::string where = list_file.string() + ":" + std::to_string(m.line) + ": ";
      const std::vector<uint8_t> bytes = MakeMovie(m, where);
      const fs::path p = OutPath(anims, m.name);
      fs::create_directories(p.parent_path());
      std::ofstream f(p, std::ios::binary | std::ios::trunc);
      f.write((const char*)bytes.data(), (std::streamsize)bytes.size());
      if (!f) throw Failure{p.string() + ": cannot write"};
    }
    std::ofstream(out / ".datakit-movies-stamp") << "ok\n";
  } catch (Failure& e) {
    std::fprintf(stderr, "%s\n", e.what.c_str());
    return 1;
  } catch (std::exception& e) {
    std::fprintf(stderr, "datakit_movies: %s\n", e.what());
    return 1;
  }
  return 0;
}
