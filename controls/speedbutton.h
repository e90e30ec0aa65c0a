// A window-less push button with a picture strip and a caption (TVxSpeedButton): group behaviour,
// auto-repeat and a flat look. TVxButtonGlyph turns one picture strip into the image of each button
// state; the images of all buttons live in a process-wide cache of image lists (TGlyphCache).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
// The states a button is drawn in; rbsInactive is the greyed picture of a flat button that the
// pointer is not over.
enum TVxButtonState { rbsUp, rbsDisabled, rbsDown, rbsExclusive, rbsInactive };
using TVxNumGlyphs = int;  // 1..5

// Images of one size, each kept with its transparent colour, in reusable slots.
class TGlyphList : public TObject {
 public:
  TGlyphList(int Width, int Height) : FWidth(Width), FHeight(Height) {}
  std::string ClassName() const override { return "TGlyphList"; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Copies Image into the first free slot; returns the slot.
  int AddMasked(TBitmap* Image, TColor MaskColor);
  // Frees the slot.
  void Delete(int Index);
  // Number of used slots.
  int Count() const { return FCount; }
  // Draws the image of a slot at its own size, its mask colour left out.
  void Draw(TCanvas* Canvas, int X, int Y, int Index) const;
  TBitmap* Image(int Index) const;

 private:
  int FWidth, FHeight;
  std::vector<std::unique_ptr<TBitmap>> FSlots;  // nullptr: free
  int FCount = 0;
};

// Draws image Index of Images embossed (the look of a disabled picture): its pixels other than
// the image's transparent colour in ShadowColor, with HighlightColor one pixel down and right
// when DrawHighlight is set.
void ImageListDrawDisabled(TGlyphList* Images, TCanvas* Canvas, int X, int Y, int Index, TColor HighlightColor,
                           TColor ShadowColor, bool DrawHighlight);

// The lists of all button glyphs, one per image size in use.
class TGlyphCache : public TObject {
 public:
  ~TGlyphCache() override;
  std::string ClassName() const override { return "TGlyphCache"; }
  // A list for images of this size: the newest matching one, else a new one.
  TGlyphList* GetList(int Width, int Height);
  // Gives a list back: a list without images is removed and freed.
  void ReturnList(TGlyphList* List);
  bool Empty() const { return FLists.empty(); }
  int ListCount() const { return int(FLists.size()); }

 private:
  std::vector<TGlyphList*> FLists;
};

// The process-wide cache while any button glyph exists (nullptr otherwise).
TGlyphCache* GlyphCache();

class TVxButtonGlyph : public TObject {
 public:
  TVxButtonGlyph();
  ~TVxButtonGlyph() override;
  std::string ClassName() const override { return "TVxButtonGlyph"; }

  TBitmap* Glyph() const { return FOriginal.get(); }
  void SetGlyph(TBitmap* Value);
  TVxNumGlyphs NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(TVxNumGlyphs Value);
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool V) { FWordWrap = V; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment V) { FAlignment = V; }
  TNotifyEvent OnChange;

  // The image of a state in the glyph list (made on first use); -1 without a picture.
  int CreateButtonGlyph(TVxButtonState State);
  TGlyphList* GlyphList() const { return FGlyphList; }
  // Places glyph and caption in Client; returns the caption as drawn (shortened with "..." to
  // the room it has unless WordWrap is set).
  std::string CalcButtonLayout(TCanvas* Canvas, const TRect& Client, TPoint Offset, const std::string& Caption,
                               TButtonLayout Layout, int Margin, int Spacing, TPoint& GlyphPos, TRect& TextBounds);
  // Draws glyph and caption; returns the caption's rectangle.
  TRect Draw(TCanvas* Canvas, const TRect& Client, TPoint Offset, const std::string& Caption, TButtonLayout Layout,
             int Margin, int Spacing, TVxButtonState State);

