// File-open dialog (driven like a user would), filter conversion, printing to PDF, and the chart.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>

#include "gui_fixture.h"
#include "platform/gui/chart.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/printers.h"

namespace {

class DialogsTest : public GuiTest {};

TEST(DialogFilter, PipeFormBecomesDescriptionAndMasks) {
  EXPECT_EQ(ConvertDialogFilter("All files (*.*)|*.txt"), (std::vector<std::string>{"All files (*.*) (*.txt)"}));
  EXPECT_EQ(ConvertDialogFilter("Text|*.txt;*.lst|All|*.*"),
            (std::vector<std::string>{"Text (*.txt *.lst)", "All (*)"}));
}

TEST_F(DialogsTest, OpenDialogReturnsTheChosenFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("lekcja.txt");
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  TOpenDialog od(nullptr);
  od.Title = "Browse";
  od.Filter = "All files (*.*)|*.txt";
  od.InitialDir = dir.path().toStdString();
  od.Options = ofHideReadOnly | ofFileMustExist;
  QString title;
  Application->QueueCall([&] {
    auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    title = dlg->windowTitle();
    dlg->selectFile(path);
    QMetaObject::invokeMethod(dlg, "accept");
  });
  ASSERT_TRUE(od.Execute());
  EXPECT_EQ(title, "Browse");
  EXPECT_EQ(od.FileName, path.toStdString());
  EXPECT_EQ(od.FilterIndex, 1);
  // Cancelled: false and the name stays.
  Application->QueueCall([] { QApplication::activeModalWidget()->close(); });
  EXPECT_FALSE(od.Execute());
  EXPECT_EQ(od.FileName, path.toStdString());
}

TEST(PrinterPdf, TwoPagesWithTextReachTheFile) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("job.pdf").toStdString();
  TPrinter* p = Printer();
  p->SetOutputFileName(file);
  EXPECT_THROW(p->NewPage(), EPrinter);
  p->Title = "Certyfikat uko\xF1" "czenia kursu pisania bezwzrokowego";
  p->BeginDoc();
  EXPECT_THROW(p->BeginDoc(), EPrinter);
  EXPECT_TRUE(p->Printing());
  EXPECT_GT(p->PageWidth(), 1000);
  EXPECT_GT(p->PhysicalWidth(), p->PageWidth() - 1);
  EXPECT_EQ(p->PixelsPerInchX(), 600);
  TCanvas* c = p->Canvas();
  c->SetMapMode(MM_ANISOTROPIC);
  c->SetWindowExt(96, 96);
  c->SetViewportExt(p->PixelsPerInchX(), p->PixelsPerInchY());
  c->Font()->SetSize(12);
  c->TextOut(50, 50, "Strona 1: \xB3\xF3" "d\x9F");
  c->Rectangle(40, 40, 300, 100);
  EXPECT_EQ(p->PageNumber(), 1);
  p->NewPage();
  c->TextOut(50, 50, "Strona 2");
  EXPECT_EQ(p->PageNumber(), 2);
  p->EndDoc();
  EXPECT_FALSE(p->Printing());
  std::ifstream in(file, std::ios::binary);
  std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(pdf.size(), 100u);
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  size_t pages = 0;
  for (size_t pos = 0; (pos = pdf.find("/Type /Page\n", pos)) != std::string::npos; ++pos) ++pages;
  if (pages == 0)
    for (size_t pos = 0; (pos = pdf.find("/Type /Page", pos)) != std::string::npos; ++pos)
      if (pdf.compare(pos, 12, "/Type /Pages") != 0) ++pages;
  EXPECT_EQ(pages, 2u);
  // The document title, cut to 31 characters, stored as UTF-16 big-endian text.
  auto utf16be = [](const QString& s) {
    std::string o;
    for (QChar c : s) {
      o += char(c.unicode() >> 8);
      o += char(c.unicode() & 255);
    }
    return o;
  };
  EXPECT_NE(pdf.find(utf16be(QString::fromUtf8("Certyfikat ukończenia kursu pis")) + ")"), std::string::npos);
}

TEST(PrinterPdf, AbortedJobLeavesNoFileAndNextJobWorks) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("aborted.pdf").toStdString();
  TPrinter* p = Printer();
  p->SetOutputFileName(file);
  EXPECT_THROW(p->Abort(), EPrinter);
  p->BeginDoc();
  p->Canvas()->TextOut(50, 50, "Strona 1");
  p->NewPage();
  p->Abort();
  EXPECT_FALSE(p->Printing());
  EXPECT_TRUE(p->Aborted());
  EXPECT_EQ(p->PageNumber(), 0);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
  // The printer stays usable: the next job reaches its file.
  p->BeginDoc();
  p->Canvas()->TextOut(50, 50, "Strona 1");
  p->EndDoc();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(file)));
}

