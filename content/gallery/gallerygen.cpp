// gallerygen: writes the gallery game's picture sources:
//   OUT/svg/obrazytlo.svg         the frame over the picture: the program's page look with the
//                                 pure green picture window and the labels of the game's numbers
//   OUT/skin/*.svg                the title bar (three pieces) and the twelve button pictures
//   OUT/themes/ID/*.svg           the pictures of each theme, 728 x 486, drawn procedurally
//   OUT/themes/ID/titles.txt      the theme's name and picture titles (UTF-8; converted later)
//
//   gallerygen OUT
//
// The pictures are made from shapes and seeded random numbers, so every build draws the same.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int W = 728, H = 486;
constexpr double kPi = 3.14159265358979323846;

void Write(const fs::path& P, const std::string& Text) {
  fs::create_directories(P.parent_path());
  std::ofstream F(P, std::ios::binary);
  F << Text;
  if (!F) throw std::runtime_error("cannot write " + P.string());
}

std::string Svg(int Width, int Height, const std::string& Body) {
  std::ostringstream S;
  S << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Width << "\" height=\"" << Height << "\" viewBox=\"0 0 "
    << Width << " " << Height << "\">" << Body << "</svg>\n";
  return S.str();
}

// A small deterministic generator (the same pictures on every build and machine).
struct Rng {
  uint32_t S;
  explicit Rng(uint32_t Seed) : S(Seed * 2654435761u + 12345u) {}
  double Next() {
    S = S * 1664525u + 1013904223u;
    return (S >> 8) / 16777216.0;
  }
  double In(double A, double B) { return A + (B - A) * Next(); }
};

std::string Num(double V) {
  char B[32];
  std::snprintf(B, sizeof B, "%.1f", V);
  return B;
}

std::string Grad(const std::string& Id, const std::string& Top, const std::string& Bottom) {
  return "<linearGradient id=\"" + Id + "\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\"><stop offset=\"0\" stop-color=\"" + Top +
         "\"/><stop offset=\"1\" stop-color=\"" + Bottom + "\"/></linearGradient>";
}
std::string Radial(const std::string& Id, const std::string& In, const std::string& Out, double OutOpacity = 1) {
  return "<radialGradient id=\"" + Id + "\" cx=\"0.5\" cy=\"0.5\" r=\"0.5\"><stop offset=\"0\" stop-color=\"" + In + "\"/><stop offset=\"1\" stop-color=\"" +
         Out + "\" stop-opacity=\"" + Num(OutOpacity) + "\"/></radialGradient>";
}
std::string Rect(double X, double Y, double Wd, double Ht, const std::string& Fill, const std::string& Extra = "") {
  return "<rect x=\"" + Num(X) + "\" y=\"" + Num(Y) + "\" width=\"" + Num(Wd) + "\" height=\"" + Num(Ht) + "\" fill=\"" +
         Fill + "\" " + Extra + "/>";
}
std::string Circle(double X, double Y, double R, const std::string& Fill, const std::string& Extra = "") {
  return "<circle cx=\"" + Num(X) + "\" cy=\"" + Num(Y) + "\" r=\"" + Num(R) + "\" fill=\"" + Fill + "\" " + Extra + "/>";
}
std::string Ellipse(double X, double Y, double Rx, double Ry, const std::string& Fill, const std::string& Extra = "") {
  return "<ellipse cx=\"" + Num(X) + "\" cy=\"" + Num(Y) + "\" rx=\"" + Num(Rx) + "\" ry=\"" + Num(Ry) + "\" fill=\"" + Fill +
         "\" " + Extra + "/>";
}
std::string Path(const std::string& D, const std::string& Fill, const std::string& Extra = "") {
  return "<path d=\"" + D + "\" fill=\"" + Fill + "\" " + Extra + "/>";
}
std::string Poly(const std::vector<std::pair<double, double>>& P, const std::string& Fill, const std::string& Extra = "") {
  std::string S = "<polygon points=\"";
  for (const auto& [X, Y] : P) S += Num(X) + "," + Num(Y) + " ";
  return S + "\" fill=\"" + Fill + "\" " + Extra + "/>";
}

// A ridge line across the picture closed to the bottom: Base height, Amp roughness.
std::string Ridge(Rng& R, double Base, double Amp, int Steps, const std::string& Fill, double Sharp = 0) {
  std::vector<std::pair<double, double>> P{{0, H}};
  double Y = Base;
  for (int I = 0; I <= Steps; ++I) {
    const double X = W * I / static_cast<double>(Steps);
    Y += R.In(-Amp, Amp);
    if (Sharp > 0 && I % 2 == 1) Y -= Sharp * R.Next();
    Y = std::clamp(Y, Base - 3 * Amp - Sharp, Base + 3 * Amp);
    P.push_back({X, Y});
  }
  P.push_back({W, H});
  return Poly(P, Fill);
}

std::string Stars(Rng& R, int N, double MaxY, double MaxR = 1.6) {
  std::string S;
  for (int I = 0; I < N; ++I)
    S += Circle(R.In(0, W), R.In(0, MaxY), R.In(0.4, MaxR), "#ffffff", "opacity=\"" + Num(R.In(0.4, 1)) + "\"");
  return S;
}

