// A keyboard layout drawn and described from one geometry file (see content/keyboards/*.kbd for
// the format): the plain picture and the finger-coloured picture as SVG, the keys file (one
// rectangle per key) and the chars file (which keys type each character), both in code page 1250.
//
// Chars file conventions: the blank is "  SP", the end of a line (0xB6) names the Enter key "EN";
// a capital Latin letter or a shifted mark names its key and the Shift of the other hand (LS/RS);
// a Polish letter, small or capital, names its letter key and AltGr (RA).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kbd {

struct Key {
  std::string Code;      // two characters
  double Units = 1;      // width in key units
  std::string Finger;    // L5..L2, TH, R2..R5 or --
  std::string Plain, Shifted, Polish, PolishCapital;  // UTF-8, each empty or one character
  std::string Label;     // caption of a key without a character
  int X = 0, Y = 0, W = 0, H = 0;  // rectangle in picture pixels
};

struct Layout {
  int Width = 0, Height = 0;
  int MarginX = 0, MarginY = 0, RowHeight = 0, Gap = 0;
  std::vector<std::vector<Key>> Rows;
  std::vector<const Key*> AllKeys() const;
};

// Raises std::runtime_error naming the line for anything it cannot read, for codes that are not
// two characters or repeat, rows wider than the picture, and characters given twice.
Layout ReadLayout(const std::string& Text);

// Key rectangles: "KK;x;y;w;h" lines, CR LF.
std::string KeysFile(const Layout& L);
// Chars lines, CP1250, CR LF.
std::string CharsFile(const Layout& L);

// SVG pictures; Theme holds the colours and fonts (theme.txt names: key_face, key_edge, key_text,
// key_radius, keyboard_back, key_font_family, key_font_size, finger_l5 ... finger_r5, finger_thumb).
std::string Picture(const Layout& L, const std::map<std::string, std::string>& Theme, bool Fingers);

// name = value lines ('#' comments), as theme.txt is written.
std::map<std::string, std::string> ReadTheme(const std::string& Text);

}  // namespace kbd