TEST_F(DialogsTest, BarChartPagesLabelsAndMarks) {
  TForm* f = NewForm(420, 260);
  auto* ch = new TChart(f);
  ch->SetParent(f);
  TChartSeries* s = ch->AddSeries(skBar);
  s->SeriesColor = clBlue;
  s->MarksVisible = true;
  for (int i = 0; i < 20; ++i) s->Add(10 * (i + 1), std::to_string(32 + i));
  ch->SetMaxPointsPerPage(15);
  EXPECT_EQ(ch->NumPages(), 2);
  std::vector<int> labels;
  int afterDraw = 0;
  ch->OnGetAxisLabel = [&](TObject*, TChartSeries*, int idx, std::string& text) {
    labels.push_back(idx);
    if (text == "32") text = "Space";
  };
  ch->OnAfterDraw = [&](TObject*) { ++afterDraw; };
  TBitmap shot;
  vxtest::Grab(f, &shot);
  EXPECT_GE(afterDraw, 1);
  ASSERT_GE(labels.size(), 15u);
  EXPECT_EQ(labels.front(), 0);
  EXPECT_EQ(labels[14], 14);
  // Bars grow with the values: bar 14 (150) is 15 times as tall as bar 0 (10), within rounding.
  TRect b0 = ch->BarRect(0, 0), b14 = ch->BarRect(0, 14);
  EXPECT_NEAR(double(b14.Height()) / b0.Height(), 15.0, 1.5);
  EXPECT_EQ(shot.PixelColor(ch->Left() + (b14.Left + b14.Right) / 2, ch->Top() + b14.Bottom - 3), clBlue)
      << b14.Left << "," << b14.Top << "," << b14.Right << "," << b14.Bottom << " chart " << ch->Width() << "x" << ch->Height();
  ch->SetPage(2);
  labels.clear();
  vxtest::Grab(f, &shot);
  ASSERT_EQ(labels.size(), 5u);
  EXPECT_EQ(labels.front(), 15);
  // An empty chart paints without error.
  s->Clear();
  EXPECT_EQ(ch->NumPages(), 1);
  vxtest::Grab(f, &shot);
  ch->OnGetAxisLabel = nullptr;
  ch->OnAfterDraw = nullptr;
}

// Labels wider than their slots would run into each other (a key chart's "Enter" beside
// "Spacja"): every second one goes one line lower and the plot makes room for it.
TEST_F(DialogsTest, AxisLabelsTooWideForTheirSlotsTakeTwoLines) {
  TForm* f = NewForm(600, 260);
  auto* ch = new TChart(f);
  ch->SetParent(f);
  ch->SetBounds(0, 0, 600, 260);
  TChartSeries* s = ch->AddSeries(skBar);
  for (int i = 0; i < 15; ++i) s->Add(10 + i, "a");
  TBitmap shot;
  vxtest::Grab(f, &shot);
  EXPECT_EQ(ch->LabelRows(), 1);
  const TRect oneLine = ch->ChartRect();
  s->Clear();
  for (int i = 0; i < 15; ++i) s->Add(10 + i, i % 2 ? "Spacja" : "Enter");
  vxtest::Grab(f, &shot);
  ASSERT_EQ(ch->LabelRows(), 2);
  const TRect twoLines = ch->ChartRect();
  EXPECT_LT(twoLines.Bottom, oneLine.Bottom);
  // Ink under the middle of a slot: the first label only in the upper line, the second only in
  // the lower.
  auto inkIn = [&](int slot, int line) {
    const int centre = twoLines.Left + int((slot + 0.5) * twoLines.Width() / 15);
    const int th = oneLine.Bottom - twoLines.Bottom;
    const int y0 = twoLines.Bottom + 3 + line * th;
    for (int x = centre - 4; x <= centre + 4; ++x)
      for (int y = y0; y < y0 + th; ++y)
        if (shot.PixelColor(x, y) != clWhite) return true;
    return false;
  };
  EXPECT_TRUE(inkIn(0, 0));
  EXPECT_FALSE(inkIn(0, 1));
  EXPECT_TRUE(inkIn(1, 1));
  EXPECT_FALSE(inkIn(1, 0));
}

TEST_F(DialogsTest, PieLineAndAreaSeriesPaint) {
  TForm* f = NewForm(300, 300);
  auto* ch = new TChart(f);
  ch->SetParent(f);
  ch->SetBounds(0, 0, 300, 300);
  TChartSeries* pie = ch->AddSeries(skPie);
  pie->Add(1, "a", clRed);
  pie->Add(1, "b", clLime);
  TBitmap shot;
  vxtest::Grab(f, &shot);
  TRect pr = ch->ChartRect();
  int cx = (pr.Left + pr.Right) / 2, cy = (pr.Top + pr.Bottom) / 2;
  // Two halves: the upper half starts at angle 0 going counter-clockwise.
  EXPECT_EQ(shot.PixelColor(cx, cy - 20), clRed);
  EXPECT_EQ(shot.PixelColor(cx, cy + 20), clLime);
  ch->RemoveAllSeries();
  TChartSeries* area = ch->AddSeries(skArea);
  area->SeriesColor = clTeal;
  area->Add(5);
  area->Add(5);
  vxtest::Grab(f, &shot);
  pr = ch->ChartRect();
  EXPECT_EQ(shot.PixelColor((pr.Left + pr.Right) / 2, pr.Bottom - 5), clTeal);
}

}  // namespace