std::string Pine(double X, double Y, double S, const std::string& C) {
  return Poly({{X, Y - 3 * S}, {X - S, Y - 1.4 * S}, {X - 0.5 * S, Y - 1.5 * S}, {X - 1.3 * S, Y}, {X + 1.3 * S, Y},
               {X + 0.5 * S, Y - 1.5 * S}, {X + S, Y - 1.4 * S}},
              C) +
         Rect(X - 0.15 * S, Y, 0.3 * S, 0.4 * S, "#4a3222");
}

std::string Cloud(double X, double Y, double S) {
  return "<g fill=\"#ffffff\" opacity=\"0.85\">" + Ellipse(X, Y, 40 * S, 16 * S, "#ffffff") +
         Circle(X - 15 * S, Y - 10 * S, 18 * S, "#ffffff") + Circle(X + 12 * S, Y - 14 * S, 22 * S, "#ffffff") + "</g>";
}

struct Picture {
  std::string Member, Title;
  std::function<std::string()> Draw;
};

// --- animals: a friendly animal on its own ground ------------------------------------------------

std::string Meadow(uint32_t Seed, const std::string& Sky1, const std::string& Sky2, const std::string& Grass) {
  Rng R(Seed);
  return "<defs>" + Grad("sky", Sky1, Sky2) + "</defs>" + Rect(0, 0, W, H, "url(#sky)") + Cloud(R.In(80, 250), R.In(50, 110), 1.2) +
         Cloud(R.In(450, 650), R.In(40, 100), 0.9) + Ridge(R, 330, 6, 14, "#7fb65a") + Ridge(R, 370, 4, 10, Grass);
}

std::string Eyes(double X, double Y, double Gap, double Rd) {
  return Circle(X - Gap, Y, Rd, "#ffffff") + Circle(X + Gap, Y, Rd, "#ffffff") + Circle(X - Gap + Rd * 0.2, Y, Rd * 0.5, "#1b1b1b") +
         Circle(X + Gap + Rd * 0.2, Y, Rd * 0.5, "#1b1b1b");
}

std::string Cat() {
  return Meadow(1, "#8ec9f0", "#e4f4ff", "#5d9c3f") + Ellipse(380, 330, 120, 80, "#e58a2e") +
         Path("M 480 320 Q 600 300 560 200", "none", "stroke=\"#e58a2e\" stroke-width=\"22\" stroke-linecap=\"round\"") +
         Circle(290, 240, 80, "#f09a3a") + Poly({{225, 200}, {240, 120}, {285, 170}}, "#f09a3a") +
         Poly({{355, 200}, {340, 120}, {295, 170}}, "#f09a3a") + Poly({{238, 185}, {245, 140}, {272, 170}}, "#f7c7a0") +
         Poly({{342, 185}, {335, 140}, {308, 170}}, "#f7c7a0") + Eyes(290, 230, 28, 14) +
         Poly({{282, 260}, {298, 260}, {290, 270}}, "#d35a6a") +
         Path("M 240 268 L 190 258 M 240 276 L 192 282 M 340 268 L 390 258 M 340 276 L 388 282", "none",
              "stroke=\"#5a3b1c\" stroke-width=\"2\"") +
         Rect(300, 390, 26, 40, "#e58a2e", "rx=\"10\"") + Rect(420, 390, 26, 40, "#e58a2e", "rx=\"10\"");
}

std::string Owl() {
  Rng R(2);
  std::string S = "<defs>" + Grad("sky", "#0d1b3d", "#2f4d7a") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") + Stars(R, 90, 300) +
                  Circle(600, 90, 46, "#f6f0c8") + Path("M 0 380 Q 360 340 728 390 L 728 420 Q 360 370 0 410 Z", "#5b3a22");
  S += Ellipse(360, 270, 110, 140, "#8b5a2b") + Ellipse(360, 300, 75, 100, "#d9b48a") +
       Poly({{270, 160}, {285, 100}, {320, 150}}, "#8b5a2b") + Poly({{450, 160}, {435, 100}, {400, 150}}, "#8b5a2b") +
       Circle(320, 210, 40, "#ffffff") + Circle(400, 210, 40, "#ffffff") + Circle(320, 210, 22, "#f2b233") +
       Circle(400, 210, 22, "#f2b233") + Circle(320, 210, 11, "#111111") + Circle(400, 210, 11, "#111111") +
       Poly({{350, 240}, {370, 240}, {360, 265}}, "#e0961b");
  for (int I = 0; I < 12; ++I)
    S += Path("M " + Num(320 + (I % 4) * 26) + " " + Num(300 + (I / 4) * 30) + " q 8 10 16 0", "none",
              "stroke=\"#8b5a2b\" stroke-width=\"3\"");
  return S + Ellipse(330, 405, 18, 8, "#e0961b") + Ellipse(390, 405, 18, 8, "#e0961b");
}

