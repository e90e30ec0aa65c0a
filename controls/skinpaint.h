// What the skinned controls share: reading a picture out of their archive, the hit mask built
// from a picture and its colour key, the transparent drawing of a picture over what the parent
// painted beneath, the caption, and the registration with the archive that tells them when it
// becomes active.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/graphics.h"
#include "tutor/ZLIBArchive.h"

// The archive's "changed" message, sent to every linked control when the archive becomes active.
constexpr unsigned CM_ARCHIVECHANGED = CM_CHANGED;
static_assert(CM_ARCHIVECHANGED == 0xB037);

// Loads Picture from the member Name of Archive. Nothing happens (false) when there is no archive,
// it is not active or has no such member; an error while extracting or decoding is swallowed and
// leaves Picture as it was.
bool LoadSkinPicture(TZLBArchive* Archive, TBitmap* Picture, const std::string& Name);

// A monochrome mask of Picture: white where its pixel has the colour Key (flags ignored, system
// colours resolved), black where it is opaque.
std::unique_ptr<TBitmap> BuildSkinMask(const TBitmap* Picture, TColor Key);

// True when there is no mask or the mask's pixel (X, Y) is black; a point outside the mask does
// not hit.
bool SkinMaskHit(const TBitmap* Mask, int X, int Y);

// Draws Picture unscaled at the canvas's top-left corner, within Width x Height, leaving out the
// pixels of the picture's own TransparentColor so that what lies beneath shows through.
void PaintSkinPicture(TCanvas* Canvas, const TBitmap* Picture, int Width, int Height);

// The caption centred on one line in the control's rectangle (moved by one pixel right and down
// when Shifted), in the control's font over a clear brush; at most 255 characters are drawn.
void PaintSkinCaption(TCanvas* Canvas, const TControl* Control, bool Shifted);

// Keeps a control registered with the archive it reads its pictures from. When the archive
// becomes active it sends the control CM_ARCHIVECHANGED with the archive in LParam. The control
// hears of the archive's destruction (Notification opRemove) and passes it on through Removed,
// so no dangling archive is ever touched.
class TArchiveLink {
 public:
  explicit TArchiveLink(TControl* Control) : FControl(Control) {}
  ~TArchiveLink() { Set(nullptr); }
  TArchiveLink(const TArchiveLink&) = delete;
  TArchiveLink& operator=(const TArchiveLink&) = delete;

  TZLBArchive* Archive() const { return FArchive; }
  // Unlinks from the old archive and links to the new one; false when the value is unchanged.
  bool Set(TZLBArchive* Value);
  // Forgets the archive when Component is it.
  void Removed(TComponent* Component);

 private:
  TControl* FControl;
  TZLBArchive* FArchive = nullptr;
};
