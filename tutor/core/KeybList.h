// Keyboard layouts: the list of layouts of keyboards.zlb and the two text files of each layout,
// read into the key rectangles and the character map that the keyboard picture highlights.
//
// keyboards.txt (CP1250), one layout a line, five fields split at ';':
//   name;image;fingers image;keys file;chars file
// The line order is the layout's index (Options\Keyboard); a line of blanks only is no layout.
// The two images are BMP members and the two files text members of the same archive.
//
// Keys file, one key a line, fields split at ';':
//   KK;x;y;w;h[;x2;y2;w2;h2]
// KK is a key code of exactly two characters; x, y, w, h a rectangle in picture pixels (left, top,
// width, height); a second rectangle is optional (keys that are not rectangular, like Enter). The
// first line whose code is not two characters long, or whose numbers are not integers, ends the
// file: the keys before it stay. Rectangles that reach outside the picture are clipped when they
// are drawn; one with a width or height of 0 or less highlights nothing.
//
// Chars file, one character a line, exactly 4 or 7 characters:
//   c KK        the character, a blank, the code of the key that types it
//   c KK MM     ... and the code of a second key held with it
// The first line of any other length ends the file; the first line of a character wins; an
// unknown code leaves the character without that key.
//
// Layout files follow these conventions (a line holds at most two keys, so a character that needs
// a letter key plus two modifiers names only one of them):
//   - the blank is the line "  SP" (blank, blank, code): editors must not strip it;
//   - the end of a line, the pilcrow 0xB6, names the Enter key ("EN"): the typing table asks for
//     it at the end of every line;
//   - a lower-case letter, a digit or a punctuation mark names its own key;
//   - a capital Latin letter names its letter key and the Shift key of the other hand
//     ("LS" left Shift, "RS" right Shift);
//   - a Polish letter (ą ć ę ł ń ó ś ź ż) names its letter key and the AltGr key ("RA");
//   - a capital Polish letter (Ą Ć Ę Ł Ń Ó Ś Ź Ż) names its letter key and the AltGr key as well:
//     the Shift it also needs is not shown.
// The codes SP, EN, RA, LS and RS are fixed so that code and tests can name those keys; the codes
// of the other keys are free (two characters each).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "tutor/ZLIBArchive.h"

// A rectangle in picture pixels; Right and Bottom are exclusive (x + w, y + h).
struct TKeyRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
};

struct TKeyDef {
  std::string Name;  // the two-character key code
  TKeyRect Rects[2];  // the second is empty when the key has one rectangle
};

struct TCharDef {
  char Char = 0;
  int Key1 = -1;  // index into the keys, -1 when the code is unknown
  int Key2 = -1;  // -1 when absent or unknown
};

// The keys of a keys file, up to its first line of a wrong shape.
std::vector<TKeyDef> ReadKeysFile(const TStrings& Lines);
// The characters of a chars file, up to its first line of a wrong length, their codes looked up
// in Keys (the first key of a name wins).
std::vector<TCharDef> ReadCharsFile(const TStrings& Lines, const std::vector<TKeyDef>& Keys);

class TKeybDefItem : public TObject {
 public:
  std::string ClassName() const override { return "TKeybDefItem"; }
  std::string Name, Image, FingersImage, KeysFile, CharsFile;
};

// The layouts of keyboards.txt. The archive stays open while the list lives, since the keyboard
// picture reads a layout's members from it whenever it loads one.
class TKeybList : public TObject {
 public:
  // Opens keyboards.zlb beside the program.
  TKeybList();
  // Opens the given archive file (tests and tools).
  explicit TKeybList(const std::string& ArchiveFile);
  ~TKeybList() override;
  std::string ClassName() const override { return "TKeybList"; }

  // The open archive; its Active() is false when the file could not be opened.
  TZLBArchive* Archive() const { return FArchive.get(); }
  // Layout name -> TKeybDefItem (owned), in file order.
  TStringList* Items() const { return FItems.get(); }
  int Count() const { return FItems->Count(); }
  // The layout at Index, nullptr outside 0 .. Count-1.
  TKeybDefItem* Item(int Index) const;
  // Why the list is empty when the archive or its keyboards.txt could not be read; else "".
  const std::string& LoadError() const { return FLoadError; }

 private:
  void Load(const std::string& ArchiveFile);
  std::unique_ptr<TZLBArchive> FArchive;
  std::unique_ptr<TStringList> FItems;
  std::string FLoadError;
};

// The program's one list of layouts, created by the host window at start-up.
extern TKeybList* KeybList;
