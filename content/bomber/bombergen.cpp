// bombergen: writes the bomber's picture sources from the town list and the letter list:
//   OUT/svg/*.svg               every picture as SVG (rendered to BMP by svg2bmp)
//   OUT/bmp/*.txt               the picture-collection manifests for dxg-write (CP1250 names)
//   OUT/skin/*.svg              the game's buttons (rendered as skinned pictures)
//   OUT/towns/NAME/             info.txt and town.ini of each town (CP1250, CR LF)
//   OUT/bombs.txt               the letters, one per line (for the content check)
//
//   bombergen TOWNS.txt OUT
//
// Every colour of a town's background is kept away from pure black, the transparent colour of
// the game pictures: the display is not cleared between frames.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kGround = 500;
constexpr int kHeight = 520;

struct Column {
  int Width = 0;
  std::string Colour, Roof;
  std::vector<int> Sections;
};
struct Town {
  std::string File, Name, SkyTop, SkyLow, Hills, Ground;
  std::vector<Column> Columns;
};

void Write(const fs::path& P, const std::string& Text) {
  fs::create_directories(P.parent_path());
  std::ofstream F(P, std::ios::binary);
  F << Text;
  if (!F) throw std::runtime_error("cannot write " + P.string());
}

// UTF-8 letters of Polish to their CP1250 bytes (the rest is ASCII).
std::string ToCp1250(const std::string& U) {
  static const std::pair<const char*, char> Map[] = {
      {"ą", '\xB9'}, {"ć", '\xE6'}, {"ę", '\xEA'}, {"ł", '\xB3'}, {"ń", '\xF1'}, {"ó", '\xF3'}, {"ś", '\x9C'},
      {"ź", '\x9F'}, {"ż", '\xBF'}, {"Ą", '\xA5'}, {"Ć", '\xC6'}, {"Ę", '\xCA'}, {"Ł", '\xA3'}, {"Ń", '\xD1'},
      {"Ó", '\xD3'}, {"Ś", '\x8C'}, {"Ź", '\x8F'}, {"Ż", '\xAF'}};
  std::string Out;
  for (size_t I = 0; I < U.size();) {
    bool Done = false;
    for (const auto& [From, To] : Map) {
      const std::string F = From;
      if (U.compare(I, F.size(), F) == 0) {
        Out += To;
        I += F.size();
        Done = true;
        break;
      }
    }
    if (!Done) Out += U[I++];
  }
  return Out;
}

std::string Escape(const std::string& S) {
  std::string O;
  for (char C : S) {
    if (C == '&') O += "&amp;";
    else if (C == '<') O += "&lt;";
    else if (C == '>') O += "&gt;";
    else O += C;
  }
  return O;
}

std::vector<Town> ReadTowns(const fs::path& P) {
  std::ifstream F(P);
  if (!F) throw std::runtime_error("cannot read " + P.string());
  std::vector<Town> Towns;
  std::string Line;
  int No = 0;
  while (std::getline(F, Line)) {
    ++No;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    std::istringstream S(Line);
    std::string Verb;
    if (!(S >> Verb) || Verb[0] == '#') continue;
    if (Verb == "town") {
      Town T;
      S >> T.File;
      std::getline(S >> std::ws, T.Name);
      Towns.push_back(T);
    } else if (Towns.empty()) {
      throw std::runtime_error(P.string() + ":" + std::to_string(No) + ": before the first town");
    } else if (Verb == "look") {
      S >> Towns.back().SkyTop >> Towns.back().SkyLow >> Towns.back().Hills >> Towns.back().Ground;
    } else if (Verb == "column") {
      Column C;
      S >> C.Width >> C.Colour >> C.Roof;
      int H;
      while (S >> H) C.Sections.push_back(H);
      if (C.Width <= 0 || C.Sections.empty() || C.Sections.size() > 11)
        throw std::runtime_error(P.string() + ":" + std::to_string(No) + ": a column needs a width and 1 to 11 sections");
      Towns.back().Columns.push_back(C);
    } else {
      throw std::runtime_error(P.string() + ":" + std::to_string(No) + ": unknown line");
    }
  }
  for (const Town& T : Towns) {
    int W = 0;
    for (const Column& C : T.Columns) W += C.Width;
    if (W != 800) throw std::runtime_error(T.File + ": the columns are " + std::to_string(W) + " pixels wide, not 800");
  }
  return Towns;
}

