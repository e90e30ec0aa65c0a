#include "htmlview/gifimage.h"

#include <algorithm>
#include <cstring>

#include "platform/core/classes.h"

namespace {

// Reads all bytes of a file; throws the stream's error when it cannot be opened.
std::vector<uint8_t> ReadWholeFile(const std::string& FileName) {
  TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
  int64_t Size = S.Size();
  if (Size < 0 || Size > (int64_t(1) << 31)) throw EGifError("GIF file too large");
  std::vector<uint8_t> Data(static_cast<size_t>(Size));
  if (Size > 0 && S.Read(Data.data(), Size) != Size) throw EGifError("GIF file could not be read");
  return Data;
}

int Word16(const std::vector<uint8_t>& D, size_t P) {
  return D[P] | (D[P + 1] << 8);
}

// The LZW decoder of one frame's image data.
class TLzwDecoder {
 public:
  TLzwDecoder(const std::vector<uint8_t>& Data, size_t& Pos) : D(Data), P(Pos) {}

  // Reads the code size and the first data sub-block.
  void Start() {
    if (P >= D.size()) {
      Done = true;
      ZeroBlockSeen = true;
      SetCodeSize = 2;
    } else {
      SetCodeSize = D[P++];
      // A code size outside 1..11 would overflow the 4096-entry tables.
      if (SetCodeSize < 1 || SetCodeSize > 11) throw EGifError("Corrupt GIF Image");
    }
    Clear = 1 << SetCodeSize;
    End = Clear + 1;
    ResetTables();
    std::memset(Buf, 0, sizeof Buf);
    LastByte = 0;
    if (!Done) {
      int Len = ReadSubBlock(0);
      if (Len == 0) {
        Done = true;
        ZeroBlockSeen = true;
      }
      LastByte = Len;
    }
    LastBit = LastByte * 8;
    BitPos = 0;
  }

  int GetCode() {
    if (BitPos + CodeSize >= LastBit) {
      if (Done) return -1;
      uint8_t B0 = LastByte >= 2 ? Buf[LastByte - 2] : 0;
      uint8_t B1 = LastByte >= 1 ? Buf[LastByte - 1] : 0;
      std::memset(Buf, 0, sizeof Buf);
      Buf[0] = B0;
      Buf[1] = B1;
      int Len = ReadSubBlock(2);
      if (Len == 0) {
        Done = true;
        ZeroBlockSeen = true;
      }
      LastByte = 2 + Len;
      BitPos = BitPos - LastBit + 16;
      LastBit = LastByte * 8;
    }
    // Bits beyond the data read as zeros: the buffer's tail is cleared on every refill.
    int Byte = BitPos >> 3;
    uint32_t V = uint32_t(Buf[Byte]) | (uint32_t(Buf[Byte + 1]) << 8) | (uint32_t(Buf[Byte + 2]) << 16);
    int Code = static_cast<int>((V >> (BitPos & 7)) & ((1u << CodeSize) - 1));
    BitPos += CodeSize;
    return Code;
  }

  // The first value of the frame: leading clear codes are skipped.
  int First() {
    int Code;
    do {
      Code = GetCode();
    } while (Code == Clear);
    FirstCode = OldCode = Code;
    return Code;
  }

  int ReadCode() {
    if (Sp > 0) return Stack[--Sp];
    int Code;
    while ((Code = GetCode()) >= 0) {
      if (Code == Clear) {
        ResetTables();
        FirstCode = OldCode = GetCode();
        return FirstCode;
      }
      if (Code == End) {
        if (!ZeroBlockSeen) {
          while (P < D.size()) {
            int Len = D[P++];
            if (Len == 0) break;
            P = std::min(D.size(), P + static_cast<size_t>(Len));
          }
          ZeroBlockSeen = true;
        }
        return -2;
      }
      int InCode = Code;
      if (Code >= NextCode) {
        if (OldCode < 0) throw EGifError("Corrupt GIF Image");
        Push(FirstCode);
        Code = OldCode;
      }
      while (Code >= Clear) {
        Push(Suffix[Code]);
        Code = Prefix[Code];
      }
      FirstCode = Suffix[Code];
      Push(FirstCode);
      if (NextCode < 4096 && OldCode >= 0) {
        Prefix[NextCode] = static_cast<uint16_t>(OldCode);
        Suffix[NextCode] = static_cast<uint16_t>(FirstCode);
        ++NextCode;
        if (NextCode >= Limit && Limit < 4096) {
          Limit *= 2;
          ++CodeSize;
        }
      }
      OldCode = InCode;
      if (Sp > 0) return Stack[--Sp];
    }
    return Code;
  }

