// The page's files, built into the program (studio_assets.cpp is written
// by the build from studio/web/), so that nothing is fetched at run time.
#ifndef VORTIGEN_STUDIO_STUDIO_ASSETS_H
#define VORTIGEN_STUDIO_STUDIO_ASSETS_H

#include <cstddef>
#include <span>

namespace vtstudio {

struct StudioAsset {
  const char* path;  // "index.html"
  const char* type;  // its Content-Type
  const unsigned char* data;
  std::size_t size;
};

std::span<const StudioAsset> studioAssets();

}  // namespace vtstudio

#endif