std::string Fish() {
  Rng R(3);
  std::string S = "<defs>" + Grad("sea", "#3bb1d6", "#0b3a66") + "</defs>" + Rect(0, 0, W, H, "url(#sea)");
  for (int I = 0; I < 25; ++I) S += Circle(R.In(0, W), R.In(0, H), R.In(3, 10), "none", "stroke=\"#d8f3ff\" stroke-width=\"2\" opacity=\"0.6\"");
  for (int I = 0; I < 9; ++I) {
    const double X = 40 + I * 85;
    S += Path("M " + Num(X) + " 486 Q " + Num(X - 30) + " 400 " + Num(X + 10) + " " + Num(R.In(300, 360)), "none",
              "stroke=\"#3f9a4a\" stroke-width=\"10\" stroke-linecap=\"round\"");
  }
  S += Path("M 0 460 Q 360 430 728 465 L 728 486 L 0 486 Z", "#e8d39a");
  S += Ellipse(360, 240, 150, 90, "#f28c28") + Poly({{500, 240}, {610, 160}, {600, 320}}, "#f28c28") +
       Path("M 300 152 Q 300 240 300 328", "none", "stroke=\"#ffffff\" stroke-width=\"18\"") +
       Path("M 400 158 Q 400 240 400 322", "none", "stroke=\"#ffffff\" stroke-width=\"18\"") + Circle(260, 220, 16, "#ffffff") +
       Circle(256, 220, 8, "#111111") + Path("M 215 260 q 15 8 30 0", "none", "stroke=\"#7a3a10\" stroke-width=\"4\"");
  return S;
}

std::string Ladybird() {
  std::string S = Meadow(4, "#a8e0ff", "#f2fbff", "#4f8f35");
  S += Path("M 140 420 Q 360 60 620 380 Q 380 470 140 420 Z", "#5fb844") +
       Path("M 160 415 Q 380 300 610 375", "none", "stroke=\"#3d7d2a\" stroke-width=\"6\"");
  S += Circle(380, 290, 110, "#d8262b") + Path("M 380 180 L 380 400", "none", "stroke=\"#111111\" stroke-width=\"6\"") +
       Circle(380, 190, 50, "#111111");
  for (auto [X, Y] : std::vector<std::pair<double, double>>{{320, 250}, {440, 250}, {310, 320}, {450, 320}, {345, 370}, {415, 370}})
    S += Circle(X, Y, 20, "#111111");
  return S + Circle(360, 175, 9, "#ffffff") + Circle(400, 175, 9, "#ffffff") +
         Path("M 360 150 Q 340 110 320 105 M 400 150 Q 420 110 440 105", "none", "stroke=\"#111111\" stroke-width=\"4\"");
}

std::string Frog() {
  std::string S = "<defs>" + Grad("sky", "#bfe6c9", "#eaf7e0") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") +
                  Rect(0, 300, W, 186, "#3f84a8") + Ellipse(380, 380, 200, 50, "#3fa34d") +
                  Path("M 380 330 L 380 380", "none", "stroke=\"#2c7a36\" stroke-width=\"6\"");
  for (int I = 0; I < 6; ++I) S += Rect(30 + I * 18, 120 + (I % 3) * 20, 8, 200, "#6b8f3a", "rx=\"4\"");
  S += Ellipse(380, 310, 120, 70, "#6cc04a") + Circle(320, 245, 36, "#6cc04a") + Circle(440, 245, 36, "#6cc04a") +
       Circle(320, 240, 22, "#ffffff") + Circle(440, 240, 22, "#ffffff") + Circle(324, 242, 11, "#111111") +
       Circle(444, 242, 11, "#111111") + Path("M 320 320 Q 380 360 440 320", "none", "stroke=\"#2c6b25\" stroke-width=\"6\"") +
       Ellipse(290, 370, 40, 14, "#5aa83c") + Ellipse(470, 370, 40, 14, "#5aa83c");
  return S;
}

std::string Fox() {
  std::string S = "<defs>" + Grad("sky", "#f7b267", "#fde9c9") + "</defs>" + Rect(0, 0, W, H, "url(#sky)");
  for (int I = 0; I < 10; ++I) S += Pine(30 + I * 78, 340, 36 + (I % 3) * 8, "#2f5d3a");
  S += Rect(0, 340, W, 146, "#d9c27a");
  S += Path("M 470 330 Q 640 300 620 180 Q 560 260 470 290 Z", "#e2641f") + Path("M 620 180 Q 600 230 560 250 Q 610 230 620 180 Z", "#ffffff") +
       Ellipse(390, 330, 110, 65, "#e2641f") + Poly({{230, 250}, {300, 150}, {370, 250}, {300, 300}}, "#e2641f") +
       Poly({{245, 170}, {262, 110}, {292, 165}}, "#e2641f") + Poly({{352, 170}, {338, 110}, {308, 165}}, "#e2641f") +
       Poly({{245, 255}, {300, 300}, {355, 255}, {300, 275}}, "#ffffff") + Circle(275, 225, 8, "#111111") +
       Circle(325, 225, 8, "#111111") + Circle(300, 296, 9, "#111111") + Rect(330, 380, 22, 50, "#7a3210", "rx=\"8\"") +
       Rect(430, 380, 22, 50, "#7a3210", "rx=\"8\"");
  return S;
}

std::string Snail() {
  std::string S = Meadow(7, "#cfe9ff", "#f7fcff", "#4e9a3a");
  for (int I = 0; I < 14; ++I) S += Circle(60 + I * 50, 440 - (I % 2) * 15, 8, I % 2 ? "#ffffff" : "#f2d64b");
  S += Path("M 180 400 Q 200 330 300 330 L 560 330 Q 600 330 600 400 Z", "#c9a27a") +
       Path("M 200 360 Q 170 300 190 250", "none", "stroke=\"#c9a27a\" stroke-width=\"30\" stroke-linecap=\"round\"") +
       Circle(190, 240, 12, "#1b1b1b") + Circle(400, 250, 120, "#b35a2c");
  std::string D = "M 400 250";
  for (int I = 1; I < 80; ++I) {
    const double A = I * 0.18, Rr = I * 1.4;
    D += " L " + Num(400 + Rr * std::cos(A)) + " " + Num(250 + Rr * std::sin(A));
  }
  return S + Path(D, "none", "stroke=\"#f2b233\" stroke-width=\"10\" stroke-linecap=\"round\"");
}