  int ClearCode() const { return Clear; }

 private:
  void Push(int V) {
    if (Sp >= 4096) throw EGifError("Corrupt GIF Image");
    Stack[Sp++] = static_cast<uint16_t>(V);
  }
  void ResetTables() {
    std::memset(Prefix, 0, sizeof Prefix);
    std::memset(Suffix, 0, sizeof Suffix);
    for (int I = 0; I < Clear; ++I) Suffix[I] = static_cast<uint16_t>(I);
    Sp = 0;
    CodeSize = SetCodeSize + 1;
    Limit = 2 * Clear;
    NextCode = Clear + 2;
  }
  // Reads one data sub-block into the buffer at Offset; its length (0 at the end of the data).
  int ReadSubBlock(int Offset) {
    if (P >= D.size()) return 0;
    int Len = D[P++];
    int Avail = static_cast<int>(std::min<size_t>(static_cast<size_t>(Len), D.size() - P));
    std::memcpy(Buf + Offset, D.data() + P, static_cast<size_t>(Avail));
    P += static_cast<size_t>(Avail);
    return Avail;
  }

  const std::vector<uint8_t>& D;
  size_t& P;
  int SetCodeSize = 0, CodeSize = 0, Clear = 0, End = 0, NextCode = 0, Limit = 0;
  int FirstCode = 0, OldCode = -1;
  uint16_t Prefix[4096];
  uint16_t Suffix[4096];
  uint16_t Stack[4096];
  int Sp = 0;
  uint8_t Buf[2 + 255 + 8];
  int BitPos = 0, LastBit = 0, LastByte = 0;
  bool Done = false, ZeroBlockSeen = false;
};

void SkipSubBlocks(const std::vector<uint8_t>& D, size_t& P) {
  while (P < D.size()) {
    int Len = D[P++];
    if (Len == 0) return;
    P = std::min(D.size(), P + static_cast<size_t>(Len));
  }
}

}  // namespace

TGIFImage::TGIFImage() = default;
TGIFImage::~TGIFImage() = default;

void TGIFImage::Clear() {
  Empty = true;
  FFrames.clear();
  FStream.clear();
  CurrentFrame = 1;
  LoopCount = 1;
  CurrentLoop = 1;
  FirstStep = true;
  ColorBits = 0;
  IsTransparent = false;
  FBitmap.reset();
}

bool TGIFImage::LoadFromBytes(const uint8_t* Data, size_t Size) {
  ScanOnly = false;
  Clear();
  FStream.assign(Data, Data + Size);
  try {
    return Read();
  } catch (const Exception&) {
    Clear();
    return false;
  }
}

bool TGIFImage::LoadFromBytesScanOnly(const uint8_t* Data, size_t Size) {
  ScanOnly = true;
  Clear();
  FStream.assign(Data, Data + Size);
  try {
    return Read();
  } catch (const Exception&) {
    Clear();
    return false;
  }
}

bool TGIFImage::LoadFromFile(const std::string& FileName) {
  std::vector<uint8_t> Data;
  try {
    Data = ReadWholeFile(FileName);
  } catch (const Exception&) {
    return false;
  }
  return LoadFromBytes(Data.data(), Data.size());
}

