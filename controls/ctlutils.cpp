#include "controls/ctlutils.h"

#include <memory>

#include "controls/chckfree.h"
#include "controls/glyphs.h"
#include "platform/core/fileutils.h"

namespace {

uint32_t Argb(TColor C) {
  C = ColorToRGB(C);
  return 0xFF000000u | (uint32_t(GetRValue(C)) << 16) | (uint32_t(GetGValue(C)) << 8) | uint32_t(GetBValue(C));
}

// A copy of the part R of Bitmap (pixels outside the bitmap come out black).
std::unique_ptr<TBitmap> CopyPart(TBitmap* Bitmap, const TRect& R) {
  auto Part = std::make_unique<TBitmap>();
  Part->SetPixelFormat(pf24bit);
  Part->SetSize(R.Width(), R.Height());
  for (int Y = 0; Y < R.Height(); ++Y) {
    uint32_t* D = Part->ScanLine(Y);
    const int Sy = R.Top + Y;
    for (int X = 0; X < R.Width(); ++X) {
      const int Sx = R.Left + X;
      D[X] = (Sy >= 0 && Sy < Bitmap->Height() && Sx >= 0 && Sx < Bitmap->Width()) ? Bitmap->ScanLine(Sy)[Sx] | 0xFF000000u
                                                                                    : 0xFF000000u;
    }
  }
  return Part;
}

// Draws Part stretched to Dest with Key left out.
void DrawKeyed(TCanvas* Canvas, const TRect& Dest, TBitmap* Part, TColor Key) {
  Part->SetTransparentColor(ColorToRGB(Key) & 0xFFFFFF);
  Part->SetTransparent(true);
  Canvas->StretchDraw(Dest, Part);
}

}  // namespace

void RegisterControlCursors() {
  if (!Screen || Screen->HasCursor(crHand)) return;
  int HotX = 0, HotY = 0;
  std::unique_ptr<TBitmap> Hand(CreateBuiltinCursor("RX_HANDCUR", HotX, HotY));
  Screen->SetCustomCursor(crHand, *Hand, HotX, HotY);
  std::unique_ptr<TBitmap> Drag(CreateBuiltinCursor("RX_DRAGCUR", HotX, HotY));
  Screen->SetCustomCursor(crDragHand, *Drag, HotX, HotY);
}

int Max(int A, int B) { return A > B ? A : B; }
int Min(int A, int B) { return A < B ? A : B; }

bool PointInRect(const TPoint& P, const TRect& R) {
  return P.X >= R.Left && P.X <= R.Right && P.Y >= R.Top && P.Y <= R.Bottom;
}

TColor PaletteColor(TColor Color) { return (ColorToRGB(Color) & 0xFFFFFF) | clPaletteFlag; }

void ResourceNotFound(const std::string& Name) { throw EResNotFound(Format("Resource %s not found", {Name})); }
void ResourceNotFound(int Id) { ResourceNotFound(IntToStr(Id)); }

TBitmap* MakeModuleBitmap(const std::string& Name) {
  TBitmap* B = CreateBuiltinBitmap(Name);
  if (!B) ResourceNotFound(Name);
  return B;
}

void StretchBltTransparent(TCanvas* Dest, int X, int Y, int W, int H, TCanvas* Src, int SrcX, int SrcY, int SrcW,
                           int SrcH, TColor TransparentColor) {
  if (!Dest || !Src || SrcW <= 0 || SrcH <= 0 || W == 0 || H == 0) return;
  TBitmap Part;
  Part.SetPixelFormat(pf24bit);
  Part.SetSize(SrcW, SrcH);
  Part.Canvas()->CopyRect(TRect(0, 0, SrcW, SrcH), Src, Bounds(SrcX, SrcY, SrcW, SrcH));
  DrawKeyed(Dest, Bounds(X, Y, W, H), &Part, TransparentColor);
}

void DrawTransparentBitmapRect(TCanvas* Canvas, int X, int Y, int W, int H, const TRect& SourceRect, TBitmap* Bitmap,
                               TColor TransparentColor) {
  if (!Canvas || !Bitmap || Bitmap->Empty()) return;
  TRect Src = SourceRect;
  if (Src.Width() < 1 || Src.Height() < 1) Src = TRect(0, 0, Bitmap->Width(), Bitmap->Height());
  if (W < 1 || H < 1) {
    W = Bitmap->Width();
    H = Bitmap->Height();
  }
  const TRect Dest = Bounds(X, Y, W, H);
  if (TransparentColor == clNone) {
    Canvas->CopyRect(Dest, Bitmap->Canvas(), Src);
    return;
  }
  TColor Key;
  if (Bitmap->Monochrome()) Key = clWhite;
  else if (TransparentColor == clDefault) Key = Bitmap->PixelColor(0, Bitmap->Height() - 1);
  else Key = ColorToRGB(TransparentColor) & 0xFFFFFF;
  std::unique_ptr<TBitmap> Part = CopyPart(Bitmap, Src);
  DrawKeyed(Canvas, Dest, Part.get(), Key);
}

void DrawBitmapTransparent(TCanvas* Canvas, int X, int Y, TBitmap* Bitmap, TColor TransparentColor) {
  if (!Bitmap) return;
  DrawTransparentBitmapRect(Canvas, X, Y, Bitmap->Width(), Bitmap->Height(),
                            TRect(0, 0, Bitmap->Width(), Bitmap->Height()), Bitmap, TransparentColor);
}

