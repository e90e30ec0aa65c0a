// The statistics, options, certificate and course screens on an installation folder: what they
// show from known rows, what they store, and how their buttons and lists behave under real clicks.
// The screens run in the small test host; pictures come from a test archive whose button states
// have colours of their own, so a state can be read from the pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/gui/graphics.h"
#include "platform/gui/testing.h"
#include "tutor/OptionsReg.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/app/SkinParts.h"
#include "tutor/app/CertificateForm.h"
#include "tutor/app/Keyboard.h"
#include "tutor/app/LessonHtml.h"
#include "tutor/app/ScenarioForm.h"
#include "tutor/app/StuddingForm.h"
#include "tutor/core/Scenario.h"
#include "htmlview/htmlview.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/printers.h"
#include <regex>
#include <filesystem>
#include "platform/core/datetime.h"
#include "tutor/app/OptionsForm.h"
#include "tutor/app/StatForm.h"
#include "tutor/app/StdLesson.h"
#include "tutor/app/TypingTable.h"
#include "tutor/app/SelectForm.h"
#include "controls/combos.h"
#include "controls/spinedit.h"
#include "tutor/core/KeybList.h"
#include "tutor/app/tests/course_screens_fixture.h"
#include "tutor/core/DataModule.h"
#include "tutor/translations.h"

namespace {

class StatScreenTest : public CourseScreensTest {
 protected:
  TStatForm* Open() {
    RegisterStatPage();
    Host->ShowPage(TPageId::Stat);
    vxtest::Pump();
    return dynamic_cast<TStatForm*>(Host->FindPage(TPageId::Stat));
  }
  // Two practices, the latest one's results row and a snapshot of Keys keys (13, 32, then letters
  // from 'a').
  void AddPractices(int Keys) {
    Folder->Exec({Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES "
                         "(120, 1, %d, 3725.5, 95)",
                         {Student}),
                  Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES "
                         "(160.5, 1, %d, 100.4, 98.126)",
                         {Student}),
                  // Another student's practice counts for nobody here.
                  "INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES (10, 1, 999, 5000, 10)",
                  Format("INSERT INTO results (ID_GROUP, ID_STUDENT, ID_PRACTICE, CPM, ACCURACY) VALUES "
                         "(1, %d, 2, 160.5, 98.126)",
                         {Student})});
    std::vector<std::string> Rows;
    for (int I = 0; I < Keys; ++I) {
      const int Key = I == 0 ? 13 : I == 1 ? 32 : 'a' + I - 2;
      Rows.push_back(Format("INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES "
                            "(%d, 2, %d, 5, %d, %d)",
                            {Student, Key, 100 + 10 * I, 99 - I}));
      // The earlier snapshot is not shown.
      Rows.push_back(Format("INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES "
                            "(%d, 1, %d, 5, 1, 1)",
                            {Student, Key}));
    }
    Folder->Exec(Rows);
  }
  // Bars drawn by chart C after a grab (the paint fills the bar rectangles).
  int BarsDrawn(TStatForm* F, int C) {
    TBitmap B;
    vxtest::Grab(F->Charts[C], &B);
    int N = 0;
    for (int I = 0; I < 15; ++I) {
      const TRect R = F->Charts[C]->BarRect(0, I);
      if (R.Right <= R.Left || R.Bottom <= R.Top) continue;
      if (B.Canvas()->Pixel((R.Left + R.Right) / 2, R.Bottom - 2) == F->Series[C]->SeriesColor) ++N;
    }
    return N;
  }
  // The colour in the middle of a page button, read from the grabbed notebook page.
  TColor ButtonColour(TStatForm*, TVxButton* Btn) {
    TBitmap B;
    vxtest::Grab(static_cast<TWinControl*>(Btn->Parent()), &B);
    return B.Canvas()->Pixel(Btn->Left() + Btn->Width() / 2, Btn->Top() + 5);
  }
};

TEST_F(StatScreenTest, SummaryComesFromTheStudentsPracticesAndLatestResults) {
  AddPractices(3);
  OpenDataModule();
  TStatForm* F = Open();
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(Text(F->LabelStudent), "Ala");
  EXPECT_EQ(Text(F->LabelCount), "2");
  EXPECT_EQ(Text(F->LabelTime), "01:03:46");  // 3825.9 s rounded
  EXPECT_EQ(Text(F->LabelSpeed), "160,50 zn./min");
  EXPECT_EQ(Text(F->LabelAccuracy), "98,13 %");
  EXPECT_EQ(Text(F->LabelCourse), "Kurs pierwszy");
  EXPECT_EQ(F->ShownPractice(), 2);
  EXPECT_NE(std::find(Host->Pings.begin(), Host->Pings.end(), "wyniki|"), Host->Pings.end());
  vxtest::SaveGrabPng(Host, OutputPath("stat_summary.png"));
}

TEST_F(StatScreenTest, ChartsShowTheLatestSnapshotFifteenKeysAPageWithKeyNames) {
  AddPractices(20);
  OpenDataModule();
  TStatForm* F = Open();
  ASSERT_NE(F, nullptr);
  vxtest::Click(F->Tabs[1], 10, 10);
  EXPECT_EQ(F->PageShown(), "1");
  EXPECT_TRUE(F->Tabs[1]->Checked());
  EXPECT_FALSE(F->Tabs[0]->Checked());
  ASSERT_EQ(F->Series[0]->Count(), 20);
  EXPECT_DOUBLE_EQ(F->Series[0]->Point(2).Value, 120);  // 'a', not the earlier snapshot's 1
  EXPECT_DOUBLE_EQ(F->Series[1]->Point(2).Value, 97);
  std::vector<std::string> Labels;
  for (int I = 0; I < 4; ++I) {
    std::string L = F->Series[0]->Point(I).Label;
    F->Charts[0]->OnGetAxisLabel(F->Charts[0], F->Series[0], I, L);
    Labels.push_back(L);
  }
  EXPECT_EQ(Labels, (std::vector<std::string>{"Enter", "Spacja", "a", "b"}));

  EXPECT_EQ(BarsDrawn(F, 0), 15);
  EXPECT_EQ(ButtonColour(F, F->BtnLeft[0]), kDisabledColour);
  EXPECT_EQ(ButtonColour(F, F->BtnRight[0]), kUpColour);
  vxtest::SaveGrabPng(Host, OutputPath("stat_speed.png"));

  vxtest::Click(F->BtnRight[0], 10, 10);
  EXPECT_EQ(F->Charts[0]->Page(), 2);
  EXPECT_EQ(BarsDrawn(F, 0), 5);
  EXPECT_EQ(ButtonColour(F, F->BtnLeft[0]), kUpColour);
  EXPECT_EQ(ButtonColour(F, F->BtnRight[0]), kDisabledColour);
  vxtest::Click(F->BtnRight[0], 10, 10);  // disabled: stays
  EXPECT_EQ(F->Charts[0]->Page(), 2);

  // The accuracy chart pages on its own.
  vxtest::Click(F->Tabs[2], 10, 10);
  EXPECT_EQ(F->PageShown(), "2");
  EXPECT_EQ(F->Charts[1]->Page(), 1);
  EXPECT_EQ(BarsDrawn(F, 1), 15);
  vxtest::SaveGrabPng(Host, OutputPath("stat_accuracy.png"));
}

