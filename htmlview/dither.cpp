#include "htmlview/dither.h"

#include <algorithm>

int RowBytes(int Pixels, int BitsPerPixel, int Alignment) {
  return ((Pixels * BitsPerPixel + Alignment - 1) & ~(Alignment - 1)) / 8;
}

TPalette DefaultPalette() {
  static const uint8_t C[20][3] = {
      {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
  };
  TPalette P;
  for (const auto& E : C) P.push_back({E[0], E[1], E[2], 0});
  return P;
}

TPalette NetscapePalette() {
  TPalette P;
  for (int R = 0; R < 6; ++R)
    for (int G = 0; G < 6; ++G)
      for (int B = 0; B < 6; ++B)
        P.push_back({static_cast<uint8_t>(51 * R), static_cast<uint8_t>(51 * G), static_cast<uint8_t>(51 * B), 0});
  return P;
}

TPalette ViewerPalette() {
  TPalette System = DefaultPalette();
  TPalette P(256);
  for (int I = 0; I < 10; ++I) {
    P[I] = System[I];
    P[246 + I] = System[10 + I];
  }
  static const uint8_t Levels[6] = {55, 115, 165, 205, 235, 255};
  int N = 10;
  for (int R = 0; R < 6; ++R)
    for (int G = 0; G < 6; ++G)
      for (int B = 0; B < 6; ++B) {
        if (R == 5 && G == 5 && B == 5) continue;  // white is among the system colours
        P[N++] = {Levels[R], Levels[G], Levels[B], 0};
      }
  for (int I = 1; I <= 24; ++I) {
    if (I == 7 || I == 15 || I == 21) continue;  // greys the cube already holds
    uint8_t V = static_cast<uint8_t>(5 * I + 130);
    P[N++] = {V, V, V, 0};
  }
  return P;
}

// ---- lookups ----

namespace {
inline int Key(uint8_t R, uint8_t G, uint8_t B) {
  return (R >> 3) | ((G & 0xF8) << 2) | ((B & 0xF8) << 7);
}
}  // namespace

TFastColorLookup::TFastColorLookup(const TPalette& Palette) : FInverse(32768, 0xFFFF) {
  FPalette.assign(Palette.begin(), Palette.begin() + static_cast<long>(std::min<size_t>(Palette.size(), 256)));
  Colors = static_cast<int>(FPalette.size());
  for (int I = 0; I < Colors; ++I) {
    uint16_t& E = FInverse[static_cast<size_t>(Key(FPalette[I].R, FPalette[I].G, FPalette[I].B))];
    if (E == 0xFFFF) E = static_cast<uint16_t>(I);
  }
}

int TFastColorLookup::NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  if (Colors == 0) {
    R = G = B = 0;
    return 0;
  }
  uint16_t& E = FInverse[static_cast<size_t>(Key(Red, Green, Blue))];
  if (E == 0xFFFF) {
    int Best = 0, BestSum = 0x30000;
    for (int I = 0; I < Colors; ++I) {
      int Sum = std::abs(Red - FPalette[I].R) + std::abs(Green - FPalette[I].G) + std::abs(Blue - FPalette[I].B);
      if (Sum < BestSum) {
        BestSum = Sum;
        Best = I;
      }
    }
    E = static_cast<uint16_t>(Best);
  }
  R = FPalette[E].R;
  G = FPalette[E].G;
  B = FPalette[E].B;
  return E;
}

int TNetscapeColorLookup::NearestIndex(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                                       uint8_t& B) {
  int LR = (Red + 3) / 51, LG = (Green + 3) / 51, LB = (Blue + 3) / 51;
  R = static_cast<uint8_t>(LR * 51);
  G = static_cast<uint8_t>(LG * 51);
  B = static_cast<uint8_t>(LB * 51);
  return LR * 36 + LG * 6 + LB;
}

// ---- engines ----

int TDitherEngine::MapPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  int I = ColorLookup.NearestIndex(Red, Green, Blue, R, G, B);
  Column += Direction;
  return I;
}

void TDitherEngine::NextRow() {
  Direction = -Direction;
  Column = Direction == 1 ? 0 : Width - 1;
}

TFloydSteinbergEngine::TFloydSteinbergEngine(int AWidth, TColorLookup& ALookup) : TDitherEngine(AWidth, ALookup) {
  for (auto& E : FErrors) E.assign(static_cast<size_t>(AWidth) + 2, 0);
}

