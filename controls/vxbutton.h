// The skinned push button of the screens: four pictures (normal, pressed, mouse over, disabled),
// pixels of the transparent colour left out, and the mouse counting as over the button only on
// its opaque pixels. TCustomSkinButton holds the states, painting and mouse rules; TVxButton
// reads its pictures by name from a resource archive, TJetButton (jetbutton.h) keeps them itself.
#pragma once

#include <memory>
#include <string>

#include "controls/skincontrol.h"

class TCustomSkinButton : public TSkinControl {
 public:
  explicit TCustomSkinButton(TComponent* AOwner);
  ~TCustomSkinButton() override;
  std::string ClassName() const override { return "TCustomSkinButton"; }

  // Setting it shows the normal or the disabled picture.
  void SetEnabled(bool Value) override;
  enum { bsNormal = 0, bsDisabled = 1, bsPressed = 2 };

  TBitmap* PictureUp() const { return FPictureUp.get(); }
  TBitmap* PictureDown() const { return FPictureDown.get(); }
  TBitmap* PictureOver() const { return FPictureOver.get(); }
  TBitmap* PictureDisabled() const { return FPictureDisabled.get(); }

  void Paint() override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseLeave() override;

 protected:
  TBitmap* NormalPicture() const override { return FPictureUp.get(); }
  TBitmap* OverPicture() const override { return FPictureOver.get(); }
  // Whether setting Enabled also disables the control's mouse input.
  virtual bool DisablesInput() const { return true; }

 private:
  std::unique_ptr<TBitmap> FPictureUp, FPictureDown, FPictureOver, FPictureDisabled;
};

class TVxButton : public TCustomSkinButton {
 public:
  explicit TVxButton(TComponent* AOwner) : TCustomSkinButton(AOwner) {}
  std::string ClassName() const override { return "TVxButton"; }

  using TSkinControl::Archive;
  using TSkinControl::SetArchive;
  const std::string& FNameUp() const { return FNameUpS; }
  const std::string& FNameDown() const { return FNameDownS; }
  const std::string& FNameOver() const { return FNameOverS; }
  const std::string& FNameDisabled() const { return FNameDisabledS; }
  void SetFNameUp(const std::string& V) { SetPictureName(FNameUpS, V, PictureUp()); }
  void SetFNameDown(const std::string& V) { SetPictureName(FNameDownS, V, PictureDown()); }
  void SetFNameOver(const std::string& V) { SetPictureName(FNameOverS, V, PictureOver()); }
  void SetFNameDisabled(const std::string& V) { SetPictureName(FNameDisabledS, V, PictureDisabled()); }

 protected:
  void LoadAll() override;

 private:
  std::string FNameUpS, FNameDownS, FNameOverS, FNameDisabledS;
};