std::string Hedgehog() {
  Rng R(8);
  std::string S = "<defs>" + Grad("sky", "#f1c27d", "#fff1da") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") +
                  Rect(0, 360, W, 126, "#8b6a3e");
  for (int I = 0; I < 18; ++I) {
    const double X = R.In(0, W), Y = R.In(370, 480);
    S += Ellipse(X, Y, 20, 9, I % 2 ? "#d9572b" : "#e8a93a", "transform=\"rotate(" + Num(R.In(-40, 40)) + " " + Num(X) + " " + Num(Y) + ")\"");
  }
  std::string Spikes;
  for (int I = 0; I < 26; ++I) {
    const double A = kPi + I * kPi / 25;
    const double X = 380 + 150 * std::cos(A), Y = 330 + 120 * std::sin(A);
    Spikes += Poly({{380 + 120 * std::cos(A - 0.08), 330 + 95 * std::sin(A - 0.08)}, {X, Y},
                    {380 + 120 * std::cos(A + 0.08), 330 + 95 * std::sin(A + 0.08)}},
                   "#5a3b22");
  }
  return S + Spikes + Ellipse(380, 330, 130, 95, "#6e4a2c") + Ellipse(250, 340, 70, 45, "#e6c39a") +
         Circle(200, 335, 10, "#111111") + Circle(250, 325, 8, "#111111") + Rect(300, 400, 20, 30, "#e6c39a", "rx=\"8\"") +
         Rect(440, 400, 20, 30, "#e6c39a", "rx=\"8\"");
}

// --- Polish landscapes ---------------------------------------------------------------------------

std::string Tatry() {
  Rng R(11);
  std::string S = "<defs>" + Grad("sky", "#5d9ad6", "#dceefc") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") + Cloud(150, 80, 1.1);
  S += Poly({{0, 380}, {90, 210}, {150, 260}, {260, 90}, {360, 240}, {430, 170}, {540, 60}, {640, 230}, {728, 160}, {728, 486}, {0, 486}}, "#6f7c8c");
  S += Poly({{228, 140}, {260, 90}, {293, 140}, {272, 128}, {250, 148}}, "#ffffff") +
       Poly({{485, 115}, {540, 60}, {572, 115}, {552, 105}, {520, 125}}, "#ffffff");
  S += Ridge(R, 360, 8, 16, "#3f6e45") + Ridge(R, 410, 5, 12, "#2f5a36");
  for (int I = 0; I < 14; ++I) S += Pine(20 + I * 52, 470 - (I % 3) * 10, 20, "#1f4429");
  return S;
}

std::string Baltyk() {
  std::string S = "<defs>" + Grad("sky", "#ffb36b", "#ffe6b8") + Radial("sun", "#fff4c2", "#ffb36b", 0) + "</defs>" +
                  Rect(0, 0, W, H, "url(#sky)") + Circle(520, 230, 120, "url(#sun)") + Circle(520, 230, 50, "#fff0a8");
  S += Rect(0, 260, W, 140, "#2e7fb0");
  for (int I = 0; I < 10; ++I) S += Rect(440 + (I % 3) * 20, 270 + I * 12, 160 - I * 12, 3, "#ffe6a0", "opacity=\"0.8\"");
  S += Path("M 0 400 Q 200 360 420 390 T 728 380 L 728 486 L 0 486 Z", "#ead39c") +
       Path("M 0 430 Q 150 400 300 430 T 728 420 L 728 486 L 0 486 Z", "#dcc082");
  for (int I = 0; I < 12; ++I)
    S += Path("M " + Num(40 + I * 22) + " 420 q 5 -40 " + Num(10 + (I % 3) * 5) + " -60", "none", "stroke=\"#8aa04a\" stroke-width=\"3\"");
  S += Path("M 150 200 q 10 -10 20 0 q 10 -10 20 0 M 260 160 q 8 -8 16 0 q 8 -8 16 0", "none", "stroke=\"#333333\" stroke-width=\"3\"");
  return S;
}

std::string Mazury() {
  Rng R(13);
  std::string S = "<defs>" + Grad("sky", "#7ec0ee", "#e9f6ff") + Grad("lake", "#3a7fb5", "#1c4f7a") + "</defs>" +
                  Rect(0, 0, W, H, "url(#sky)") + Cloud(550, 70, 1.3) + Rect(0, 250, W, 236, "url(#lake)");
  for (int I = 0; I < 22; ++I) S += Pine(I * 35, 255 + (I % 2) * 4, 22 + (I % 4) * 5, I % 2 ? "#2c5e34" : "#234d2b");
  for (int I = 0; I < 8; ++I) S += Rect(R.In(0, W), R.In(300, 470), R.In(40, 120), 2, "#cfe8ff", "opacity=\"0.6\"");
  S += Poly({{340, 400}, {470, 400}, {450, 425}, {360, 425}}, "#ffffff") + Rect(402, 260, 5, 140, "#5a3b22") +
       Poly({{408, 265}, {408, 390}, {480, 390}}, "#ffffff") + Poly({{400, 275}, {400, 390}, {345, 390}}, "#f2b233");
  return S;
}