int TFloydSteinbergEngine::MapPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const uint8_t In[3] = {Red, Green, Blue};
  uint8_t Clamped[3];
  for (int C = 0; C < 3; ++C) {
    int E = (FErrors[C][static_cast<size_t>(FCurrent + Direction)] + FCarry[C] + 8) / 16 + In[C];
    E = std::clamp(E, 0, 255);
    FCarry[C] = E;
    Clamped[C] = static_cast<uint8_t>(E);
  }
  int Index = TDitherEngine::MapPixel(Clamped[0], Clamped[1], Clamped[2], R, G, B);
  const uint8_t Chosen[3] = {R, G, B};
  for (int C = 0; C < 3; ++C) {
    int E = FCarry[C] - Chosen[C];
    FErrors[C][static_cast<size_t>(FCurrent)] = FPending1[C] + 3 * E;
    FPending1[C] = FPending0[C] + 5 * E;
    FPending0[C] = E;
    FCarry[C] = 7 * E;
  }
  FCurrent += Direction;
  return Index;
}

void TFloydSteinbergEngine::NextRow() {
  for (int C = 0; C < 3; ++C) {
    FErrors[C][static_cast<size_t>(FCurrent)] = FPending1[C];
    FCarry[C] = FPending0[C] = FPending1[C] = 0;
  }
  TDitherEngine::NextRow();
  FCurrent = Direction == 1 ? 0 : Width + 1;
}

// ---- octree ----

struct TColorQuantizer::Node {
  bool IsLeaf = false;
  int PixelCount = 0;
  int RedSum = 0, GreenSum = 0, BlueSum = 0;
  Node* Next = nullptr;
  std::array<std::unique_ptr<Node>, 8> Child;
};

TColorQuantizer::TColorQuantizer(int AMaxColors, int AColorBits)
    : FMaxColors(std::max(1, AMaxColors)), FColorBits(std::clamp(AColorBits, 1, 8)) {}

TColorQuantizer::~TColorQuantizer() = default;

TColorQuantizer::Node* TColorQuantizer::AddPixel(Node* N, uint8_t R, uint8_t G, uint8_t B, int Level) {
  if (N->IsLeaf) {
    ++N->PixelCount;
    N->RedSum += R;
    N->GreenSum += G;
    N->BlueSum += B;
    return N;
  }
  const int Shift = 7 - Level;
  const int Index = (((R >> Shift) & 1) << 2) | (((G >> Shift) & 1) << 1) | ((B >> Shift) & 1);
  std::unique_ptr<Node>& C = N->Child[static_cast<size_t>(Index)];
  if (!C) {
    C = std::make_unique<Node>();
    C->IsLeaf = Level + 1 == FColorBits;
    if (C->IsLeaf) {
      ++FLeafCount;
    } else {
      C->Next = FReducible[static_cast<size_t>(Level + 1)];
      FReducible[static_cast<size_t>(Level + 1)] = C.get();
    }
  }
  return AddPixel(C.get(), R, G, B, Level + 1);
}

void TColorQuantizer::AddColor(uint8_t R, uint8_t G, uint8_t B) {
  if (!FTree) {
    FTree = std::make_unique<Node>();
    FTree->IsLeaf = FColorBits == 0;
    FTree->Next = FReducible[0];
    FReducible[0] = FTree.get();
  }
  AddPixel(FTree.get(), R, G, B, 0);
  while (FLeafCount > FMaxColors) {
    int Before = FLeafCount;
    MergeDeepest();
    if (FLeafCount == Before && !FReducible[0] && FTree->IsLeaf) break;
  }
}

void TColorQuantizer::MergeDeepest() {
  int Level = FColorBits - 1;
  while (Level > 0 && !FReducible[static_cast<size_t>(Level)]) --Level;
  Node* N = FReducible[static_cast<size_t>(Level)];
  if (!N) return;
  FReducible[static_cast<size_t>(Level)] = N->Next;
  int Children = 0;
  for (auto& C : N->Child)
    if (C) {
      N->RedSum += C->RedSum;
      N->GreenSum += C->GreenSum;
      N->BlueSum += C->BlueSum;
      N->PixelCount += C->PixelCount;
      C.reset();
      ++Children;
    }
  N->IsLeaf = true;
  FLeafCount -= Children - 1;
}

