// htmlview-demo FILE: shows an HTML document (or frameset) in a frames viewer window.
// htmlview-demo --shot OUT.png FILE: renders the window once into a PNG file and exits.
#include <cstdio>
#include <string>

#include "htmlview/framview.h"
#include "platform/gui/controls.h"
#include "platform/gui/testing.h"

int main(int argc, char** argv) {
  std::string Shot, File;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    if (A == "--shot" && I + 1 < argc)
      Shot = argv[++I];
    else
      File = A;
  }
  if (File.empty()) {
    std::fprintf(stderr, "usage: htmlview-demo [--shot OUT.png] FILE\n");
    return 2;
  }
  Application->Initialize();
  auto* Form = new TForm(Application);
  Form->SetCaption("htmlview-demo");
  Form->SetBounds(40, 40, 800, 600);
  auto* Viewer = new TFrameViewer(Form);
  Viewer->SetParent(Form);
  Viewer->SetAlign(alClient);
  Viewer->SetCharSet(EASTEUROPE_CHARSET);
  Viewer->SetHistoryMaxCount(20);
  Viewer->OnHistoryChange = [Form, Viewer](TObject*) { Form->SetCaption("htmlview-demo - " + Viewer->DocumentTitle()); };
  Form->Show();
  try {
    Viewer->LoadFromFile(File);
  } catch (const Exception& E) {
    std::fprintf(stderr, "%s: %s\n", E.ClassName().c_str(), E.Message().c_str());
    delete Application;
    return 1;
  }
  Form->SetCaption("htmlview-demo - " + Viewer->DocumentTitle());
  int Result = 0;
  if (!Shot.empty()) {
    vxtest::Pump();
    Result = vxtest::SaveGrabPng(Form, Shot) ? 0 : 1;
  } else {
    Application->Run();
  }
  delete Application;
  return Result;
}