std::string Pola() {
  std::string S = "<defs>" + Grad("sky", "#89c4f4", "#eef8ff") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") + Cloud(200, 90, 1.0) +
                  Cloud(520, 60, 0.8) + Circle(640, 80, 34, "#fff3a0");
  const char* Colours[] = {"#e7c64a", "#9cc45a", "#d9a33a", "#6fae4a", "#efd873", "#86b84e"};
  for (int I = 0; I < 6; ++I) {
    const double Y0 = 240 + I * 42, Y1 = Y0 + 48;
    S += Poly({{0, Y0 + (I % 2) * 10}, {W, Y0 - 20 + (I % 3) * 8}, {W, Y1}, {0, Y1 + 10}}, Colours[I]);
  }
  S += Rect(560, 200, 80, 50, "#f4f0e6") + Poly({{550, 200}, {600, 165}, {650, 200}}, "#b3492f") + Rect(590, 220, 18, 30, "#6b4a2a");
  for (int I = 0; I < 7; ++I) S += Circle(40 + I * 70, 236 - (I % 2) * 6, 18, "#3f7a36");
  for (int I = 0; I < 20; ++I) S += Circle(30 + I * 36, 470 - (I % 3) * 6, 5, "#d8262b");
  return S;
}

std::string Bieszczady() {
  Rng R(15);
  std::string S = "<defs>" + Grad("sky", "#4b3a78", "#f4a76b") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") + Circle(180, 240, 40, "#ffd98a");
  S += Ridge(R, 250, 10, 12, "#6f5f97") + Ridge(R, 300, 10, 12, "#544a7c") + Ridge(R, 350, 9, 12, "#3b3763") +
       Ridge(R, 410, 8, 12, "#27264a");
  for (int I = 0; I < 3; ++I) S += Path("M " + Num(380 + I * 30) + " 120 q 8 -8 16 0 q 8 -8 16 0", "none", "stroke=\"#2a1f3d\" stroke-width=\"3\"");
  return S;
}

std::string Las() {
  Rng R(16);
  std::string S = "<defs>" + Grad("sky", "#b8e2c8", "#f3fbf4") + "</defs>" + Rect(0, 0, W, H, "url(#sky)");
  for (int Row = 0; Row < 4; ++Row)
    for (int I = 0; I < 16; ++I) {
      const double X = I * 48 + R.In(-10, 10) + (Row % 2) * 24, Y = 230 + Row * 70;
      const char* C[] = {"#7fb08a", "#4f8a5c", "#2f6b40", "#1d4d2c"};
      S += Pine(X, Y, 26 + Row * 8, C[Row]);
    }
  S += Rect(0, 440, W, 46, "#3d5a2a");
  for (int I = 0; I < 5; ++I) S += Ellipse(100 + I * 130, 455, 14, 8, "#c0392b") + Rect(96 + I * 130, 455, 8, 14, "#f4ecd8");
  return S;
}

std::string Wies() {
  std::string S = "<defs>" + Grad("sky", "#9fd3ff", "#f0faff") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") + Cloud(480, 90, 1.2) +
                  Path("M 0 300 Q 200 240 400 290 T 728 270 L 728 486 L 0 486 Z", "#7cbf5a") +
                  Path("M 0 380 Q 250 340 500 380 T 728 370 L 728 486 L 0 486 Z", "#5ea242");
  S += Rect(220, 250, 170, 100, "#f4ecd8") + Poly({{205, 255}, {305, 175}, {405, 255}}, "#8a5a2b") + Rect(285, 295, 36, 55, "#6b4a2a") +
       Rect(240, 275, 30, 28, "#7ec0ee", "stroke=\"#ffffff\" stroke-width=\"3\"") +
       Rect(340, 275, 30, 28, "#7ec0ee", "stroke=\"#ffffff\" stroke-width=\"3\"") + Rect(350, 185, 18, 40, "#a0522d");
  for (int I = 0; I < 12; ++I) S += Rect(430 + I * 24, 320, 6, 40, "#8a6a40") ;
  S += Rect(430, 330, 270, 5, "#8a6a40") + Rect(430, 348, 270, 5, "#8a6a40");
  S += Circle(110, 240, 60, "#3f8a36") + Rect(102, 280, 16, 70, "#6b4a2a");
  for (int I = 0; I < 6; ++I) S += Circle(90 + (I % 3) * 20, 220 + (I / 3) * 25, 7, "#d8262b");
  return S;
}

