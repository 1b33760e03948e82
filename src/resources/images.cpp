#include "resources/images.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace resources {
namespace {

// The images are drawn as text, one character a pixel, in the 16 colours of
// a 4-bit bitmap:
//
//   k black       r dark red      g dark green    y dark yellow
//   b dark blue   m dark magenta  c dark cyan     w light grey
//   d dark grey   R red           G green         Y yellow
//   B blue        M magenta       C cyan          W white
//
// '.' is the background: green in the bitmaps (the colour the image list
// makes transparent), fully transparent in the icon.
constexpr std::string_view kPalette = "krgybmcwdRGYBMCW";
constexpr uint32_t kColours[16] = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kClear = 0x00000000;

constexpr uint32_t Colour(char c, uint32_t background) {
  if (c == '.') return background;
  const size_t index = kPalette.find(c);
  return index == std::string_view::npos ? 0 : kColours[index];
}

template <size_t Height>
using Art = std::array<std::string_view, Height>;

// Every row as wide as the image and every character a colour, checked by
// the compiler so a slip in a drawing cannot ship.
template <size_t Height>
constexpr bool WellFormed(const Art<Height>& art, size_t width) {
  for (std::string_view row : art) {
    if (row.size() != width) return false;
    for (char c : row)
      if (c != '.' && kPalette.find(c) == std::string_view::npos) return false;
  }
  return true;
}

// The image list takes 19 of the bitmaps' 20 columns; the last stays empty.
template <size_t Height>
constexpr bool LastColumnEmpty(const Art<Height>& art) {
  for (std::string_view row : art)
    if (row.back() != '.') return false;
  return true;
}

template <size_t Height>
platform::PixelImage Render(const Art<Height>& art, uint32_t background) {
  platform::PixelImage image;
  image.width = static_cast<int>(art[0].size());
  image.height = static_cast<int>(Height);
  image.pixels.reserve(art[0].size() * Height);
  for (std::string_view row : art)
    for (char c : row) image.pixels.push_back(Colour(c, background));
  return image;
}

static_assert(Colour('R', kClear) == 0xFFFF0000 && Colour('B', kClear) == 0xFF0000FF, "0xAARRGGBB");
static_assert(Colour('.', kGreen) == Colour('G', kClear));

// A tower with its drive bays, lights and vents, lit from the top left.
constexpr Art<16> kServer = {
    "....kkkkkkkkkkkk....",
    "....kWWWWWWWWWdk....",
    "....kWkkkkkkkwdk....",
    "....kWwwwwwwwwdk....",
    "....kWkkkkkkkwdk....",
    "....kWwwwwwwwwdk....",
    "....kWwwwwwwwwdk....",
    "....kWwwwkkkwwdk....",
    "....kWwwwwwwwwdk....",
    "....kWwgwRwwwwdk....",
    "....kWwwwwwwwwdk....",
    "....kWwdwdwdwwdk....",
    "....kWwdwdwdwwdk....",
    "....kWwwwwwwwwdk....",
    "....kddddddddddk....",
    "....kkkkkkkkkkkk....",
};

// The same tower, crowned: the domain's primary controller.
constexpr Art<16> kPrimaryController = {
    ".kkkkkkkkkkkk.k..k..",
    ".kWWWWWWWWkYkkYkkYk.",
    ".kWkkkkkkkkYYkYkYYk.",
    ".kWwwwwwwwkYYYYYYYk.",
    ".kWkkkkkkkkYRYBYRYk.",
    ".kWwwwwwwwkyyyyyyyk.",
    ".kWwwwwwwwkkkkkkkkk.",
    ".kWwwwkkkwwdk.......",
    ".kWwwwwwwwwdk.......",
    ".kWwgwRwwwwdk.......",
    ".kWwwwwwwwwdk.......",
    ".kWwdwdwdwwdk.......",
    ".kWwdwdwdwwdk.......",
    ".kWwwwwwwwwdk.......",
    ".kddddddddddk.......",
    ".kkkkkkkkkkkk.......",
};

// A monitor on a desktop box, and the keyboard in front.
constexpr Art<16> kWorkstation = {
    "...kkkkkkkkkkkkk....",
    "...kWWWWWWWWWWWdk...",
    "...kWkkkkkkkkkwdk...",
    "...kWkcccccccWwdk...",
    "...kWkcccccccWwdk...",
    "...kWkcccccccWwdk...",
    "...kWkWWWWWWWWwdk...",
    "...kwwwwwwwwwwwdk...",
    "...kkkkkkkkkkkkkk...",
    "kkkkkkkkkkkkkkkkkkk.",
    "kWWWWWWWWWWWWWWWWdk.",
    "kWwkkkkkkwwwwwgwwdk.",
    "kddddddddddddddddk..",
    "kkkkkkkkkkkkkkkkkk..",
    ".kWkWkWkWkWkWkWkWk..",
    ".kkkkkkkkkkkkkkkkk..",
};

// A computer that did not say what it is: greyed, with a question mark.
constexpr Art<16> kUnknown = {
    "...dddddddddddddd...",
    "...dwwwwwwwwwwwwd...",
    "...dwddddddddddwd...",
    "...dwdWWkkkkWWdwd...",
    "...dwdWkWWWWkWdwd...",
    "...dwdWWWWWWkWdwd...",
    "...dwdWWWWkkWWdwd...",
    "...dwdWWWWkWWWdwd...",
    "...dwdWWWWWWWWdwd...",
    "...dwdWWWWkWWWdwd...",
    "...dwwwwwwwwwwwwd...",
    "...dddddddddddddd...",
    "ddddddddddddddddddd.",
    "dwwwwwwwwwwwwwwwwwd.",
    "ddddddddddddddddddd.",
    "....................",
};

// The program: a crow on a database drum.
constexpr Art<32> kProgram = {
    "................................",
    "......................kkkk......",
    ".....................kkkkkk.....",
    "....................kkkkWkkk....",
    "....................kkkkkkkkdd..",
    "...................kkkkkkkkdddd.",
    "...................kkkkkkkkk....",
    "..................kkkkkkkkk.....",
    ".............kkkkkkkkkkkkk......",
    "...........kkkkddddkkkkkkk......",
    ".........kkkkddddkkkkkkkkk......",
    "........kkkddddkkkkkkkkkk.......",
    ".......kkkdddkkkkkkkkkkk........",
    "......kkkkkkkkkkkkkkkkk.........",
    ".....kkkkkkkkkkkkkkkk...........",
    "....kkkkk.....k...k.............",
    "...kkkk.......k...k.............",
    "..........kkkkkkkkkkkk..........",
    ".......kkkCCCCkCCCkCCCkkk.......",
    ".....kkCCCCCCCkCCCkCCCCCCkk.....",
    "....kCCCCCCCCCkkkCkkkCCCCCCk....",
    "....kCCCCCCCCCCCCCCCCCCCCCCk....",
    "....kWkkCCCCCCCCCCCCCCCCkkbk....",
    "....kWBBkkkkkkkkkkkkkkkkbbbk....",
    "....kWBBBBBBBBBBBBBBBBBBbbbk....",
    "....kWkkBBBBBBBBBBBBBBBBkkbk....",
    "....kWBBkkkkkkkkkkkkkkkkbbbk....",
    "....kWBBBBBBBBBBBBBBBBBBbbbk....",
    "....kWBBBBBBBBBBBBBBBBBBbbbk....",
    ".....kkBBBBBBBBBBBBBBBBbbkk.....",
    ".......kkkbbbbbbbbbbbbkkk.......",
    "..........kkkkkkkkkkkk..........",
};

static_assert(WellFormed(kPrimaryController, 20) && LastColumnEmpty(kPrimaryController));
static_assert(WellFormed(kServer, 20) && LastColumnEmpty(kServer));
static_assert(WellFormed(kWorkstation, 20) && LastColumnEmpty(kWorkstation));
static_assert(WellFormed(kUnknown, 20) && LastColumnEmpty(kUnknown));
static_assert(WellFormed(kProgram, 32));

}  // namespace

const platform::PixelImage& ComputerBitmap(UINT id) {
  static const platform::PixelImage primary = Render(kPrimaryController, kGreen);
  static const platform::PixelImage server = Render(kServer, kGreen);
  static const platform::PixelImage workstation = Render(kWorkstation, kGreen);
  static const platform::PixelImage unknown = Render(kUnknown, kGreen);
  switch (id) {
    case IDB_PRIMARY_CONTROLLER: return primary;
    case IDB_SERVER: return server;
    case IDB_WORKSTATION: return workstation;
    default: return unknown;
  }
}

const platform::PixelImage& ProgramIcon() {
  static const platform::PixelImage icon = Render(kProgram, kClear);
  return icon;
}

}  // namespace resources