 private:
  std::unique_ptr<TBitmap> FOriginal;
  TGlyphList* FGlyphList = nullptr;
  std::array<int, 5> FIndexes;
  TColor FTransparentColor = clFuchsia;
  TVxNumGlyphs FNumGlyphs = 1;
  bool FWordWrap = false;
  TAlignment FAlignment = taCenter;

  void Invalidate();
  void GlyphChanged();
  void DrawButtonGlyph(TCanvas* Canvas, TPoint GlyphPos, TVxButtonState State);
  void DrawButtonText(TCanvas* Canvas, const std::string& Caption, TRect TextBounds, TVxButtonState State);
  unsigned TextFlags() const;
};

class TVxSpeedButton : public TGraphicControl {
 public:
  explicit TVxSpeedButton(TComponent* AOwner);
  ~TVxSpeedButton() override;
  std::string ClassName() const override { return "TVxSpeedButton"; }

  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int V);
  bool Down() const { return FDown; }
  void SetDown(bool V);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool V);
  TBitmap* Glyph() const { return FGlyph->Glyph(); }
  void SetGlyph(TBitmap* V);
  TVxNumGlyphs NumGlyphs() const { return FGlyph->NumGlyphs(); }
  void SetNumGlyphs(TVxNumGlyphs V);
  TVxButtonGlyph* ButtonGlyph() const { return FGlyph.get(); }
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout V);
  int Margin() const { return FMargin; }
  void SetMargin(int V);
  int Spacing() const { return FSpacing; }
  void SetSpacing(int V);
  bool Flat() const { return FFlat; }
  void SetFlat(bool V);
  TButtonStyle Style() const { return FStyle; }
  void SetStyle(TButtonStyle V);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool V);
  bool GrayedInactive() const { return FGrayedInactive; }
  void SetGrayedInactive(bool V);
  bool WordWrap() const { return FGlyph->WordWrap(); }
  void SetWordWrap(bool V);
  TAlignment Alignment() const { return FGlyph->Alignment(); }
  void SetAlignment(TAlignment V);
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int V) { FModalResult = V; }
  bool AllowTimer() const { return FAllowTimer; }
  void SetAllowTimer(bool V);
  unsigned InitPause() const { return FInitPause; }
  void SetInitPause(unsigned V) { FInitPause = V; }
  unsigned RepeatInterval() const { return FRepeatInterval; }
  void SetRepeatInterval(unsigned V) { FRepeatInterval = V; }
  TTimer* RepeatTimer() const { return FRepeatTimer; }
  TVxButtonState State() const { return FState; }
  bool MouseInControl() const { return FMouseInControl; }

  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void DblClick() override;
  void WndProc(TMessage& Message) override;
  void SetVisible(bool V) override;
  void SetEnabled(bool V) override;
  void SetCaption(const std::string& S) override;

  // Number of speed buttons alive.
  static int ButtonCount();

 protected:
  // Draws glyph and caption through the glyph object with the button's layout.
  virtual TRect PaintGlyph(TCanvas* Canvas, const TRect& ARect, TVxButtonState AState);

 private:
  int FGroupIndex = 0;
  TButtonStyle FStyle = bsAutoDetect;
  std::unique_ptr<TVxButtonGlyph> FGlyph;
  std::unique_ptr<TBitmap> FDrawImage;
  bool FDown = false, FDragging = false, FFlat = false, FMouseInControl = false, FAllowAllUp = false;
  TButtonLayout FLayout = blGlyphTop;
  int FSpacing = 1, FMargin = -1;
  int FModalResult = 0;
  bool FTransparent = false, FGrayedInactive = true;
  TTimer* FRepeatTimer = nullptr;
  bool FAllowTimer = false;
  unsigned FInitPause = 500, FRepeatInterval = 100;
  TVxButtonState FState = rbsUp;

  void UpdateExclusive();
  void GroupNotify(TVxSpeedButton* Sender);
  void TimerExpired();
  bool Inside(int X, int Y) const { return X >= 0 && X < Width() && Y >= 0 && Y < Height(); }
};