bool TGIFImage::Read() {
  std::vector<uint8_t> D = std::move(FStream);
  Clear();
  FStream.clear();
  if (D.size() < 13 || std::memcmp(D.data(), "GIF", 3) != 0) return false;
  size_t P = 6;
  int ScreenWidth = Word16(D, P);
  int ScreenHeight = Word16(D, P + 2);
  uint8_t Packed = D[P + 4];
  P += 7;
  GlobalColorTable.fill(0);
  if (Packed & 0x80) {
    ColorBits = (Packed & 7) + 1;
    size_t N = 3u << ColorBits;
    size_t Avail = std::min(N, D.size() - P);
    std::memcpy(GlobalColorTable.data(), D.data() + P, Avail);
    P += Avail;
  }
  std::array<uint8_t, 6> Control{};
  std::string Comment;
  FDecodedPixels = 0;
  FStream = std::move(D);
  const std::vector<uint8_t>& S = FStream;

  for (;;) {
    if (P >= S.size()) break;
    uint8_t B = S[P];
    if (B == 0x21) {
      if (P + 1 >= S.size()) break;
      uint8_t Label = S[P + 1];
      if (Label == 0x01) {
        P += 2;
        if (P < S.size()) P = std::min(S.size(), P + 1 + S[P]);
        SkipSubBlocks(S, P);
      } else if (Label == 0xF9) {
        P += 2;
        if (P + 6 > S.size()) break;
        std::memcpy(Control.data(), S.data() + P, 6);
        P += 6;
      } else if (Label == 0xFF) {
        P += 2;
        if (P + 12 <= S.size() && std::memcmp(S.data() + P + 1, "NETSCAPE", 8) == 0 &&
            std::memcmp(S.data() + P + 9, "2.0", 3) == 0) {
          P += 12;
          // Data sub-blocks; the one with id 1 carries the loop count.
          while (P < S.size()) {
            int Len = S[P++];
            if (Len == 0) break;
            if (Len >= 3 && P + 3 <= S.size() && S[P] == 1) LoopCount = Word16(S, P + 1);
            P = std::min(S.size(), P + static_cast<size_t>(Len));
          }
        } else {
          if (P < S.size()) P = std::min(S.size(), P + 1 + S[P]);
          SkipSubBlocks(S, P);
        }
      } else if (Label == 0xFE) {
        P += 2;
        Comment.clear();
        while (P < S.size()) {
          int Len = S[P++];
          if (Len == 0) break;
          size_t Avail = std::min(static_cast<size_t>(Len), S.size() - P);
          Comment.append(reinterpret_cast<const char*>(S.data() + P), Avail);
          P += Avail;
        }
      } else {
        break;
      }
    } else if (B == 0x2C) {
      if (FrameCount() >= MaxFrames) break;
      TFrameResult R = ReadFrame(P, Control);
      if (R == TFrameResult::Failed) break;
      if (R == TFrameResult::Added) {
        TgfFrame* F = FFrames.back().get();
        ColorBits = std::max(ColorBits, F->LocalColorBits);
        IsTransparent = IsTransparent || F->Transparent;
        F->Comment = Comment;
      }
      Comment.clear();
      Control.fill(0);
    } else {
      break;  // the trailer, or a byte that starts no block
    }
  }

  Width = ScreenWidth;
  Height = ScreenHeight;
  for (const auto& F : FFrames) {
    Width = std::max(Width, F->Left + F->Width);
    Height = std::max(Height, F->Top + F->Height);
  }
  FStream.clear();
  FStream.shrink_to_fit();
  if (static_cast<int64_t>(Width) * Height > MaxPixels) {
    Clear();
    return false;
  }
  if (!ScanOnly) MakeCanvas();
  IsAnimated = FrameCount() > 1;
  Empty = false;
  if (!ScanOnly && FrameCount() > 0) ComposeFrame(1);
  return true;
}

