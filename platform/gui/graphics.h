// Colours, fonts, pens, brushes, the canvas and the picture classes. Strings are CP1250 bytes;
// they become Unicode only inside the implementation, when text is drawn or measured.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/sysutils.h"
#include "platform/gui/geometry.h"

// ---------------------------------------------------------------------------------------------
// Colours: 0x00BBGGRR; negative values name system colours (0x80000000 | index).
using TColor = int32_t;

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clPaletteFlag = 0x02000000;  // "palette-relative" marker; the RGB part is what counts

constexpr TColor SysColor(int index) { return TColor(0x80000000u | unsigned(index)); }
constexpr TColor clScrollBar = SysColor(0), clBackground = SysColor(1), clActiveCaption = SysColor(2),
                 clInactiveCaption = SysColor(3), clMenu = SysColor(4), clWindow = SysColor(5),
                 clWindowFrame = SysColor(6), clMenuText = SysColor(7), clWindowText = SysColor(8),
                 clCaptionText = SysColor(9), clActiveBorder = SysColor(10), clInactiveBorder = SysColor(11),
                 clAppWorkSpace = SysColor(12), clHighlight = SysColor(13), clHighlightText = SysColor(14),
                 clBtnFace = SysColor(15), clBtnShadow = SysColor(16), clGrayText = SysColor(17),
                 clBtnText = SysColor(18), clInactiveCaptionText = SysColor(19), clBtnHighlight = SysColor(20),
                 cl3DDkShadow = SysColor(21), cl3DLight = SysColor(22), clInfoText = SysColor(23),
                 clInfoBk = SysColor(24);

// System colours resolve to a fixed classic scheme so that pictures do not depend on the desktop.
TColor ColorToRGB(TColor c);
// "clRed" style names for the named and system colours, otherwise "$00BBGGRR".
std::string ColorToString(TColor c);
// Accepts the names (any case) and integers ("$FF", "255"); anything else raises EConvertError.
TColor StringToColor(const std::string& s);
bool IdentToColor(const std::string& ident, TColor& c);
bool ColorToIdent(TColor c, std::string& ident);
// Calls proc with every colour name in table order (the sixteen basic ones first).
void GetColorValues(const std::function<void(const std::string&)>& proc);
constexpr TColor RGB(int r, int g, int b) { return TColor((r & 255) | ((g & 255) << 8) | ((b & 255) << 16)); }
constexpr int GetRValue(TColor c) { return c & 255; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 255; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 255; }

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EInvalidGraphic"; }
};
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EInvalidGraphicOperation"; }
};

// ---------------------------------------------------------------------------------------------
// Graphic objects. Changing one calls OnChange (the canvas or control that uses it repaints).
class TGraphicsObject : public TObject {
 public:
  std::function<void(TObject* Sender)> OnChange;

 protected:
  void Changed();
};

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
constexpr int DEFAULT_CHARSET = 1, ANSI_CHARSET = 0, EASTEUROPE_CHARSET = 238, SYMBOL_CHARSET = 2;

class TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  void Assign(const TFont& src);

  const std::string& Name() const { return FName; }
  void SetName(const std::string& v);
  // Size in points at 96 pixels per inch; Height is the pixel height of the characters
  // (negative: em height, positive: cell height including internal leading).
  int Size() const;
  void SetSize(int points);
  int Height() const { return FHeight; }
  void SetHeight(int v);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles v);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  int Charset() const { return FCharset; }
  void SetCharset(int v);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch v);
  int PixelsPerInch() const { return 96; }

  // The family actually used for drawing (after substitution of the Windows names).
  std::string ResolvedFamily() const;

 private:
  std::string FName = "MS Sans Serif";
  int FHeight = -11;  // 8 points
  TFontStyles FStyle = 0;
  TColor FColor = clWindowText;
  int FCharset = DEFAULT_CHARSET;
  TFontPitch FPitch = fpDefault;
};

// Family substitution for the Windows fonts the screens name; unknown names pass unchanged.
std::string SubstituteFontFamily(const std::string& name);