void TColorQuantizer::ProcessImage(const TPixelBuffer& Image) {
  for (uint32_t P : Image.Pixels)
    AddColor(static_cast<uint8_t>(P >> 16), static_cast<uint8_t>(P >> 8), static_cast<uint8_t>(P));
}

TPalette TColorQuantizer::GetColorTable() const {
  TPalette P;
  std::vector<const Node*> Stack;
  if (FTree) Stack.push_back(FTree.get());
  // Depth first, children 0 to 7.
  while (!Stack.empty()) {
    const Node* N = Stack.back();
    Stack.pop_back();
    if (N->IsLeaf) {
      if (N->PixelCount > 0)
        P.push_back({static_cast<uint8_t>(N->RedSum / N->PixelCount), static_cast<uint8_t>(N->GreenSum / N->PixelCount),
                     static_cast<uint8_t>(N->BlueSum / N->PixelCount), 0});
      else
        P.push_back({0, 0, 0, 0});
      continue;
    }
    for (int I = 7; I >= 0; --I)
      if (N->Child[static_cast<size_t>(I)]) Stack.push_back(N->Child[static_cast<size_t>(I)].get());
  }
  return P;
}

TPalette QuantisedPalette(const TPixelBuffer& Image, int Colors, int ColorBits, bool KeepSystemColors) {
  TColorQuantizer Q(KeepSystemColors ? 236 : Colors, ColorBits);
  Q.ProcessImage(Image);
  TPalette Quantised = Q.GetColorTable();
  if (!KeepSystemColors) return Quantised;
  TPalette System = DefaultPalette();
  TPalette P(256);
  for (int I = 0; I < 10; ++I) {
    P[I] = System[I];
    P[246 + I] = System[10 + I];
  }
  for (size_t I = 0; I < Quantised.size() && I < 236; ++I) P[10 + I] = Quantised[I];
  return P;
}

bool ReduceBitmap(const TPixelBuffer& Source, int Reduction, int DitherMode, T8BitImage& Out) {
  Out = T8BitImage();
  if (Reduction == rmNone) return false;
  Out.Width = Source.Width;
  Out.Height = Source.Height;
  Out.Indices.assign(static_cast<size_t>(std::max(0, Source.Width)) * static_cast<size_t>(std::max(0, Source.Height)), 0);
  switch (Reduction) {
    case rmWindows20: Out.Palette = DefaultPalette(); break;
    case rmNetscape: Out.Palette = NetscapePalette(); break;
    case rmViewerPalette: Out.Palette = ViewerPalette(); break;
    case rmOptimized: Out.Palette = QuantisedPalette(Source, 256, 8, true); break;
    default: return true;
  }
  if (Source.Empty() || (DitherMode != dmNearest && DitherMode != dmFloydSteinberg)) return true;
  std::unique_ptr<TColorLookup> Lookup;
  if (Reduction == rmNetscape)
    Lookup = std::make_unique<TNetscapeColorLookup>();
  else
    Lookup = std::make_unique<TFastColorLookup>(Out.Palette);
  std::unique_ptr<TDitherEngine> Engine;
  if (DitherMode == dmFloydSteinberg)
    Engine = std::make_unique<TFloydSteinbergEngine>(Source.Width, *Lookup);
  else
    Engine = std::make_unique<TDitherEngine>(Source.Width, *Lookup);
  for (int Y = 0; Y < Source.Height; ++Y) {
    for (int N = 0; N < Source.Width; ++N) {
      const int X = Engine->Column;
      const uint32_t P = Source.At(X, Y);
      uint8_t R, G, B;
      Out.Indices[static_cast<size_t>(Y) * static_cast<size_t>(Source.Width) + static_cast<size_t>(X)] =
          static_cast<uint8_t>(Engine->MapPixel(static_cast<uint8_t>(P >> 16), static_cast<uint8_t>(P >> 8),
                                                static_cast<uint8_t>(P), R, G, B));
    }
    Engine->NextRow();
  }
  return true;
}

bool ReduceForScreen(const TPixelBuffer& Source, int ScreenBits, T8BitImage& Out) {
  if (Source.Empty() || ScreenBits > 8) {
    Out = T8BitImage();
    return false;
  }
  return ReduceBitmap(Source, ScreenBits < 8 ? rmWindows20 : rmViewerPalette, dmFloydSteinberg, Out);
}
