// Picture collections: named pictures cut into equal cells (patterns) that are drawn by index onto a
// display's back surface; .DXG files that store them; the image-list component that keeps a
// collection in step with a display control.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dx/dib.h"
#include "dx/dxdraws.h"
#include "dx/hashcollection.h"

VX_DECLARE_EXCEPTION(EPictureCollectionError, EDirectXError)

inline constexpr const char* SInvalidStreamFormat = "Invalid stream format";

// The picture of an item: one owned graphic (normally a TDIB). The platform's picture class holds
// only bitmaps and JPEG images, so the framework keeps its own small holder.
class TDXPicture : public TObject {
 public:
  TGraphic* Graphic() const { return FGraphic.get(); }
  // Takes a copy of Value (a TDIB shares its image); nullptr clears.
  void SetGraphic(const TGraphic* Value);
  void SetGraphic(std::unique_ptr<TGraphic> Value) { FGraphic = std::move(Value); }
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }
  void Assign(const TDXPicture* Source) { SetGraphic(Source ? Source->Graphic() : nullptr); }

 private:
  std::unique_ptr<TGraphic> FGraphic;
};

class TPictureCollection;

struct TPictureCollectionItemPattern {
  TRect Rect;
  TDirectDrawSurface* Surface = nullptr;
};

class TPictureCollectionItem : public THashCollectionItem {
 public:
  explicit TPictureCollectionItem(TCollection* ACollection);
  ~TPictureCollectionItem() override;
  std::string ClassName() const override { return "TPictureCollectionItem"; }

  TPictureCollection* PictureCollection() const;
  TDXPicture* Picture() const { return FPicture.get(); }
  void SetPicture(const TDXPicture* Value) { FPicture->Assign(Value); }
  int PatternHeight() const { return FPatternHeight; }
  void SetPatternHeight(int V) { FPatternHeight = V; }
  int PatternWidth() const { return FPatternWidth; }
  void SetPatternWidth(int V) { FPatternWidth = V; }
  int SkipHeight() const { return FSkipHeight; }
  void SetSkipHeight(int V) { FSkipHeight = V; }
  int SkipWidth() const { return FSkipWidth; }
  void SetSkipWidth(int V) { FSkipWidth = V; }
  bool SystemMemory() const { return FSystemMemory; }
  void SetSystemMemory(bool V) { FSystemMemory = V; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool V) { FTransparent = V; }
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor Value);
  bool Initialized() const { return FInitialized; }

  int Width() const;
  int Height() const;
  int PatternCount() const;
  TRect PatternRect(int Index) const;
  TDirectDrawSurface* PatternSurface(int Index) const;
  int SurfaceCount() const { return static_cast<int>(FSurfaces.size()); }
  void Draw(TDirectDrawSurface* Dest, int X, int Y, int PatternIndex);

  void Initialize();
  void Finalize();
  void Restore();
  void Assign(TPersistent* Source) override;

 private:
  void ClearSurfaces();
  TDirectDrawSurface* AddSurface(const TRect& R);
  std::unique_ptr<TDXPicture> FPicture;
  bool FInitialized = false;
  int FPatternHeight = 0, FPatternWidth = 0, FSkipHeight = 0, FSkipWidth = 0;
  std::vector<TPictureCollectionItemPattern> FPatterns;
  std::vector<TDirectDrawSurface*> FSurfaces;
  bool FSystemMemory = false, FTransparent = true;
  TColor FTransparentColor = 0;
};

class TPictureCollection : public THashCollection {
 public:
  explicit TPictureCollection(TPersistent* AOwner);
  ~TPictureCollection() override;
  std::string ClassName() const override { return "TPictureCollection"; }

  TPictureCollectionItem* Items(int Index) const;
  TPictureCollectionItem* Add() { return static_cast<TPictureCollectionItem*>(TCollection::Add()); }
  // Raises EPictureCollectionError "Image '<name>' not found".
  TPictureCollectionItem* ItemByName(const std::string& Name) const;
  TCustomDXDraw* DXDraw() const { return FDXDraw; }
  TPersistent* Owner() const { return FOwner; }
  bool DisplayReady() const;

  void Initialize(TCustomDXDraw* DXDraw);
  void Finalize();
  void Restore();
  void BuildColorTable();
  // Replaces the items by those of a .DXG image; on an error the items read so far stay.
  void LoadFromStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);
  // Writes the collection as a .DXG image (used by the content tools).
  void SaveToStream(TStream* Stream);
  void SaveToFile(const std::string& FileName);

  TRGBQuads ColorTable{};

 private:
  TPersistent* FOwner;
  TCustomDXDraw* FDXDraw = nullptr;
};

class TCustomDXImageList : public TComponent {
 public:
  explicit TCustomDXImageList(TComponent* AOwner);
  ~TCustomDXImageList() override;
  std::string ClassName() const override { return "TCustomDXImageList"; }
  TCustomDXDraw* DXDraw() const { return FDXDraw; }
  void SetDXDraw(TCustomDXDraw* Value);
  TPictureCollection* Items() const { return FItems.get(); }
  void SetItems(TPictureCollection* Value) { FItems->Assign(Value); }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void DXDrawNotify(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType);
  TCustomDXDraw* FDXDraw = nullptr;
  std::unique_ptr<TPictureCollection> FItems;
};

class TDXImageList : public TCustomDXImageList {
 public:
  using TCustomDXImageList::TCustomDXImageList;
  std::string ClassName() const override { return "TDXImageList"; }
};