TEST_F(StatScreenTest, AStudentWithoutResultsGetsEmptyLabelsAndNoBars) {
  // Rows of the other student only.
  Folder->Exec({"INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION) VALUES (10, 1, 999, 50)",
                "INSERT INTO results (ID_GROUP, ID_STUDENT, ID_PRACTICE, CPM, ACCURACY) VALUES (1, 999, 1, 10, 10)",
                "INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES (999, 1, 97, 1, 1, 1)"});
  OpenDataModule();
  TStatForm* F = Open();
  ASSERT_NE(F, nullptr);
  for (TLabel* L : {F->LabelCount, F->LabelTime, F->LabelSpeed, F->LabelAccuracy}) EXPECT_EQ(Text(L), "");
  EXPECT_EQ(F->Series[0]->Count(), 0);
  vxtest::Click(F->Tabs[1], 10, 10);
  EXPECT_EQ(BarsDrawn(F, 0), 0);
  EXPECT_EQ(ButtonColour(F, F->BtnLeft[0]), kDisabledColour);
  EXPECT_EQ(ButtonColour(F, F->BtnRight[0]), kDisabledColour);
}


// The host of the options tests switches its display mode as the program's host does: the page is
// hidden and shown again around the switch.
class FullScreenHost : public TTestHost {
 public:
  using TTestHost::TTestHost;
  bool InFullScreen() const override { return Full; }
  void EnterFullScreenIfNot() override {
    if (!Full) ++Switches;
    Full = true;
  }
  void LeaveFullScreenIfSet() override {
    if (Full) ++Switches;
    Full = false;
  }
  bool Full = false;
  int Switches = 0;
};

class OptionsScreenTest : public CourseScreensTest {
 protected:
  void SetUp() override {
    CourseScreensTest::SetUp();
    std::string Keys = "1A;10;20;40;40\r\n", Chars = "a 1A\r\n";
    // Two layouts; each picture has a width of its own, so the preview tells which it shows.
    WriteBytes("keyboards.zlb",
               MakeArchive({{"keyboards.txt", "Polska;kb1.bmp;kbf1.bmp;keys.txt;chars.txt\r\n"
                                              "Druga;kb2.bmp;kbf2.bmp;keys.txt;chars.txt\r\n"},
                            {"kb1.bmp", MakeTestBmp(638, 210, 0xE0E0E0, false)},
                            {"kbf1.bmp", MakeTestBmp(630, 210, 0xC0E0C0, false)},
                            {"kb2.bmp", MakeTestBmp(620, 210, 0xE0E0E0, false)},
                            {"kbf2.bmp", MakeTestBmp(610, 210, 0xC0E0C0, false)},
                            {"keys.txt", Keys},
                            {"chars.txt", Chars}},
                           false));
    KeybList = new TKeybList(Folder->Path() + "keyboards.zlb");
  }
  void TearDown() override {
    CourseScreensTest::TearDown();
    delete KeybList;
    KeybList = nullptr;
  }
  void OpenHost() {
    DM = nullptr;
    RegisterPageFactory(TPageId::Main, [] { return new TForm(nullptr); });
    FHost = new FullScreenHost(nullptr);
    Host = FHost;
    Host->Show();
    vxtest::Pump();
  }
  TOptionsForm* Open() {
    RegisterOptionsPage();
    Host->ShowPage(TPageId::Options);
    vxtest::Pump();
    return dynamic_cast<TOptionsForm*>(Host->FindPage(TPageId::Options));
  }
  // Every setting of the screen written in range.
  void StoreSettings(int MachineType, int ScrollStyle) {
    TPrgReg R(Folder->IniPath());
    R.WriteInteger("Options", "Keyboard", 1);
    R.WriteBool("Options", "KeybHints", true);
    R.WriteInteger("Options", "BcgColor", 0xFFFFFF);
    R.WriteInteger("Options", "TmpColor", 0x123456);  // not among the pickers' colours
    R.WriteInteger("Options", "ErrColor", 0xFF);
    R.WriteInteger("Options", "CorColor", 0x800000);
    R.WriteString("Options", "LessonFont", "Courier New");  // usually not installed here
    R.WriteBool("Options", "LessonFontBold", true);
    R.WriteInteger("Options", "LessonFontSize", 14);
    R.WriteInteger("Options", "ScrollStyle", ScrollStyle);
    R.WriteInteger("Options", "EndLineMode", 3);
    R.WriteBool("Options", "SoundOn", true);
    R.WriteBool("Options", "SoundKeyOn", false);
    R.WriteBool("Options", "SoundErrorOn", true);
    R.WriteBool("Options", "SoundMetronomOn", false);
    R.WriteInteger("Options", "SoundMachineType", MachineType);
    R.WriteBool("Options", "UseBackspace", false);
    R.WriteBool("Options", "WaitForCorrect", true);
    R.WriteBool("Options", "ShowHintAtStartup", false);
    PrgReg->Reload();
  }
  std::string Ini() const { return ReadBytes("VX2.ini"); }
  FullScreenHost* FHost = nullptr;
};

