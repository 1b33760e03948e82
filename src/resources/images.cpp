#include "resources/images.h"

namespace resources {
namespace {

platform::PixelImage Filled(int width, int height, uint32_t background, uint32_t body) {
  platform::PixelImage image{width, height, std::vector<uint32_t>(static_cast<size_t>(width * height), background)};
  for (int y = 3; y < height - 3; ++y)
    for (int x = 3; x < width - 3; ++x) image.pixels[static_cast<size_t>(y * width + x)] = body;
  return image;
}

}  // namespace

const platform::PixelImage& ComputerBitmap(UINT id) {
  static const platform::PixelImage primary = Filled(20, 16, 0xFF00FF00, 0xFF800000);
  static const platform::PixelImage server = Filled(20, 16, 0xFF00FF00, 0xFF000080);
  static const platform::PixelImage workstation = Filled(20, 16, 0xFF00FF00, 0xFF008080);
  static const platform::PixelImage unknown = Filled(20, 16, 0xFF00FF00, 0xFF808080);
  switch (id) {
    case IDB_PRIMARY_CONTROLLER: return primary;
    case IDB_SERVER: return server;
    case IDB_WORKSTATION: return workstation;
    default: return unknown;
  }
}

const platform::PixelImage& ProgramIcon() {
  static const platform::PixelImage icon = Filled(32, 32, 0x00000000, 0xFF404040);
  return icon;
}

}  // namespace resources