std::string Zima() {
  Rng R(18);
  std::string S = "<defs>" + Grad("sky", "#0f2548", "#4a6fa5") + "</defs>" + Rect(0, 0, W, H, "url(#sky)") + Stars(R, 70, 250) +
                  Circle(560, 100, 40, "#f4f1de") + Circle(575, 90, 36, "#284374");
  S += Path("M 0 320 Q 200 270 420 320 T 728 300 L 728 486 L 0 486 Z", "#dfe9f5") +
       Path("M 0 400 Q 300 350 560 410 T 728 400 L 728 486 L 0 486 Z", "#f5f9ff");
  for (int I = 0; I < 9; ++I) {
    const double X = 40 + I * 80, Y = 330 - (I % 3) * 12;
    S += Pine(X, Y, 26, "#244a3a") + Poly({{X, Y - 78}, {X - 14, Y - 50}, {X + 14, Y - 50}}, "#ffffff");
  }
  for (int I = 0; I < 80; ++I) S += Circle(R.In(0, W), R.In(0, H), R.In(1, 3), "#ffffff", "opacity=\"0.8\"");
  return S;
}

// --- space ---------------------------------------------------------------------------------------

std::string Space(uint32_t Seed, const std::string& Top, const std::string& Bottom) {
  Rng R(Seed);
  return "<defs>" + Grad("sp", Top, Bottom) + "</defs>" + Rect(0, 0, W, H, "url(#sp)") + Stars(R, 220, H, 1.8);
}

std::string Saturn() {
  // The ring behind the planet, the planet with its bands, then the ring's front half over it.
  const std::string Tilt = "transform=\"rotate(-15 364 243)\"";
  return Space(21, "#05040f", "#1a1440") + "<defs>" + Radial("pl", "#f6d58e", "#b5803a") + "</defs>" +
         Ellipse(364, 243, 250, 60, "none", "stroke=\"#d9c28f\" stroke-width=\"16\" " + Tilt) +
         Circle(364, 243, 120, "url(#pl)") + Ellipse(364, 205, 104, 9, "#c99a55", "opacity=\"0.6\" " + Tilt) +
         Ellipse(364, 262, 112, 8, "#a77434", "opacity=\"0.5\" " + Tilt) +
         Path("M 114 243 A 250 60 0 0 0 614 243", "none", "stroke=\"#e6d3a3\" stroke-width=\"16\" " + Tilt);
}

std::string Ziemia() {
  std::string S = Space(22, "#000008", "#0a1030") + "<defs>" + Radial("oc", "#3f8fe0", "#0d3a7a") + "</defs>" +
                  Circle(330, 250, 170, "url(#oc)");
  S += Path("M 240 140 Q 300 120 330 170 Q 300 220 250 210 Q 210 180 240 140 Z", "#4f9a44") +
       Path("M 360 240 Q 440 220 470 280 Q 430 360 370 330 Q 340 290 360 240 Z", "#5aa84a") +
       Path("M 200 290 Q 240 280 260 320 Q 230 350 200 330 Z", "#6fb556");
  S += Ellipse(300, 120, 60, 14, "#ffffff", "opacity=\"0.7\"") + Ellipse(400, 380, 70, 12, "#ffffff", "opacity=\"0.6\"") +
       Circle(330, 250, 172, "none", "stroke=\"#9fd3ff\" stroke-width=\"6\" opacity=\"0.5\"") + Circle(600, 110, 34, "#cfcfcf") +
       Circle(590, 100, 6, "#a8a8a8") + Circle(610, 120, 8, "#a8a8a8");
  return S;
}

std::string Ksiezyc() {
  Rng R(23);
  std::string S = Space(23, "#000000", "#0b0b1e") + Circle(560, 110, 50, "#3f8fe0") +
                  Path("M 530 90 Q 560 80 575 110 Q 550 130 535 115 Z", "#4f9a44");
  S += Path("M 0 330 Q 180 290 360 320 T 728 310 L 728 486 L 0 486 Z", "#9a9a9a") +
       Path("M 0 400 Q 250 370 500 405 T 728 395 L 728 486 L 0 486 Z", "#b8b8b8");
  for (int I = 0; I < 14; ++I) {
    const double X = R.In(20, 700), Y = R.In(345, 470), Rx = R.In(14, 40);
    S += Ellipse(X, Y, Rx, Rx * 0.3, "#7d7d7d") + Ellipse(X, Y - 2, Rx * 0.8, Rx * 0.2, "#8e8e8e");
  }
  S += Rect(300, 300, 6, 70, "#dddddd") + Rect(306, 300, 60, 36, "#d8262b") + Rect(306, 300, 60, 18, "#ffffff");
  return S;
}

std::string Galaktyka() {
  Rng R(24);
  std::string S = Space(24, "#02010a", "#120a2a") + "<defs>" + Radial("core", "#fff6d8", "#7a4fd0", 0) + "</defs>" +
                  Circle(364, 243, 150, "url(#core)");
  for (int Arm = 0; Arm < 2; ++Arm)
    for (int I = 0; I < 260; ++I) {
      const double T = I / 260.0 * 3.2 * kPi, Rr = 20 + T * 22;
      const double A = T + Arm * kPi + R.In(-0.25, 0.25);
      S += Circle(364 + Rr * std::cos(A) * 1.2, 243 + Rr * std::sin(A) * 0.7, R.In(1, 3.2),
                  I % 3 ? "#cdb8ff" : "#ffffff", "opacity=\"" + Num(R.In(0.4, 0.95)) + "\"");
    }
  return S + Circle(364, 243, 26, "#fffbe8");
}

