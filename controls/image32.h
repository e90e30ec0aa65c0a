// Windowed controls that show TBitmap32 pictures without flicker. A paint box keeps an off-screen
// TBitmap32 buffer and puts it on the screen in one copy; the image draws one bitmap into that
// buffer by its scale mode and alignment; layers (window-less children of the image) paint
// themselves into the same buffer, in child order, before it reaches the screen. The bitmap list
// is a non-visual collection of bitmaps.
//
// Descendants draw into Buffer() by overriding Paint() (the image's Paint draws its bitmap;
// a descendant calls it first and adds its own drawing to the buffer). A layer paints through
// Paint(TBitmap32* Buffer).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "controls/bitmaps32.h"
#include "controls/bitmaps32_gui.h"
#include "platform/gui/controls.h"

// OnPaint of paint boxes and layers: the buffer being painted.
using TPaintEvent = std::function<void(TObject* Sender, TBitmap32* BackBuffer)>;

enum TBitmapAlign { baTopLeft, baCenter, baTile };
enum TScaleMode { smNormal, smStretch, smScale, smResize };

// The destination rectangle of a BW x BH bitmap in a CW x CH control; (0, 0, 0, 0) when any size
// is 0. smResize fits the picture inside keeping its aspect ratio (a tie fits the height);
// baCenter centres the result (division towards zero). Rounding is to nearest, ties to even.
TRect CalcBitmapRect(int BW, int BH, int CW, int CH, double Scale, TScaleMode ScaleMode, TBitmapAlign BitmapAlign);

class TCustomPaintBox32 : public TCustomControl {
 public:
  explicit TCustomPaintBox32(TComponent* AOwner);
  ~TCustomPaintBox32() override;
  std::string ClassName() const override { return "TCustomPaintBox32"; }

  TBitmap32* Buffer() const { return FBuffer.get(); }
  int UpdateCount() const { return FUpdateCount; }
  virtual void BeginUpdate() { ++FUpdateCount; }
  // Raises EAssertionFailed "Unpaired TCustomPaintBox32.EndUpdate" when no update is open.
  virtual void EndUpdate();
  // OnChanging / OnChange at update level 0; Changed also repaints the control.
  virtual void Changing();
  virtual void Changed();

  // The paint box's picture of itself, drawn into the buffer: fires OnPaint at update level 0.
  void Paint() override;
  void Resize() override;
  // True when visible opaque layers cover the whole client area (the box then need not paint
  // itself beneath them).
  bool CoveredByLayers() const;

  TNotifyEvent OnPaintBuffer;
  TPaintEvent OnPaint;
  TNotifyEvent OnChanging, OnChange;

 protected:
  // Gives the buffer the control's size (with 40 pixels to spare in each direction when
  // BufferOversize is set, so that growing step by step does not reallocate every time) and
  // repaints it when it changed.
  virtual void ResizeBuffer();
  // Fills a freshly sized buffer: OnPaintBuffer, or the background colour.
  virtual void PaintBuffer();
  bool FBufferOversize = false;

 private:
  friend class TPaintBoxPresenter;
  // Paints the visible layers into the buffer and copies the buffer onto the screen.
  void Present(TCanvas* Canvas);

  std::unique_ptr<TBitmap32> FBuffer;
  TControl* FPresenter = nullptr;
  int FUpdateCount = 0;
};

class TCustomImage32 : public TCustomPaintBox32 {
 public:
  explicit TCustomImage32(TComponent* AOwner);
  ~TCustomImage32() override;
  std::string ClassName() const override { return "TCustomImage32"; }

  TBitmap32* Bitmap() const { return FBitmap.get(); }
  void SetBitmap(const TBitmap32* Value);
  TBitmapAlign BitmapAlign() const { return FBitmapAlign; }
  void SetBitmapAlign(TBitmapAlign Value);
  double Scale() const { return FScale; }
  // Values below 0.001 become 0.001.
  void SetScale(double Value);
  TScaleMode ScaleMode() const { return FScaleMode; }
  void SetScaleMode(TScaleMode Value);
  // The control takes the (scaled) bitmap's size.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);

  // Where the bitmap lands in the control.
  TRect GetBitmapRect() const;
  // The scaled bitmap's size in the directions the alignment leaves free; false when the size
  // is unknown.
  bool CanAutoSize(int& NewWidth, int& NewHeight) const;