TGIFImage::TFrameResult TGIFImage::ReadFrame(size_t& P, const std::array<uint8_t, 6>& Control) {
  const std::vector<uint8_t>& S = FStream;
  if (P + 10 > S.size() || S[P] != 0x2C) return TFrameResult::Failed;
  auto F = std::make_unique<TgfFrame>();
  F->Owner = this;
  F->Dither = Dither;
  F->Left = Word16(S, P + 1);
  F->Top = Word16(S, P + 3);
  F->Width = Word16(S, P + 5);
  F->Height = Word16(S, P + 7);
  uint8_t Packed = S[P + 9];
  P += 10;
  if (Packed & 0x80) {
    F->HasLocalTable = true;
    F->LocalColorBits = (Packed & 7) + 1;
    size_t N = 3u << F->LocalColorBits;
    if (P + N > S.size()) return TFrameResult::Failed;
    std::memcpy(F->ColorTable.data(), S.data() + P, N);
    P += N;
  } else {
    F->ColorTable = GlobalColorTable;
  }
  F->Interlaced = (Packed & 0x40) != 0;
  F->Disposal = static_cast<uint8_t>((Control[1] & 0x1C) >> 2);
  if (F->Disposal > 3) F->Disposal = 2;
  F->Delay = (Control[2] | (Control[3] << 8)) * 10;
  F->Transparent = (Control[1] & 1) != 0;
  F->TransparentIndex = Control[4];
  F->TransparentRed = F->ColorTable[F->TransparentIndex * 3];
  F->TransparentGreen = F->ColorTable[F->TransparentIndex * 3 + 1];
  F->TransparentBlue = F->ColorTable[F->TransparentIndex * 3 + 2];

  // A frame without pixels is stepped over; a frame beyond the size limit ends the list.
  const bool NoPixels = F->Width == 0 || F->Height == 0;
  const bool TooLarge = static_cast<int64_t>(F->Width) * F->Height > MaxPixels;
  if (ScanOnly || NoPixels) {
    if (P < S.size()) ++P;  // code size
    SkipSubBlocks(S, P);
    while (P < S.size() && S[P] == 0) ++P;
    if (NoPixels) return TFrameResult::Skipped;
    if (TooLarge) return TFrameResult::Failed;
    FFrames.push_back(std::move(F));
    return TFrameResult::Added;
  }
  if (TooLarge) return TFrameResult::Failed;
  const int64_t Pixels = static_cast<int64_t>(F->Width) * F->Height;
  if (FDecodedPixels + Pixels > TotalPixelLimit) return TFrameResult::Failed;
  FDecodedPixels += Pixels;
  if (F->Disposal == 3) {
    F->SavedBitmap.SetSize(F->Width, F->Height);
    F->SavedMask.SetSize(F->Width, F->Height, 1);
  }
  DecodeFrame(*F, P);
  FFrames.push_back(std::move(F));
  return TFrameResult::Added;
}

void TGIFImage::DecodeFrame(TgfFrame& F, size_t& P) {
  const int W = F.Width, H = F.Height;
  std::vector<uint8_t> Index(static_cast<size_t>(W) * static_cast<size_t>(H), 0);
  if (F.Transparent) F.Mask.SetSize(W, H, 0);
  auto Decoder = std::make_unique<TLzwDecoder>(FStream, P);
  Decoder->Start();
  static const int PassStart[4] = {0, 4, 2, 1};
  static const int PassStep[4] = {8, 8, 4, 2};
  int X = 0, Y = 0, Pass = 0;
  int V = Decoder->First();
  while (V >= 0 && Y < H) {
    const size_t At = static_cast<size_t>(Y) * static_cast<size_t>(W) + static_cast<size_t>(X);
    Index[At] = static_cast<uint8_t>(V);
    if (F.Transparent && V == F.TransparentIndex) F.Mask.Bits[At] = 1;
    if (++X == W) {
      X = 0;
      if (!F.Interlaced) {
        ++Y;
      } else {
        Y += PassStep[Pass];
        // Passes whose first row lies beyond a small picture are skipped, not ended on.
        while (Y >= H && Pass < 3) {
          ++Pass;
          Y = PassStart[Pass];
        }
      }
    }
    if (Y >= H) break;
    V = Decoder->ReadCode();
  }
  // Consume the rest of the image data.
  while (V >= 0) V = Decoder->ReadCode();

  F.Bitmap.SetSize(W, H);
  for (size_t I = 0; I < Index.size(); ++I) {
    if (F.Transparent && F.Mask.Bits[I]) continue;  // stays black
    const uint8_t* C = &F.ColorTable[Index[I] * 3u];
    F.Bitmap.Pixels[I] = RGBPixel(C[0], C[1], C[2]);
  }
}

