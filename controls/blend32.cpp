#include "controls/blend32.h"

namespace {

inline uint32_t Term(uint32_t V, uint32_t W) { return (V * W + 128) >> 8; }

// One channel at bit offset Shift mixed with weight W.
inline uint32_t MixChannel(TColor32 X, TColor32 Y, uint32_t W, int Shift) {
  const uint32_t XC = (X >> Shift) & 0xFF, YC = (Y >> Shift) & 0xFF;
  return (Term(XC, W) + Term(YC, 255 - W)) << Shift;
}

inline TColor32 MixRGB(TColor32 X, TColor32 Y, uint32_t W) {
  return MixChannel(X, Y, W, 16) | MixChannel(X, Y, W, 8) | MixChannel(X, Y, W, 0);
}

}  // namespace

TColor32 MixColors(TColor32 X, TColor32 Y, uint32_t W) {
  if (W == 0) return Y;
  if (W >= 255) return X;
  return MixChannel(X, Y, W, 24) | MixRGB(X, Y, W);
}

void MixColorInto(TColor32 X, TColor32& Y, uint32_t W) {
  if (W == 0) return;
  if (W >= 255) {
    Y = X;
    return;
  }
  Y = MixRGB(X, Y, W);
}

TColor32 BlendColor(TColor32 F, TColor32 B) {
  const uint32_t A = F >> 24;
  if (A == 255) return F;
  if (A == 0) return B;
  return MixColors(F, B, A);
}

void BlendColorInto(TColor32 F, TColor32& B) {
  const uint32_t A = F >> 24;
  if (A == 0) return;
  B = A == 255 ? F : MixColors(F, B, A);
}

TColor32 BlendColorMaster(TColor32 F, TColor32 B, uint32_t M) {
  const uint32_t A = F >> 24;
  if (A == 0) return B;
  const uint32_t W = (A * (M & 0xFF)) >> 8;
  if (W == 0) return B;
  return MixRGB(F, B, W);
}

void BlendColorIntoMaster(TColor32 F, TColor32& B, uint32_t M) { B = BlendColorMaster(F, B, M); }

void BlendRow(const TColor32* Src, TColor32* Dst, int Count) {
  for (int I = 0; I < Count; ++I) BlendColorInto(Src[I], Dst[I]);
}

void BlendRowMaster(const TColor32* Src, TColor32* Dst, int Count, uint32_t M) {
  for (int I = 0; I < Count; ++I) BlendColorIntoMaster(Src[I], Dst[I], M);
}

void FillLongword(TColor32* Dest, int Count, TColor32 Value) {
  for (int I = 0; I < Count; ++I) Dest[I] = Value;
}

void OrderPair(int& A, int& B) {
  if (A > B) {
    const int T = A;
    A = B;
    B = T;
  }
}

bool ClipRange(int& A, int& B, int Size) {
  OrderPair(A, B);
  if (A < 0) A = 0;
  if (B > Size - 1) B = Size - 1;
  return B >= A;
}

int Constrain(int Value, int Lo, int Hi) {
  if (Value <= Lo) return Lo;
  return Value < Hi ? Value : Hi;
}

TColor32 RGBToColor32(uint32_t Color) {
  return 0xFF000000u | ((Color & 0xFF) << 16) | (Color & 0xFF00) | ((Color >> 16) & 0xFF);
}