TEST_F(OptionsScreenTest, OkWithoutChangesLeavesTheSettingsFileByteIdentical) {
  struct Case {
    int MachineType, ScrollStyle;
  };
  OpenHost();
  for (const Case& C : {Case{2, 3}, Case{1, 1}}) {
    SCOPED_TRACE(C.MachineType);
    StoreSettings(C.MachineType, C.ScrollStyle);
    const std::string Before = Ini();
    TOptionsForm* F = Open();
    ASSERT_NE(F, nullptr);
    EXPECT_TRUE(F->RadioEndBoth->Checked());
    EXPECT_EQ(F->ComboBox1->ItemIndex(), 1);
    EXPECT_EQ(F->CBTmpColor->ColorValue(), static_cast<TColor>(0x123456));
    vxtest::Click(F->OKButton, 10, 10);
    vxtest::Pump();
    EXPECT_EQ(Ini(), Before);
    EXPECT_EQ(Host->FindPage(TPageId::Options), nullptr);  // freed on close
  }
}

TEST_F(OptionsScreenTest, CancelStoresNothingAndOkStoresTheEdits) {
  OpenHost();
  StoreSettings(2, 3);
  const std::string Before = Ini();
  TOptionsForm* F = Open();
  ASSERT_NE(F, nullptr);
  vxtest::Click(F->VxCheckbox3, 10, 10);
  EXPECT_EQ(F->PageShown(), "2");
  EXPECT_TRUE(F->VxCheckbox3->Checked());
  EXPECT_FALSE(F->VxCheckbox1->Checked());
  F->VxSpinEdit1->SetValue(30);  // clamped to 24
  F->CBBcgColor->SetColorValue(clYellow);
  vxtest::Click(F->CancelButton, 10, 10);
  vxtest::Pump();
  EXPECT_EQ(Ini(), Before);

  F = Open();
  ASSERT_NE(F, nullptr);
  F->VxSpinEdit1->SetValue(30);
  vxtest::Click(F->VxCheckbox1, 10, 10);
  vxtest::Click(F->RadioScrollLine, 5, 5);
  vxtest::Click(F->SoundKeyCheckBox, 5, 5);  // key sound on: the machine buttons can be chosen
  vxtest::Click(F->SoundOldMachineRadioButton, 5, 5);
  vxtest::Click(F->OKButton, 10, 10);
  vxtest::Pump();
  PrgReg->Reload();
  EXPECT_EQ(PrgReg->ReadInteger("Options", "LessonFontSize", 0), 24);
  EXPECT_EQ(PrgReg->ReadInteger("Options", "ScrollStyle", 0), 1);
  EXPECT_EQ(PrgReg->ReadString("Options", "LessonFont", ""), "Courier New");
  EXPECT_TRUE(PrgReg->ReadBool("Options", "SoundKeyOn", false));
  EXPECT_EQ(PrgReg->ReadInteger("Options", "SoundMachineType", 0), 1);
}

TEST_F(OptionsScreenTest, TheSoundBoxesEnableTheirSubOptions) {
  OpenHost();
  StoreSettings(1, 2);  // sounds on, key sound off
  TOptionsForm* F = Open();
  ASSERT_NE(F, nullptr);
  // On entry: key sound off, so the machine buttons are off too.
  EXPECT_TRUE(F->SoundKeyCheckBox->Enabled());
  EXPECT_FALSE(F->SoundEMachineRadioButton->Enabled());
  vxtest::Click(F->SoundKeyCheckBox, 5, 5);
  EXPECT_TRUE(F->SoundOldMachineRadioButton->Enabled());
  EXPECT_TRUE(F->SoundEMachineRadioButton->Enabled());
  vxtest::Click(F->SoundCheckBox, 5, 5);  // sounds off
  EXPECT_FALSE(F->SoundCheckBox->Checked());
  for (TWinControl* C : std::initializer_list<TWinControl*>{F->SoundKeyCheckBox, F->SoundErrorCheckBox,
                                                             F->SoundMetronomCheckBox, F->SoundEMachineRadioButton,
                                                             F->SoundOldMachineRadioButton})
    EXPECT_FALSE(C->Enabled()) << C->Name();
  vxtest::SaveGrabPng(Host, OutputPath("options_exercise.png"));
}

TEST_F(OptionsScreenTest, TheLayoutPreviewFollowsTheListAndTheFingersBox) {
  OpenHost();
  StoreSettings(1, 2);  // layout 1 with finger colours
  TOptionsForm* F = Open();
  ASSERT_NE(F, nullptr);
  vxtest::Click(F->VxCheckbox2, 10, 10);
  EXPECT_EQ(F->PreviewPicture(), "kbf2.bmp");
  EXPECT_EQ(F->Keyboard->Bitmap()->Width(), 610);
  vxtest::Click(F->CheckBoxColorKeyb, 5, 5);
  EXPECT_EQ(F->PreviewPicture(), "kb2.bmp");
  EXPECT_EQ(F->Keyboard->Bitmap()->Width(), 620);
  F->ComboBox1->SetItemIndex(0);
  F->ComboBox1Change(F->ComboBox1);
  EXPECT_EQ(F->Keyboard->Bitmap()->Width(), 638);
  vxtest::SaveGrabPng(Host, OutputPath("options_keyboard.png"));
  vxtest::Click(F->CancelButton, 10, 10);
  vxtest::Pump();

  // A stored layout beyond the list shows no picture, and OK stores "none".
  PrgReg->WriteInteger("Options", "Keyboard", 5);
  F = Open();
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(F->ComboBox1->ItemIndex(), -1);
  EXPECT_EQ(F->Keyboard->Bitmap()->Width(), 0);
  vxtest::Click(F->OKButton, 10, 10);
  vxtest::Pump();
  EXPECT_EQ(PrgReg->ReadInteger("Options", "Keyboard", 0), -1);
}

