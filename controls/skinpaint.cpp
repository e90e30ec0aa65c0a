#include "controls/skinpaint.h"

#include <algorithm>

bool LoadSkinPicture(TZLBArchive* Archive, TBitmap* Picture, const std::string& Name) {
  if (!Archive || !Archive->Active() || !Picture) return false;
  try {
    if (Archive->IndexOf(Name) < 0) return false;
    TMemoryStream Stream;
    Archive->ExtractToStream(&Stream, Name);
    Stream.SetPosition(0);
    Picture->LoadFromStream(&Stream);
    return true;
  } catch (...) {
    // A damaged member must not take the screen down: the previous picture stays.
    return false;
  }
}

std::unique_ptr<TBitmap> BuildSkinMask(const TBitmap* Picture, TColor Key) {
  auto Mask = std::make_unique<TBitmap>();
  Mask->Assign(Picture);
  Mask->SetTransparent(false);
  Mask->Mask(ColorToRGB(Key));
  return Mask;
}

bool SkinMaskHit(const TBitmap* Mask, int X, int Y) {
  if (!Mask) return true;
  if (X < 0 || Y < 0 || X >= Mask->Width() || Y >= Mask->Height()) return false;
  return (Mask->ScanLine(Y)[X] & 0xFFFFFF) == 0;
}

void PaintSkinPicture(TCanvas* Canvas, const TBitmap* Picture, int Width, int Height) {
  if (!Canvas || !Picture || Picture->Empty() || Width <= 0 || Height <= 0) return;
  // The picture within the control's rectangle; what it does not cover is of the key colour and
  // so is left out like its own transparent pixels.
  const TColor Key = ColorToRGB(Picture->TransparentColor()) & 0xFFFFFF;
  TBitmap Image;
  Image.SetSize(Width, Height);
  const uint32_t KeyPixel = 0xFF000000u | (uint32_t(GetRValue(Key)) << 16) | (uint32_t(GetGValue(Key)) << 8) |
                            uint32_t(GetBValue(Key));
  const int W = std::min(Width, Picture->Width()), H = std::min(Height, Picture->Height());
  for (int Y = 0; Y < Height; ++Y) {
    uint32_t* To = Image.ScanLine(Y);
    if (Y >= H) {
      std::fill(To, To + Width, KeyPixel);
      continue;
    }
    const uint32_t* From = Picture->ScanLine(Y);
    std::copy(From, From + W, To);
    std::fill(To + W, To + Width, KeyPixel);
  }
  Image.SetTransparentColor(Key);
  Image.SetTransparent(true);
  Canvas->Draw(0, 0, &Image);
}

void PaintSkinCaption(TCanvas* Canvas, const TControl* Control, bool Shifted) {
  if (!Canvas || Control->Caption().empty()) return;
  Canvas->SetFont(*Control->Font());
  Canvas->Brush()->SetStyle(bsClear);
  TRect R = Control->ClientRect();
  if (Shifted) R = OffsetRect(R, 1, 1);
  Canvas->DrawText(Control->Caption().substr(0, 255), R, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

bool TArchiveLink::Set(TZLBArchive* Value) {
  if (Value == FArchive) return false;
  if (FArchive) {
    FArchive->RemoveLinkedControl(FControl);
    FControl->RemoveFreeNotification(FArchive);
  }
  FArchive = Value;
  if (FArchive) {
    TControl* Control = FControl;
    FArchive->AddLinkedControl(Control, [Control](TZLBArchive* Archive) {
      Control->Perform(CM_ARCHIVECHANGED, 0, reinterpret_cast<intptr_t>(Archive));
    });
    FControl->FreeNotification(FArchive);
  }
  return true;
}

void TArchiveLink::Removed(TComponent* Component) {
  if (Component && Component == FArchive) FArchive = nullptr;
}
