#include "tools/kbdgen/kbdgen.h"

#include <cmath>
#include <set>
#include <sstream>

#include "platform/core/cp1250.h"

namespace kbd {

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

[[noreturn]] void Fail(int Line, const std::string& Why) {
  throw std::runtime_error("line " + std::to_string(Line) + ": " + Why);
}

// One UTF-8 character that code page 1250 holds, as its byte.
char Byte(const std::string& Utf8, int Line) {
  const std::string b = Utf8ToCp1250(Utf8);
  if (b.size() != 1 || Cp1250ToUtf8(b) != Utf8) Fail(Line, "'" + Utf8 + "' is not one code page 1250 character");
  return b[0];
}

std::string Escape(const std::string& s) {
  std::string o;
  for (char c : s) {
    if (c == '&') o += "&amp;";
    else if (c == '<') o += "&lt;";
    else if (c == '>') o += "&gt;";
    else if (c == '"') o += "&quot;";
    else o += c;
  }
  return o;
}

const std::string& Get(const std::map<std::string, std::string>& T, const std::string& Name) {
  const auto it = T.find(Name);
  if (it == T.end()) throw std::runtime_error("theme value '" + Name + "' is missing");
  return it->second;
}

}  // namespace

std::vector<const Key*> Layout::AllKeys() const {
  std::vector<const Key*> out;
  for (const auto& r : Rows)
    for (const Key& k : r) out.push_back(&k);
  return out;
}

Layout ReadLayout(const std::string& Text) {
  Layout L;
  std::istringstream in(Text);
  std::string line;
  int n = 0;
  std::set<std::string> codes;
  std::map<std::string, std::string> labels;
  while (std::getline(in, line)) {
    ++n;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    std::string verb;
    w >> verb;
    if (verb == "picture") {
      w >> L.Width >> L.Height;
    } else if (verb == "margin") {
      w >> L.MarginX >> L.MarginY;
    } else if (verb == "rowheight") {
      w >> L.RowHeight;
    } else if (verb == "gap") {
      w >> L.Gap;
    } else if (verb == "row") {
      L.Rows.emplace_back();
    } else if (verb == "key") {
      if (L.Rows.empty()) Fail(n, "a key before the first row");
      Key k;
      w >> k.Code >> k.Units >> k.Finger;
      if (!w) Fail(n, "a key needs a code, a width and a finger");
      w >> k.Plain >> k.Shifted >> k.Polish >> k.PolishCapital;
      if (k.Code.size() != 2) Fail(n, "key code '" + k.Code + "' is not two characters");
      if (!codes.insert(k.Code).second) Fail(n, "key code '" + k.Code + "' is used twice");
      if (k.Units <= 0 || k.Units > 10) Fail(n, "key width out of range");
      static const std::set<std::string> fingers = {"L5", "L4", "L3", "L2", "TH", "R2", "R3", "R4", "R5", "--"};
      if (!fingers.count(k.Finger)) Fail(n, "unknown finger '" + k.Finger + "'");
      if (k.Shifted.empty() && k.Plain.size() == 1 && k.Plain[0] >= 'a' && k.Plain[0] <= 'z')
        k.Shifted = std::string(1, static_cast<char>(k.Plain[0] - 'a' + 'A'));
      for (const std::string* c : {&k.Plain, &k.Shifted, &k.Polish, &k.PolishCapital})
        if (!c->empty()) Byte(*c, n);
      L.Rows.back().push_back(k);
    } else if (verb == "label") {
      std::string code, text;
      w >> code;
      std::getline(w, text);
      labels[code] = Trim(text);
    } else {
      Fail(n, "unknown line '" + verb + "'");
    }
    if (w.fail() && !w.eof()) Fail(n, "cannot read the numbers");
  }
  if (L.Width <= 0 || L.Height <= 0 || L.RowHeight <= 0 || L.Rows.empty())
    throw std::runtime_error("the layout needs a picture size, a row height and rows");
  for (auto& [code, text] : labels) {
    bool found = false;
    for (auto& r : L.Rows)
      for (Key& k : r)
        if (k.Code == code) k.Label = text, found = true;
    if (!found) throw std::runtime_error("label for the unknown key '" + code + "'");
  }
  // Geometry: the picture's inner width holds 15 units; a row must not exceed it.
  const double unit = (L.Width - 2.0 * L.MarginX) / 15.0;
  for (size_t r = 0; r < L.Rows.size(); ++r) {
    double x = L.MarginX, units = 0;
    for (Key& k : L.Rows[r]) {
      units += k.Units;
      k.X = static_cast<int>(std::lround(x)) + L.Gap / 2;
      k.Y = L.MarginY + static_cast<int>(r) * L.RowHeight + L.Gap / 2;
      x += k.Units * unit;
      k.W = static_cast<int>(std::lround(x)) - L.Gap / 2 - k.X;
      k.H = L.RowHeight - L.Gap;
    }
    if (units > 15.001) throw std::runtime_error("row " + std::to_string(r + 1) + " is wider than 15 units");
    if (L.MarginY + static_cast<int>(r + 1) * L.RowHeight > L.Height)
      throw std::runtime_error("row " + std::to_string(r + 1) + " lies below the picture");
  }
  // Every character once, so the first line of a character is the only one.
  std::set<std::string> chars;
  for (const Key* k : L.AllKeys())
    for (const std::string* c : {&k->Plain, &k->Shifted, &k->Polish, &k->PolishCapital})
      if (!c->empty() && !chars.insert(*c).second) throw std::runtime_error("character '" + *c + "' is on two keys");
  for (const char* needed : {"SP", "EN", "LS", "RS", "RA"})
    if (!codes.count(needed)) throw std::runtime_error(std::string("the layout has no key ") + needed);
  return L;
}

