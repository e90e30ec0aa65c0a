// Windows BMP reading and writing on plain byte buffers (no Qt, no streams), so that the
// decoder can be fuzzed alone. Every read is bounds-checked; malformed input raises through
// the handler the caller passes in (the graphics layer turns it into EInvalidGraphic).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bmp {

struct Image {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 24;             // depth the file had (or should get when written)
  bool topDown = false;              // the file stored its rows top row first
  bool hasAlpha = false;             // 32-bit file with a meaningful fourth byte
  std::vector<uint32_t> palette;     // 0xAARRGGBB entries of a palette file
  std::vector<uint32_t> pixels;      // 0xAARRGGBB, row 0 at the top, width*height entries
};

// Upper bound on width*height the decoder accepts; larger claims are treated as corrupt.
constexpr uint64_t kMaxPixels = 32u * 1024u * 1024u;

class Error {
 public:
  explicit Error(std::string m) : message(std::move(m)) {}
  std::string message;
};

// Decodes a complete BMP file (starting with "BM"). Throws bmp::Error on malformed input.
Image Decode(const uint8_t* data, size_t size);

// Size in bytes that the file header of a BMP at data claims (0 when it does not look like one).
size_t ClaimedFileSize(const uint8_t* data, size_t size);

// Encodes img with the given depth (1, 4, 8, 15 (5-5-5), 16 (5-6-5 bit fields), 24 or 32),
// bottom-up with a 40-byte info header. Palette depths use img.palette when every pixel is in
// it, else a palette built from the pixels; more distinct colours than the depth holds raise.
std::vector<uint8_t> Encode(const Image& img, int depth);

}  // namespace bmp
