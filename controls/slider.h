// An integer track bar drawn from small pictures: a ruler stretched to the control's length, a
// thumb that slides along it and optional tick marks.
#pragma once

#include <array>
#include <memory>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

enum TSliderOrientation { soHorizontal, soVertical };
using TSliderOptions = unsigned;
constexpr TSliderOptions soShowFocus = 1, soShowPoints = 2, soSmooth = 4, soRulerOpaque = 8, soThumbOpaque = 16;
enum TSliderImage { siHThumb, siHRuler, siVThumb, siVRuler };
using TNumThumbStates = int;  // 1 or 2
using TDrawPointsEvent = std::function<void(TObject* Sender)>;

class TVxCustomSlider : public TCustomControl {
 public:
  explicit TVxCustomSlider(TComponent* AOwner);
  ~TVxCustomSlider() override;
  std::string ClassName() const override { return "TVxCustomSlider"; }

  int Value() const { return FValue; }
  void SetValue(int V);
  int MinValue() const { return FMinValue; }
  void SetMinValue(int V) { SetMinMax(V, FMaxValue); }
  int MaxValue() const { return FMaxValue; }
  void SetMaxValue(int V) { SetMinMax(FMinValue, V); }
  int Increment() const { return FIncrement; }
  // A value below 1 or above MaxValue - MinValue raises "Value must be between %d and %d".
  void SetIncrement(int V);
  TSliderOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TSliderOrientation V);
  int EdgeSize() const { return FEdgeSize; }
  void SetEdgeSize(int V);
  TNumThumbStates NumThumbStates() const { return FNumThumbStates; }
  void SetNumThumbStates(TNumThumbStates V);
  TSliderOptions Options() const { return FOptions; }
  void SetOptions(TSliderOptions V);
  TBevelCut BevelStyle() const { return FBevelStyle; }
  void SetBevelStyle(TBevelCut V);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool V) { FReadOnly = V; }

  // The four pictures; assigning one copies it, nullptr brings the built-in picture back.
  TBitmap* Image(TSliderImage Index) const { return FImages[Index].get(); }
  void SetImage(TSliderImage Index, TBitmap* Value);
  TBitmap* ImageHThumb() const { return Image(siHThumb); }
  TBitmap* ImageHRuler() const { return Image(siHRuler); }
  TBitmap* ImageVThumb() const { return Image(siVThumb); }
  TBitmap* ImageVRuler() const { return Image(siVRuler); }
  void SetImageHThumb(TBitmap* V) { SetImage(siHThumb, V); }
  void SetImageHRuler(TBitmap* V) { SetImage(siHRuler, V); }
  void SetImageVThumb(TBitmap* V) { SetImage(siVThumb, V); }
  void SetImageVRuler(TBitmap* V) { SetImage(siVRuler, V); }
  bool UserImage(TSliderImage Index) const { return (FUserImages >> Index) & 1; }

  // Where the parts are (client coordinates).
  TRect ThumbRect() const { return FThumbRect; }
  TPoint RulerOrigin() const { return FRulerOrigin; }
  TBitmap* Ruler() const { return FRuler.get(); }
  TRect PointsRect() const { return FPointsRect; }
  // Left (or top) edge of the thumb for a value, and the value at such an edge.
  int OffsetByValue(int V) const;
  int ValueByOffset(int Offset) const;

  TNotifyEvent OnChange, OnChanged;
  TDrawPointsEvent OnDrawPoints;

  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  bool WantsKey(uint16_t Key, TShiftState Shift) override;
  void WndProc(TMessage& Message) override;
  void DoEnter() override;
  void DoExit() override;
  void Resize() override;

 protected:
  virtual bool CanModify() { return true; }
  // The client rectangle without the bevel.
  virtual TRect SliderClientRect() const;
  virtual void AdjustElements();
  virtual void ThumbMouseDown(int X, int Y);
  virtual void ThumbMouseMove(int X, int Y);
  virtual void ThumbMouseUp();
  virtual void DefaultDrawPoints(int PointsStep, int PointsHeight, int ExtremePointsHeight);
  void EnabledChanged() override;
  void Loaded() override;
  void Change();
  void Changed();

 private:
  enum TRegionCode { rcNone, rcHome, rcEnd, rcIncrease, rcDecrease };
  unsigned FUserImages = 0;
  std::array<std::unique_ptr<TBitmap>, 4> FImages;
  int FEdgeSize = 2;
  std::unique_ptr<TBitmap> FRuler;
  TPoint FRulerOrigin;
  TRect FThumbRect;
  bool FThumbDown = false;
  TNumThumbStates FNumThumbStates = 2;
  TRect FPointsRect;
  TSliderOrientation FOrientation = soHorizontal;
  TSliderOptions FOptions = soShowFocus | soShowPoints | soSmooth;
  TBevelCut FBevelStyle = bvNone;
  int FBevelWidth = 1;
  int FMinValue = 0, FMaxValue = 100, FIncrement = 10, FValue = 0;
  int FHit = 0;
  bool FFocused = false, FSliding = false, FTracking = false, FTimerActive = false;
  TPoint FMousePos;
  TRegionCode FStartRegion = rcNone;
  bool FReadOnly = false;

  bool Horizontal() const { return FOrientation == soHorizontal; }
  TBitmap* ThumbImage() const { return FImages[Horizontal() ? siHThumb : siVThumb].get(); }
  TBitmap* RulerImage() const { return FImages[Horizontal() ? siHRuler : siVRuler].get(); }
  int ThumbWidth() const;
  int ThumbHeight() const;
  int RulerLength() const;
  int MinIndent() const;
  void SetMinMax(int NewMin, int NewMax);
  void BuildRuler(const TRect& R);
  void SetThumbOffset(int Offset);
  void PlaceThumb(int Offset);
  void DrawPoints();
  TRegionCode RegionAt(TPoint P) const;
  void Step(TRegionCode Code);
  void TimerTrack();
  void StopTracking();
};

class TVxSlider : public TVxCustomSlider {
 public:
  using TVxCustomSlider::TVxCustomSlider;
  std::string ClassName() const override { return "TVxSlider"; }
};
