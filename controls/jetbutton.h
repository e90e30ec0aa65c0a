// The skinned button whose four pictures are kept by the button itself (stored with its form)
// instead of being read from an archive. Its states, painting and mouse rules are those of
// TCustomSkinButton; only Enabled differs: it leaves the mouse input on, so a disabled button
// cannot be pressed but a mouse button released over an opaque pixel still clicks it.
#pragma once

#include "controls/vxbutton.h"

class TJetButton : public TCustomSkinButton {
 public:
  explicit TJetButton(TComponent* AOwner) : TCustomSkinButton(AOwner) {}
  std::string ClassName() const override { return "TJetButton"; }

  TBitmap* BitmapUp() const { return PictureUp(); }
  TBitmap* BitmapDown() const { return PictureDown(); }
  TBitmap* BitmapOver() const { return PictureOver(); }
  TBitmap* BitmapDisabled() const { return PictureDisabled(); }
  // Copies the bitmap into the button's own picture (nullptr empties it).
  void SetBitmapUp(const TBitmap* Value) { PictureUp()->Assign(Value); }
  void SetBitmapDown(const TBitmap* Value) { PictureDown()->Assign(Value); }
  void SetBitmapOver(const TBitmap* Value) { PictureOver()->Assign(Value); }
  void SetBitmapDisabled(const TBitmap* Value) { PictureDisabled()->Assign(Value); }

 protected:
  bool DisablesInput() const override { return false; }
};
