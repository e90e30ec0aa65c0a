#include "platform/gui/bmpcodec.h"

#include <algorithm>
#include <map>

namespace bmp {
namespace {

[[noreturn]] void Fail(const char* what) { throw Error(std::string("Bitmap image is not valid: ") + what); }

class Reader {
 public:
  Reader(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  bool Has(size_t pos, size_t len) const { return pos <= n_ && len <= n_ - pos; }
  uint8_t U8(size_t pos) const {
    if (!Has(pos, 1)) Fail("truncated file");
    return d_[pos];
  }
  uint16_t U16(size_t pos) const {
    if (!Has(pos, 2)) Fail("truncated file");
    return uint16_t(d_[pos] | (d_[pos + 1] << 8));
  }
  uint32_t U32(size_t pos) const {
    if (!Has(pos, 4)) Fail("truncated file");
    return uint32_t(d_[pos]) | (uint32_t(d_[pos + 1]) << 8) | (uint32_t(d_[pos + 2]) << 16) |
           (uint32_t(d_[pos + 3]) << 24);
  }
  int32_t S32(size_t pos) const { return int32_t(U32(pos)); }
  size_t size() const { return n_; }
  const uint8_t* at(size_t pos) const { return d_ + pos; }

 private:
  const uint8_t* d_;
  size_t n_;
};

// Extracts a channel selected by a bit mask and scales it to 0..255.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  explicit Channel(uint32_t m = 0) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
  }
  uint32_t Get(uint32_t v) const {
    if (!mask) return 0;
    uint32_t x = (v & mask) >> shift;
    if (bits >= 8) return x >> (bits - 8);
    uint32_t maxv = (1u << bits) - 1;
    return (x * 255 + maxv / 2) / maxv;
  }
};

constexpr uint32_t kOpaque = 0xFF000000u;

}  // namespace

size_t ClaimedFileSize(const uint8_t* data, size_t size) {
  if (size < 14 || data[0] != 'B' || data[1] != 'M') return 0;
  Reader r(data, size);
  return r.U32(2);
}