TEST_F(OptionsScreenTest, DisplaySwitchKeepsUnsavedEditsAndADeclinedSwitchKeepsTheMode) {
  OpenHost();
  StoreSettings(2, 3);
  TOptionsForm* F = Open();
  ASSERT_NE(F, nullptr);
  vxtest::Click(F->VxCheckbox3, 10, 10);
  EXPECT_TRUE(F->RadioWindow->Checked());
  F->VxSpinEdit1->SetValue(20);
  F->CBBcgColor->SetColorValue(clYellow);
  F->CheckBoxBold->SetChecked(false);

  bool Accept = false;
  ScreenQuestionHook = [&](const std::string& T) {
    Messages.push_back(T);
    return Accept;
  };
  vxtest::Click(F->RadioDirectX, 5, 5);
  EXPECT_FALSE(FHost->Full);
  EXPECT_TRUE(F->RadioWindow->Checked());
  EXPECT_FALSE(F->RadioDirectX->Checked());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Cp1250ToUtf8(Messages[0]), "Pe\xC5\x82ny ekran?");

  Accept = true;
  vxtest::Click(F->RadioDirectX, 5, 5);
  vxtest::Pump();
  EXPECT_TRUE(FHost->Full);
  EXPECT_TRUE(F->RadioDirectX->Checked());
  EXPECT_TRUE(F->Visible());
  // The page was shown again, and still holds what the user changed.
  EXPECT_EQ(F->VxSpinEdit1->Value(), 20);
  EXPECT_EQ(F->CBBcgColor->ColorValue(), clYellow);
  EXPECT_FALSE(F->CheckBoxBold->Checked());
  EXPECT_EQ(F->ComboBox1->Items()->Count(), 2);  // not filled twice
  vxtest::SaveGrabPng(Host, OutputPath("options_screen.png"));

  vxtest::Click(F->RadioWindow, 5, 5);
  vxtest::Pump();
  EXPECT_FALSE(FHost->Full);
  EXPECT_EQ(FHost->Switches, 2);
  EXPECT_TRUE(F->RadioWindow->Checked());
  EXPECT_EQ(F->VxSpinEdit1->Value(), 20);
}


int PdfPages(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  const std::string Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  const std::regex Page("/Type\\s*/Page(?!s)");
  return static_cast<int>(std::distance(std::sregex_iterator(Data.begin(), Data.end(), Page), std::sregex_iterator()));
}

class CertificateScreenTest : public CourseScreensTest {
 protected:
  void SetUp() override {
    CourseScreensTest::SetUp();
    Folder->Exec({Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES "
                         "(99, 1, %d, 10, 50)", {Student}),
                  Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES "
                         "(160.5, 1, %d, 10, 98.126)", {Student})});
    OpenDataModule();
    RegisterCertificatePage();
    RegisterPageFactory(TPageId::Studding, [] { return new TForm(nullptr); });
  }
  void TearDown() override {
    TCertificateForm::ExecutePrintDialog = nullptr;
    TCertificateForm::StepDone = nullptr;
    CourseScreensTest::TearDown();
  }
  TCertificateForm* Open(const std::string& Template) {
    Host->ShowPage(TPageId::Studding);
    Host->SetReturnPage(Host->FindPage(TPageId::Studding));
    Host->ShowPage(TPageId::Certificate);
    auto* F = dynamic_cast<TCertificateForm*>(Host->FindPage(TPageId::Certificate));
    if (F) F->Prepare(Template);
    vxtest::Pump();
    return dynamic_cast<TCertificateForm*>(Host->FindPage(TPageId::Certificate));
  }
  void SetStudent(const std::string& Name, const std::string& Sex) {
    DM->TbStudent->Edit();
    DM->TbStudent->FieldByName("NAME")->SetAsString(Name);
    DM->TbStudent->FieldByName("SEX")->SetAsString(Sex);
    DM->TbStudent->Post();
  }
};

TEST_F(CertificateScreenTest, MarkersTakeTheStudentsValuesAndTheSexPhrases) {
  WriteBytes("cert/t.htm", "<p>#NAME|#date|#course|#cpm|#accuracy|#sex1|#Sex2|#SEX3</p>");
  const std::string Today = DateToStr(Date());
  struct Case {
    std::string Sex, Phrases;
  };
  for (const Case& C : {Case{"M", "uko\xF1\x63zy\xB3|Pan|osi\xB9gn\xB9\xB3"},
                        Case{"F", "uko\xF1\x63zy\xB3\x61|Pani|osi\xB9gn\xEA\xB3\x61"},
                        Case{"m", "uko\xF1\x63zy\xB3\x61|Pani|osi\xB9gn\xEA\xB3\x61"}}) {
    SCOPED_TRACE(C.Sex);
    SetStudent("Ala Kot", C.Sex);
    TCertificateForm* F = Open("cert\\t.htm");
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(F->Document(), "<p>Ala Kot|" + Today + "|Kurs pierwszy|160,50|98,13|" + C.Phrases + "</p>");
    vxtest::Click(F->BtnOK, 10, 10);
    vxtest::Pump();
  }
}

TEST_F(CertificateScreenTest, ValuesAreEscapedAndNeverReadAsMarkers) {
  WriteBytes("cert/t.htm", "<p>#name</p><p>#date</p>");
  SetStudent("A<b>&c #date", "F");
  TCertificateForm* F = Open("cert/t.htm");
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(F->Document(), "<p>A&lt;b&gt;&amp;c #date</p><p>" + DateToStr(Date()) + "</p>");
  // The table of markers on its own: longest marker first, text between kept.
  EXPECT_EQ(FillCertificate("#SEX1#sex#Name?", {{"#sex1", "x"}, {"#name", "\"n\""}}), "x#sex&quot;n&quot;?");
}