void DrawBitmapRectTransparent(TCanvas* Canvas, int X, int Y, const TRect& Rect, TBitmap* Bitmap,
                               TColor TransparentColor) {
  DrawTransparentBitmapRect(Canvas, X, Y, Rect.Width(), Rect.Height(), Rect, Bitmap, TransparentColor);
}

TBitmap* CreateDisabledBitmapEx(TBitmap* Bitmap, TColor OutlineColor, TColor BackColor, TColor HighlightColor,
                                TColor ShadowColor, bool DrawHighlight) {
  auto Result = std::make_unique<TBitmap>();
  Result->SetPixelFormat(pf24bit);
  if (!Bitmap || Bitmap->Empty()) return Result.release();
  const int W = Bitmap->Width(), H = Bitmap->Height();
  Result->SetSize(W, H);
  const uint32_t Outline = Argb(OutlineColor) & 0xFFFFFF;
  auto Marked = [&](int X, int Y) {
    return X >= 0 && Y >= 0 && X < W && Y < H && (Bitmap->ScanLine(Y)[X] & 0xFFFFFF) != Outline;
  };
  const uint32_t Back = Argb(BackColor), Light = Argb(HighlightColor), Shadow = Argb(ShadowColor);
  for (int Y = 0; Y < H; ++Y) {
    uint32_t* D = Result->ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      if (Marked(X, Y)) D[X] = Shadow;
      else if (DrawHighlight && Marked(X - 1, Y - 1)) D[X] = Light;
      else D[X] = Back;
    }
  }
  return Result.release();
}

TBitmap* CreateDisabledBitmap(TBitmap* Bitmap, TColor OutlineColor) {
  return CreateDisabledBitmapEx(Bitmap, OutlineColor, clBtnFace, clBtnHighlight, clBtnShadow, true);
}

void CopyParentImage(TControl* Control, TCanvas* Canvas) {
  auto* G = dynamic_cast<TGraphicControl*>(Control);
  if (!G || !Canvas || !G->Parent()) return;
  // A window-less control paints into its parent's buffer, which already holds the parent's own
  // painting and the siblings painted before it.
  const TRect R(0, 0, G->Width(), G->Height());
  Canvas->CopyRect(R, G->Canvas(), R);
}

int FontTextHeight(const TFont& Font) {
  TBitmap Probe;
  Probe.SetSize(1, 1);
  Probe.Canvas()->SetFont(Font);
  return Probe.Canvas()->GetTextMetrics().tmHeight;
}

std::string MinimizeText(const std::string& Text, TCanvas* Canvas, int MaxWidth) {
  if (Canvas->TextWidth(Text) <= MaxWidth) return Text;
  const int L = int(Text.size());
  std::string Candidate;
  for (int K = 2; K <= L + 1; ++K) {
    Candidate = Text.substr(0, size_t(Max(L - K, 0))) + "...";
    if (Canvas->TextWidth(Candidate) <= MaxWidth) break;
  }
  return Candidate.empty() ? std::string("...") : Candidate;
}

bool IsForegroundTask() { return Application && Application->Active(); }

void UseMessageBoxForCheckFree() {
  CheckFreeConfirm = [](const std::string& Text, const std::string& Caption) {
    return Application && Application->MessageBox(Text, Caption, MB_YESNO | MB_ICONWARNING) == IDYES;
  };
}

std::string ReadCommandItem(const std::string& Line, size_t& Pos) {
  const size_t N = Line.size();
  auto Blank = [&](size_t I) { return static_cast<unsigned char>(Line[I]) < 33; };
  for (;;) {
    while (Pos < N && Blank(Pos)) ++Pos;
    if (Pos + 1 < N && Line[Pos] == '"' && Line[Pos + 1] == '"') Pos += 2;
    else break;
  }
  std::string Item;
  while (Pos < N && !Blank(Pos)) {
    if (Line[Pos] == '"') {
      ++Pos;
      while (Pos < N && Line[Pos] != '"') Item += Line[Pos++];
      if (Pos < N) ++Pos;
    } else {
      Item += Line[Pos++];
    }
  }
  return Item;
}

void SplitCommandLine(const std::string& Line, std::string& Name, std::string& Params) {
  size_t Pos = 0;
  Name = ReadCommandItem(Line, Pos);
  Params.clear();
  for (;;) {
    std::string Item = ReadCommandItem(Line, Pos);
    if (Item.empty()) {
      if (Pos >= Line.size()) break;
      continue;
    }
    if (Item.find(' ') != std::string::npos) Item = "\"" + Item + "\"";
    Params += (Params.empty() ? "" : " ") + Item;
  }
}

bool DirExists(const std::string& Name) { return DirectoryExists(Name); }

bool HasAny(const std::string& Text, const std::string& Chars) {
  return Text.find_first_of(Chars) != std::string::npos;
}

bool ValidFileName(const std::string& Name) {
  return !Name.empty() && !HasAny(Name, "<>\"[]|") && ExtractFileName(Name).find('\\') == std::string::npos;
}

std::string ShortToLongFileName(const std::string& Name) {
  return !Name.empty() && (FileExists(Name) || DirectoryExists(Name)) ? Name : std::string();
}

std::string LongToShortFileName(const std::string& Name) { return ShortToLongFileName(Name); }

bool FourDigitYear() { return Pos("YYYY", UpperCase(FormatSettings.ShortDateFormat)) > 0; }
