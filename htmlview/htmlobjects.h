#pragma once
// Objects that stand inside a line of text: pictures (with their placeholder box and ALT text
// while there is no picture) and the list that answers the line breaking's questions by
// character position.

#include <cstdint>
#include <memory>
#include <string>

#include "htmlview/htmlsubs.h"

class TCanvas;
class TFontObj;

// The largest side a picture is shown at; WIDTH and HEIGHT beyond it are cut down.
constexpr int MaxShownImageSide = 10000;

// The horizontal margins and the size an element's style gives (Has... false when not given;
// an auto size counts as 0).
struct TStyleSizes {
  bool HasLeft = false, HasRight = false, HasWidth = false, HasHeight = false;
  int Left = 0, Right = 0, Width = 0, Height = 0;
};
TStyleSizes StyleSizes(TProperties& Props);

class TFloatingObj : public TIDObject {
 public:
  int Pos = 0;
  int ImageHeight = 0, ImageWidth = 0;  // the box in the line (with a link frame)
  uint8_t ObjAlign = ABaseline;         // ATop, AMiddle, ABaseline, ABottom, ALeft or ARight
  int Indent = 0;                       // X of a float relative to the cell's left edge
  int HSpaceL = 0, HSpaceR = 0, VSpaceT = 0, VSpaceB = 0;
  // Where the object was drawn (document coordinates).
  int DrawX = 0, DrawYY = 0;
  // Where a float was placed by the layout (document coordinates).
  int FloatX = 0, FloatY = 0;
  bool Floating() const { return ObjAlign == ALeft || ObjAlign == ARight; }
  int YPosition() override { return DrawYY; }
  virtual TFloatingObj* Clone(TSectionList* ADocument) const = 0;
  // Fetches what it shows and works out its size for the available width.
  virtual void Measure(TCanvas* Canvas, TFontObj* Font, int AvailableWidth) = 0;
  // X, Top and Baseline are window coordinates.
  virtual void Draw(TCanvas* Canvas, int X, int Top, int Baseline, TFontObj* Font) = 0;
};

class TImageObj : public TFloatingObj {
 public:
  TImageObj(TSectionList* ADocument, int Position, const TAttributeList& Attributes);
  // An image made for a picture name alone (image files, image buttons of forms).
  TImageObj(TSectionList* ADocument, const std::string& ASource);
  TImageObj(TSectionList* ADocument, const TImageObj& Source);
  ~TImageObj() override;
  TImageObj(const TImageObj&) = delete;
  TImageObj& operator=(const TImageObj&) = delete;

  int GivenWidth = 0;
  bool WidthIsPercent = false;
  int GivenHeight = 0;
  int ShownWidth = 0, ShownHeight = 0;
  bool SizeKnown = false;
  std::string Source, Alt, MapName;
  bool NoBorder = false, Border = false, IsMap = false, HasUseMap = false;
  uint8_t Transparent = 0;
  bool Hover = false, Active = false;
  bool HasID = false;
  // The picture: a cached bitmap, a GIF (a private copy when animated) or none (placeholder).
  const TPixelBuffer* Image = nullptr;
  const TMaskBuffer* Mask = nullptr;
  TGIFImage* Gif = nullptr;
  bool IsError = false, IsPlaceholder = false;
  TSectionList* Document;

  void ApplyStyle(TProperties& Props);
  TFloatingObj* Clone(TSectionList* ADocument) const override { return new TImageObj(ADocument, *this); }
  void Measure(TCanvas* Canvas, TFontObj* Font, int AvailableWidth) override;
  void Draw(TCanvas* Canvas, int X, int Top, int Baseline, TFontObj* Font) override;
  // Hover animation of ACTIVE GIF pictures.
  void SetHover(bool Value);
  // Called when the data of a delayed picture has come.
  void ReplaceImage(TStream* Stream);

 private:
  std::unique_ptr<TGIFImage> FOwnGif;
  bool FFetched = false;
  void Fetch();
};

class TPanel;

// PANEL: a plain panel control of the GUI layer standing in the text, which the program fills
// (the document's panel events hand it over when it is made and before it is freed).
class TPanelObj : public TFloatingObj {
 public:
  TPanelObj(TSectionList* ADocument, int Position, const TAttributeList& Attributes);
  TPanelObj(TSectionList* ADocument, const TPanelObj& Source);
  ~TPanelObj() override;
  TPanelObj(const TPanelObj&) = delete;
  TPanelObj& operator=(const TPanelObj&) = delete;
  TSectionList* Document;
  TPanel* Panel = nullptr;  // owned
  std::string Alt, Name, Source, Type;
  int SetWidth = 30, SetHeight = 20;
  bool IsPercent = false;
  double Ratio = 0;
  bool Placed = false;
  TFloatingObj* Clone(TSectionList* ADocument) const override { return new TPanelObj(ADocument, *this); }
  void Measure(TCanvas* Canvas, TFontObj* Font, int AvailableWidth) override;
  void Draw(TCanvas* Canvas, int X, int Top, int Baseline, TFontObj* Font) override;
};

class TImageObjList : public TFreeList<TFloatingObj> {
 public:
  TFloatingObj* FindAt(int Position) const;
  // -1 when there is no object at the position.
  int HeightAt(int Position, uint8_t& Align, TFloatingObj*& Obj) const;
  int WidthAt(int Position, uint8_t& Align, int& SpaceLeft, int& SpaceRight, TFloatingObj*& Obj) const;
  void RemovePosition(int N);
  // The image whose drawn box holds the document point; IX, IY relative to its corner.
  bool HitImage(int X, int Y, int& IX, int& IY, TImageObj*& Image) const;
};