TEST_F(CertificateScreenTest, PrintsOnePageToAPdfFileAndOkCountsTheStep) {
  SetStudent("Jan", "M");
  TCertificateForm* F = Open("courses/k1/cert.htm");
  EXPECT_EQ(F, nullptr);  // no template: a message and back to the course screen
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Host->Shown(), Host->FindPage(TPageId::Studding));

  // The shipped template when the build has it, else a small one.
  const std::string Shipped = std::string(VX_DIST_DIR) + "/courses/kurs1/certyfikat.htm";
  std::string Template = "<html><body><p>#sex1 #name</p><p>#course</p></body></html>";
  if (FileExists(Shipped)) {
    std::ifstream In(Shipped, std::ios::binary);
    Template.assign(std::istreambuf_iterator<char>(In), {});
  }
  WriteBytes("courses/k1/cert.htm", Template);
  UseShippedPictures();
  F = Open("courses\\k1\\cert.htm");
  ASSERT_NE(F, nullptr);
  vxtest::SaveGrabPng(Host, OutputPath("certificate_screen.png"));
  const std::string Pdf = Folder->Path() + "cert.pdf";
  Printer()->SetOutputFileName(Pdf);
  int Asked = 0;
  TCertificateForm::ExecutePrintDialog = [&](TPrintDialog& D) {
    ++Asked;
    EXPECT_EQ(D.MaxPage, 9999);  // a page range can be chosen
    D.PrintRange = prPageNums;
    D.FromPage = 1;
    D.ToPage = 1;
    return true;
  };
  vxtest::Click(F->BtnPrint, 10, 10);
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(PdfPages(Pdf), 1);
  std::filesystem::copy_file(Pdf, OutputPath("certificate.pdf"), std::filesystem::copy_options::overwrite_existing);

  int Done = 0;
  TCertificateForm::StepDone = [&] { ++Done; };
  vxtest::Click(F->BtnOK, 10, 10);
  vxtest::Pump();
  EXPECT_EQ(Done, 1);
  EXPECT_EQ(Host->Shown(), Host->FindPage(TPageId::Studding));
  EXPECT_EQ(Host->FindPage(TPageId::Certificate), nullptr);
}


std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> L;
  std::stringstream In(Text);
  for (std::string Line; std::getline(In, Line);) L.push_back(Line);
  return L;
}

const char* const kCourseScript =
    "#TITLE=Kurs pierwszy\r\n"
    "#NOTE=courses/k1/note.htm\r\n"
    "#AUTHOR=ignored\r\n"
    "/ a comment~with~tildes\r\n"
    "1~Before any lesson~HTML|x.htm\r\n"
    "\r\n"
    "@1~Lekcja 1\r\n"
    "1~Strona~HTML|courses/k1/w1.htm\r\n"
    "@x~Not a lesson\r\n"
    "no tildes at all\r\n"
    "2~Druga strona~HTML|courses/k1/w2.htm\r\n"
    "@2~Lekcja 2\r\n"
    "7~Gra~Bomber|asdf|jk|2\r\n"
    "abc~Not a step~HTML|a.htm\r\n"
    "8~Certyfikat~Certificate|courses/k1/cert.htm\r\n";

TEST(CourseScript, LessonsStepsAndSkippedLines) {
  const TCourseScript S = ParseCourseScript(SplitLines(kCourseScript));
  EXPECT_EQ(S.Title, "Kurs pierwszy");
  EXPECT_EQ(S.Note, "courses/k1/note.htm");
  ASSERT_EQ(S.Lessons.size(), 2u);
  EXPECT_EQ(S.Lessons[0].Id, 1);
  EXPECT_EQ(S.Lessons[0].Name, "Lekcja 1");
  ASSERT_EQ(S.Lessons[0].Exercises.size(), 2u);  // the step before the first lesson belongs to none
  EXPECT_EQ(S.Lessons[0].Exercises[1].Name, "Druga strona");
  ASSERT_EQ(S.Lessons[1].Exercises.size(), 2u);
  const TCourseStep& G = S.Lessons[1].Exercises[0];
  EXPECT_EQ(G.Id, 7);
  EXPECT_EQ(G.Params, "Bomber|asdf|jk|2");
  EXPECT_EQ(G.Type, "Bomber");
  EXPECT_EQ(SplitStepParams(G.Params), (std::vector<std::string>{"Bomber", "asdf", "jk", "2", "", "", "", "", "", ""}));
  EXPECT_EQ(S.Skipped, (std::vector<std::string>{"line 9: @x~Not a lesson", "line 10: no tildes at all",
                                                  "line 14: abc~Not a step~HTML|a.htm"}));
  EXPECT_EQ(CourseNumberOfMember("INDEX_07.SCN"), 7);
  EXPECT_EQ(CourseNumberOfMember("INDEX_xy.SCN"), -1);
  EXPECT_EQ(CourseScriptMember(7), "INDEX_07.SCN");
}

class CourseScreenTest : public CourseScreensTest {
 protected:
  void SetUp() override {
    CourseScreensTest::SetUp();
    WriteScenarioArchive({{"INDEX_01.SCN", kCourseScript},
                          {"INDEX_07.SCN", "#TITLE=Kurs si\xF3\x64my\r\n#NOTE=courses/k7/none.htm\r\n@1~L\r\n1~S~HTML|a\r\n"}});
    WriteBytes("courses/k1/note.htm", "<html><body><p>Opis kursu</p></body></html>");
    WriteBytes("courses/k1/w1.htm", "<html><body><p>Strona 1</p></body></html>");
    WriteBytes("courses/k1/cert.htm", "<html><body><p>#sex1 #name</p></body></html>");
    RegisterCoursePages();
    RegisterLessonHtmlPage();
    TStuddingForm::StartBomberStep = [this](const std::string& A, const std::string& P, int L) {
      GameCalls.push_back(A + "|" + P + "|" + std::to_string(L));
      if (GameReportsEnd) Course()->NextExercise();  // a game that ends at once
      return GameStarts;
    };
    TStuddingForm::StartGalleryStep = TStuddingForm::StartBomberStep;
  }
  void TearDown() override {
    TStuddingForm::StartBomberStep = nullptr;
    TStuddingForm::StartGalleryStep = nullptr;
    CourseScreensTest::TearDown();
  }
  TStuddingForm* Course() const { return dynamic_cast<TStuddingForm*>(Host->FindPage(TPageId::Studding)); }
  TStuddingForm* OpenCourse() {
    Host->ShowPage(TPageId::Studding);
    vxtest::Pump();
    return Course();
  }
  // Starts step Index of the lesson on view with the start button.
  void Start(int Index) {
    Course()->ExerciseListBox->SetItemIndex(Index);
    vxtest::Click(Course()->BtnStart, 10, 10);
    vxtest::Pump();
  }
  // Ends the HTML page on view with its OK button.
  void PageOk() {
    auto* P = dynamic_cast<TLessonHtmlForm*>(Host->FindPage(TPageId::LessonHtml));
    ASSERT_NE(P, nullptr);
    ASSERT_EQ(Host->Shown(), P);
    vxtest::Click(P->BtnOK, 10, 10);
    vxtest::Pump();
  }
  std::vector<std::string> Position() const { return Rows("course", "ID_STUDENT;ID_COURSE;ID_LESSON;ID_EXERCISE"); }
  std::vector<std::string> Exercises() const { return Rows("exercise", "ID_LESSON;ID_EXERCISE;COURSE;STATE;NAME;TYPE"); }
  std::string Pos(int C, int L, int E) const {
    return std::to_string(Student) + "|" + std::to_string(C) + "|" + std::to_string(L) + "|" + std::to_string(E);
  }
  std::vector<std::string> GameCalls;
  bool GameStarts = true;
  bool GameReportsEnd = false;
};

