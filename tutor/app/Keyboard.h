// The keyboard picture under the typing table: a layout's bitmap with the key or keys that type
// the next expected character highlighted by a translucent fill (navy at half opacity). The
// layout files and their conventions are described in tutor/core/KeybList.h.
#pragma once

#include <string>
#include <vector>

#include "controls/image32.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/core/KeybList.h"

class TKeyboard : public TImage32 {
 public:
  explicit TKeyboard(TComponent* AOwner);
  std::string ClassName() const override { return "TKeyboard"; }

  std::vector<TKeyDef> Keys;
  std::vector<TCharDef> Chars;
  // Index into Chars of the highlighted character; -1 for none.
  int Current = -1;
  TColor32 HighlightColor = 0x80000080;

  // Loads the picture, then the keys file, then the chars file from the archive. A member that
  // cannot be read leaves that part empty (no picture, or no keys to highlight); false then.
  bool LoadKeyboard(TZLBArchive* Archive, const std::string& ImageName, const std::string& KeysFile,
                    const std::string& CharsFile);
  // Highlights the keys of the first character definition of C; a character that is not in the
  // chars file keeps the highlight there was. Repaints only when the highlight changes.
  void HighlightChar(char C);

  void Paint() override;
};