void TGIFImage::MakeCanvas() {
  FCanvas.SetSize(Width, Height, 0xFF000000);
  if (IsTransparent)
    FCanvasMask.SetSize(Width, Height, 1);
  else
    FCanvasMask = TMaskBuffer();
}

void TGIFImage::ComposeFrame(int N) {
  if (ScanOnly || N < 1 || N > FrameCount() || FCanvas.Empty()) return;
  TgfFrame& F = *Frames(N);
  const int X0 = std::max(0, F.Left), Y0 = std::max(0, F.Top);
  const int X1 = std::min(Width, F.Left + F.Width), Y1 = std::min(Height, F.Top + F.Height);
  if (F.Disposal == 3) {
    for (int Y = Y0; Y < Y1; ++Y)
      for (int X = X0; X < X1; ++X) {
        F.SavedBitmap.At(X - F.Left, Y - F.Top) = FCanvas.At(X, Y);
        if (IsTransparent) F.SavedMask.At(X - F.Left, Y - F.Top) = FCanvasMask.At(X, Y);
      }
  }
  for (int Y = Y0; Y < Y1; ++Y)
    for (int X = X0; X < X1; ++X) {
      const int FX = X - F.Left, FY = Y - F.Top;
      if (F.Transparent && F.Mask.At(FX, FY)) continue;
      FCanvas.At(X, Y) = F.Bitmap.At(FX, FY);
      if (IsTransparent) FCanvasMask.At(X, Y) = 0;
    }
}

void TGIFImage::DisposeFrame(int N) {
  if (ScanOnly || N < 1 || N > FrameCount() || FCanvas.Empty()) return;
  TgfFrame& F = *Frames(N);
  const int X0 = std::max(0, F.Left), Y0 = std::max(0, F.Top);
  const int X1 = std::min(Width, F.Left + F.Width), Y1 = std::min(Height, F.Top + F.Height);
  if (F.Disposal == 2) {
    for (int Y = Y0; Y < Y1; ++Y)
      for (int X = X0; X < X1; ++X) {
        FCanvas.At(X, Y) = 0xFF000000;
        if (IsTransparent) FCanvasMask.At(X, Y) = 1;
      }
  } else if (F.Disposal == 3 && !F.SavedBitmap.Empty()) {
    for (int Y = Y0; Y < Y1; ++Y)
      for (int X = X0; X < X1; ++X) {
        FCanvas.At(X, Y) = F.SavedBitmap.At(X - F.Left, Y - F.Top);
        if (IsTransparent) FCanvasMask.At(X, Y) = F.SavedMask.At(X - F.Left, Y - F.Top);
      }
  }
}

void TGIFImage::SetSpeed(int Value) {
  Speed = std::max(1, Value);  // delays are divided by it
}

void TGIFImage::SetAnimate(bool Value, uint32_t Now) {
  if (Value == FAnimate) return;
  FAnimate = Value;
  CurrentLoop = 1;
  if (Value && FrameCount() > 1) {
    CurrentInterval = std::max(Frames(CurrentFrame)->Delay * 100 / std::max(1, Speed), 1);
    LastTime = Now;
  }
}

void TGIFImage::SetCurrentFrame(int N) {
  if (N == CurrentFrame || FrameCount() == 0) return;
  DisposeFrame(CurrentFrame);
  if (N > FrameCount())
    CurrentFrame = 1;
  else if (N >= 1)
    CurrentFrame = N;
  else
    CurrentFrame = FrameCount();
  ComposeFrame(CurrentFrame);
}

bool TGIFImage::AnimationStep(uint32_t Now) {
  if (!FAnimate || Empty || ScanOnly || FrameCount() == 0) return false;
  if (static_cast<int64_t>(Now - LastTime) < CurrentInterval) return false;
  LastTime = Now;
  if (LoopCount >= 1 && CurrentFrame == FrameCount()) {
    if (CurrentLoop >= LoopCount) {
      SetAnimate(false, Now);
      return false;
    }
    ++CurrentLoop;
  }
  bool Changed = false;
  if (!FirstStep) {
    DisposeFrame(CurrentFrame);
    ++CurrentFrame;
    if (CurrentFrame > FrameCount() || CurrentFrame < 1) CurrentFrame = 1;
    ComposeFrame(CurrentFrame);
    Changed = true;
  } else {
    FirstStep = false;
  }
  CurrentInterval = std::max(MulDiv(Frames(CurrentFrame)->Delay, 100, std::max(1, Speed)), 1);
  return Changed;
}

