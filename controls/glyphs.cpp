#include "controls/glyphs.h"

#include <functional>
#include <memory>

namespace {

const TColor KeyColor = clFuchsia;

uint32_t Argb(TColor C) {
  return 0xFF000000u | (uint32_t(GetRValue(C)) << 16) | (uint32_t(GetGValue(C)) << 8) | uint32_t(GetBValue(C));
}

// Colour of one letter of a picture drawn as text rows; 'd' is the pressed thumb's face, a
// checker of white and silver.
TColor LetterColor(char L, int X, int Y) {
  switch (L) {
    case 'k': return clBlack;
    case 'w': return clWhite;
    case 's': return clSilver;
    case 'g': return clGray;
    case 'y': return clYellow;
    case 'o': return clOlive;
    case 'n': return clNavy;
    case 'd': return ((X + Y) & 1) ? clSilver : clWhite;
    default: return KeyColor;
  }
}

std::unique_ptr<TBitmap> NewPicture(int W, int H, const std::function<char(int X, int Y)>& Letter) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int Y = 0; Y < H; ++Y) {
    uint32_t* Row = B->ScanLine(Y);
    for (int X = 0; X < W; ++X) Row[X] = Argb(LetterColor(Letter(X, Y), X, Y));
  }
  B->SetTransparentColor(KeyColor);
  return B;
}

std::unique_ptr<TBitmap> FromRows(const std::vector<const char*>& Rows) {
  const int H = int(Rows.size());
  const int W = int(std::char_traits<char>::length(Rows[0]));
  for (const char* R : Rows)
    if (int(std::char_traits<char>::length(R)) != W) throw EInvalidGraphic("Picture rows differ in length");
  return NewPicture(W, H, [&](int X, int Y) { return Rows[size_t(Y)][X]; });
}

// A two-colour arrow picture: '#' black, anything else white (the background).
std::unique_ptr<TBitmap> Monochrome(const std::vector<const char*>& Rows) {
  auto B = NewPicture(6, int(Rows.size()), [&](int X, int Y) { return Rows[size_t(Y)][X] == '#' ? 'k' : 'w'; });
  B->SetMonochrome(true);
  B->SetTransparentColor(clWhite);
  return B;
}

// One frame of the horizontal thumb: a raised block W wide whose lower end narrows to a point, B
// rows of block and (W - 1) / 2 rows of point. Light edges on the left and top, dark ones on the
// right; Face is the inner letter.
char ThumbLetter(int X, int Y, int W, int B, char Face) {
  const int C = (W - 1) / 2;
  if (Y < B) {
    if (X == W - 1) return 'k';
    if (Y == 0 || X == 0) return 'w';
    if (X == W - 2) return 'g';
    return Face;
  }
  const int Half = C - (Y - B + 1);
  const int L = C - Half, R = C + Half;
  if (X < L || X > R) return '.';
  if (X == R) return 'k';
  if (X == L) return 'w';
  if (X == R - 1) return 'g';
  return Face;
}

// Horizontal thumb strip: normal frame, then the pressed frame.
std::unique_ptr<TBitmap> HorizontalThumb() {
  const int W = 9, H = 17, B = H - (W - 1) / 2;
  return NewPicture(2 * W, H, [&](int X, int Y) { return ThumbLetter(X % W, Y, W, B, X < W ? 's' : 'd'); });
}

// Vertical thumb strip: the horizontal shape turned so that it points to the right.
std::unique_ptr<TBitmap> VerticalThumb() {
  const int L = 19, W = 9, B = L - (W - 1) / 2;
  return NewPicture(2 * L, W, [&](int X, int Y) { return ThumbLetter(Y, X % L, W, B, X < L ? 's' : 'd'); });
}

// The sunken groove the thumb slides in: two edge pixels at each end, a repeatable middle.
const std::vector<const char*> RulerRows = {
    "..........",
    "..........",
    "gggggggggw",
    "gkkkkkkksw",
    "gkwwwwwwsw",
    "wwwwwwwwww",
    "..........",
    "..........",
};

std::unique_ptr<TBitmap> HorizontalRuler() { return FromRows(RulerRows); }

std::unique_ptr<TBitmap> VerticalRuler() {
  const int W = 8, H = 10;
  return NewPicture(W, H, [](int X, int Y) { return RulerRows[size_t(X)][Y]; });
}