TEST_F(CourseScreenTest, TheCourseChoiceSelectsByCourseNumberAndStartsTheCourse) {
  Folder->Exec({Format("UPDATE student SET COURSE = 7 WHERE ID_STUDENT = %d", {Student})});
  OpenDataModule();
  Host->ShowPage(TPageId::Scenario);
  vxtest::Pump();
  auto* F = dynamic_cast<TScenarioForm*>(Host->FindPage(TPageId::Scenario));
  ASSERT_NE(F, nullptr);
  ASSERT_EQ(F->ListBox->Items()->Count(), 2);
  EXPECT_EQ(F->ListBox->Items()->Strings(0), "Kurs pierwszy");
  EXPECT_EQ(F->ListBox->ItemIndex(), 1);  // course 7 is the second member
  ASSERT_EQ(Messages.size(), 1u);         // its description page is missing: said, not fatal
  F->ListBox->SetItemIndex(0);
  F->ListBoxClick(F->ListBox);
  EXPECT_EQ(Messages.size(), 1u);
  UseShippedPictures();
  vxtest::SaveGrabPng(Host, OutputPath("course_choice.png"));

  F->ListBox->SetItemIndex(1);
  vxtest::Click(F->BtnOK, 10, 10);
  vxtest::Pump();
  EXPECT_EQ(Rows("student", "COURSE"), (std::vector<std::string>{"7"}));
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(7, 1, 1)}));
  ASSERT_NE(Course(), nullptr);
  EXPECT_EQ(Host->Shown(), Course());
  EXPECT_EQ(Text(Course()->ScenarioLabel), "Kurs si\xC3\xB3\x64my");
}

TEST_F(CourseScreenTest, DoneStepsAreRecordedOnceAndMoveThePositionToTheCertificate) {
  OpenDataModule();
  TStuddingForm* C = OpenCourse();
  ASSERT_NE(C, nullptr);
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 1, 1)}));  // a course without a row starts at its beginning
  EXPECT_EQ(Text(C->LessonLabel), "Lekcja 1");

  Start(0);
  PageOk();
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 1, 2)}));
  EXPECT_EQ(Exercises(), (std::vector<std::string>{"1|1|1|X|Strona|HTML"}));
  EXPECT_EQ(Rows("lesson", "ID_LESSON;COURSE;STATE"), (std::vector<std::string>{"1|1|P"}));
  EXPECT_EQ(Host->Shown(), C);
  EXPECT_EQ(C->ExerciseListBox->Items()->Strings(0), "+Strona");
  EXPECT_EQ(C->ExerciseListBox->ItemIndex(), 1);
  UseShippedPictures();
  vxtest::SaveGrabPng(Host, OutputPath("course_screen.png"));

  // An earlier step done again records nothing and keeps the position.
  Start(0);
  PageOk();
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 1, 2)}));
  EXPECT_EQ(Exercises().size(), 1u);

  Start(1);
  PageOk();
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 2, 1)}));
  EXPECT_EQ(Text(C->LessonLabel), "Lekcja 2");

  // The certificate is refused while the student stands before it.
  Start(1);
  EXPECT_EQ(Host->FindPage(TPageId::Certificate), nullptr);
  EXPECT_EQ(Host->Shown(), C);

  GameReportsEnd = true;
  Start(0);
  EXPECT_EQ(GameCalls, (std::vector<std::string>{"asdf|jk|2"}));
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 2, 2)}));
  Host->ShowReturnPage();  // the game's last page goes back to the course
  EXPECT_EQ(Host->Shown(), C);

  Start(1);
  auto* Cert = dynamic_cast<TCertificateForm*>(Host->FindPage(TPageId::Certificate));
  ASSERT_NE(Cert, nullptr);
  EXPECT_EQ(Host->Shown(), Cert);
  vxtest::Click(Cert->BtnOK, 10, 10);
  vxtest::Pump();
  // The last step of the last lesson is recorded; the position stays on it.
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 2, 2)}));
  EXPECT_EQ(Exercises().size(), 4u);
  EXPECT_EQ(Exercises().back(), "2|2|1|X|Certyfikat|Certificate");
  EXPECT_EQ(Host->Shown(), C);
  EXPECT_EQ(C->ExerciseListBox->Items()->Strings(1), "+Certyfikat");
}