std::string Sky(const Town& T) {
  return "<defs><linearGradient id=\"sky\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"" +
         std::to_string(kGround) + "\"><stop offset=\"0\" stop-color=\"" + T.SkyTop + "\"/><stop offset=\"1\" stop-color=\"" +
         T.SkyLow + "\"/></linearGradient></defs>";
}

// The y of the top of section J (0 = the lowest) of a column.
int SectionTop(const Column& C, size_t J) {
  int Y = kGround;
  for (size_t I = 0; I <= J; ++I) Y -= C.Sections[I];
  return Y;
}

int RoofHeight(const Column& C) {
  if (C.Roof == "gable") return C.Width / 3;
  if (C.Roof == "dome") return C.Width / 3;
  if (C.Roof == "crane") return 40;
  if (C.Roof == "light") return 30;
  return 6;
}

// The building of one column, with its roof, windows and outline.
std::string Building(const Column& C, int X) {
  std::ostringstream S;
  const int W = C.Width, Inset = W / 10, BW = W - 2 * Inset, BX = X + Inset;
  for (size_t J = 0; J < C.Sections.size(); ++J) {
    const int Top = SectionTop(C, J), H = C.Sections[J];
    S << "<rect x=\"" << BX << "\" y=\"" << Top << "\" width=\"" << BW << "\" height=\"" << H << "\" fill=\"" << C.Colour
      << "\" stroke=\"#3d3024\" stroke-width=\"2\"/>";
    for (int WY = Top + 10; WY + 14 < Top + H; WY += 22)
      for (int WX = BX + 8; WX + 12 < BX + BW - 4; WX += 22)
        S << "<rect x=\"" << WX << "\" y=\"" << WY << "\" width=\"12\" height=\"14\" rx=\"2\" fill=\"#f7e27a\" stroke=\"#3d3024\"/>";
  }
  const int Top = SectionTop(C, C.Sections.size() - 1), R = RoofHeight(C);
  if (C.Roof == "gable")
    S << "<polygon points=\"" << BX - 6 << "," << Top << " " << X + W / 2 << "," << Top - R << " " << BX + BW + 6 << ","
      << Top << "\" fill=\"#b8432f\" stroke=\"#5a2418\" stroke-width=\"2\"/>";
  else if (C.Roof == "dome")
    S << "<path d=\"M" << BX << "," << Top << " A" << BW / 2 << "," << R << " 0 0 1 " << BX + BW << "," << Top
      << " Z\" fill=\"#4f9a8a\" stroke=\"#24453e\" stroke-width=\"2\"/>";
  else if (C.Roof == "crane")
    S << "<path d=\"M" << X + W / 2 << "," << Top << " V" << Top - R << " H" << X + W - 4 << " M" << X + W / 2 << ","
      << Top - R << " L" << X + 6 << "," << Top - R + 14 << " M" << X + W - 8 << "," << Top - R << " V" << Top - 10
      << "\" fill=\"none\" stroke=\"#e0a020\" stroke-width=\"4\"/>";
  else if (C.Roof == "light")
    S << "<rect x=\"" << X + W / 2 - 12 << "\" y=\"" << Top - R << "\" width=\"24\" height=\"" << R
      << "\" fill=\"#fff3a0\" stroke=\"#b53a2a\" stroke-width=\"3\"/>";
  else
    S << "<rect x=\"" << BX - 3 << "\" y=\"" << Top - R << "\" width=\"" << BW + 6 << "\" height=\"" << R
      << "\" fill=\"#6b6f78\"/>";
  return S.str();
}

std::string Svg(int W, int H, const std::string& Body, const std::string& ViewBox = "") {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(W) + "\" height=\"" + std::to_string(H) +
         "\" viewBox=\"" + (ViewBox.empty() ? "0 0 " + std::to_string(W) + " " + std::to_string(H) : ViewBox) + "\">" +
         Body + "</svg>\n";
}