struct TFontFamilyInfo {
  std::string Name;
  bool FixedPitch = false;
  bool TrueType = true;  // scalable outline font
};
// Installed font families (plus the substituted Windows names), sorted by name.
std::vector<TFontFamilyInfo> EnumFontFamilies();

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode { pmCopy, pmNot, pmXor, pmNotXor, pmMask, pmMerge };
class TPen : public TGraphicsObject {
 public:
  void Assign(const TPen& src);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  int Width() const { return FWidth; }
  void SetWidth(int v);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle v);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode v);

 private:
  TColor FColor = clBlack;
  int FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
class TBitmap;
class TBrush : public TGraphicsObject {
 public:
  TBrush();
  ~TBrush() override;
  void Assign(const TBrush& src);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle v);
  // A pattern bitmap (e.g. the 8x8 dither brush); the brush does not own it.
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* b);

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  TBitmap* FBitmap = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Regions (window shapes and clip areas), in device pixels.
class TRegion {
 public:
  TRegion();
  explicit TRegion(const TRect& r);
  TRegion(const TRegion& o);
  TRegion& operator=(const TRegion& o);
  ~TRegion();
  // The pixels of bmp (placed at 0,0) whose colour differs from keyColor (flags ignored).
  static TRegion FromMask(const TBitmap& bmp, TColor keyColor);
  TRegion United(const TRegion& o) const;
  TRegion Subtracted(const TRegion& o) const;
  TRegion Intersected(const TRegion& o) const;
  TRegion Translated(int dx, int dy) const;
  bool Contains(int x, int y) const;
  bool IsEmpty() const;
  TRect BoundingRect() const;
  std::vector<TRect> Rects() const;

  struct Impl;
  Impl* impl() const { return FImpl.get(); }

 private:
  std::unique_ptr<Impl> FImpl;
};

// ---------------------------------------------------------------------------------------------
// Raster operations of BitBlt (the ones the controls use), emulated on pixels.
constexpr uint32_t SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
                   SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6,
                   MERGEPAINT = 0x00BB0226, DSTINVERT = 0x00550009, BLACKNESS = 0x00000042,
                   WHITENESS = 0x00FF0062, DSna = 0x00220326;

// DrawText flags.
constexpr unsigned DT_TOP = 0, DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4, DT_BOTTOM = 8,
                   DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_NOCLIP = 0x100,
                   DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800, DT_END_ELLIPSIS = 0x8000, DT_RTLREADING = 0x20000;
// Text alignment of TextOut (SetTextAlign).
constexpr unsigned TA_LEFT = 0, TA_TOP = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24;
// Mapping modes.
constexpr int MM_TEXT = 1, MM_ANISOTROPIC = 8;

struct TTextMetric {
  int tmHeight = 0, tmAscent = 0, tmDescent = 0, tmInternalLeading = 0, tmExternalLeading = 0,
      tmAveCharWidth = 0, tmMaxCharWidth = 0, tmOverhang = 0;
  bool FixedPitch = false;
};

class TGraphic;
class TCanvas;
struct TCanvasTarget;

// A canvas draws into a 32-bit image: a bitmap's pixels, a control's back buffer (for a window-less
// control: its parent's buffer, moved to the control's origin and clipped to it) or a printer page.
class TCanvas : public TObject {
 public:
  TCanvas();
  ~TCanvas() override;

