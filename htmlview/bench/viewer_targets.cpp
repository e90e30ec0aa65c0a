// Timing targets of the viewer controls, run by hand (never a test): painting an 800 x 600
// viewport of a help-like page, and printing a two-page certificate to a PDF file.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "htmlview/htmlview.h"
#include "platform/gui/printers.h"
#include "platform/gui/testing.h"

namespace {

double Ms(std::chrono::steady_clock::duration D) { return std::chrono::duration<double, std::milli>(D).count(); }

std::string HelpPage() {
  std::string H = "<title>Pomoc</title><h1>Pomoc</h1>";
  for (int I = 0; I < 40; ++I)
    H += "<h3>Temat " + std::to_string(I) + "</h3><p>Trzymaj palce na klawiszach wyj\x9C\x63iowych, patrz na ekran, "
         "nie na klawiatur\xEA. <b>Pisz r\xF3wno</b> i spokojnie.</p><table border=1><tr><td>a</td><td>s</td>"
         "<td>d</td><td>f</td></tr></table><ul><li>jeden</li><li>dwa</li></ul>";
  return H;
}

std::string Certificate() {
  std::string H = "<title>Certyfikat</title><body><center><h1>Certyfikat</h1><p>Uczestnik uko\xF1\x63zy\xB3 kurs.</p>";
  for (int I = 0; I < 50; ++I) H += "<p>Lekcja " + std::to_string(I) + ": 180 znak\xF3w na minut\xEA, 97%</p>";
  return H + "<page><h2>Strona druga</h2><p>Podpis</p></center></body>";
}

}  // namespace

int main() {
  Application = new TApplication(nullptr);
  Application->Initialize();
  auto* Form = new TForm(Application);
  Form->SetBounds(0, 0, 820, 620);
  Form->Show();
  auto* V = new THTMLViewer(Form);
  V->SetParent(Form);
  V->SetBounds(0, 0, 800, 600);
  const std::string Page = HelpPage();
  V->LoadFromBuffer(Page.data(), static_cast<int>(Page.size()));
  TBitmap Target;
  Target.SetSize(800, 600);
  const int Rounds = 50;
  auto T0 = std::chrono::steady_clock::now();
  for (int I = 0; I < Rounds; ++I) {
    V->SetVScrollBarPosition((I * 97) % std::max(1, V->DocumentHeight() - 600));
    V->DrawPanel(Target.Canvas());
  }
  std::printf("paint 800x600 viewport: %.2f ms (target <= 16 ms)\n", Ms(std::chrono::steady_clock::now() - T0) / Rounds);

  const std::string Pdf = (std::filesystem::temp_directory_path() / "vx-viewer-targets.pdf").string();
  Printer()->SetOutputFileName(Pdf);
  const std::string Cert = Certificate();
  V->LoadFromBuffer(Cert.data(), static_cast<int>(Cert.size()));
  T0 = std::chrono::steady_clock::now();
  V->Print(1, 9999);
  std::printf("print certificate (%d pages) to PDF: %.1f ms (target <= 2000 ms for two pages)\n", V->PrintedPages(),
              Ms(std::chrono::steady_clock::now() - T0));
  std::filesystem::remove(Pdf);
  delete Application;
  return 0;
}
