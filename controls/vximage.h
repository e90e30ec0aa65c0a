// The background picture of the screens: one bitmap read by name from a resource archive, drawn
// at the top-left corner, centred or stretched, with automatic size. It reloads its picture when
// its archive becomes active.
#pragma once

#include <memory>
#include <string>

#include "controls/skinpaint.h"
#include "platform/gui/controls.h"

class TVxImage : public TGraphicControl {
 public:
  explicit TVxImage(TComponent* AOwner);
  ~TVxImage() override;
  std::string ClassName() const override { return "TVxImage"; }

  TZLBArchive* Archive() const { return FLink.Archive(); }
  void SetArchive(TZLBArchive* Value);
  const std::string& BitmapName() const { return FBitmapName; }
  void SetBitmapName(const std::string& Value);
  TBitmap* Picture() const { return FPicture.get(); }

  // The control takes the picture's size (in the directions its alignment leaves free).
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  // Only stored: it does not change how the picture is drawn.
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);

  // Where the picture is drawn: the client rectangle when stretched, else the picture's size at
  // the top-left corner or centred (negative offsets when it is larger than the control).
  TRect DestRect() const;
  // Gives NewWidth / NewHeight the picture's size in the directions the alignment leaves free.
  bool CanAutoSize(int& NewWidth, int& NewHeight) const;
  void Paint() override;
  void WndProc(TMessage& Message) override;

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void LoadPicture();
  void PictureChanged();

  TArchiveLink FLink;
  std::unique_ptr<TBitmap> FPicture;
  std::string FBitmapName;
  bool FAutoSize = false;
  bool FCenter = false;
  bool FDrawing = false;
  bool FStretch = false;
  bool FTransparent = false;
};
