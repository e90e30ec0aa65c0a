#pragma once
// Builds GIF files in memory for tests and for the fuzz corpus: a real LZW encoder (variable code
// width, dictionary reset when full), optional interlacing, graphic-control, loop and comment blocks.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace gifbuild {

struct Frame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // colour indices, rows top-down in display order
  bool Interlaced = false;
  bool Control = false;  // write a graphic-control block
  int DelayCs = 0;
  int Disposal = 0;
  int TransparentIndex = -1;
  std::vector<uint8_t> LocalTable;  // RGB triples; empty = none (size must be a power of two >= 2)
  std::string Comment;
  int MinCodeSize = 0;  // 0: derived from the colour count
};

inline void Word(std::vector<uint8_t>& Out, int V) {
  Out.push_back(static_cast<uint8_t>(V & 0xFF));
  Out.push_back(static_cast<uint8_t>((V >> 8) & 0xFF));
}

inline int TableBits(size_t Entries) {
  int Bits = 1;
  while ((size_t(1) << Bits) < Entries) ++Bits;
  return Bits;
}

inline std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& Indices, int MinCodeSize) {
  const int Clear = 1 << MinCodeSize, End = Clear + 1;
  std::vector<uint8_t> Bytes;
  uint32_t Acc = 0;
  int AccBits = 0, Width = MinCodeSize + 1, Next = Clear + 2;
  std::map<std::pair<int, int>, int> Dict;
  auto Emit = [&](int Code) {
    Acc |= static_cast<uint32_t>(Code) << AccBits;
    AccBits += Width;
    while (AccBits >= 8) {
      Bytes.push_back(static_cast<uint8_t>(Acc & 0xFF));
      Acc >>= 8;
      AccBits -= 8;
    }
  };
  Emit(Clear);
  if (!Indices.empty()) {
    int Prefix = Indices[0];
    for (size_t I = 1; I < Indices.size(); ++I) {
      int C = Indices[I];
      auto It = Dict.find({Prefix, C});
      if (It != Dict.end()) {
        Prefix = It->second;
        continue;
      }
      Emit(Prefix);
      Dict[{Prefix, C}] = Next++;
      if (Next == 4096) {
        Emit(Clear);
        Dict.clear();
        Next = Clear + 2;
        Width = MinCodeSize + 1;
      } else if (Next > (1 << Width) && Width < 12) {
        ++Width;
      }
      Prefix = C;
    }
    Emit(Prefix);
  }
  Emit(End);
  if (AccBits > 0) Bytes.push_back(static_cast<uint8_t>(Acc & 0xFF));
  std::vector<uint8_t> Out;
  Out.push_back(static_cast<uint8_t>(MinCodeSize));
  for (size_t P = 0; P < Bytes.size(); P += 255) {
    size_t N = std::min<size_t>(255, Bytes.size() - P);
    Out.push_back(static_cast<uint8_t>(N));
    Out.insert(Out.end(), Bytes.begin() + static_cast<long>(P), Bytes.begin() + static_cast<long>(P + N));
  }
  Out.push_back(0);
  return Out;
}

inline std::vector<uint8_t> InterlaceRows(const std::vector<uint8_t>& P, int W, int H) {
  std::vector<uint8_t> Out;
  const int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
  for (int Pass = 0; Pass < 4; ++Pass)
    for (int Y = Start[Pass]; Y < H; Y += Step[Pass])
      Out.insert(Out.end(), P.begin() + Y * W, P.begin() + (Y + 1) * W);
  return Out;
}

inline std::vector<uint8_t> Build(int ScreenW, int ScreenH, const std::vector<uint8_t>& GlobalTable,
                                  const std::vector<Frame>& Frames, int Loop = -1, const char* Version = "89a") {
  const std::string Head = std::string("GIF") + Version;
  std::vector<uint8_t> Out(Head.begin(), Head.end());
  Word(Out, ScreenW);
  Word(Out, ScreenH);
  int GBits = GlobalTable.empty() ? 0 : TableBits(GlobalTable.size() / 3);
  Out.push_back(static_cast<uint8_t>(GlobalTable.empty() ? 0 : (0x80 | (GBits - 1))));
  Out.push_back(0);
  Out.push_back(0);
  if (!GlobalTable.empty()) {
    Out.insert(Out.end(), GlobalTable.begin(), GlobalTable.end());
    Out.resize(Out.size() + (3u << GBits) - GlobalTable.size(), 0);
  }
  if (Loop >= 0) {
    const uint8_t App[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1};
    Out.insert(Out.end(), App, App + sizeof App);
    Word(Out, Loop);
    Out.push_back(0);
  }
  for (const Frame& F : Frames) {
    if (!F.Comment.empty()) {
      Out.push_back(0x21);
      Out.push_back(0xFE);
      Out.push_back(static_cast<uint8_t>(F.Comment.size()));
      Out.insert(Out.end(), F.Comment.begin(), F.Comment.end());
      Out.push_back(0);
    }
    if (F.Control || F.TransparentIndex >= 0) {
      Out.push_back(0x21);
      Out.push_back(0xF9);
      Out.push_back(4);
      Out.push_back(static_cast<uint8_t>((F.Disposal << 2) | (F.TransparentIndex >= 0 ? 1 : 0)));
      Word(Out, F.DelayCs);
      Out.push_back(static_cast<uint8_t>(F.TransparentIndex >= 0 ? F.TransparentIndex : 0));
      Out.push_back(0);
    }
    Out.push_back(0x2C);
    Word(Out, F.Left);
    Word(Out, F.Top);
    Word(Out, F.Width);
    Word(Out, F.Height);
    int LBits = F.LocalTable.empty() ? 0 : TableBits(F.LocalTable.size() / 3);
    Out.push_back(static_cast<uint8_t>((F.LocalTable.empty() ? 0 : (0x80 | (LBits - 1))) | (F.Interlaced ? 0x40 : 0)));
    if (!F.LocalTable.empty()) {
      Out.insert(Out.end(), F.LocalTable.begin(), F.LocalTable.end());
      Out.resize(Out.size() + (3u << LBits) - F.LocalTable.size(), 0);
    }
    int Bits = F.MinCodeSize ? F.MinCodeSize : std::max(2, LBits ? LBits : GBits);
    std::vector<uint8_t> Rows = F.Interlaced ? InterlaceRows(F.Pixels, F.Width, F.Height) : F.Pixels;
    std::vector<uint8_t> Data = LzwEncode(Rows, Bits);
    Out.insert(Out.end(), Data.begin(), Data.end());
  }
  Out.push_back(0x3B);
  return Out;
}

// Four colours: black, red, green, blue.
inline std::vector<uint8_t> Palette4() {
  return {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
}

}  // namespace gifbuild
