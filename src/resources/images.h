// The program's images: the four computer bitmaps of the main window's list
// (20 by 16 pixels, 16 colours, pure green where the row shows through) and
// the program icon.
#pragma once

#include "platform/windows/windows.h"

namespace resources {

enum ImageId : UINT {
  IDB_PRIMARY_CONTROLLER = 81,
  IDB_SERVER = 83,  // backup domain controllers and servers alike
  IDB_WORKSTATION = 85,
  IDB_UNKNOWN = 87,
  IDI_PROGRAM = 108,
};

// Bitmap 81, 83, 85 or 87: 20 x 16, opaque, every pixel one of the 16
// colours of a 4-bit bitmap.
const platform::PixelImage& ComputerBitmap(UINT id);

// Icon 108: 32 x 32 with alpha.
const platform::PixelImage& ProgramIcon();

}  // namespace resources