std::string Rakieta() {
  std::string S = Space(25, "#050a24", "#20306a") + Circle(120, 380, 90, "#c0392b", "opacity=\"0.9\"") +
                  Circle(95, 360, 16, "#a93226") + Circle(140, 400, 12, "#a93226");
  S += "<g transform=\"rotate(35 420 240)\">" + Path("M 420 80 Q 470 150 470 260 L 370 260 Q 370 150 420 80 Z", "#eef2f7") +
       Circle(420, 170, 22, "#3f8fe0", "stroke=\"#5a6b80\" stroke-width=\"6\"") + Poly({{370, 220}, {330, 290}, {370, 270}}, "#d8262b") +
       Poly({{470, 220}, {510, 290}, {470, 270}}, "#d8262b") + Rect(385, 260, 70, 18, "#5a6b80") +
       Path("M 390 280 Q 420 380 450 280 Z", "#f2b233") + Path("M 402 280 Q 420 340 438 280 Z", "#fff0a8") + "</g>";
  return S;
}

std::string Mglawica() {
  Rng R(26);
  std::string S = "<defs>" + Radial("n1", "#ff6fa8", "#ff6fa8", 0) + Radial("n2", "#6fd6ff", "#6fd6ff", 0) +
                  Radial("n3", "#b58cff", "#b58cff", 0) + "</defs>" + Rect(0, 0, W, H, "#04030c");
  for (int I = 0; I < 18; ++I) {
    const char* N[] = {"url(#n1)", "url(#n2)", "url(#n3)"};
    S += Ellipse(R.In(100, 630), R.In(80, 400), R.In(80, 200), R.In(50, 140), N[I % 3], "opacity=\"" + Num(R.In(0.3, 0.7)) + "\"");
  }
  Rng R2(27);
  return S + Stars(R2, 260, H, 2.0) + Circle(300, 220, 4, "#ffffff") + Circle(480, 300, 3, "#ffffff");
}

std::string Kometa() {
  std::string S = Space(28, "#01020a", "#0c1836") + "<defs>" +
                  "<linearGradient id=\"tail\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\"><stop offset=\"0\" stop-color=\"#9fe8ff\" stop-opacity=\"0\"/>"
                  "<stop offset=\"1\" stop-color=\"#e8fbff\" stop-opacity=\"0.95\"/></linearGradient>" +
                  Radial("head", "#ffffff", "#9fe8ff", 0) + "</defs>";
  S += Path("M 60 40 Q 300 160 500 300 L 470 330 Q 260 200 60 40 Z", "url(#tail)") + Circle(500, 320, 40, "url(#head)") +
       Circle(500, 320, 12, "#ffffff");
  return S + Path("M 0 430 Q 200 400 400 440 T 728 420 L 728 486 L 0 486 Z", "#101a2a");
}

std::string Uklad() {
  std::string S = Space(29, "#000006", "#0b0b24") + "<defs>" + Radial("sun", "#fff3b0", "#ff9a1f") + "</defs>" +
                  Circle(70, 243, 120, "url(#sun)");
  struct P {
    double X, R;
    const char* C;
  } Planets[] = {{220, 8, "#b0a090"}, {275, 13, "#e8c07a"}, {340, 14, "#3f8fe0"}, {400, 10, "#d0643a"},
                 {480, 34, "#d9b37a"}, {580, 28, "#e6cf96"}, {650, 20, "#8fd6e8"}, {705, 18, "#4f6fd8"}};
  for (const P& Pl : Planets) {
    S += Ellipse(70, 243, Pl.X - 70, (Pl.X - 70) * 0.35, "none", "stroke=\"#3a4470\" stroke-width=\"1.5\"");
  }
  for (const P& Pl : Planets) S += Circle(Pl.X, 243, Pl.R, Pl.C);
  return S + Ellipse(580, 243, 48, 10, "none", "stroke=\"#e6d3a3\" stroke-width=\"4\"");
}

struct Theme {
  std::string Id, Name;
  std::vector<Picture> Pictures;
};

std::vector<Theme> Themes() {
  return {
      {"zwierzeta",
       "Zwierzęta",
       {{"kot.bmp", "Rudy kot na łące", Cat},
        {"sowa.bmp", "Sowa w księżycową noc", Owl},
        {"ryba.bmp", "Rybka wśród wodorostów", Fish},
        {"biedronka.bmp", "Biedronka na liściu", Ladybird},
        {"zaba.bmp", "Żaba nad stawem", Frog},
        {"lis.bmp", "Lis na skraju lasu", Fox},
        {"slimak.bmp", "Ślimak w ogrodzie", Snail},
        {"jez.bmp", "Jeż wśród jesiennych liści", Hedgehog}}},
      {"krajobrazy",
       "Polskie krajobrazy",
       {{"tatry.bmp", "Tatry w słońcu", Tatry},
        {"baltyk.bmp", "Zachód słońca nad Bałtykiem", Baltyk},
        {"mazury.bmp", "Żagle na Mazurach", Mazury},
        {"pola.bmp", "Pola w lipcu", Pola},
        {"bieszczady.bmp", "Zmierzch w Bieszczadach", Bieszczady},
        {"las.bmp", "Puszcza i muchomory", Las},
        {"wies.bmp", "Chata na wsi", Wies},
        {"zima.bmp", "Zimowa noc w górach", Zima}}},
      {"kosmos",
       "Kosmos",
       {{"saturn.bmp", "Saturn i jego pierścienie", Saturn},
        {"ziemia.bmp", "Ziemia i Księżyc", Ziemia},
        {"ksiezyc.bmp", "Flaga na Księżycu", Ksiezyc},
        {"galaktyka.bmp", "Galaktyka spiralna", Galaktyka},
        {"rakieta.bmp", "Rakieta w drodze na Marsa", Rakieta},
        {"mglawica.bmp", "Kolorowa mgławica", Mglawica},
        {"kometa.bmp", "Kometa nad horyzontem", Kometa},
        {"uklad.bmp", "Układ Słoneczny", Uklad}}},
  };
}

