// The skinned two-state switch (tab-like page selectors, the lesson's pause switch): five pictures
// read by name from a resource archive (unchecked, checked, over-unchecked, over-checked,
// disabled), painted like the skinned button with its transparent colour left out. A click
// toggles only what is shown; the Checked property keeps the value the program last assigned.
#pragma once

#include <memory>
#include <string>

#include "controls/skinpaint.h"
#include "platform/gui/controls.h"

class TVxCheckbox : public TGraphicControl {
 public:
  explicit TVxCheckbox(TComponent* AOwner);
  ~TVxCheckbox() override;
  std::string ClassName() const override { return "TVxCheckbox"; }

  TZLBArchive* Archive() const { return FLink.Archive(); }
  void SetArchive(TZLBArchive* Value);
  // Stores the value and shows the checked or unchecked picture; fires no click.
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor V) { FTransparentColor = V; }
  // The check box's own flag: a disabled box shows its disabled picture but still takes the
  // mouse, and enabling it shows the unchecked picture whatever Checked holds.
  bool Enabled() const { return FEnabledFlag; }
  void SetEnabled(bool Value) override;

  const std::string& FNameUnchecked() const { return FNames[piUnchecked]; }
  const std::string& FNameChecked() const { return FNames[piChecked]; }
  const std::string& FNameOverUnchecked() const { return FNames[piOverUnchecked]; }
  const std::string& FNameOverChecked() const { return FNames[piOverChecked]; }
  const std::string& FNameDisabled() const { return FNames[piDisabled]; }
  void SetFNameUnchecked(const std::string& V) { SetPictureName(piUnchecked, V); }
  void SetFNameChecked(const std::string& V) { SetPictureName(piChecked, V); }
  void SetFNameOverUnchecked(const std::string& V) { SetPictureName(piOverUnchecked, V); }
  void SetFNameOverChecked(const std::string& V) { SetPictureName(piOverChecked, V); }
  void SetFNameDisabled(const std::string& V) { SetPictureName(piDisabled, V); }

  enum { csUnchecked = 0, csChecked = 1, csDisabledState = 2 };
  // What is shown: 0 unchecked, 1 checked, 2 disabled.
  int State() const { return FState; }
  bool MouseInside() const { return FMouseInside; }
  bool IsOpaqueAt(int X, int Y) const { return SkinMaskHit(FHitMask.get(), X, Y); }

  enum TPictureIndex { piUnchecked, piChecked, piOverUnchecked, piOverChecked, piDisabled, piCount };
  TBitmap* Picture(TPictureIndex I) const { return FPictures[I].get(); }

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Invalidate() override;
  void Paint() override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // The check box has no enter and leave events.
  void MouseEnter() override {}
  void MouseLeave() override;
  void WndProc(TMessage& Message) override;

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void SetPictureName(TPictureIndex I, const std::string& V);
  void LoadAll();
  void UncheckedChanged();
  void OverUncheckedChanged();
  void TakeMaskFrom(const TBitmap* Picture);
  void RefreshHover();

  TArchiveLink FLink;
  std::unique_ptr<TBitmap> FPictures[piCount];
  std::string FNames[piCount];
  std::unique_ptr<TBitmap> FHitMask;
  bool FAutoSizeToPicture = true;
  bool FChecked = false;
  bool FMouseInside = false;
  TColor FTransparentColor = 0xFFFFFF;
  int FState = csUnchecked;
  bool FEnabledFlag = true;
};