void WriteTown(const Town& T, const fs::path& Out) {
  const std::string Id = fs::path(T.File).stem().string();
  std::ostringstream Bg;
  Bg << Sky(T) << "<rect width=\"800\" height=\"" << kHeight << "\" fill=\"url(#sky)\"/>";
  Bg << "<path d=\"M0," << kGround - 40 << " Q120," << kGround - 110 << " 260," << kGround - 50 << " T520," << kGround - 60
     << " T800," << kGround - 70 << " V" << kGround << " H0 Z\" fill=\"" << T.Hills << "\" fill-opacity=\"0.6\"/>";
  Bg << "<rect y=\"" << kGround << "\" width=\"800\" height=\"" << kHeight - kGround << "\" fill=\"" << T.Ground << "\"/>";
  std::ostringstream Ini;
  Ini << "#," << T.Columns.size() << "\r\n";
  int X = 0;
  for (size_t I = 0; I < T.Columns.size(); ++I) {
    const Column& C = T.Columns[I];
    Bg << Building(C, X);
    const int Top = SectionTop(C, C.Sections.size() - 1), Peak = Top - RoofHeight(C);
    Ini << "@,c" << I << "," << Peak << ",0\r\n";
    // Overlay r shows the column with only r sections left: the sky over the lost part (and
    // rubble when nothing is left), drawn at the top of the intact column.
    for (size_t R = 0; R < C.Sections.size(); ++R) {
      const int Bottom = R == 0 ? kGround : SectionTop(C, R - 1);
      const int H = Bottom - Peak;
      std::ostringstream O;
      O << Sky(T) << "<rect x=\"" << X << "\" y=\"" << Peak << "\" width=\"" << C.Width << "\" height=\"" << H
        << "\" fill=\"url(#sky)\"/>";
      if (R == 0) {
        O << "<path d=\"M" << X + 4 << "," << kGround << " L" << X + C.Width / 4 << "," << kGround - 14 << " L" << X + C.Width / 2
          << "," << kGround - 8 << " L" << X + C.Width * 3 / 4 << "," << kGround - 18 << " L" << X + C.Width - 4 << ","
          << kGround << " Z\" fill=\"#7a6a5a\" stroke=\"#4a3c30\" stroke-width=\"2\"/>";
      } else {
        O << "<path d=\"M" << X + C.Width / 10 << "," << Bottom << " l8,-6 l10,4 l12,-7 l10,5 l12,-4 V" << Bottom
          << " Z\" fill=\"#5e5046\"/>";
      }
      const std::string Name = Id + "_" + std::to_string(I) + "_" + std::to_string(R);
      Write(Out / "svg" / (Name + ".svg"),
            Svg(C.Width, H, O.str(),
                std::to_string(X) + " " + std::to_string(Peak) + " " + std::to_string(C.Width) + " " + std::to_string(H)));
      const int HitLine = R == 0 ? kGround - 18 : Bottom;
      Ini << Name << ".bmp," << Peak << "," << HitLine - Peak << "\r\n";
    }
    X += C.Width;
  }
  Write(Out / "svg" / (Id + "_background.svg"), Svg(800, kHeight, Bg.str()));
  Write(Out / "towns" / Id / "town.ini", Ini.str());
  Write(Out / "towns" / Id / "info.txt", "name=" + ToCp1250(T.Name) + "\r\nGround=" + std::to_string(kGround) + "\r\n");
}

// One bomb in two frames (the fuse's spark flickers), the letter on its belly.
std::string Bomb(const std::string& Letter) {
  std::ostringstream S;
  for (int F = 0; F < 2; ++F) {
    const int X = 34 * F;
    S << "<g transform=\"translate(" << X << ",0)\">"
      << "<path d=\"M13,4 h8 v5 h-8 Z\" fill=\"#5a6470\"/>"
      << "<ellipse cx=\"17\" cy=\"24\" rx=\"14\" ry=\"16\" fill=\"#2f3a48\" stroke=\"#8fa6c0\" stroke-width=\"2\"/>"
      << "<ellipse cx=\"12\" cy=\"17\" rx=\"4\" ry=\"5\" fill=\"#8fa6c0\" fill-opacity=\"0.6\"/>"
      << "<path d=\"M17,4 q4,-4 8,-2\" fill=\"none\" stroke=\"#c9a36a\" stroke-width=\"2\"/>"
      << "<circle cx=\"25\" cy=\"2.5\" r=\"" << (F ? 2.5 : 1.5) << "\" fill=\"" << (F ? "#ffd040" : "#ff7a20") << "\"/>"
      << "<text x=\"17\" y=\"31\" text-anchor=\"middle\" font-family=\"DejaVu Sans\" font-weight=\"bold\" font-size=\"17\" fill=\"#ffffff\">"
      << Escape(Letter) << "</text></g>";
  }
  return Svg(68, 40, S.str());
}

