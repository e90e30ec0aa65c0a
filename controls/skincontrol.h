// The base of the skinned buttons and the skinned check box: a window-less control whose size
// follows its normal picture, whose hit mask (the pixels not of the transparent colour) decides
// where the mouse counts as over it, and which may read its pictures from a resource archive that
// tells it when it becomes active.
#pragma once

#include <memory>
#include <string>

#include "controls/skinpaint.h"
#include "platform/gui/controls.h"

class TSkinControl : public TGraphicControl {
 public:
  ~TSkinControl() override;
  std::string ClassName() const override { return "TSkinControl"; }

  // Colour key of the hit mask; replaced by the normal picture's transparent colour (its
  // bottom-left pixel unless one was set on it) each time that picture changes.
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor V) { FTransparentColor = V; }
  // The control's own enabled flag.
  bool Enabled() const { return FEnabledFlag; }
  // What is shown (the meaning of the values is the derived control's).
  int State() const { return FState; }
  // The mouse is over an opaque pixel.
  bool MouseInside() const { return FMouseInside; }
  // True when (X, Y) is an opaque pixel of the hit mask (every point while there is no mask).
  bool IsOpaqueAt(int X, int Y) const { return SkinMaskHit(FHitMask.get(), X, Y); }

  // The size follows the normal picture once it has one.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Invalidate() override;
  // Entering the rectangle means nothing yet: only opaque pixels count (MouseMove).
  void MouseEnter() override {}
  // The caption's accelerator clicks an enabled control; the archive's message reloads the
  // pictures.
  void WndProc(TMessage& Message) override;

 protected:
  explicit TSkinControl(TComponent* AOwner);
  // The picture that sets the size and the hit mask, and the one that stands in for it while it
  // is empty.
  virtual TBitmap* NormalPicture() const = 0;
  virtual TBitmap* OverPicture() const = 0;
  // Loads every picture from the archive by its name; nothing for stored pictures.
  virtual void LoadAll() {}

  TZLBArchive* Archive() const { return FLink.Archive(); }
  // Links the control to the archive (unlinking it from the old one) and reloads all pictures.
  void SetArchive(TZLBArchive* Value);
  // Stores a new member name and loads that one picture; a name that cannot be loaded leaves the
  // picture as it was.
  void SetPictureName(std::string& Field, const std::string& Value, TBitmap* Picture);

  void NormalPictureChanged();
  void OverPictureChanged();
  // A picture change or mouse move shows at once, except that while there is no normal picture an
  // enabled control draws nothing of its own and a later paint pass is enough.
  void RefreshHover();
  // The design-time frame, the picture over what lies beneath, and the caption.
  void PaintSkin(const TBitmap* Picture, bool CaptionShifted);

  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  bool FMouseInside = false;
  int FState = 0;
  bool FEnabledFlag = true;

 private:
  void TakeMaskFrom(const TBitmap* Picture);

  TArchiveLink FLink;
  std::unique_ptr<TBitmap> FHitMask;
  bool FAutoSizeToPicture = true;
  TColor FTransparentColor = 0xFFFFFF;
};