// Two overlapping letters T, the back one grey: the mark of an outline (TrueType) font.
std::unique_ptr<TBitmap> TrueTypeMark() {
  auto InT = [](int X, int Y, int Ox, int Oy) {
    const int Dx = X - Ox, Dy = Y - Oy;
    if (Dy == 0 || Dy == 1) return Dx >= 0 && Dx < 7;
    return Dy > 1 && Dy < 9 && (Dx == 3 || Dx == 4) ;
  };
  return NewPicture(20, 12, [&](int X, int Y) {
    if (InT(X, Y, 5, 3)) return 'k';
    if (InT(X, Y, 1, 0)) return 'g';
    return '.';
  });
}

// A small printer: the mark of a device font.
std::unique_ptr<TBitmap> DeviceMark() {
  return FromRows({
      "....................",
      "....kkkkkkkk........",
      "....kwwwwwwk........",
      "....kwkkkkwk........",
      "..kkkkkkkkkkkk......",
      ".ksssssssssssnk.....",
      ".ksssssssssssssk....",
      ".kgggggggggggggk....",
      ".kkkkkkkkkkkkkkk....",
      "..kwwwwwwwwwwk......",
      "..kkkkkkkkkkkk......",
      "....................",
  });
}

// An open folder: the file-name edit's button.
std::unique_ptr<TBitmap> FolderPicture() {
  return FromRows({
      "..............",
      ".kkkk.........",
      "kyyyyk........",
      "kyyyyykkkkkkk.",
      "kyyyyyyyyyyyk.",
      "kyyykkkkkkkkkk",
      "kyykoooooooook",
      "kykoooooooook.",
      "kkoooooooook..",
      "koooooooook...",
      "kkkkkkkkkkk...",
      "..............",
  });
}

const std::vector<const char*> HandRows = {
    ".....kk.........",
    "....kwwk........",
    "....kwwk........",
    "....kwwk........",
    "....kwwkkk......",
    "....kwwkwwkk....",
    "..kkkwwkwwkwkk..",
    ".kwwkwwwwwwwwwk.",
    ".kwwkwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwk..",
    "...kwwwwwwwwwk..",
    "...kwwwwwwwwk...",
    "....kwwwwwwwk...",
    "....kkkkkkkkk...",
    "................",
};

const std::vector<const char*> DragHandRows = {
    "................",
    "................",
    "................",
    "................",
    "....kk.kk.kk....",
    "...kwwkwwkwwkk..",
    "...kwwwwwwwwwwk.",
    "..kkwwwwwwwwwwk.",
    ".kwwkwwwwwwwwwk.",
    ".kwwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "...kwwwwwwwwwk..",
    "....kwwwwwwwwk..",
    "....kwwwwwwwk...",
    "....kkkkkkkkk...",
    "................",
};

struct TNamedPicture {
  const char* Name;
  std::unique_ptr<TBitmap> (*Make)();
};

const TNamedPicture Pictures[] = {
    {"RXSPINUP", [] { return Monochrome({"......", "..##..", ".####.", "######", "......", "......"}); }},
    {"RXSPINDOWN", [] { return Monochrome({"......", "......", "######", ".####.", "..##..", "......"}); }},
    {"W95_HTB", HorizontalThumb},
    {"W95_HRL", HorizontalRuler},
    {"W95_VTB", VerticalThumb},
    {"W95_VRL", VerticalRuler},
    {"TRUETYPE_FNT", TrueTypeMark},
    {"DEVICE_FNT", DeviceMark},
    {"FEDITBMP", FolderPicture},
};

}  // namespace

TBitmap* CreateBuiltinBitmap(const std::string& Name) {
  for (const TNamedPicture& P : Pictures)
    if (SameText(Name, P.Name)) return P.Make().release();
  return nullptr;
}

TBitmap* CreateBuiltinCursor(const std::string& Name, int& HotX, int& HotY) {
  if (SameText(Name, "RX_HANDCUR")) {
    HotX = 5;
    HotY = 0;
    return FromRows(HandRows).release();
  }
  if (SameText(Name, "RX_DRAGCUR")) {
    HotX = 7;
    HotY = 5;
    return FromRows(DragHandRows).release();
  }
  return nullptr;
}

std::vector<std::string> BuiltinBitmapNames() {
  std::vector<std::string> Names;
  for (const TNamedPicture& P : Pictures) Names.push_back(P.Name);
  return Names;
}