  // Draws the bitmap into the buffer and clears what it leaves free with the background colour.
  void Paint() override;
  void Changed() override;

 private:
  void ScaledSize(int& W, int& H) const;
  std::unique_ptr<TBitmap32> FBitmap;
  TBitmapAlign FBitmapAlign = baTopLeft;
  double FScale = 1.0;
  TScaleMode FScaleMode = smNormal;
  bool FAutoSize = false;
};

class TImage32 : public TCustomImage32 {
 public:
  explicit TImage32(TComponent* AOwner) : TCustomImage32(AOwner) {}
  std::string ClassName() const override { return "TImage32"; }
};

// A window-less child of a paint box that paints into its parent's buffer.
class TCustomLayer32 : public TGraphicControl {
 public:
  explicit TCustomLayer32(TComponent* AOwner);
  ~TCustomLayer32() override;
  std::string ClassName() const override { return "TCustomLayer32"; }

  virtual void Changing();
  // Sends itself CM_CHANGED, then fires OnChange.
  virtual void Changed();
  // Draws the layer into the buffer of its parent paint box.
  virtual void Paint(TBitmap32* Buffer);
  // The layer has no picture of its own on the parent's canvas: the paint box paints it into its
  // buffer.
  void Paint() override {}

  TPaintEvent OnPaint;
  TNotifyEvent OnChanging, OnChange;
};

class TLayer32 : public TCustomLayer32 {
 public:
  explicit TLayer32(TComponent* AOwner) : TCustomLayer32(AOwner) {}
  std::string ClassName() const override { return "TLayer32"; }
};

class TBitmapLayer32 : public TLayer32 {
 public:
  explicit TBitmapLayer32(TComponent* AOwner);
  ~TBitmapLayer32() override;
  std::string ClassName() const override { return "TBitmapLayer32"; }

  TBitmap32* Bitmap() const { return FBitmap.get(); }
  // Copies the bitmap into the layer.
  void SetBitmap(const TBitmap32* Value) { FBitmap->Assign(Value); }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool CanAutoSize(int& NewWidth, int& NewHeight) const;
  // The bitmap drawn into the layer's bounds (its draw mode, master alpha and stretch filter).
  void Paint(TBitmap32* Buffer) override;
  using TCustomLayer32::Paint;

 private:
  void BitmapChanged();
  std::unique_ptr<TBitmap32> FBitmap;
  bool FAutoSize = false;
};

class TBitmapCollection;

class TBitmapItem : public TCollectionItem {
 public:
  explicit TBitmapItem(TCollection* ACollection);
  ~TBitmapItem() override;
  std::string ClassName() const override { return "TBitmapItem"; }

  TBitmap32* Bitmap() const { return FBitmap.get(); }
  // Copies the bitmap (nullptr empties it).
  void SetBitmap(const TBitmap32* Value);
  void Assign(TPersistent* Source) override;

  virtual void BeginUpdate() { ++FUpdateCount; }
  // Raises EAssertionFailed "Unpaired TBitmapItem.EndUpdate" when no update is open.
  virtual void EndUpdate();
  virtual void Changing();
  virtual void Changed();
  int UpdateCount() const { return FUpdateCount; }

  TNotifyEvent OnChanging, OnChange;

 private:
  std::unique_ptr<TBitmap32> FBitmap;
  int FUpdateCount = 0;
};

class TBitmapCollection : public TCollection {
 public:
  explicit TBitmapCollection(TPersistent* AOwner);
  std::string ClassName() const override { return "TBitmapCollection"; }
  TPersistent* Owner() const { return FOwner; }
  TBitmapItem* Items(int Index) const { return static_cast<TBitmapItem*>(TCollection::Items(Index)); }
  TBitmapItem* Add() { return static_cast<TBitmapItem*>(TCollection::Add()); }

 private:
  TPersistent* FOwner;
};

class TBitmapList32 : public TComponent {
 public:
  explicit TBitmapList32(TComponent* AOwner);
  ~TBitmapList32() override;
  std::string ClassName() const override { return "TBitmapList32"; }
  TBitmapCollection* Bitmaps() const { return FBitmaps.get(); }
  // Copies the items of the collection.
  void SetBitmaps(TBitmapCollection* Value) { FBitmaps->Assign(Value); }
  TNotifyEvent OnChanging, OnChange;

 private:
  std::unique_ptr<TBitmapCollection> FBitmaps;
};