std::string KeysFile(const Layout& L) {
  std::string out;
  for (const Key* k : L.AllKeys())
    out += k->Code + ";" + std::to_string(k->X) + ";" + std::to_string(k->Y) + ";" + std::to_string(k->W) + ";" +
           std::to_string(k->H) + "\r\n";
  return out;
}

std::string CharsFile(const Layout& L) {
  std::string out = "  SP\r\n\xB6 EN\r\n";
  auto line = [&](const std::string& c, const std::string& k1, const std::string& k2) {
    out += std::string(1, Byte(c, 0)) + " " + k1 + (k2.empty() ? "" : " " + k2) + "\r\n";
  };
  const auto keys = L.AllKeys();
  for (const Key* k : keys)
    if (!k->Plain.empty()) line(k->Plain, k->Code, "");
  for (const Key* k : keys)
    if (!k->Shifted.empty()) line(k->Shifted, k->Code, k->Finger[0] == 'L' ? "RS" : "LS");
  for (const Key* k : keys) {
    if (!k->Polish.empty()) line(k->Polish, k->Code, "RA");
    if (!k->PolishCapital.empty()) line(k->PolishCapital, k->Code, "RA");
  }
  return out;
}

std::string Picture(const Layout& L, const std::map<std::string, std::string>& T, bool Fingers) {
  const std::string font = Escape(Get(T, "key_font_family"));
  const int size = std::stoi(Get(T, "key_font_size"));
  const std::string radius = Get(T, "key_radius");
  std::ostringstream s;
  s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << L.Width << "\" height=\"" << L.Height
    << "\" viewBox=\"0 0 " << L.Width << " " << L.Height << "\">\n";
  s << " <rect width=\"" << L.Width << "\" height=\"" << L.Height << "\" fill=\"" << Get(T, "keyboard_back") << "\"/>\n";
  for (const Key* k : L.AllKeys()) {
    std::string face = Get(T, "key_face");
    if (Fingers && k->Finger != "--") {
      std::string f = k->Finger == "TH" ? "finger_thumb" : "finger_" + std::string(1, static_cast<char>(k->Finger[0] + 32)) + k->Finger.substr(1);
      face = Get(T, f);
    }
    s << " <rect x=\"" << k->X + 0.5 << "\" y=\"" << k->Y + 0.5 << "\" width=\"" << k->W - 1 << "\" height=\"" << k->H - 1
      << "\" rx=\"" << radius << "\" fill=\"" << face << "\" stroke=\"" << Get(T, "key_edge") << "\" stroke-width=\"1\"/>\n";
    auto text = [&](double x, double y, const std::string& t, int sz, const std::string& anchor, const std::string& colour) {
      s << " <text x=\"" << x << "\" y=\"" << y << "\" font-family=\"" << font << "\" font-size=\"" << sz
        << "\" text-anchor=\"" << anchor << "\" fill=\"" << colour << "\">" << Escape(t) << "</text>\n";
    };
    const std::string ink = Get(T, "key_text");
    const bool letter = k->Plain.size() == 1 && k->Plain[0] >= 'a' && k->Plain[0] <= 'z';
    if (!k->Label.empty()) {
      text(k->X + k->W / 2.0, k->Y + k->H / 2.0 + size * 0.35, k->Label, size - 2, "middle", ink);
    } else if (letter) {
      text(k->X + 7, k->Y + size + 3, k->Shifted, size + 1, "start", ink);
      if (!k->PolishCapital.empty())
        text(k->X + k->W - 5, k->Y + k->H - 5, k->PolishCapital, size - 2, "end", Get(T, "key_polish"));
    } else if (!k->Plain.empty()) {
      text(k->X + 7, k->Y + size + 2, k->Shifted, size - 1, "start", ink);
      text(k->X + 7, k->Y + k->H - 5, k->Plain, size - 1, "start", ink);
    }
    if (k->Code == "FK" || k->Code == "JK")  // the homing bumps of the index fingers
      s << " <rect x=\"" << k->X + k->W / 2.0 - 5 << "\" y=\"" << k->Y + k->H - 8 << "\" width=\"10\" height=\"2\" rx=\"1\" fill=\""
        << ink << "\"/>\n";
  }
  s << "</svg>\n";
  return s.str();
}

std::map<std::string, std::string> ReadTheme(const std::string& Text) {
  std::map<std::string, std::string> t;
  std::istringstream in(Text);
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    t[Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
  }
  return t;
}

}  // namespace kbd
