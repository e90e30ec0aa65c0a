// JPEG pictures through libjpeg. libjpeg is C: its errors leave through longjmp back into the
// decoder below, which cleans up and raises EInvalidGraphic; no C++ exception crosses C frames.
#include <csetjmp>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jpeglib.h>
}

#include "platform/gui/graphics.h"

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  // Warnings (level -1) mean damaged data, e.g. a file cut short: treat them as errors so that a
  // truncated picture is reported instead of being shown half grey.
  if (level < 0) OnError(cinfo);
}

// Decodes into rgb (3 bytes per pixel). Returns false with msg filled on failure. Kept free of
// objects with destructors between setjmp and longjmp.
bool Decode(const uint8_t* data, size_t size, std::vector<uint8_t>& rgb, int& w, int& h, char* msg) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  err.message[0] = 0;
  if (setjmp(err.jump)) {
    std::snprintf(msg, JMSG_LENGTH_MAX, "%s", err.message);
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  w = int(cinfo.output_width);
  h = int(cinfo.output_height);
  if (uint64_t(w) * uint64_t(h) > 32u * 1024u * 1024u || cinfo.output_components != 3) {
    std::snprintf(msg, JMSG_LENGTH_MAX, "%s", "unsupported picture size or colour layout");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  rgb.resize(size_t(w) * h * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &rgb[size_t(cinfo.output_scanline) * w * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

TJPEGImage::TJPEGImage() : FBitmap(new TBitmap) {}
TJPEGImage::~TJPEGImage() = default;
int TJPEGImage::Width() const { return FBitmap->Width(); }
int TJPEGImage::Height() const { return FBitmap->Height(); }

void TJPEGImage::LoadFromBytes(const uint8_t* data, size_t size) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) throw EInvalidGraphic("JPEG error: not a JPEG file");
  std::vector<uint8_t> rgb;
  int w = 0, h = 0;
  char msg[JMSG_LENGTH_MAX] = {0};
  if (!Decode(data, size, rgb, w, h, msg)) throw EInvalidGraphic(std::string("JPEG error: ") + msg);
  FBitmap->SetSize(w, h);
  FBitmap->SetPixelFormat(pf24bit);
  for (int y = 0; y < h; ++y) {
    uint32_t* d = FBitmap->ScanLine(y);
    const uint8_t* s = &rgb[size_t(y) * w * 3];
    for (int x = 0; x < w; ++x) d[x] = 0xFF000000u | (uint32_t(s[3 * x]) << 16) | (uint32_t(s[3 * x + 1]) << 8) | s[3 * x + 2];
  }
  FBytes.assign(data, data + size);
  Changed();
}

void TJPEGImage::LoadFromStream(TStream* s) {
  int64_t n = s->Size() - s->Position();
  std::vector<uint8_t> buf(n > 0 ? size_t(n) : 0);
  if (!buf.empty()) buf.resize(size_t(s->Read(buf.data(), int64_t(buf.size()))));
  LoadFromBytes(buf.data(), buf.size());
}

void TJPEGImage::SaveToStream(TStream* s) {
  if (!FBytes.empty()) s->Write(FBytes.data(), int64_t(FBytes.size()));
}

void TJPEGImage::Draw(TCanvas* c, const TRect& r) { FBitmap->Draw(c, r); }
