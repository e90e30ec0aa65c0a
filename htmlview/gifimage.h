#pragma once
// GIF87a/GIF89a pictures, single-frame and animated: the frames are decoded into plain pixel
// buffers, composed on an off-screen canvas with transparency and the four disposal methods, and
// stepped by the caller's animation timer with per-frame delays, a speed factor and loop counts.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/pixbuf.h"
#include "platform/core/sysutils.h"

VX_DECLARE_EXCEPTION(EGifError, Exception)

class TGIFImage;
class TStream;

class TgfFrame {
 public:
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int LocalColorBits = 0;
  int Delay = 0;  // milliseconds
  uint8_t Disposal = 0;
  bool HasLocalTable = false, Interlaced = false, Transparent = false;
  uint8_t TransparentIndex = 0;
  uint8_t TransparentRed = 0, TransparentGreen = 0, TransparentBlue = 0;
  std::array<uint8_t, 768> ColorTable{};  // the local table, or a copy of the global one
  TPixelBuffer Bitmap;  // transparent pixels black
  TMaskBuffer Mask;     // only for transparent frames; 1 = transparent
  TPixelBuffer SavedBitmap;  // disposal 3: what lay under the frame
  TMaskBuffer SavedMask;
  std::string Comment;
  bool Dither = false;
  TGIFImage* Owner = nullptr;
};

class TGIFImage {
 public:
  // Limits that keep hostile files from taking the machine's memory.
  static constexpr int64_t MaxPixels = 16 * 1024 * 1024;  // one frame, and the whole picture
  static constexpr int MaxFrames = 256;
  // Decoded pixels of all frames together; frames beyond it end the frame list.
  static inline int64_t TotalPixelLimit = 64 * 1024 * 1024;

  TGIFImage();
  ~TGIFImage();
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  bool IsAnimated = false;
  int CurrentFrame = 1;
  bool Empty = true;
  int Width = 0, Height = 0;
  int FrameCount() const { return static_cast<int>(FFrames.size()); }
  int LoopCount = 1;
  int Speed = 100;
  bool IsTransparent = false;
  bool Visible = true;
  int ColorBits = 0;
  std::array<uint8_t, 768> GlobalColorTable{};
  bool Animate() const { return FAnimate; }
  bool Dither = false;
  int CurrentLoop = 1;
  bool FirstStep = true;
  bool ScanOnly = false;
  uint32_t LastTime = 0;
  int CurrentInterval = 0;
  bool ShownOnScreen = false;
  bool IsCopy = false;

  // Frames are numbered from 1.
  TgfFrame* Frames(int N) const { return FFrames.at(static_cast<size_t>(N - 1)).get(); }

  bool LoadFromBytes(const uint8_t* Data, size_t Size);
  bool LoadFromFile(const std::string& FileName);
  bool LoadFromBytesScanOnly(const uint8_t* Data, size_t Size);
  // Reads the data held by LoadFrom...; false when it is no GIF.
  bool Read();
  void Clear();

  void SetAnimate(bool Value, uint32_t Now);
  void SetSpeed(int Value);
  void SetCurrentFrame(int N);
  void SetVisible(bool Value) { Visible = Value; }
  // One step of the animation timer at time Now (milliseconds); true when another frame was
  // composed and the last drawing rectangle needs painting again.
  bool AnimationStep(uint32_t Now);

  // The composed picture and, for transparent GIFs, its mask (1 = transparent).
  const TPixelBuffer& Canvas() const { return FCanvas; }
  const TMaskBuffer& CanvasMask() const { return FCanvasMask; }
  // The first frame composed on its transparent colour, sized as the whole picture.
  const TPixelBuffer* GetBitmap();
  const TPixelBuffer* GetFirstBitmap() const;
  const TMaskBuffer* GetFirstMask() const;

  std::unique_ptr<TGIFImage> Clone() const;

  // The last drawing rectangle, kept by the drawing code.
  int DrawLeft = 0, DrawTop = 0, DrawWidth = 0, DrawHeight = 0;

 private:
  enum class TFrameResult { Added, Skipped, Failed };
  TFrameResult ReadFrame(size_t& Pos, const std::array<uint8_t, 6>& Control);
  void DecodeFrame(TgfFrame& F, size_t& Pos);
  void ComposeFrame(int N);
  void DisposeFrame(int N);
  void MakeCanvas();

  std::vector<uint8_t> FStream;
  int64_t FDecodedPixels = 0;
  std::vector<std::unique_ptr<TgfFrame>> FFrames;
  TPixelBuffer FCanvas;
  TMaskBuffer FCanvasMask;
  std::unique_ptr<TPixelBuffer> FBitmap;
  bool FAnimate = false;
};

// Reads a GIF twice (structure, then pixels); nullptr when it cannot be read.
std::unique_ptr<TGIFImage> CreateGifFromBytes(const uint8_t* Data, size_t Size, bool& NonAnimated);
std::unique_ptr<TGIFImage> CreateGifFromStream(TStream* Stream, bool& NonAnimated);
std::unique_ptr<TGIFImage> CreateGifFromFile(const std::string& FileName, bool& NonAnimated);
