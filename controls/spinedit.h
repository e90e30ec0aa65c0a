// A numeric edit box with a spin button at its side (TVxSpinEdit), the square spin button split
// along its diagonal into an up and a down half (TVxSpinButton), and a plain up-down button pair
// (TVxUpDown) for the standard look.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

enum TValueType { vtInteger, vtFloat, vtHex };
enum TSpinButtonKind { bkStandard, bkDiagonal };
enum TSpinButtonState { NotDown, TopDown, BottomDown };
enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;

class TVxSpinButton : public TGraphicControl {
 public:
  explicit TVxSpinButton(TComponent* AOwner);
  ~TVxSpinButton() override;
  std::string ClassName() const override { return "TVxSpinButton"; }

  // Assigning nullptr brings the built-in arrow back.
  TBitmap* UpGlyph() const { return FUpBitmap.get(); }
  void SetUpGlyph(TBitmap* Value);
  TBitmap* DownGlyph() const { return FDownBitmap.get(); }
  void SetDownGlyph(TBitmap* Value);
  TSpinButtonState Down() const { return FDown; }
  void SetDown(TSpinButtonState Value);
  // The control that takes the focus when the button is pressed.
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value);
  // The auto-repeat timer, made at the first press (nullptr before).
  TTimer* RepeatTimer() const { return FRepeatTimer; }

  TNotifyEvent OnTopClick, OnBottomClick;

  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void TopClick();
  void BottomClick();

 private:
  TSpinButtonState FDown = NotDown;
  std::unique_ptr<TBitmap> FUpBitmap, FDownBitmap;
  bool FDragging = false;
  bool FLeftDown = false;  // the left button is held since a press on the button
  bool FInvalidate = true;
  std::unique_ptr<TBitmap> FTopDownBitmap, FBottomDownBitmap, FNotDownBitmap;
  TTimer* FRepeatTimer = nullptr;
  TSpinButtonState FLastDown = NotDown;
  TWinControl* FFocusControl = nullptr;

  bool InTopHalf(int X, int Y) const;
  void GlyphChanged();
  void DrawAllBitmaps();
  void DrawBitmap(TBitmap* Bitmap, TSpinButtonState State);
  void TimerExpired();
};

// Two stacked buttons: the upper one clicks "next", the lower one "previous".
class TVxUpDown : public TCustomControl {
 public:
  explicit TVxUpDown(TComponent* AOwner);
  std::string ClassName() const override { return "TVxUpDown"; }
  TUDClickEvent OnClick;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  int FPressed = 0;  // 1 upper, -1 lower, 0 none
  bool FChanging = false;
};

class TVxSpinEdit : public TEdit {
 public:
  explicit TVxSpinEdit(TComponent* AOwner);
  ~TVxSpinEdit() override;
  std::string ClassName() const override { return "TVxSpinEdit"; }

  // Read from the text by ValueType (a text that does not convert reads as MinValue, truncated
  // unless the type is vtFloat); writing clamps to MinValue..MaxValue when MaxValue lies above
  // MinValue and shows the value in the text.
  double Value() const;
  void SetValue(double NewValue);
  double MinValue() const { return FMinValue; }
  void SetMinValue(double V) { FMinValue = V; }
  double MaxValue() const { return FMaxValue; }
  void SetMaxValue(double V) { FMaxValue = V; }
  double Increment() const { return FIncrement; }
  void SetIncrement(double V) { FIncrement = V; }
  int Decimal() const { return FDecimal; }
  void SetDecimal(int V);
  TValueType ValueType() const { return FValueType; }
  void SetValueType(TValueType V);
  bool EditorEnabled() const { return FEditorEnabled; }
  void SetEditorEnabled(bool V);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool V);
  bool ArrowKeys() const { return FArrowKeys; }
  void SetArrowKeys(bool V);
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool V) { FAutoSelect = V; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment V) { FAlignment = V; }
  TSpinButtonKind ButtonKind() const { return FButtonKind; }
  void SetButtonKind(TSpinButtonKind V);
  TVxSpinButton* Button() const { return FButton; }
  TVxUpDown* UpDown() const { return FUpDown; }

  // Fires after a text change that the control did not make itself while stepping (the edit's
  // own OnChange is taken by the control to route its changes here).
  TNotifyEvent OnChange;
  TNotifyEvent OnTopClick, OnBottomClick;

  virtual bool IsValidChar(char Key) const;
  virtual void UpClick(TObject* Sender);
  virtual void DownClick(TObject* Sender);

  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void DoEnter() override;
  void DoExit() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetEnabled(bool V) override;

 protected:
  // The system beep of a refused key or a step on a read-only field.
  virtual void Beep();
  void Change();
  void FontChanged() override;

 private:
  TAlignment FAlignment = taLeftJustify;
  double FMinValue = 0, FMaxValue = 0, FIncrement = 1.0;
  int FDecimal = 2;
  bool FChanging = false;
  bool FEditorEnabled = true;
  bool FReadOnly = false;
  bool FAutoSelect = true;
  TValueType FValueType = vtInteger;
  TVxSpinButton* FButton = nullptr;
  TCustomControl* FBtnWindow = nullptr;
  bool FArrowKeys = true;
  TSpinButtonKind FButtonKind = bkDiagonal;
  TVxUpDown* FUpDown = nullptr;

  double CheckValue(double NewValue) const;
  void StepBy(double Delta, const TNotifyEvent& Done);
  void RecreateButton();
  void FreeButton();
  void ResizeButton();
  int GetButtonWidth() const;
  int GetMinHeight() const;
  void ApplyReadOnly();
};
