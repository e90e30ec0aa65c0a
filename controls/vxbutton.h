// The skinned push button of the screens: four pictures (normal, pressed, mouse over, disabled),
// pixels of the transparent colour left out, and the mouse counting as over the button only on
// its opaque pixels. TCustomSkinButton holds the states, painting and mouse rules; TVxButton
// reads its pictures by name from a resource archive, TJetButton (jetbutton.h) keeps them itself.
#pragma once

#include <memory>
#include <string>

#include "controls/skinpaint.h"
#include "platform/gui/controls.h"

class TCustomSkinButton : public TGraphicControl {
 public:
  explicit TCustomSkinButton(TComponent* AOwner);
  ~TCustomSkinButton() override;
  std::string ClassName() const override { return "TCustomSkinButton"; }

  // Colour key of the hit mask; replaced by the normal picture's transparent colour (its
  // bottom-left pixel unless one was set on it) each time that picture changes.
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor V) { FTransparentColor = V; }
  // The button's own enabled flag; setting it shows the normal or the disabled picture.
  bool Enabled() const { return FEnabledFlag; }
  void SetEnabled(bool Value) override;

  enum { bsNormal = 0, bsDisabled = 1, bsPressed = 2 };
  int State() const { return FState; }
  // The mouse is over an opaque pixel.
  bool MouseInside() const { return FMouseInside; }
  // True when (X, Y) is an opaque pixel of the hit mask (every point while there is no mask).
  bool IsOpaqueAt(int X, int Y) const { return SkinMaskHit(FHitMask.get(), X, Y); }

  TBitmap* PictureUp() const { return FPictureUp.get(); }
  TBitmap* PictureDown() const { return FPictureDown.get(); }
  TBitmap* PictureOver() const { return FPictureOver.get(); }
  TBitmap* PictureDisabled() const { return FPictureDisabled.get(); }

  // The size follows the normal picture once it has one.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Invalidate() override;
  void Paint() override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Entering the rectangle means nothing yet: OnMouseEnter fires when the mouse reaches an opaque
  // pixel (MouseMove).
  void MouseEnter() override {}
  void MouseLeave() override;
  void WndProc(TMessage& Message) override;

 protected:
  void Loaded() override;
  // Whether setting Enabled also disables the control's mouse input.
  virtual bool DisablesInput() const { return true; }
  // Fills the pictures when the component has been loaded; nothing for stored pictures.
  virtual void LoadAll() {}
  void NormalPictureChanged();
  void OverPictureChanged();

 private:
  void TakeMaskFrom(const TBitmap* Picture);
  void RefreshHover();

  std::unique_ptr<TBitmap> FPictureUp, FPictureDown, FPictureOver, FPictureDisabled;
  std::unique_ptr<TBitmap> FHitMask;
  bool FAutoSizeToPicture = true;
  bool FMouseInside = false;
  TColor FTransparentColor = 0xFFFFFF;
  int FState = bsNormal;
  bool FEnabledFlag = true;
};

class TVxButton : public TCustomSkinButton {
 public:
  explicit TVxButton(TComponent* AOwner);
  ~TVxButton() override;
  std::string ClassName() const override { return "TVxButton"; }

  TZLBArchive* Archive() const { return FLink.Archive(); }
  // Links the button to the archive (unlinking it from the old one) and reloads all pictures.
  void SetArchive(TZLBArchive* Value);
  const std::string& FNameUp() const { return FNameUpS; }
  const std::string& FNameDown() const { return FNameDownS; }
  const std::string& FNameOver() const { return FNameOverS; }
  const std::string& FNameDisabled() const { return FNameDisabledS; }
  // A new name loads that picture; a name that cannot be loaded leaves the picture as it was.
  void SetFNameUp(const std::string& V);
  void SetFNameDown(const std::string& V);
  void SetFNameOver(const std::string& V);
  void SetFNameDisabled(const std::string& V);

  void WndProc(TMessage& Message) override;

 protected:
  void LoadAll() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void SetName(std::string& Field, const std::string& V, TBitmap* Picture);
  TArchiveLink FLink;
  std::string FNameUpS, FNameDownS, FNameOverS, FNameDisabledS;
};
