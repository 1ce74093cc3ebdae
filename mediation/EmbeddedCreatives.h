// The PNG files of mediation/creatives, compiled into the library. The definitions are
// generated at build time (cmake/EmbedCreatives.cmake), which refuses a file that is
// missing, not a PNG, or larger than it allows.
#pragma once

#include <cstddef>

namespace tilo::mediation {

struct EmbeddedCreativeFile {
  const char* name;  // "puzzle-media.png"
  const unsigned char* data;
  std::size_t size;
};

extern const EmbeddedCreativeFile kEmbeddedCreativeFiles[];
extern const std::size_t kEmbeddedCreativeFileCount;

}  // namespace tilo::mediation