TEST_F(CourseScreenTest, GameStepsThatCannotStartStayOnTheCourseScreenAndRecordNothing) {
  WriteScenarioArchive({{"INDEX_01.SCN", "#TITLE=K\r\n@1~L\r\n1~Bomber~Bomber|a|b|4\r\n2~Bomber0~Bomber|a|b|x\r\n"
                                         "3~Galeria~Gallery|asdf|jk|1\r\n"}});
  OpenDataModule();
  TStuddingForm* C = OpenCourse();
  ASSERT_NE(C, nullptr);
  for (int Step : {0, 1}) {
    Start(Step);  // a bomber level outside 1..3
    EXPECT_EQ(Host->Shown(), C);
  }
  EXPECT_TRUE(GameCalls.empty());
  EXPECT_EQ(Messages.size(), 2u);

  // The gallery refuses to start (too few words) and reports its end meanwhile: the step stays open.
  Folder->Exec({Format("UPDATE course SET ID_EXERCISE = 3 WHERE ID_STUDENT = %d", {Student})});
  GameStarts = false;
  GameReportsEnd = true;
  Start(2);
  EXPECT_EQ(GameCalls, (std::vector<std::string>{"asdf|jk|1"}));
  EXPECT_EQ(Host->Shown(), C);
  EXPECT_TRUE(C->Visible());
  EXPECT_TRUE(Exercises().empty());
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 1, 3)}));
}


TEST_F(CourseScreenTest, ExerciseStepsOpenTheLessonScreenWithTheLessonAndStepNames) {
  WriteScenarioArchive({{"INDEX_01.SCN", "#TITLE=K\r\n@1~Lekcja A\r\n1~Tekst~ExFix|courses\\k1\\l.txt\r\n"
                                         "2~Slowa~ExWords|zle|asdf|as\r\n3~Litery~ExRandom|40|asdf|as\r\n"}});
  WriteBytes("courses/k1/l.txt", "asdf jkl;\r\n");
  OpenDataModule();
  RegisterExercisePages();
  std::vector<std::string> LessonMessages;
  TStdLessonForm::ShowLessonMessage = [&](const std::string& T) { LessonMessages.push_back(T); };
  TStuddingForm* C = OpenCourse();
  ASSERT_NE(C, nullptr);
  Start(0);
  auto* L = dynamic_cast<TStdLessonForm*>(Host->FindPage(TPageId::StdLesson));
  ASSERT_NE(L, nullptr);
  EXPECT_EQ(Host->Shown(), L);
  EXPECT_EQ(L->Desc, "Lekcja A");
  EXPECT_EQ(L->Info, "Tekst");
  // The lesson screen's end of an exercise reaches the course.
  ASSERT_TRUE(TStdLessonForm::NextExercise);
  TStdLessonForm::NextExercise();
  EXPECT_EQ(Position(), (std::vector<std::string>{Pos(1, 1, 2)}));
  Host->ShowReturnPage();

  Start(1);  // a count that is no number: refused on the course screen
  EXPECT_EQ(Host->Shown(), C);
  EXPECT_EQ(Messages.size(), 1u);
  Start(2);
  EXPECT_EQ(Host->Shown(), Host->FindPage(TPageId::StdLesson));
  EXPECT_EQ(dynamic_cast<TStdLessonForm*>(Host->Shown())->Info, "Litery");
  TStdLessonForm::ShowLessonMessage = nullptr;
}

// Every screen with the installation's own pictures, texts and first course, for a look at them.
class ShippedLooksTest : public CourseScreensTest {};