  TFont* Font() const { return FFont.get(); }
  TPen* Pen() const { return FPen.get(); }
  TBrush* Brush() const { return FBrush.get(); }
  void SetFont(const TFont& f) { FFont->Assign(f); }
  uint32_t CopyMode() const { return FCopyMode; }
  void SetCopyMode(uint32_t rop) { FCopyMode = rop; }
  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(TPoint p) { FPenPos = p; }
  // True when there is something to draw on.
  bool HandleAllocated() const;
  // Called after every drawing operation with the changed rectangle (device pixels).
  std::function<void(const TRect&)> OnChanged;

  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int x1, int y1, int x2, int y2, int rx, int ry);
  void Ellipse(int x1, int y1, int x2, int y2);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  // Counter-clockwise arc of the ellipse in the box, from the radial through (x3,y3) to the one through (x4,y4).
  void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  void Polygon(const std::vector<TPoint>& pts);
  void Polyline(const std::vector<TPoint>& pts);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void DrawFocusRect(const TRect& r);
  // Top and left edges in topColor, bottom and right in bottomColor, width times; r shrinks.
  void Frame3D(TRect& r, TColor topColor, TColor bottomColor, int width);
  void FloodFillRect(const TRect& r, TColor c) ;

  // Text: CP1250 bytes. TextOut honours the text alignment and, unless the brush is clear,
  // fills the text's cell with the brush colour first. PenPos moves past the text.
  void TextOut(int x, int y, const std::string& text);
  void TextOut(int x, int y, char ch) { TextOut(x, y, std::string(1, ch)); }
  void TextRect(const TRect& r, int x, int y, const std::string& text);
  int TextWidth(const std::string& text);
  int TextHeight(const std::string& text);
  TSize TextExtent(const std::string& text);
  // Width of every prefix text[0..i]; fit = how many characters fit into maxExtent (-1: no limit).
  TSize GetTextExtentExPoint(const std::string& text, int maxExtent, int* fit, std::vector<int>* dx);
  TTextMetric GetTextMetrics();
  unsigned TextAlign() const { return FTextAlign; }
  void SetTextAlign(unsigned a) { FTextAlign = a; }
  // Extra pixels spread over the blanks of following TextOut calls (text justification).
  void SetTextJustification(int extra, int breakCount);
  // Returns the height of the text; with DT_CALCRECT only measures and adjusts r.
  int DrawText(const std::string& text, TRect& r, unsigned flags);

  // Pictures.
  void Draw(int x, int y, TGraphic* g);
  void StretchDraw(const TRect& r, TGraphic* g);
  void CopyRect(const TRect& dest, TCanvas* src, const TRect& srcRect);
  // Copies bitmap's srcRect into dest, replacing colour key by the brush colour.
  void BrushCopy(const TRect& dest, TBitmap* bmp, const TRect& srcRect, TColor key);

  TColor Pixel(int x, int y);
  void SetPixel(int x, int y, TColor c);

  // Clipping (logical coordinates, mapped to device pixels) and saved states.
  void IntersectClipRect(const TRect& r);
  void ExcludeClipRect(const TRect& r);
  void SelectClipRegion(const TRegion* rgn);  // nullptr removes the clip
  TRect ClipRect();
  int SaveDC();
  void RestoreDC(int id);  // -1: the last saved state

  // Window/viewport mapping: device = (logical - windowOrg) * viewportExt / windowExt + viewportOrg.
  void SetMapMode(int mode);
  void SetWindowExt(int cx, int cy);
  void SetViewportExt(int cx, int cy);
  void SetWindowOrg(int x, int y);
  void SetViewportOrg(int x, int y);
  TPoint WindowOrg() const;
  TPoint ViewportOrg() const;
  TPoint LogicalToDevice(TPoint p) const;

  // Moves the pixels of r by dx,dy (clipped to clip when it is not empty).
  void ScrollRect(int dx, int dy, const TRect& r, const TRect& clip);

  // Implementation access (used by the layer itself).
  TCanvasTarget* Target() const { return FTarget.get(); }
  void Attach(std::shared_ptr<TCanvasTarget> t);
  void Detach();
  void NotifyChanged(const TRect& deviceRect);

 private:
  friend struct CanvasAccess;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  std::shared_ptr<TCanvasTarget> FTarget;
  uint32_t FCopyMode = SRCCOPY;
  TPoint FPenPos;
  unsigned FTextAlign = TA_LEFT | TA_TOP;
  struct State;
  std::unique_ptr<State> FState;
};

