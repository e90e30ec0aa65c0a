// Raw pixel values in a row of packed pixels, shared by the software display surfaces, the blending
// pipeline and the device-independent bitmaps: 1, 2 and 4 bits a pixel with the leftmost pixel in
// the high bits of its byte, 8, 16, 24 and 32 bits little-endian. Other depths read as 0 and are
// not written.
#pragma once

#include <cstdint>
#include <cstring>

inline uint32_t LoadRawPixel(const uint8_t* Row, int X, int BitCount) {
  switch (BitCount) {
    case 1: return (Row[X / 8] >> (7 - X % 8)) & 1;
    case 2: return (Row[X / 4] >> (6 - 2 * (X % 4))) & 3;
    case 4: return X % 2 == 0 ? Row[X / 2] >> 4 : Row[X / 2] & 15;
    case 8: return Row[X];
    case 16: return static_cast<uint32_t>(Row[2 * X] | (Row[2 * X + 1] << 8));
    case 24: return static_cast<uint32_t>(Row[3 * X] | (Row[3 * X + 1] << 8) | (Row[3 * X + 2] << 16));
    case 32: {
      uint32_t V;
      std::memcpy(&V, Row + 4 * X, 4);
      return V;
    }
  }
  return 0;
}

inline void StoreRawPixel(uint8_t* Row, int X, int BitCount, uint32_t V) {
  switch (BitCount) {
    case 1: {
      const uint8_t Bit = static_cast<uint8_t>(0x80 >> (X % 8));
      Row[X / 8] = static_cast<uint8_t>((V & 1) ? (Row[X / 8] | Bit) : (Row[X / 8] & ~Bit));
      break;
    }
    case 2: {
      const int Shift = 6 - 2 * (X % 4);
      Row[X / 4] = static_cast<uint8_t>((Row[X / 4] & ~(3 << Shift)) | ((V & 3) << Shift));
      break;
    }
    case 4:
      Row[X / 2] =
          static_cast<uint8_t>(X % 2 == 0 ? ((Row[X / 2] & 0x0F) | ((V & 15) << 4)) : ((Row[X / 2] & 0xF0) | (V & 15)));
      break;
    case 8: Row[X] = static_cast<uint8_t>(V); break;
    case 16:
      Row[2 * X] = static_cast<uint8_t>(V);
      Row[2 * X + 1] = static_cast<uint8_t>(V >> 8);
      break;
    case 24:
      Row[3 * X] = static_cast<uint8_t>(V);
      Row[3 * X + 1] = static_cast<uint8_t>(V >> 8);
      Row[3 * X + 2] = static_cast<uint8_t>(V >> 16);
      break;
    case 32: std::memcpy(Row + 4 * X, &V, 4); break;
  }
}