Image Decode(const uint8_t* data, size_t size) {
  Reader r(data, size);
  if (size < 14 + 12) Fail("truncated file");
  if (data[0] != 'B' || data[1] != 'M') Fail("missing BM signature");
  const uint32_t offBits = r.U32(10);
  const uint32_t hsize = r.U32(14);
  Image img;
  int64_t width, height;
  int bpp;
  uint32_t compression = 0, clrUsed = 0;
  size_t palEntry = 4;
  uint32_t masks[4] = {0, 0, 0, 0};
  size_t pos = 14 + hsize;
  if (hsize == 12) {
    width = r.U16(18);
    height = int16_t(r.U16(20));
    bpp = r.U16(24);
    palEntry = 3;
  } else if (hsize >= 40 && hsize <= 1024) {
    if (!r.Has(14, hsize)) Fail("truncated header");
    width = r.S32(18);
    height = r.S32(22);
    bpp = r.U16(28);
    compression = r.U32(30);
    clrUsed = r.U32(46);
    if (hsize >= 52) {
      masks[0] = r.U32(54);
      masks[1] = r.U32(58);
      masks[2] = r.U32(62);
    }
    if (hsize >= 56) masks[3] = r.U32(66);
    if (compression == 3 && hsize == 40) {
      masks[0] = r.U32(pos);
      masks[1] = r.U32(pos + 4);
      masks[2] = r.U32(pos + 8);
      pos += 12;
    }
  } else {
    Fail("unsupported header size");
  }
  if (width <= 0) Fail("bad width");
  if (height == 0 || height == INT32_MIN) Fail("bad height");
  img.topDown = height < 0;
  if (height < 0) height = -height;
  if (uint64_t(width) * uint64_t(height) > kMaxPixels) Fail("image too large");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) Fail("unsupported bit depth");
  if (compression == 1 && bpp != 8) Fail("RLE8 needs 8 bits per pixel");
  if (compression == 2 && bpp != 4) Fail("RLE4 needs 4 bits per pixel");
  if (compression == 3 && bpp != 16 && bpp != 32) Fail("bit fields need 16 or 32 bits per pixel");
  if (compression > 3) Fail("unsupported compression");
  if ((compression == 1 || compression == 2) && img.topDown) Fail("compressed bitmaps cannot be top-down");
  img.width = int(width);
  img.height = int(height);
  img.bitsPerPixel = bpp;

  if (bpp <= 8) {
    size_t n = clrUsed ? clrUsed : (1u << bpp);
    if (n > 256) n = 256;
    for (size_t i = 0; i < n; ++i) {
      size_t p = pos + i * palEntry;
      if (!r.Has(p, 3)) {
        if (i == 0) Fail("truncated palette");
        break;  // a short palette is tolerated; missing entries read as black
      }
      img.palette.push_back(kOpaque | (uint32_t(r.U8(p + 2)) << 16) | (uint32_t(r.U8(p + 1)) << 8) | r.U8(p));
    }
    pos += n * palEntry;
  }
  size_t bits = offBits;
  if (bits == 0 || bits < 14 + 12) bits = pos;
  if (bits >= size) Fail("no pixel data");

  img.pixels.assign(size_t(img.width) * img.height, kOpaque);
  auto color = [&](uint32_t idx) -> uint32_t { return idx < img.palette.size() ? img.palette[idx] : kOpaque; };
  auto put = [&](int x, int fileRow, uint32_t c) {
    int y = img.topDown ? fileRow : img.height - 1 - fileRow;
    img.pixels[size_t(y) * img.width + x] = c;
  };

  if (compression == 1 || compression == 2) {
    // Run-length data: pixels not covered by the runs stay palette entry 0's colour.
    std::fill(img.pixels.begin(), img.pixels.end(), color(0));
    const bool rle4 = compression == 2;
    size_t p = bits;
    int x = 0, row = 0;
    while (row < img.height) {
      if (!r.Has(p, 2)) Fail("truncated run-length data");
      uint8_t count = r.U8(p), value = r.U8(p + 1);
      p += 2;
      if (count) {
        for (int i = 0; i < count; ++i, ++x) {
          if (x >= img.width) continue;
          uint32_t idx = rle4 ? ((i & 1) ? (value & 15) : (value >> 4)) : value;
          put(x, row, color(idx));
        }
        continue;
      }
      if (value == 0) {
        x = 0;
        ++row;
      } else if (value == 1) {
        break;
      } else if (value == 2) {
        if (!r.Has(p, 2)) Fail("truncated run-length data");
        x += r.U8(p);
        row += r.U8(p + 1);
        p += 2;
      } else {
        size_t nbytes = rle4 ? (value + 1) / 2 : value;
        if (!r.Has(p, nbytes)) Fail("truncated run-length data");
        for (int i = 0; i < value; ++i, ++x) {
          if (x >= img.width) continue;
          uint8_t b = r.U8(p + (rle4 ? i / 2 : i));
          uint32_t idx = rle4 ? ((i & 1) ? (b & 15) : (b >> 4)) : b;
          put(x, row, color(idx));
        }
        p += (nbytes + 1) & ~size_t(1);
      }
    }
    return img;
  }

  const uint64_t stride = ((uint64_t(img.width) * bpp + 31) / 32) * 4;
  const uint64_t need = stride * uint64_t(img.height);
  // The last row may lack its padding in files written by careless tools.
  const uint64_t lastRow = (uint64_t(img.width) * bpp + 7) / 8;
  if (bits + need - stride + lastRow > size) Fail("truncated pixel data");

  Channel ch[4];
  if (bpp == 16) {
    if (compression == 3) {
      ch[0] = Channel(masks[0]); ch[1] = Channel(masks[1]); ch[2] = Channel(masks[2]); ch[3] = Channel(masks[3]);
    } else {
      ch[0] = Channel(0x7C00); ch[1] = Channel(0x03E0); ch[2] = Channel(0x001F);
    }
  } else if (bpp == 32) {
    if (compression == 3) {
      ch[0] = Channel(masks[0]); ch[1] = Channel(masks[1]); ch[2] = Channel(masks[2]); ch[3] = Channel(masks[3]);
    } else {
      ch[0] = Channel(0x00FF0000); ch[1] = Channel(0x0000FF00); ch[2] = Channel(0x000000FF);
      ch[3] = Channel(0xFF000000);
    }
  }
  bool anyAlpha = false;
  for (int row = 0; row < img.height; ++row) {
    const uint8_t* s = r.at(bits + size_t(stride) * row);
    for (int x = 0; x < img.width; ++x) {
      uint32_t c;
      switch (bpp) {
        case 1: c = color((s[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: c = color((x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4)); break;
        case 8: c = color(s[x]); break;
        case 16: {
          uint32_t v = uint32_t(s[2 * x]) | (uint32_t(s[2 * x + 1]) << 8);
          c = kOpaque | (ch[0].Get(v) << 16) | (ch[1].Get(v) << 8) | ch[2].Get(v);
          break;
        }
        case 24: c = kOpaque | (uint32_t(s[3 * x + 2]) << 16) | (uint32_t(s[3 * x + 1]) << 8) | s[3 * x]; break;
        default: {
          uint32_t v = uint32_t(s[4 * x]) | (uint32_t(s[4 * x + 1]) << 8) | (uint32_t(s[4 * x + 2]) << 16) |
                       (uint32_t(s[4 * x + 3]) << 24);
          uint32_t a = ch[3].mask ? ch[3].Get(v) : 0;
          if (a) anyAlpha = true;
          c = (a << 24) | (ch[0].Get(v) << 16) | (ch[1].Get(v) << 8) | ch[2].Get(v);
        }
      }
      put(x, row, c);
    }
  }
  if (bpp == 32) {
    img.hasAlpha = anyAlpha;
    // A 32-bit file whose fourth bytes are all zero carries no alpha: show it opaque.
    if (!anyAlpha)
      for (auto& px : img.pixels) px |= kOpaque;
  }
  return img;
}

namespace {
void Put16(std::vector<uint8_t>& o, uint32_t v) {
  o.push_back(uint8_t(v));
  o.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
}  // namespace

std::vector<uint8_t> Encode(const Image& img, int depth) {
  if (img.width <= 0 || img.height <= 0 || img.pixels.size() != size_t(img.width) * img.height)
    throw Error("Cannot save an empty bitmap");
  const int bpp = depth == 15 ? 16 : depth;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    throw Error("Unsupported bitmap depth");
  std::vector<uint32_t> palette;
  std::map<uint32_t, uint32_t> index;
  if (bpp <= 8) {
    const size_t maxColours = size_t(1) << bpp;
    auto build = [&](const std::vector<uint32_t>& pal) {
      index.clear();
      for (size_t i = 0; i < pal.size(); ++i) index.emplace(pal[i] & 0xFFFFFF, uint32_t(i));
      for (uint32_t px : img.pixels)
        if (!index.count(px & 0xFFFFFF)) return false;
      return true;
    };
    if (!img.palette.empty() && img.palette.size() <= maxColours && build(img.palette)) {
      palette = img.palette;
    } else {
      index.clear();
      for (uint32_t px : img.pixels) {
        uint32_t c = px & 0xFFFFFF;
        if (!index.count(c)) {
          if (palette.size() == maxColours) throw Error("Too many colours for the bitmap depth");
          index.emplace(c, uint32_t(palette.size()));
          palette.push_back(c);
        }
      }
    }
    if (bpp == 1 && palette.size() < 2) palette.resize(2, 0xFFFFFF);
  }
  const bool bitfields = depth == 16;
  const uint32_t stride = ((uint32_t(img.width) * bpp + 31) / 32) * 4;
  const uint32_t headerBytes = 14 + 40 + (bitfields ? 12 : 0) + uint32_t(palette.size()) * 4;
  const uint32_t imageBytes = stride * uint32_t(img.height);
  std::vector<uint8_t> o;
  o.reserve(headerBytes + imageBytes);
  o.push_back('B');
  o.push_back('M');
  Put32(o, headerBytes + imageBytes);
  Put32(o, 0);
  Put32(o, headerBytes);
  Put32(o, 40);
  Put32(o, uint32_t(img.width));
  Put32(o, uint32_t(img.height));
  Put16(o, 1);
  Put16(o, uint16_t(bpp));
  Put32(o, bitfields ? 3 : 0);
  Put32(o, imageBytes);
  Put32(o, 3780);  // 96 dpi in pixels per metre
  Put32(o, 3780);
  Put32(o, uint32_t(palette.size()));
  Put32(o, 0);
  if (bitfields) {
    Put32(o, 0xF800);
    Put32(o, 0x07E0);
    Put32(o, 0x001F);
  }
  for (uint32_t c : palette) Put32(o, c & 0xFFFFFF);
  std::vector<uint8_t> row(stride);
  for (int y = img.height - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), 0);
    const uint32_t* s = &img.pixels[size_t(y) * img.width];
    for (int x = 0; x < img.width; ++x) {
      uint32_t c = s[x];
      uint32_t r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
      switch (bpp) {
        case 1: row[x >> 3] |= uint8_t(index[c & 0xFFFFFF] << (7 - (x & 7))); break;
        case 4: row[x >> 1] |= uint8_t(index[c & 0xFFFFFF] << ((x & 1) ? 0 : 4)); break;
        case 8: row[x] = uint8_t(index[c & 0xFFFFFF]); break;
        case 16: {
          uint32_t v = bitfields ? ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
                                 : ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
          row[2 * x] = uint8_t(v);
          row[2 * x + 1] = uint8_t(v >> 8);
          break;
        }
        case 24:
          row[3 * x] = uint8_t(b);
          row[3 * x + 1] = uint8_t(g);
          row[3 * x + 2] = uint8_t(r);
          break;
        default:
          row[4 * x] = uint8_t(b);
          row[4 * x + 1] = uint8_t(g);
          row[4 * x + 2] = uint8_t(r);
          row[4 * x + 3] = uint8_t(img.hasAlpha ? (c >> 24) : 0);
      }
    }
    o.insert(o.end(), row.begin(), row.end());
  }
  return o;
}

}  // namespace bmp