// BitBlt/StretchBlt between canvases with a raster operation. Colour to monochrome: pixels
// equal to the source brush colour become white (1), others black (0); monochrome to colour:
// white becomes the destination brush colour, black its font colour.
void BitBlt(TCanvas* dest, int x, int y, int w, int h, TCanvas* src, int sx, int sy, uint32_t rop);
void StretchBlt(TCanvas* dest, int x, int y, int w, int h, TCanvas* src, int sx, int sy, int sw, int sh, uint32_t rop);
void Frame3D(TCanvas* c, TRect& r, TColor topColor, TColor bottomColor, int width);

// ---------------------------------------------------------------------------------------------
class TGraphic : public TObject {
 public:
  std::function<void(TObject* Sender)> OnChange;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int) {}
  virtual void SetHeight(int) {}
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  virtual bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool v);
  virtual void LoadFromStream(TStream* s) = 0;
  virtual void SaveToStream(TStream* s) = 0;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);
  // Draws the picture scaled into r (transparent colour left out when Transparent).
  virtual void Draw(TCanvas* c, const TRect& r) = 0;

 protected:
  void Changed();
  bool FTransparent = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };
enum TTransparentMode { tmAuto, tmFixed };
struct TBitmapData;

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  void Assign(const TBitmap* src);
  void Assign(const TGraphic* src);

  int Width() const override;
  int Height() const override;
  void SetWidth(int w) override;
  void SetHeight(int h) override;
  void SetSize(int w, int h);
  TCanvas* Canvas();
  TPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat pf);
  bool Monochrome() const { return FPixelFormat == pf1bit; }
  void SetMonochrome(bool v);
  // Bottom-left pixel with the palette flag unless a colour was set (tmFixed).
  TColor TransparentColor() const;
  void SetTransparentColor(TColor c);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode m);
  void Dormant() {}
  void FreeImage() {}
  // Mask bitmap: black where the colour differs from c, white where it matches.
  void Mask(TColor c);

  void LoadFromStream(TStream* s) override;
  void SaveToStream(TStream* s) override;
  void LoadFromBytes(const uint8_t* data, size_t size);
  std::vector<uint8_t> SaveToBytes() const;
  void Draw(TCanvas* c, const TRect& r) override;

  // Direct pixel access: 0xAARRGGBB, row 0 at the top.
  uint32_t* ScanLine(int y);
  const uint32_t* ScanLine(int y) const;
  TColor PixelColor(int x, int y) const;  // TColor of one pixel, -1 outside

  TBitmapData* Data() const { return FData.get(); }

 private:
  std::unique_ptr<TBitmapData> FData;
  std::unique_ptr<TCanvas> FCanvas;
  TPixelFormat FPixelFormat = pfDevice;
  TTransparentMode FTransparentMode = tmAuto;
  TColor FTransparentColor = clDefault;
  void Reallocate(int w, int h);
  void AttachCanvas();
};

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  int Width() const override;
  int Height() const override;
  void LoadFromStream(TStream* s) override;
  void SaveToStream(TStream* s) override;  // writes the bytes it was loaded from
  void LoadFromBytes(const uint8_t* data, size_t size);
  void Draw(TCanvas* c, const TRect& r) override;
  const TBitmap* Bitmap() const { return FBitmap.get(); }

 private:
  std::unique_ptr<TBitmap> FBitmap;
  std::vector<uint8_t> FBytes;
};

class TPicture : public TObject {
 public:
  TPicture();
  ~TPicture() override;
  std::function<void(TObject* Sender)> OnChange;
  TGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(TGraphic* g);  // copies a bitmap or JPEG picture; nullptr clears
  // The picture as a bitmap (an empty bitmap replaces any other graphic).
  TBitmap* Bitmap();
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }
  void Assign(const TPicture* src);
  // By extension: .bmp and .jpg/.jpeg; others raise EInvalidGraphic "unknown extension".
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);

 private:
  std::unique_ptr<TGraphic> FGraphic;
  void Changed();
};