TEST_F(ShippedLooksTest, EveryScreenDrawnWithTheShippedContent) {
  const std::string Dist = std::string(VX_DIST_DIR) + "/";
  if (!UseShippedPictures() || !FileExists(Dist + "scenario.zlb")) GTEST_SKIP() << "the build has no content";
  std::filesystem::copy_file(Dist + "scenario.zlb", Folder->Path() + "scenario.zlb",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy(Dist + "courses", Folder->Path() + "courses",
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  KeybList = new TKeybList(Dist + "keyboards.zlb");
  std::vector<std::string> Rows = {
      Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES (182.4, 1, %d, 1312, 97.3)",
             {Student}),
      Format("INSERT INTO results (ID_GROUP, ID_STUDENT, ID_PRACTICE, CPM, ACCURACY) VALUES (1, %d, 1, 182.4, 97.3)",
             {Student})};
  const std::string Keys = "\x0D asdfghjkl;eiruotyp";
  for (size_t I = 0; I < Keys.size(); ++I)
    Rows.push_back(Format("INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES "
                          "(%d, 1, %d, 9, %d, %d)",
                          {Student, static_cast<int>(static_cast<unsigned char>(Keys[I])), 140 + int(I * 37 % 120),
                           88 + int(I * 7 % 12)}));
  Folder->Exec(Rows);
  OpenDataModule();
  RegisterCoursePages();
  RegisterLessonHtmlPage();

  Host->ShowPage(TPageId::Stat);
  vxtest::Pump();
  auto* S = dynamic_cast<TStatForm*>(Host->FindPage(TPageId::Stat));
  ASSERT_NE(S, nullptr);
  vxtest::SaveGrabPng(Host, OutputPath("look_stat_summary.png"));
  vxtest::Click(S->Tabs[1], 10, 10);
  vxtest::SaveGrabPng(Host, OutputPath("look_stat_speed.png"));
  vxtest::Click(S->BtnClose, 10, 10);
  vxtest::Pump();

  Host->ShowPage(TPageId::Options);
  vxtest::Pump();
  auto* O = dynamic_cast<TOptionsForm*>(Host->FindPage(TPageId::Options));
  ASSERT_NE(O, nullptr);
  vxtest::SaveGrabPng(Host, OutputPath("look_options_0.png"));
  vxtest::Click(O->VxCheckbox2, 10, 10);
  vxtest::SaveGrabPng(Host, OutputPath("look_options_1.png"));
  vxtest::Click(O->VxCheckbox3, 10, 10);
  vxtest::SaveGrabPng(Host, OutputPath("look_options_2.png"));
  vxtest::Click(O->CancelButton, 10, 10);
  vxtest::Pump();

  Host->ShowPage(TPageId::Scenario);
  vxtest::Pump();
  vxtest::SaveGrabPng(Host, OutputPath("look_course_choice.png"));
  auto* Ch = dynamic_cast<TScenarioForm*>(Host->FindPage(TPageId::Scenario));
  ASSERT_NE(Ch, nullptr);
  vxtest::Click(Ch->BtnOK, 10, 10);
  vxtest::Pump();
  auto* C = dynamic_cast<TStuddingForm*>(Host->FindPage(TPageId::Studding));
  ASSERT_NE(C, nullptr);
  EXPECT_GE(C->Script.Lessons.size(), 5u);
  EXPECT_TRUE(C->Script.Skipped.empty());
  vxtest::SaveGrabPng(Host, OutputPath("look_course.png"));

  Host->ShowPage(TPageId::Certificate);
  auto* Cert = dynamic_cast<TCertificateForm*>(Host->FindPage(TPageId::Certificate));
  ASSERT_NE(Cert, nullptr);
  ASSERT_TRUE(Cert->Prepare("courses\\kurs1\\certyfikat.htm"));
  vxtest::Pump();
  vxtest::SaveGrabPng(Host, OutputPath("look_certificate.png"));
  EXPECT_TRUE(Messages.empty()) << Messages.front();  // every shipped page and template was found
  delete KeybList;
  KeybList = nullptr;
}

TEST_F(ShippedLooksTest, TheFirstShippedCourseCanBeWorkedThroughToTheCertificate) {
  const std::string Dist = std::string(VX_DIST_DIR) + "/";
  if (!UseShippedPictures() || !FileExists(Dist + "scenario.zlb")) GTEST_SKIP() << "the build has no content";
  for (const char* F : {"scenario.zlb", "vx.zlb", "keyboards.zlb", "sounds.zlb"})
    std::filesystem::copy_file(Dist + F, Folder->Path() + F, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy(Dist + "courses", Folder->Path() + "courses",
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  KeybList = new TKeybList(Folder->Path() + "keyboards.zlb");
  Folder->Exec({Format("INSERT INTO practice (CPM, ID_GROUP, ID_STUDENT, DURATION, ACCURACY) VALUES "
                       "(182.4, 1, %d, 1312, 97.3)", {Student})});
  OpenDataModule();
  RegisterCoursePages();
  RegisterExercisePages();
  std::vector<std::string> LessonMessages;
  TStdLessonForm::ShowLessonMessage = [&](const std::string& T) { LessonMessages.push_back(T); };
  std::vector<std::string> Games;
  TStuddingForm::StartBomberStep = [&](const std::string& A, const std::string& P, int L) {
    Games.push_back("Bomber|" + A + "|" + P + "|" + std::to_string(L));
    return true;
  };
  TStuddingForm::StartGalleryStep = [&](const std::string& A, const std::string& P, int L) {
    Games.push_back("Gallery|" + A + "|" + P + "|" + std::to_string(L));
    return true;
  };
  // The lesson files' instruction boxes are closed as they come up.
  bool Closing = true;
  int Boxes = 0;
  std::function<void()> CloseBoxes = [&] {
    if (!Closing) return;
    for (int I = 0; I < Screen->FormCount(); ++I)
      if (TForm* F = Screen->Forms(I); F && F->Modal()) {
        ++Boxes;
        F->SetModalResult(mrOk);
        break;
      }
    Application->QueueCall(CloseBoxes);
  };
  Application->QueueCall(CloseBoxes);
  Host->ShowPage(TPageId::Studding);
  vxtest::Pump();
  auto* C = dynamic_cast<TStuddingForm*>(Host->FindPage(TPageId::Studding));
  ASSERT_NE(C, nullptr);
  int Steps = 0;
  size_t GameSteps = 0;
  for (const TCourseLesson& L : C->Script.Lessons) {
    Steps += static_cast<int>(L.Exercises.size());
    for (const TCourseStep& S : L.Exercises) GameSteps += S.Type == "Bomber" || S.Type == "Gallery";
  }
  bool Certified = false;
  for (int Done = 0; Done < Steps && !Certified; ++Done) {
    const TCourseStep Step = C->Lesson()->Exercises[static_cast<size_t>(C->CurExercise - 1)];
    SCOPED_TRACE(Step.Name);
    ASSERT_EQ(C->ExerciseListBox->ItemIndex(), C->CurExercise - 1);  // the next step is the one selected
    vxtest::Click(C->BtnStart, 10, 10);
    vxtest::Pump();
    if (Step.Type == "HTML") {
      auto* P = dynamic_cast<TLessonHtmlForm*>(Host->Shown());
      ASSERT_NE(P, nullptr);
      vxtest::Click(P->BtnOK, 10, 10);
    } else if (Step.Type == "ExFix" || Step.Type == "ExWords" || Step.Type == "ExRandom") {
      auto* L = dynamic_cast<TStdLessonForm*>(Host->Shown());
      ASSERT_NE(L, nullptr);
      EXPECT_GT(L->Table->SourceLines->Count(), 0);
      TStdLessonForm::NextExercise();  // as the lesson screen does after its results
      Host->ShowReturnPage();
    } else if (Step.Type == "Bomber" || Step.Type == "Gallery") {
      TStdLessonForm::NextExercise();  // the game's end
      Host->ShowReturnPage();
    } else if (Step.Type == "Certificate") {
      auto* Cert = dynamic_cast<TCertificateForm*>(Host->Shown());
      ASSERT_NE(Cert, nullptr);
      EXPECT_NE(Cert->Document().find("Ala"), std::string::npos);
      vxtest::Click(Cert->BtnOK, 10, 10);
      Certified = true;
    } else {
      ADD_FAILURE() << "unknown step " << Step.Params;
    }
    vxtest::Pump();
    ASSERT_EQ(Host->Shown(), C);
  }
  Closing = false;
  vxtest::Pump();
  EXPECT_TRUE(Certified);
  EXPECT_GT(Boxes, 0);
  EXPECT_EQ(static_cast<int>(Rows("exercise", "STATE").size()), Steps);
  EXPECT_EQ(Games.size(), GameSteps);
  EXPECT_GT(GameSteps, 0u);
  EXPECT_TRUE(LessonMessages.empty()) << LessonMessages.front();
  EXPECT_TRUE(Messages.empty()) << Messages.front();
  TStdLessonForm::ShowLessonMessage = nullptr;
  TStuddingForm::StartBomberStep = nullptr;
  TStuddingForm::StartGalleryStep = nullptr;
  delete Host;
  Host = nullptr;
  delete KeybList;
  KeybList = nullptr;
}

}  // namespace