const TPixelBuffer* TGIFImage::GetBitmap() {
  if (Empty || ScanOnly || FrameCount() == 0) return nullptr;
  if (!FBitmap) {
    const TgfFrame& F = *Frames(1);
    FBitmap = std::make_unique<TPixelBuffer>();
    uint32_t Back = F.Transparent ? RGBPixel(F.TransparentRed, F.TransparentGreen, F.TransparentBlue) : 0xFF000000;
    FBitmap->SetSize(Width, Height, Back);
    for (int Y = 0; Y < F.Height; ++Y)
      for (int X = 0; X < F.Width; ++X) {
        if (F.Transparent && F.Mask.At(X, Y)) continue;
        FBitmap->At(F.Left + X, F.Top + Y) = F.Bitmap.At(X, Y);
      }
  }
  return FBitmap.get();
}

const TPixelBuffer* TGIFImage::GetFirstBitmap() const {
  if (Empty || ScanOnly || FrameCount() == 0) return nullptr;
  return &Frames(1)->Bitmap;
}

const TMaskBuffer* TGIFImage::GetFirstMask() const {
  if (Empty || ScanOnly || FrameCount() == 0 || !Frames(1)->Transparent) return nullptr;
  return &Frames(1)->Mask;
}

std::unique_ptr<TGIFImage> TGIFImage::Clone() const {
  auto C = std::make_unique<TGIFImage>();
  C->IsAnimated = IsAnimated;
  C->Empty = Empty;
  C->Width = Width;
  C->Height = Height;
  C->LoopCount = LoopCount;
  C->Speed = Speed;
  C->IsTransparent = IsTransparent;
  C->Visible = Visible;
  C->ColorBits = ColorBits;
  C->GlobalColorTable = GlobalColorTable;
  C->Dither = Dither;
  C->ScanOnly = ScanOnly;
  C->IsCopy = true;
  for (const auto& F : FFrames) {
    auto G = std::make_unique<TgfFrame>(*F);
    G->Owner = C.get();
    C->FFrames.push_back(std::move(G));
  }
  if (!ScanOnly) C->MakeCanvas();
  C->CurrentFrame = 1;
  C->CurrentLoop = 1;
  C->ComposeFrame(1);
  return C;
}

std::unique_ptr<TGIFImage> CreateGifFromBytes(const uint8_t* Data, size_t Size, bool& NonAnimated) {
  auto G = std::make_unique<TGIFImage>();
  if (!G->LoadFromBytesScanOnly(Data, Size)) return nullptr;
  G->SetAnimate(false, 0);
  G->SetVisible(false);
  NonAnimated = !G->IsAnimated;
  // The screen is true colour: frames are never reduced to a palette while decoding.
  G->Dither = false;
  if (!G->LoadFromBytes(Data, Size)) return nullptr;
  return G;
}

std::unique_ptr<TGIFImage> CreateGifFromFile(const std::string& FileName, bool& NonAnimated) {
  std::vector<uint8_t> Data;
  try {
    Data = ReadWholeFile(FileName);
  } catch (const Exception&) {
    return nullptr;
  }
  return CreateGifFromBytes(Data.data(), Data.size(), NonAnimated);
}

std::unique_ptr<TGIFImage> CreateGifFromStream(TStream* Stream, bool& NonAnimated) {
  if (!Stream) return nullptr;
  std::vector<uint8_t> Data;
  try {
    int64_t Size = Stream->Size();
    if (Size <= 0 || Size > (int64_t(1) << 31)) return nullptr;
    Data.resize(static_cast<size_t>(Size));
    Stream->SetPosition(0);
    Data.resize(static_cast<size_t>(std::max<int64_t>(0, Stream->Read(Data.data(), Size))));
  } catch (const Exception&) {
    return nullptr;
  }
  return CreateGifFromBytes(Data.data(), Data.size(), NonAnimated);
}
