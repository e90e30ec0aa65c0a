// Colour mixing on 32-bit ARGB pixels (TColor32 = 0xAARRGGBB, bytes B, G, R, A in memory) and
// the small fill and range helpers under the 32-bit bitmap. A weight is 0..255, 255 meaning all
// of the first colour; every weighted term is rounded as (value * weight + 128) >> 8.
#pragma once

#include <cstdint>

using TColor32 = uint32_t;

constexpr TColor32 clBlack32 = 0xFF000000;
constexpr TColor32 clWhite32 = 0xFFFFFFFF;

inline uint32_t AlphaComponent(TColor32 C) { return C >> 24; }
inline uint32_t RedComponent(TColor32 C) { return (C >> 16) & 0xFF; }
inline uint32_t GreenComponent(TColor32 C) { return (C >> 8) & 0xFF; }
inline uint32_t BlueComponent(TColor32 C) { return C & 0xFF; }

// W = 0: Y; W = 255: X; else every channel (A, R, G, B) mixed.
TColor32 MixColors(TColor32 X, TColor32 Y, uint32_t W);
// W = 0: Y unchanged; W = 255: Y := X; else B, G, R mixed and the alpha byte of Y becomes 0.
void MixColorInto(TColor32 X, TColor32& Y, uint32_t W);
// F over B by F's alpha: 255 gives F, 0 gives B, else all four channels mixed.
TColor32 BlendColor(TColor32 F, TColor32 B);
void BlendColorInto(TColor32 F, TColor32& B);
// F over B by F's alpha scaled by the master alpha M ((A * M) >> 8); B, G, R mixed, alpha byte 0.
TColor32 BlendColorMaster(TColor32 F, TColor32 B, uint32_t M);
void BlendColorIntoMaster(TColor32 F, TColor32& B, uint32_t M);
// BlendColorInto / BlendColorIntoMaster over Count pixels; Count <= 0 does nothing.
void BlendRow(const TColor32* Src, TColor32* Dst, int Count);
void BlendRowMaster(const TColor32* Src, TColor32* Dst, int Count, uint32_t M);
// Ends a run of mixing. The portable routines keep no state, so there is nothing to undo; callers
// still end every loop with it so that the mixing routines may change without touching them.
inline void EndMixing() {}

// Stores Value into Count consecutive pixels; Count <= 0 does nothing.
void FillLongword(TColor32* Dest, int Count, TColor32 Value);
// Swaps A and B when A > B.
void OrderPair(int& A, int& B);
// Orders the pair and clips it to 0..Size-1; true when something is left (B >= A).
bool ClipRange(int& A, int& B, int Size);
// Lo when Value <= Lo, else min(Value, Hi).
int Constrain(int Value, int Lo, int Hi);
// A colour 0x00BBGGRR as an opaque TColor32 0xFFRRGGBB.
TColor32 RGBToColor32(uint32_t Color);