// A burst: Frames pictures of W x H, growing then fading, each its own picture or cell.
std::string Burst(int W, int H, int Frame, int Frames, bool Smoke) {
  const double T = (Frame + 1.0) / Frames;
  const double R = (0.25 + 0.25 * T) * std::min(W, H), Cx = W / 2.0, Cy = H * (Smoke ? 0.6 : 0.5);
  std::ostringstream S;
  S << "<defs><radialGradient id=\"f\" cx=\"0.5\" cy=\"0.5\" r=\"0.5\"><stop offset=\"0\" stop-color=\"#fff6b0\"/><stop offset=\"0.45\" stop-color=\"#ffb020\"/>"
    << "<stop offset=\"1\" stop-color=\"#e0401a\"/></radialGradient></defs>";
  if (Smoke)
    S << "<ellipse cx=\"" << Cx << "\" cy=\"" << Cy - R * 0.6 << "\" rx=\"" << R * 1.1 << "\" ry=\"" << R * 0.7
      << "\" fill=\"#8a8580\" fill-opacity=\"" << 0.3 + 0.5 * T << "\"/>";
  S << "<circle cx=\"" << Cx << "\" cy=\"" << Cy << "\" r=\"" << R * (1.0 - 0.35 * T * T) << "\" fill=\"url(#f)\" fill-opacity=\""
    << 1.0 - 0.5 * T * T << "\"/>";
  for (int I = 0; I < 8; ++I) {
    const double A = I * 0.785 + Frame * 0.3, L = R * (1.0 + 0.4 * T);
    S << "<path d=\"M" << Cx << "," << Cy << " L" << Cx + L * std::cos(A) << "," << Cy + L * std::sin(A)
      << "\" stroke=\"#ffd040\" stroke-width=\"3\" stroke-opacity=\"" << 1.0 - T << "\"/>";
  }
  return S.str();
}

void WriteExplosions(const fs::path& Out) {
  // The bomb's own: four cells in one picture, shown about 200 ms.
  std::ostringstream Cells;
  for (int F = 0; F < 4; ++F) Cells << "<g transform=\"translate(" << 40 * F << ",0)\">" << Burst(40, 40, F, 4, false) << "</g>";
  Write(Out / "svg" / "bombexplosion.svg", Svg(160, 40, Cells.str()));
  Write(Out / "bmp" / "BOMBEXPLOSION.txt", "Explosion bombexplosion.bmp 40 40 0 0 0 0\r\n");
  // Middle and big: one picture per item, each the size of the first.
  struct Set {
    const char* Id;
    int W, H, N;
  } Sets[] = {{"MIDEXPLOSION", 80, 60, 6}, {"BIGEXPLOSION", 160, 120, 8}};
  for (const Set& S : Sets) {
    std::string Manifest;
    for (int F = 0; F < S.N; ++F) {
      const std::string Name = std::string(S.Id) + "_" + std::to_string(F);
      Write(Out / "svg" / (Name + ".svg"), Svg(S.W, S.H, Burst(S.W, S.H, F, S.N, true)));
      Manifest += Name + " " + Name + ".bmp 0 0 0 0 0 0\r\n";
    }
    Write(Out / "bmp" / (std::string(S.Id) + ".txt"), Manifest);
  }
}