// --- the interface -------------------------------------------------------------------------------

// The frame drawn over the picture: page colours, a light edge around the window, the game's
// name and the labels of the four numbers the game writes right-aligned at x 403 and 543.
void WriteInterface(const fs::path& Out) {
  std::ostringstream P;
  P << "<defs>" << Grad("p", "#163b6b", "#2a64a3") << "</defs>" << Rect(0, 0, 800, 600, "url(#p)");
  for (int I = 0; I < 40; ++I) P << Circle(20 + (I % 20) * 40, I < 20 ? 16 : 584, 2, "#ffffff", "opacity=\"0.12\"");
  P << Rect(26, 28, 748, 506, "#0b2445", "rx=\"14\" opacity=\"0.55\"") << Rect(30, 32, 740, 498, "#f4f7fb", "rx=\"12\"")
    << Rect(33, 35, 734, 492, "#9fb7d6", "rx=\"10\"")
    << "<rect x=\"36\" y=\"38\" width=\"728\" height=\"486\" fill=\"#00ff00\" shape-rendering=\"crispEdges\"/>"
    << "<text x=\"400\" y=\"24\" text-anchor=\"middle\" font-family=\"DejaVu Sans\" font-weight=\"bold\" font-size=\"18\" fill=\"#f2b233\">GALERIA</text>";
  struct Box {
    int Right, Top;
    const char* Label;
  } Boxes[] = {{403, 553, "odkryte %"}, {543, 553, "punkty"}, {403, 575, "znaki/min"}, {543, 575, "stracone"}};
  for (const Box& B : Boxes) {
    P << Rect(B.Right - 62, B.Top - 2, 66, 20, "#0f2c52", "rx=\"5\" stroke=\"#9fb7d6\"");
    P << "<text x=\"" << B.Right - 68 << "\" y=\"" << B.Top + 13
      << "\" text-anchor=\"end\" font-family=\"DejaVu Sans\" font-size=\"12\" fill=\"#ffffff\">" << B.Label << "</text>";
  }
  Write(Out / "svg" / "obrazytlo.svg", Svg(800, 600, P.str()));

  // The title bar: left end, middle and right end, 24 wide each.
  std::ostringstream Bar;
  Bar << Rect(0, 0, 30, 32, "#0f2c52", "rx=\"12\"") << Rect(12, 0, 66, 32, "#0f2c52") << Rect(42, 0, 30, 32, "#0f2c52", "rx=\"12\"")
      << Rect(0, 28, 72, 4, "#f2b233") << Rect(2, 2, 68, 3, "#2f78c4", "opacity=\"0.8\"");
  // The corners stay uncovered so that the picture shows there.
  Write(Out / "skin" / "bar.svg", Svg(72, 33, Bar.str()));

  struct State {
    const char* Suffix;
    const char* Face;
    const char* Edge;
    int Dy;
  } States[] = {{"zga", "#fdfdfd", "#1d4f8a", 0}, {"zap", "#fff6dc", "#e0961b", 0}, {"zap-in", "#c9d9ec", "#143a66", 2}};
  struct Btn {
    const char* Id;
    const char* Caption;
  } Buttons[] = {{"pauza", "pauza"}, {"koniec", "koniec"}, {"nowy", "nowy obraz"}, {"powtorz", "powtórz"}};
  for (const Btn& B : Buttons)
    for (const State& S : States) {
      std::ostringstream O;
      O << "<rect x=\"" << 6 << "\" y=\"" << 1 + S.Dy << "\" width=\"148\" height=\"24\" rx=\"10\" fill=\"" << S.Face
        << "\" stroke=\"" << S.Edge << "\" stroke-width=\"2\"/><text x=\"80\" y=\"" << 18 + S.Dy
        << "\" text-anchor=\"middle\" font-family=\"DejaVu Sans\" font-weight=\"bold\" font-size=\"14\" fill=\"" << S.Edge
        << "\">" << B.Caption << "</text>";
      Write(Out / "skin" / (std::string("button-") + B.Id + "-" + S.Suffix + ".svg"), Svg(160, 28, O.str()));
    }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gallerygen OUT\n");
    return 2;
  }
  try {
    const fs::path Out = argv[1];
    WriteInterface(Out);
    for (const Theme& T : Themes()) {
      std::string Titles = "#ThemeName=" + T.Name + "\n";
      for (const Picture& P : T.Pictures) {
        const std::string Base = P.Member.substr(0, P.Member.size() - 4);
        Write(Out / "themes" / T.Id / (Base + ".svg"), Svg(W, H, P.Draw()));
        Titles += P.Member + "=" + P.Title + "\n";
      }
      Write(Out / "themes" / T.Id / "titles.txt", Titles);
    }
  } catch (const std::exception& E) {
    std::fprintf(stderr, "gallerygen: %s\n", E.what());
    return 1;
  }
  return 0;
}
