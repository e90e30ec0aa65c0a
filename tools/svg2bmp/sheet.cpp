// vx-sheet: the contact sheet of the interface. Every page background with its skinned controls
// placed where the page layout puts them, the captions the forms give them and outlines of the
// areas the program draws itself, so the look of the whole program can be judged at a glance.
//
//   vx-sheet LAYOUT BMP-DIR OUT-DIR [--font FAMILY] [--also DIR]...
//
// Pictures are looked up in BMP-DIR, then in every --also folder.
//
// Writes OUT-DIR/page-<background>.png for every page, OUT-DIR/contact-sheet.png (all pages at
// half size) and OUT-DIR/controls.png (every state of every skinned control of the layout).
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gui/svgrender.h"
#include "tools/svg2bmp/picturetools.h"

namespace {

struct Control {
  std::string Picture, State, Caption;
  int X = 0, Y = 0;
};
struct Area {
  int X = 0, Y = 0, W = 0, H = 0;
  std::string Label;
};
struct Page {
  std::string Background;
  std::vector<Control> Controls;
  std::vector<Control> Pictures;
  std::vector<Area> Areas;
};

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<Page> ReadLayout(const std::string& Path) {
  std::istringstream in(pictures::ReadFile(Path));
  std::vector<Page> pages;
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    std::string verb;
    w >> verb;
    if (verb == "page") {
      pages.emplace_back();
      w >> pages.back().Background;
      continue;
    }
    if (pages.empty()) throw bmp::Error(Path + ":" + std::to_string(n) + ": no page yet");
    if (verb == "at") {
      Control c;
      w >> c.Picture >> c.X >> c.Y;
      if (const size_t colon = c.Picture.find(':'); colon != std::string::npos) {
        c.State = c.Picture.substr(colon + 1);
        c.Picture.erase(colon);
      }
      std::getline(w, c.Caption);
      c.Caption = Trim(c.Caption);
      if (!w && !w.eof()) throw bmp::Error(Path + ":" + std::to_string(n) + ": cannot read");
      pages.back().Controls.push_back(c);
    } else if (verb == "pic") {
      Control c;
      w >> c.Picture >> c.X >> c.Y;
      pages.back().Pictures.push_back(c);
    } else if (verb == "area") {
      Area a;
      w >> a.X >> a.Y >> a.W >> a.H;
      std::getline(w, a.Label);
      a.Label = Trim(a.Label);
      pages.back().Areas.push_back(a);
    } else {
      throw bmp::Error(Path + ":" + std::to_string(n) + ": unknown line");
    }
  }
  return pages;
}

bool Exists(const std::string& Path) { return std::ifstream(Path).good(); }

bmp::Image LoadBmp(const std::string& Path) {
  const std::string bytes = pictures::ReadFile(Path);
  return bmp::Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string Escape(const std::string& s) {
  std::string o;
  for (char c : s) {
    if (c == '&') o += "&amp;";
    else if (c == '<') o += "&lt;";
    else if (c == '>') o += "&gt;";
    else o += c;
  }
  return o;
}

// The picture a control shows at rest, and all its state pictures.
std::vector<std::string> States(const std::string& Dir, const std::string& Name) {
  for (const auto& set : {std::vector<std::string>{"up", "over", "down", "disabled"},
                          std::vector<std::string>{"out", "over", "check", "overcheck"}}) {
    if (Exists(Dir + "/" + Name + "_" + set[0] + ".bmp")) {
      std::vector<std::string> out;
      for (const std::string& s : set) out.push_back(Dir + "/" + Name + "_" + s + ".bmp");
      return out;
    }
  }
  return {};
}

void DrawSvgLayer(bmp::Image& Base, const std::string& Body) {
  const std::string doc = "<svg xmlns='http://www.w3.org/2000/svg' width='" + std::to_string(Base.width) +
                          "' height='" + std::to_string(Base.height) + "'>" + Body + "</svg>";
  pictures::Composite(Base, svg::Render(doc), 0, 0);
}

std::string CaptionText(int Cx, int Cy, const std::string& Text, const std::string& Font, int Size,
                        const char* Colour) {
  return "<text x='" + std::to_string(Cx) + "' y='" + std::to_string(Cy + Size / 2 - 1) +
         "' text-anchor='middle' font-family='" + Font + "' font-weight='bold' font-size='" +
         std::to_string(Size) + "' fill='" + Colour + "'>" + Escape(Text) + "</text>";
}

bmp::Image HalfSize(const bmp::Image& Img) {
  bmp::Image out;
  out.width = Img.width / 2;
  out.height = Img.height / 2;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      uint32_t sum[4] = {0, 0, 0, 0};
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const uint32_t p = Img.pixels[static_cast<size_t>(2 * y + dy) * Img.width + 2 * x + dx];
          for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
        }
      uint32_t v = 0;
      for (int c = 0; c < 4; ++c) v |= ((sum[c] + 2) / 4) << (8 * c);
      out.pixels[static_cast<size_t>(y) * out.width + x] = v;
    }
  return out;
}

