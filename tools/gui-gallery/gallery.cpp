// Opens a form with one of each standard control, a custom-painted control drawing Polish text
// in four alignments, a BMP and a JPEG picture, and a modal dialog.
//
//   vx-gui-gallery              a real window; close it to quit
//   vx-gui-gallery --shot DIR   headless: writes DIR/gallery.png and DIR/dialog.png and quits
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <string>
#include <vector>

#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"

namespace {

// Text in the program's code page from UTF-8 source text.
std::string T(const char* utf8) { return Utf8ToCp1250(utf8); }

// A colour ramp with a frame, as a BMP file.
void WriteBmp(const std::string& path) {
  TBitmap b;
  b.SetSize(96, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 96; ++x) b.Canvas()->SetPixel(x, y, RGB(x * 255 / 95, y * 255 / 63, 128));
  b.Canvas()->Brush()->SetStyle(bsClear);
  b.Canvas()->Pen()->SetColor(clBlack);
  b.Canvas()->Rectangle(0, 0, 96, 64);
  b.SaveToFile(path);
}

// Concentric rings, compressed as a JPEG file through libjpeg.
void WriteJpeg(const std::string& path) {
  const int w = 96, h = 64;
  std::vector<unsigned char> rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int d = ((x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2)) / 40;
      unsigned char* p = &rgb[(size_t(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(d % 2 ? 220 : 40);
      p[1] = static_cast<unsigned char>(60 + d * 12);
      p[2] = static_cast<unsigned char>(200 - d * 10);
    }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw EInOutError("Cannot create " + path);
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = &rgb[size_t(c.next_scanline) * w * 3];
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

// Draws one line of Polish text in each of the four alignments: left, centred, right, justified.
class TAlignmentBox : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  void Paint() override {
    TCanvas* c = Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(ClientRect());
    c->Font()->SetName("Arial");
    c->Font()->SetSize(10);
    c->Font()->SetColor(clBlack);
    c->Brush()->SetStyle(bsClear);
    const std::string text = T("Zażółć gęślą jaźń");
    const int w = ClientWidth();
    const int lh = c->TextHeight(text) + 6;
    c->SetTextAlign(TA_LEFT | TA_TOP);
    c->TextOut(4, 4, text);
    c->SetTextAlign(TA_CENTER | TA_TOP);
    c->TextOut(w / 2, 4 + lh, text);
    c->SetTextAlign(TA_RIGHT | TA_TOP);
    c->TextOut(w - 4, 4 + 2 * lh, text);
    c->SetTextAlign(TA_LEFT | TA_TOP);
    c->SetTextJustification(w - 8 - c->TextWidth(text), 2);
    c->TextOut(4, 4 + 3 * lh, text);
    c->SetTextJustification(0, 0);
    c->Pen()->SetColor(clGray);
    c->MoveTo(w / 2, 0);
    c->LineTo(w / 2, ClientHeight());
    c->Brush()->SetStyle(bsSolid);
  }
};

template <class C>
C* Place(TWinControl* parent, int x, int y, int w, int h, const std::string& caption = "") {
  C* c = new C(parent);
  c->SetParent(parent);
  c->SetBounds(x, y, w, h);
  if (!caption.empty()) c->SetCaption(caption);
  return c;
}

TForm* MakeDialog() {
  TForm* d = new TForm(Application);
  d->SetBorderStyle(bsDialog);
  d->SetCaption(T("Pytanie"));
  d->SetPosition(poScreenCenter);
  d->SetClientWidth(260);
  d->SetClientHeight(100);
  Place<TLabel>(d, 12, 12, 236, 20, T("Czy zakończyć ćwiczenie?"));
  TButton* yes = Place<TButton>(d, 40, 56, 80, 26, "&Tak");
  yes->SetDefault(true);
  yes->SetModalResult(mrYes);
  TButton* no = Place<TButton>(d, 140, 56, 80, 26, "&Nie");
  no->SetCancel(true);
  no->SetModalResult(mrNo);
  return d;
}

TForm* MakeGallery(const std::string& bmp, const std::string& jpg) {
  TForm* f = nullptr;
  Application->CreateForm(f);
  f->SetCaption("vx GUI gallery");
  f->SetPosition(poScreenCenter);
  f->SetClientWidth(640);
  f->SetClientHeight(420);

  Place<TLabel>(f, 12, 12, 200, 18, T("Etykieta: łódź"));
  TEdit* edit = Place<TEdit>(f, 12, 36, 200, 24);
  edit->SetCaption(T("pole edycji"));
  TMemo* memo = Place<TMemo>(f, 12, 68, 200, 60);
  memo->Lines()->Add(T("Notatka, wiersz 1"));
  memo->Lines()->Add(T("wiersz 2: źdźbło"));
  Place<TCheckBox>(f, 12, 136, 200, 20, T("Pole wyboru"))->SetChecked(true);
  TGroupBox* group = Place<TGroupBox>(f, 12, 160, 200, 70, T("Grupa"));
  Place<TRadioButton>(group, 10, 20, 150, 20, T("Pierwszy"))->SetChecked(true);
  Place<TRadioButton>(group, 10, 42, 150, 20, T("Drugi"));
  TListBox* list = Place<TListBox>(f, 12, 238, 200, 70);
  for (const char* s : {"Ala", "Łukasz", "Żaneta", "Ćwiczenie"}) list->Items()->Add(T(s));
  list->SetItemIndex(1);
  TComboBox* combo = Place<TComboBox>(f, 12, 316, 200, 24);
  combo->SetStyle(csDropDownList);
  for (const char* s : {"polski", "angielski"}) combo->Items()->Add(T(s));
  combo->SetItemIndex(0);
  Place<TButton>(f, 12, 350, 96, 28, "&Pytanie")->OnClick = [](TObject*) {
    TForm* d = MakeDialog();
    d->ShowModal();
    d->Release();
  };

  TPanel* panel = Place<TPanel>(f, 228, 12, 400, 110);
  Place<TAlignmentBox>(panel, 8, 8, 384, 94);

  TShape* shape = Place<TShape>(f, 228, 132, 60, 60);
  shape->SetShape(stEllipse);
  shape->Brush()->SetColor(clYellow);
  TProgressBar* progress = Place<TProgressBar>(f, 300, 132, 200, 20);
  progress->SetPosition(60);
  TScrollBar* scroll = Place<TScrollBar>(f, 300, 164, 200, 18);
  scroll->SetParams(30, 0, 100);
  TImage* b = Place<TImage>(f, 228, 200, 96, 64);
  b->Picture()->LoadFromFile(bmp);
  TImage* j = Place<TImage>(f, 336, 200, 96, 64);
  j->Picture()->LoadFromFile(jpg);
  TPageControl* pages = Place<TPageControl>(f, 228, 276, 400, 130);
  for (const char* name : {"Pierwsza", "Druga"}) {
    TTabSheet* sheet = new TTabSheet(pages);
    sheet->SetPageControl(pages);
    sheet->SetCaption(T(name));
  }
  pages->SetActivePageIndex(0);
  Place<TLabel>(pages->Pages(0), 8, 8, 300, 18, T("Zakładka pierwsza"));
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  std::string shotDir;
  if (argc == 3 && std::string(argv[1]) == "--shot") shotDir = argv[2];
  const std::string dir = shotDir.empty() ? "/tmp" : shotDir;
  const std::string bmp = dir + "/gallery-ramp.bmp", jpg = dir + "/gallery-rings.jpg";
  try {
    Application->Initialize();
    WriteBmp(bmp);
    WriteJpeg(jpg);
    TForm* f = MakeGallery(bmp, jpg);
    if (shotDir.empty()) {
      Application->Run();
      return 0;
    }
    f->Show();
    vxtest::Pump(8);
    bool ok = vxtest::SaveGrabPng(f, shotDir + "/gallery.png");
    TForm* d = MakeDialog();
    Application->QueueCall([&] {
      vxtest::Pump(4);
      ok = vxtest::SaveGrabPng(d, shotDir + "/dialog.png") && ok;
      d->SetModalResult(mrNo);
    });
    const int result = d->ShowModal();
    std::printf("dialog returned %d; pictures in %s\n", result, shotDir.c_str());
    return ok && result == mrNo ? 0 : 1;
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
}
