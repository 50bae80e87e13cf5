// The "TOOLBARICON" bitmap: 20 x 20 pixels in the 16 standard colours,
// drawn as 20 rows of 20 hexadecimal digits, one palette index per pixel,
// top row first. toolbarBitmap turns such a drawing into the bytes of a
// .bmp file, at compile time, for the resource script and the Linux
// resource table alike.
#ifndef VORTIGEN_FRAME_TOOLBAR_BITMAP_H
#define VORTIGEN_FRAME_TOOLBAR_BITMAP_H

#include <array>
#include <cstddef>
#include <cstdint>

constexpr int toolbarSide = 20;

// The 16 standard colours, as red, green, blue:
//   0 black   1 maroon  2 green   3 olive   4 navy    5 purple  6 teal    7 silver
//   8 grey    9 red     A lime    B yellow  C blue    D fuchsia E aqua    F white
constexpr std::array<std::uint32_t, 16> toolbarPalette{
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

constexpr std::size_t toolbarRowBytes = 12;  // 20 pixels of 4 bits, padded to 4 bytes
constexpr std::size_t toolbarPixelOffset = 14 + 40 + 16 * 4;
constexpr std::size_t toolbarBitmapSize = toolbarPixelOffset + toolbarRowBytes * toolbarSide;

using ToolbarDrawing = const char* const[toolbarSide];
using ToolbarBitmap = std::array<unsigned char, toolbarBitmapSize>;

constexpr int toolbarPaletteIndex(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

// Twenty rows of exactly twenty hexadecimal digits each.
constexpr bool isToolbarDrawing(const ToolbarDrawing& rows) {
  for (const char* row : rows) {
    int length = 0;
    for (; row[length] != '\0'; ++length) {
      if (toolbarPaletteIndex(row[length]) < 0) return false;
    }
    if (length != toolbarSide) return false;
  }
  return true;
}

constexpr void putLittleEndian(ToolbarBitmap& bytes, std::size_t at, std::uint32_t value,
                               int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A Windows bitmap file: file header, 40-byte info header, 16-entry
// palette, then the rows from the bottom up, two pixels a byte, left pixel
// in the high half.
constexpr ToolbarBitmap toolbarBitmap(const ToolbarDrawing& rows) {
  ToolbarBitmap bytes{};
  bytes[0] = 'B';
  bytes[1] = 'M';
  putLittleEndian(bytes, 2, toolbarBitmapSize, 4);
  putLittleEndian(bytes, 10, toolbarPixelOffset, 4);
  putLittleEndian(bytes, 14, 40, 4);                             // info header size
  putLittleEndian(bytes, 18, toolbarSide, 4);                    // width
  putLittleEndian(bytes, 22, toolbarSide, 4);                    // height, rows bottom-up
  putLittleEndian(bytes, 26, 1, 2);                              // planes
  putLittleEndian(bytes, 28, 4, 2);                              // bits per pixel
  putLittleEndian(bytes, 34, toolbarRowBytes * toolbarSide, 4);  // image size
  putLittleEndian(bytes, 46, 16, 4);                             // colours used
  for (std::size_t i = 0; i < toolbarPalette.size(); ++i) {
    const std::uint32_t rgb = toolbarPalette[i];
    bytes[54 + 4 * i + 0] = static_cast<unsigned char>(rgb);        // blue
    bytes[54 + 4 * i + 1] = static_cast<unsigned char>(rgb >> 8);   // green
    bytes[54 + 4 * i + 2] = static_cast<unsigned char>(rgb >> 16);  // red
  }
  for (int row = 0; row < toolbarSide; ++row) {
    const std::size_t line = toolbarPixelOffset + toolbarRowBytes * (toolbarSide - 1 - row);
    for (int x = 0; x < toolbarSide; x += 2) {
      const int left = toolbarPaletteIndex(rows[row][x]);
      const int right = toolbarPaletteIndex(rows[row][x + 1]);
      bytes[line + x / 2] = static_cast<unsigned char>((left << 4) | right);
    }
  }
  return bytes;
}

#endif