bmp::Image Canvas(int W, int H, uint32_t Colour) {
  bmp::Image img;
  img.width = W;
  img.height = H;
  img.pixels.assign(static_cast<size_t>(W) * H, 0xFF000000u | Colour);
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: vx-sheet LAYOUT BMP-DIR OUT-DIR [--font FAMILY]\n");
    return 2;
  }
  const std::string layout = argv[1], dir = argv[2], out = argv[3];
  std::string font = "DejaVu Sans";
  std::vector<std::string> also;
  for (int i = 4; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--font") font = argv[i + 1];
    else if (std::string(argv[i]) == "--also") also.push_back(argv[i + 1]);
  }
  auto find = [&](const std::string& file) {
    if (Exists(dir + "/" + file)) return dir + "/" + file;
    for (const std::string& d : also)
      if (Exists(d + "/" + file)) return d + "/" + file;
    return std::string();
  };
  try {
    const std::vector<Page> pages = ReadLayout(layout);
    std::vector<std::string> missing;
    std::vector<bmp::Image> shots;
    std::set<std::string> controlNames;
    std::vector<std::string> controlOrder;
    for (const Page& p : pages) {
      const std::string bcg = dir + "/" + p.Background + ".bmp";
      bmp::Image page = Exists(bcg) ? LoadBmp(bcg) : Canvas(800, 600, 0x808080);
      if (!Exists(bcg)) missing.push_back(p.Background + ".bmp");
      std::string layer;
      for (const Control& c : p.Pictures) {
        const std::string f = find(c.Picture + ".bmp");
        if (!f.empty()) pictures::Composite(page, LoadBmp(f), c.X, c.Y);
        else missing.push_back(c.Picture + ".bmp");
      }
      for (const Area& a : p.Areas) {
        layer += "<rect x='" + std::to_string(a.X) + "' y='" + std::to_string(a.Y) + "' width='" +
                 std::to_string(a.W) + "' height='" + std::to_string(a.H) +
                 "' fill='none' stroke='#c0392b' stroke-width='1' stroke-dasharray='6,4'/>" +
                 "<text x='" + std::to_string(a.X + 6) + "' y='" + std::to_string(a.Y + 16) +
                 "' font-family='" + font + "' font-size='12' fill='#c0392b'>" + Escape(a.Label) + "</text>";
      }
      for (const Control& c : p.Controls) {
        const std::vector<std::string> st = States(dir, c.Picture);
        if (st.empty()) {
          missing.push_back(c.Picture);
          continue;
        }
        if (controlNames.insert(c.Picture).second) controlOrder.push_back(c.Picture);
        std::string file = st[0];
        if (!c.State.empty()) {
          file = dir + "/" + c.Picture + "_" + c.State + ".bmp";
          if (!Exists(file)) {
            missing.push_back(c.Picture + "_" + c.State + ".bmp");
            continue;
          }
        }
        const bmp::Image pic = LoadBmp(file);
        pictures::Composite(page, pic, c.X, c.Y, pictures::kKeyGreen);
        if (!c.Caption.empty())
          layer += CaptionText(c.X + pic.width / 2, c.Y + pic.height / 2, c.Caption, font, 13, "#1b2a3a");
      }
      DrawSvgLayer(page, layer);
      svg::SavePng(page, out + "/page-" + p.Background + ".png");
      shots.push_back(page);
    }

    // All pages at half size, three a row.
    const int cols = 3, cw = 400, ch = 300, gap = 10;
    const int rows = static_cast<int>((shots.size() + cols - 1) / cols);
    bmp::Image sheet = Canvas(cols * (cw + gap) + gap, rows * (ch + gap) + gap, 0x303030);
    for (size_t i = 0; i < shots.size(); ++i) {
      const bmp::Image half = HalfSize(shots[i]);
      pictures::Composite(sheet, half, gap + static_cast<int>(i % cols) * (cw + gap),
                          gap + static_cast<int>(i / cols) * (ch + gap));
    }
    svg::SavePng(sheet, out + "/contact-sheet.png");

    // Every state of every control, one control a row, on the page colour.
    int rowH = 0, width = 0;
    std::vector<std::vector<bmp::Image>> rowsOfStates;
    for (const std::string& name : controlOrder) {
      std::vector<bmp::Image> row;
      int w = 10;
      for (const std::string& f : States(dir, name)) {
        row.push_back(LoadBmp(f));
        w += row.back().width + 10;
        rowH = std::max(rowH, row.back().height);
      }
      width = std::max(width, w);
      rowsOfStates.push_back(row);
    }
    bmp::Image states = Canvas(std::max(width, 10), static_cast<int>(rowsOfStates.size()) * (rowH + 10) + 10, 0x2a64a3);
    for (size_t r = 0; r < rowsOfStates.size(); ++r) {
      int x = 10;
      for (const bmp::Image& img : rowsOfStates[r]) {
        pictures::Composite(states, img, x, 10 + static_cast<int>(r) * (rowH + 10), pictures::kKeyGreen);
        x += img.width + 10;
      }
    }
    svg::SavePng(states, out + "/controls.png");

    for (const std::string& m : missing) std::fprintf(stderr, "vx-sheet: missing picture %s\n", m.c_str());
    return missing.empty() ? 0 : 1;
  } catch (const bmp::Error& e) {
    std::fprintf(stderr, "vx-sheet: %s\n", e.message.c_str());
    return 1;
  }
}