// The panel under the town: boxes for the numbers the game writes (centred at the points it
// uses) with their labels, and room for the pause and end buttons.
void WriteInterface(const fs::path& Out) {
  std::ostringstream P;
  P << "<defs><linearGradient id=\"p\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\"><stop offset=\"0\" stop-color=\"#2a64a3\"/>"
    << "<stop offset=\"1\" stop-color=\"#163b6b\"/></linearGradient></defs>"
    << "<rect width=\"800\" height=\"80\" fill=\"url(#p)\"/><rect y=\"0\" width=\"800\" height=\"3\" fill=\"#f2b233\"/>";
  struct Box {
    int Cx, Cy;
    const char* Label;
  } Boxes[] = {{330, 13, "trafione"}, {330, 46, "punkty"}, {470, 13, "błędy"}, {470, 46, "spadło"},
               {34, 39, ""}};
  for (const Box& B : Boxes) {
    P << "<rect x=\"" << B.Cx - 34 << "\" y=\"" << B.Cy - 3 << "\" width=\"68\" height=\"26\" rx=\"6\" fill=\"#0f2c52\" stroke=\"#9fb7d6\"/>";
    if (*B.Label)
      P << "<text x=\"" << B.Cx - 42 << "\" y=\"" << B.Cy + 15 << "\" text-anchor=\"end\" font-family=\"DejaVu Sans\" font-size=\"14\" fill=\"#ffffff\">"
        << B.Label << "</text>";
  }
  P << "<text x=\"34\" y=\"28\" text-anchor=\"middle\" font-family=\"DejaVu Sans\" font-size=\"13\" fill=\"#ffffff\">poziom</text>";
  P << "<text x=\"530\" y=\"48\" font-family=\"DejaVu Sans\" font-weight=\"bold\" font-size=\"22\" fill=\"#f2b233\">BOMBER</text>";
  Write(Out / "svg" / "panel.svg", Svg(800, 80, P.str()));
  struct State {
    const char* Suffix;
    const char* Face;
    const char* Edge;
    int Dy;
  } States[] = {{"zga", "#fdfdfd", "#1d4f8a", 0}, {"zap", "#fff6dc", "#e0961b", 0}, {"zap-in", "#c9d9ec", "#143a66", 2}};
  struct Btn {
    const char* Id;
    const char* Caption;
  } Buttons[] = {{"pauza", "pauza"}, {"koniec", "koniec"}};
  for (const Btn& B : Buttons)
    for (const State& S : States) {
      std::ostringstream O;
      O << "<rect x=\"1\" y=\"" << 1 + S.Dy << "\" width=\"128\" height=\"24\" rx=\"10\" fill=\"" << S.Face << "\" stroke=\""
        << S.Edge << "\" stroke-width=\"2\"/><text x=\"65\" y=\"" << 18 + S.Dy
        << "\" text-anchor=\"middle\" font-family=\"DejaVu Sans\" font-weight=\"bold\" font-size=\"14\" fill=\"" << S.Edge << "\">"
        << B.Caption << "</text>";
      Write(Out / "skin" / (std::string("button-") + B.Id + "-" + S.Suffix + ".svg"), Svg(130, 28, O.str()));
    }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bombergen TOWNS.txt OUT\n");
    return 2;
  }
  try {
    const fs::path Out = argv[2];
    for (const Town& T : ReadTowns(argv[1])) WriteTown(T, Out);
    // Every letter the keyboard layouts type, Polish letters included, and the punctuation of
    // the home rows; capitals are the same pictures (the letter lookup ignores case).
    const char* Letters[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r",
                             "s", "t", "u", "v", "w", "x", "y", "z", "ą", "ć", "ę", "ł", "ń", "ó", "ś", "ź", "ż", ";",
                             ",", ".", "/", "'", "-", "[", "]", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    std::string Manifest, List;
    int N = 0;
    for (const char* L : Letters) {
      const std::string Id = "bomb_" + std::to_string(N++);
      Write(Out / "svg" / (Id + ".svg"), Bomb(L));
      Manifest += ToCp1250(L) + " " + Id + ".bmp 34 40 0 0 0 0\r\n";
      List += ToCp1250(L) + "\r\n";
    }
    Write(Out / "bmp" / "BOMBS.txt", Manifest);
    WriteInterface(Out);
    Write(Out / "bombs.txt", List);
    WriteExplosions(Out);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "bombergen: %s\n", E.what());
    return 1;
  }
  return 0;
}
