// A windowed picture button with four pictures (idle, hover, pressed, disabled). It can cut its
// window to the shape of the idle picture (pmCrop: pixels of the key colour, the colour of the
// picture's top-left pixel, are not part of the window, so clicks there reach what lies
// beneath), draw its picture with the key colour left out (pmTransparent), and repeat its click
// every 300 ms while it is held (AutoRepeat). Its size always becomes the size of the picture it
// shows.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/gui/controls.h"

enum TPaintMode { pmNormal, pmCrop, pmTransparent };

// The mouse message a handler is given (for enter and leave, the enter or leave message with no
// position).
struct TWMMouse {
  unsigned Msg = 0;
  TShiftState Keys = 0;
  int XPos = 0;
  int YPos = 0;
  intptr_t Result = 0;
};
using TOnMouseEvent = std::function<void(TWMMouse& Msg)>;

class TEzRgnBtn : public TCustomControl {
 public:
  explicit TEzRgnBtn(TComponent* AOwner);
  ~TEzRgnBtn() override;
  std::string ClassName() const override { return "TEzRgnBtn"; }

  bool AutoRepeat() const { return FAutoRepeat; }
  void SetAutoRepeat(bool Value);
  // The button's own flag: a disabled button shows its disabled picture and does not click, but
  // still sees the mouse.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) override;
  bool Disabled() const { return !FEnabled; }

  TPicture* PicIdle() const { return FPicIdle.get(); }
  TPicture* PicUp() const { return FPicUp.get(); }
  TPicture* PicDown() const { return FPicDown.get(); }
  TPicture* PicDsbld() const { return FPicDsbld.get(); }
  // Copy the picture into the button's own. A new idle picture reshapes a cropped window.
  void SetPicIdle(const TPicture* Value);
  void SetPicUp(const TPicture* Value) { FPicUp->Assign(Value); }
  void SetPicDown(const TPicture* Value) { FPicDown->Assign(Value); }
  void SetPicDsbld(const TPicture* Value) { FPicDsbld->Assign(Value); }

  TPaintMode PaintMode() const { return FPaintMode; }
  void SetPaintMode(TPaintMode Value);
  bool RegionApplied() const { return FRegionApplied; }
  bool MouseIsDown() const { return FMouseDown; }
  bool MouseInside() const { return FMouseInside; }
  // Clicks the button every 300 ms while AutoRepeat is set and the left button is held over it.
  TTimer* RepeatTimer() const { return FRepeatTimer; }
  // The picture the button shows in its present state (idle when nothing better is there).
  TPicture* CurrentPicture() const;

  // Fires OnClick only while the button is enabled.
  void Click() override;
  // A double click does nothing.
  void DblClick() override {}
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;

  TOnMouseEvent OnMouseDown, OnMouseEnter, OnMouseLeave, OnMouseUp;

 private:
  void RepaintNow();
  void ApplyRegion();
  void RemoveRegion();
  void UpdateRepeatTimer();
  void Fire(const TOnMouseEvent& Event, unsigned Msg, TShiftState Keys, int X, int Y);

  std::unique_ptr<TPicture> FPicIdle, FPicDown, FPicDsbld, FPicUp;
  TTimer* FRepeatTimer = nullptr;
  bool FRegionApplied = false;
  bool FAutoRepeat = false;
  TPaintMode FPaintMode = pmNormal;
  bool FMouseDown = false;
  bool FMouseInside = false;
  bool FEnabled = true;
};
