// Loading pictures from archive members (the part of the member loaders that needs the GUI layer).
#pragma once

#include <string>

#include "platform/gui/graphics.h"
#include "tutor/ZLIBArchive.h"

// The member's extension (upper-cased, without the dot) chooses the picture kind: "BMP" a bitmap,
// "JPG" a JPEG image; any other raises EInvalidGraphic "unknown extension". The member is
// extracted and decoded, and Picture takes the result. Archive and decoding errors pass on and
// leave Picture as it was.
void LoadPictureFromArchive(TPicture* Picture, const std::string& Member, TZLBArchive* Archive);
