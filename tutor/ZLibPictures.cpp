#include "tutor/ZLibPictures.h"

#include <memory>

#include "platform/core/fileutils.h"

void LoadPictureFromArchive(TPicture* Picture, const std::string& Member, TZLBArchive* Archive) {
  const std::string Ext = UpperCase(ExtractFileExt(Member));
  std::unique_ptr<TGraphic> Graphic;
  if (Ext == ".BMP")
    Graphic = std::make_unique<TBitmap>();
  else if (Ext == ".JPG")
    Graphic = std::make_unique<TJPEGImage>();
  else
    throw EInvalidGraphic("unknown extension");
  TMemoryStream Stream;
  Archive->ExtractToStream(&Stream, Member);
  Stream.SetPosition(0);
  Graphic->LoadFromStream(&Stream);
  Picture->SetGraphic(Graphic.get());
}
