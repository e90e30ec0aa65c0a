// The road of one exercise through the pages: the selection lists and the weakest keys, the
// lesson screen typed with real key input on an injected clock, the results screen, and what is
// stored. The pages run in a small host window; the database is an installation folder's.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <set>

#include "controls/spinedit.h"
#include "controls/fileedit.h"
#include "controls/vxbutton.h"
#include "controls/vxcheckbox.h"
#include "controls/slider.h"
#include "dx/dxsound.h"
#include "htmlview/htmlview.h"
#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/testing.h"
#include "tutor/OptionsReg.h"
#include "tutor/app/CommentBuilder.h"
#include "tutor/app/Keyboard.h"
#include "tutor/app/LessonHtml.h"
#include "tutor/app/ResultsForm.h"
#include "tutor/app/SelectForm.h"
#include "tutor/app/StdLesson.h"
#include "tutor/app/TypingTable.h"
#include "tutor/app/tests/exercise_road_host.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/KeybList.h"
#include "tutor/core/Levels.h"
#include "tutor/core/tests/install_fixture.h"
#include "tutor/translations.h"

namespace {

uint32_t FakeNow = 0;
uint32_t FakeTick() { return FakeNow; }

void WriteBytes(const std::string& Path, const std::string& Bytes) {
  ForceDirectories(ExtractFilePath(Path));
  std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

// A short PCM wave (8-bit mono) for the lesson's sound archive.
std::string MakeWave() {
  const uint32_t N = 800;
  std::string W = "RIFF";
  auto U32 = [&](uint32_t V) { for (int I = 0; I < 4; ++I) W += static_cast<char>((V >> (8 * I)) & 0xFF); };
  auto U16 = [&](uint16_t V) { W += static_cast<char>(V & 0xFF); W += static_cast<char>(V >> 8); };
  U32(36 + N);
  W += "WAVEfmt ";
  U32(16); U16(1); U16(1); U32(8000); U32(8000); U16(1); U16(8);
  W += "data";
  U32(N);
  for (uint32_t I = 0; I < N; ++I) W += static_cast<char>(I % 16 < 8 ? 0x60 : 0xA0);
  return W;
}

class ExerciseRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TInstallOptions O;
    O.SharedGroup = "1";
    Folder = std::make_unique<TInstallFolder>(O);
    const std::string P = Folder->Path();
    SetProgramFolder(P);
    FreePrgReg();
    PrgReg = new TPrgReg(Folder->IniPath());
    Translations->Lines().SetText(
        "results=wyniki\ncpm= zn./min\nexercises=wyb\xF3r \xE6wicze\xF1\nStandard Exercises=Lekcje kursu\n"
        "Mankografs=Wierszyki\nDrills=\xC6wiczenia palc\xF3w\nTexts=Teksty\nOwned Texsts=W\xB3\x61sny tekst\n"
        "Word Generator=Generator s\xB3\xF3w\nLetters Generator=Generator liter\nLABEL001=metronom: %d/min\n"
        "Instruction=Instrukcja\nERR004=Brak tekstu do przepisania.\n"
        "ERR005=Wyniki tego \xE6wiczenia nie zosta\xB3y zapisane.\n");
    // One layout whose keys cover the home row, e and the two end keys.
    std::string Keys, Chars;
    int X = 0;
    for (const char* K : {"1A", "1S", "1D", "1F", "1J", "1K", "1L", "1;", "2E", "SP", "EN"}) {
      Keys += std::string(K) + ";" + std::to_string(10 + X) + ";20;40;40\r\n";
      X += 50;
    }
    for (const char* C : {"a 1A", "s 1S", "d 1D", "f 1F", "j 1J", "k 1K", "l 1L", "; 1;", "e 2E", "  SP", "\xB6 EN"})
      Chars += std::string(C) + "\r\n";
    WriteBytes(P + "keyboards.zlb",
               MakeArchive({{"keyboards.txt", "Polska;kb.bmp;kbf.bmp;keys.txt;chars.txt\r\n"},
                            {"kb.bmp", MakeTestBmp(638, 210, 0xE0E0E0, false)},
                            {"kbf.bmp", MakeTestBmp(638, 210, 0xC0E0C0, false)},
                            {"keys.txt", Keys},
                            {"chars.txt", Chars}},
                           false));
    std::string Words;
    for (const char* W : {"sad", "fad", "las", "kasa", "sala", "lek", "dal", "jad", "fala", "ale", "jeleda", "falka",
                          "sakle", "kefal", "lasek", "deska", "jesa", "kasza"})
      Words += std::string(W) + "\r\n";
    WriteBytes(P + "vx.zlb", MakeArchive({{"levels.txt", "[levels]\r\n"}, {"words.txt", Words}}, false));
    WriteBytes(P + "sounds.zlb", MakeArchive({{"metronom1.wav", MakeWave()}, {"error1.wav", MakeWave()},
                                              {"enter1.wav", MakeWave()}, {"key1.wav", MakeWave()}},
                                             false));
    WriteBytes(P + "courses/full/l_b.txt", "#title=Beta\r\nfdsa\r\n");
    WriteBytes(P + "courses/full/L_A.TXT", "#title=Alfa\r\nasdf jkl;\r\nfdsa ;lkj\r\n");
    WriteBytes(P + "courses/texts/mt_1.txt", "#title=Tekst\r\n#HTMLInfo=help/mt_1.htm\r\nala ma kota\r\n");
    WriteBytes(P + "help/mt_1.htm", "<html><body><p>Opis tekstu</p></body></html>");
    for (const char* H : {"help/exerc_tab.htm", "help/text_tab.htm", "help/fingers_tab.htm"})
      WriteBytes(P + H, "<html><body><p>Zak\xB3\x61\x64ka</p></body></html>");
    KeybList = new TKeybList(P + "keyboards.zlb");
    TStringList Levels;
    Levels.SetText("cpm1=0,100,wolno,x\ncpm2=100,-1,szybko,x\nacc1=0,90,s\xB3\x61\x62o,x\nacc2=90,-1,dobrze,x\n");
    LoadLevelsFromLines(Levels);

    Student = Folder->AddStudent("Ala", 1, "W");
    DM = new TDM(nullptr);
    DM->DBLocal = false;
    DM->DBPath = Folder->DataPath();
    DM->Open();
    ASSERT_EQ(DM->Logon(1, Student), 0);

    OldTick = SetTickSource(FakeTick);
    FakeNow = 1000;
    TStdLessonForm::OnPlayWave = [this](int W) { Played.push_back(W); };
    TStdLessonForm::ShowLessonMessage = [this](const std::string& T) { Messages.push_back(T); };
    TSelectForm::ShowSelectMessage = [this](const std::string& T) { Messages.push_back(T); };
    RegisterExercisePages();
    RegisterPageFactory(TPageId::Main, [] { return new TForm(nullptr); });
    Host = new TTestHost(nullptr);
    Host->Show();
    vxtest::Pump();
  }

  void TearDown() override {
    delete Host;
    vxtest::Pump();
    TStdLessonForm::OnPlayWave = nullptr;
    TStdLessonForm::ShowLessonMessage = nullptr;
    TSelectForm::ShowSelectMessage = nullptr;
    SetTickSource(OldTick);
    if (DM) {
      DM->Close();
      delete DM;
      DM = nullptr;
    }
    delete KeybList;
    KeybList = nullptr;
    FreePrgReg();
    SetProgramFolder("");
  }

  TSelectForm* OpenSelect() {
    Host->ShowPage(TPageId::Select);
    vxtest::Pump();
    return dynamic_cast<TSelectForm*>(Host->FindPage(TPageId::Select));
  }
  // The lesson page opened over the selection, as its start does.
  TStdLessonForm* OpenLesson(TSelectForm* S) {
    Host->SetReturnPage(S);
    Host->ShowPage(TPageId::StdLesson);
    return Lesson();
  }
  TStdLessonForm* Lesson() const { return dynamic_cast<TStdLessonForm*>(Host->FindPage(TPageId::StdLesson)); }
  TResultsForm* Results() const { return dynamic_cast<TResultsForm*>(Host->FindPage(TPageId::Results)); }

  // One key into the lesson's table, StepMs after the one before; '\n' is Enter, '\b' backspace.
  void Key(char C, uint32_t StepMs = 200) {
    FakeNow += StepMs;
    TTypingTable* T = Lesson()->Table;
    if (C == '\n') vxtest::KeyStroke(T, VK_RETURN, "\r");
    else if (C == '\b') vxtest::KeyStroke(T, VK_BACK, "\b");
    else if (C == ';') vxtest::KeyStroke(T, VK_OEM_1, ";");
    else vxtest::TypeText(T, std::string(1, C));
  }
  void Keys(const std::string& S, uint32_t StepMs = 200) {
    for (char C : S) {
      if (!Lesson()) return;  // finished
      Key(C, StepMs);
    }
  }
  // Types the whole exercise on view as it stands, the characters at the positions Wrong (counted
  // over the keys) mistyped.
  int TypeExercise(const std::set<int>& Wrong) {
    TTypingTable* T = Lesson()->Table;
    std::string All;
    for (int L = 0; L < T->SourceLines->Count(); ++L) All += T->SourceLines->Strings(L) + "\n";
    for (int I = 0; I < static_cast<int>(All.size()); ++I) {
      char C = All[I];
      if (Wrong.count(I)) C = C == 'q' ? 'z' : 'q';
      Key(C);
    }
    vxtest::Pump();
    return static_cast<int>(All.size());
  }
  std::string Caption(TLabel* L) const { return Cp1250ToUtf8(L->Caption()); }
  std::vector<std::string> Rows(const std::string& T, const std::string& F) const { return Folder->Rows(T, F); }

  std::unique_ptr<TInstallFolder> Folder;
  int Student = -1;
  TTestHost* Host = nullptr;
  TTickSource OldTick = nullptr;
  std::vector<int> Played;
  std::vector<std::string> Messages;
};

TEST_F(ExerciseRoadTest, ALessonFileTypedWithThreeErrorsIsStoredAndShownOnTheResultsScreen) {
  TSelectForm* S = OpenSelect();
  ASSERT_NE(S, nullptr);
  ASSERT_EQ(S->ListBox1->Count(), 2);
  EXPECT_EQ(S->ListBox1->Items()->Strings(0), "Alfa");  // L_A.TXT before l_b.txt, under their titles
  EXPECT_EQ(S->ListBox1->Items()->Strings(1), "Beta");
  // No exercise yet: the home row stands for the weakest keys.
  EXPECT_EQ(S->Keys1Label->Caption(), "a s d f j k l ; ");
  EXPECT_EQ(S->Keys2Label->Caption(), "a s d f j k l ; ");
  // The clock runs over the 49-day wrap of the millisecond counter during the exercise.
  FakeNow = 0xFFFFFFFFu - 1500;
  S->ListBox1->SetItemIndex(0);
  ASSERT_TRUE(S->ListBox1->OnDblClick);
  S->ListBox1->OnDblClick(S->ListBox1);
  vxtest::Pump();
  ASSERT_NE(Lesson(), nullptr);
  EXPECT_EQ(Host->Shown(), Lesson());
  EXPECT_TRUE(vxtest::HasFocus(Lesson()->Table));
  EXPECT_TRUE(Played.empty());  // the announcement of the first key plays nothing

  // Wrong: 'x' for d, 'z' for l, 'q' for j; every key 200 ms after the one before.
  Keys("asxf jkz;\nfdsa ;lk");
  Lesson()->Timer1Timer(nullptr);  // the labels follow once a second
  EXPECT_EQ(Caption(Lesson()->ErrorsLabel), "2");
  vxtest::SaveGrabPng(Host, std::string(VX_TEST_OUTPUT_DIR) + "/lesson_screen.png");
  Keys("q\n");
  vxtest::Pump();
  EXPECT_EQ(Lesson(), nullptr);  // freed once the key handler had returned
  TResultsForm* R = Results();
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(Host->Shown(), R);
  vxtest::SaveGrabPng(Host, std::string(VX_TEST_OUTPUT_DIR) + "/results_screen.png");

  // 19 keys counted (the first starts the clock), 3 wrong, 0.2 s each: the program's decimal comma.
  EXPECT_EQ(Caption(R->LabelAccuracy), "84,21 %");
  EXPECT_EQ(Caption(R->LabelSpeed), "300,00 zn./min");
  EXPECT_EQ(Caption(R->LabelDuration), "00 min, 04 sec");
  EXPECT_EQ(Caption(R->LabelErrors), "3");
  EXPECT_EQ(Caption(R->LabelSpeedLevel), "szybko");
  EXPECT_EQ(Caption(R->LabelAccuracyLevel), "słabo");
  EXPECT_NE(R->Memo1->Text().find("200"), std::string::npos) << "only the comment on too short an exercise";
  EXPECT_EQ(R->Memo1->Lines()->Count(), 1);

  const auto Practice = Rows("practice", "ID_PRACTICE;ID_STUDENT;COUNT;ERRORS;DURATION;CPM;TYPE;ID_LESSON;FILENAME;DESC;PARAMETERS");
  ASSERT_EQ(Practice.size(), 1u);
  const std::string N = Practice[0].substr(0, Practice[0].find('|'));
  EXPECT_EQ(Practice[0], N + "|" + IntToStr(Student) + "|19|3|3,8|300|1|1|L_A.TXT|Alfa|Lekcje kursu");
  EXPECT_EQ(Rows("results", "ID_STUDENT;ID_PRACTICE;ERRORS"),
            (std::vector<std::string>{IntToStr(Student) + "|" + N + "|3"}));
  const auto Calc = Rows("statcalc", "KEY");
  EXPECT_EQ(std::set<std::string>(Calc.begin(), Calc.end()),
            (std::set<std::string>{"97", "115", "100", "102", "32", "106", "107", "108", "59", "13"}));
  EXPECT_EQ(Calc.size(), 10u);
  const auto Net = Rows("netstat", "ID_PRACTICE");
  EXPECT_EQ(Net, std::vector<std::string>(10, N));
  // What the session row reported on the way: the selection, the lesson, the results.
  std::vector<std::string> Pings;
  for (const std::string& P : Host->Pings) Pings.push_back(Cp1250ToUtf8(P));
  EXPECT_EQ(Pings, (std::vector<std::string>{"wybór ćwiczeń|", "Lekcje kursu|Alfa", "wyniki|"}));
  EXPECT_EQ(Rows("SESSIONS", "INFO1"), (std::vector<std::string>{"wyniki"}));

  // Closing the results brings the selection back.
  R->BtnClose->OnClick(R->BtnClose);
  vxtest::Pump();
  EXPECT_EQ(Host->Shown(), S);
  EXPECT_EQ(Results(), nullptr);
}

TEST_F(ExerciseRoadTest, WeakestKeysComeFromTheLastExerciseAndFeedBothGenerators) {
  // The student's last practice (7) with its per-key figures; an older one (3) must not count.
  std::vector<std::string> Sql;
  auto Row = [&](int Practice, int Key, int Cpm, int Acc) {
    Sql.push_back(Format("INSERT INTO netstat (ID_STUDENT, ID_PRACTICE, [KEY], CNT, CPM, ACC) VALUES (%d, %d, %d, 10, %d, %d)",
                         {Student, Practice, Key, Cpm, Acc}));
  };
  Row(3, 'd', 10, 1);
  for (auto [K, Cpm, Acc] : std::vector<std::tuple<int, int, int>>{
           {13, 50, 10}, {32, 50, 10}, {'k', 150, 50}, {'j', 120, 60}, {'a', 100, 60}, {'f', 150, 90}, {'s', 150, 95}})
    Row(7, K, Cpm, Acc);
  Folder->Exec(Sql);
  TSelectForm* S = OpenSelect();
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->Keys1Label->Caption(), "k a j f s ");
  EXPECT_EQ(S->Keys2Label->Caption(), "k a j f ");

  // The letter count is clamped when the edit is left.
  for (auto [Typed, Count] : std::vector<std::pair<std::string, int>>{{"5", 30}, {"5000", 1000}, {"250", 250}}) {
    S->VxSpinEdit1->SetCaption(Typed);
    S->VxSpinEdit1->OnExit(S->VxSpinEdit1);
    EXPECT_EQ(S->VxSpinEdit1->Value(), Count) << Typed;
  }

  struct TCase {
    bool Words;
    int Kind;
    const char* Desc;
  };
  for (const TCase& C : {TCase{true, 2, "Generator słów"}, TCase{false, 3, "Generator liter"}}) {
    SCOPED_TRACE(C.Desc);
    S->ShowTab(1);
    S->VxSpinEdit1->SetValue(200);
    (C.Words ? S->RadioWords : S->RadioRandom)->SetChecked(true);
    S->Button2Click(nullptr);
    vxtest::Pump();
    ASSERT_NE(Lesson(), nullptr);
    ASSERT_EQ(Lesson()->StatList->Kind, C.Kind);
    EXPECT_EQ(Lesson()->StatList->Parameters, "easdfjkl; asdfjkl;e");
    EXPECT_EQ(Lesson()->StatList->LessonId, 0);
    EXPECT_EQ(Cp1250ToUtf8(Lesson()->Info), "easdfjkl; ; asdfjkl;e ; 200");
    const std::size_t Before = Rows("practice", "ID_PRACTICE").size();
    const int Typed = TypeExercise({3, 10, 17});
    ASSERT_EQ(Lesson(), nullptr);
    ASSERT_NE(Results(), nullptr);
    const auto Practice = Rows("practice", "TYPE;ID_LESSON;ERRORS;COUNT;DESC");
    ASSERT_EQ(Practice.size(), Before + 1);
    EXPECT_EQ(Practice.back(), IntToStr(C.Kind) + "|0|3|" + IntToStr(Typed - 1) + "|" + Utf8ToCp1250(C.Desc));
    EXPECT_EQ(Caption(Results()->LabelErrors), "3");
    // 200 letters or more: a full comment, more than the too-short sentence.
    EXPECT_GT(Results()->Memo1->Lines()->Count(), 1);
    Results()->BtnClose->OnClick(nullptr);
    vxtest::Pump();
    EXPECT_EQ(Host->Shown(), S);
  }
}

TEST_F(ExerciseRoadTest, BackspacedErrorsKeepTheLiveAccuracyWithinTheKeysTyped) {
  TSelectForm* S = OpenSelect();
  S->ListBox1->SetItemIndex(0);
  S->Button2Click(nullptr);
  vxtest::Pump();
  TStdLessonForm* L = Lesson();
  ASSERT_NE(L, nullptr);
  // Typed keys, wrong ones among them, then all taken back and typed again right.
  struct TCase {
    std::string Keys;
    const char* Accuracy;
  };
  for (const TCase& C : std::vector<TCase>{
           {"qqqq", "0,00"},          // 4 keys, 4 errors
           {"\b\b\b\b", "0,00"},      // taken back: still 4 errors in 4 keys
           {"asdf", "50,00"},         // 8 keys, 4 errors
       }) {
    Keys(C.Keys);
    L->UpdateLessonDisplay();
    EXPECT_EQ(Caption(L->AccuracyLabel), C.Accuracy) << C.Keys;
  }
  L->BtsExit->OnClick(nullptr);
  vxtest::Pump();
}

TEST_F(ExerciseRoadTest, PausesKeepIdleTimeOutOfTheClockAndExitStoresNothing) {
  TSelectForm* S = OpenSelect();
  S->ListBox1->SetItemIndex(0);
  S->Button2Click(nullptr);
  vxtest::Pump();
  TStdLessonForm* L = Lesson();
  ASSERT_NE(L, nullptr);
  Keys("asdf jkl;\n");  // 10 keys, 2 s
  // 7 s without a key: the timer pauses the clock at the last key.
  FakeNow += 7000;
  L->Timer1Timer(nullptr);
  EXPECT_EQ(L->State, 0);
  EXPECT_TRUE(L->BtsPauseCheckBox->Checked());
  EXPECT_FALSE(L->Timer1->Enabled());
  EXPECT_EQ(Caption(L->TimeLabel), "00:00:02");
  FakeNow += 60000;
  L->UpdateLessonDisplay();
  EXPECT_EQ(Caption(L->TimeLabel), "00:00:02");  // frozen while paused
  Key('f');  // resumes; the pause is not exercise time
  EXPECT_EQ(L->State, 2);
  EXPECT_FALSE(L->BtsPauseCheckBox->Checked());
  L->UpdateLessonDisplay();
  EXPECT_EQ(Caption(L->TimeLabel), "00:00:02");
  // The pause check box pauses and resumes.
  L->BtsPauseCheckBox->OnClick(L->BtsPauseCheckBox);
  EXPECT_EQ(L->State, 0);
  EXPECT_TRUE(L->BtsPauseCheckBox->Checked());
  FakeNow += 30000;
  L->BtsPauseCheckBox->OnClick(L->BtsPauseCheckBox);
  EXPECT_EQ(L->State, 2);
  Keys("dsa ;lk", 200);
  L->UpdateLessonDisplay();
  EXPECT_EQ(Caption(L->TimeLabel), "00:00:03");

  // The metronome: 120 per minute ticks every 500 ms, 90 every 667 ms; it ticks only while the
  // clock runs; each tick flips the bar and plays its sound; the speed is kept on close.
  EXPECT_EQ(L->Timer2->Interval(), 500u);
  EXPECT_FALSE(L->Timer2->Enabled());
  L->MetronomCheckBox->SetChecked(true);
  L->MetronomCheckBoxClick(nullptr);
  EXPECT_TRUE(L->Timer2->Enabled());
  EXPECT_TRUE(L->MetronomSlider->Enabled());
  Played.clear();
  const TColor Bar = L->Shape1->Brush()->Color();
  L->Timer2Timer(nullptr);
  EXPECT_NE(L->Shape1->Brush()->Color(), Bar);
  EXPECT_EQ(Played, std::vector<int>{lwMetronome});
  L->BtsPauseCheckBox->OnClick(L->BtsPauseCheckBox);
  EXPECT_FALSE(L->Timer2->Enabled());
  L->BtsPauseCheckBox->OnClick(L->BtsPauseCheckBox);
  EXPECT_TRUE(L->Timer2->Enabled());
  L->MetronomSlider->SetValue(90);
  L->MetronomSliderChange(nullptr);
  EXPECT_EQ(L->Timer2->Interval(), 667u);
  EXPECT_EQ(Caption(L->MetronomLabel), "metronom: 90/min");

  // The help box (its document is missing here: an empty box) holds the clock while it is up and
  // gives it back running.
  int StateInHelp = -1;
  Application->QueueCall([&] {
    StateInHelp = L->State;
    for (int I = 0; I < Screen->FormCount(); ++I)
      if (TForm* F = Screen->Forms(I); F && F->Modal()) F->SetModalResult(mrOk);
  });
  L->BtsHelp->OnClick(L->BtsHelp);
  EXPECT_EQ(StateInHelp, 0);
  EXPECT_EQ(L->State, 2);

  L->BtsExit->OnClick(L->BtsExit);
  vxtest::Pump();
  EXPECT_EQ(Lesson(), nullptr);
  EXPECT_EQ(Host->Shown(), S);
  for (const char* T : {"practice", "results", "statcalc", "netstat"}) EXPECT_TRUE(Rows(T, "ID_PRACTICE").empty()) << T;
  EXPECT_EQ(PrgReg->ReadInteger("Options", "MetronomSpeed", 0), 90);
  EXPECT_TRUE(PrgReg->ReadBool("Options", "Metronom", false));
}

TEST_F(ExerciseRoadTest, EachKeyPlaysItsSoundAndACopyOfASoundPlaysAtMostFourTimesAtOnce) {
  auto* Sound = new TDXSound(Host);  // the sound object needs the window that owns it
  try {
    Sound->Initialize();
  } catch (...) {
  }
  Host->SetSound(Sound);
  WriteBytes(Folder->Path() + "courses/fingers/ph_1.txt", "ab\r\ncd\r\n");
  TSelectForm* S = OpenSelect();
  S->ShowTab(3);
  S->ListBox4->SetItemIndex(0);
  S->Button2Click(nullptr);
  vxtest::Pump();
  TStdLessonForm* L = Lesson();
  ASSERT_NE(L, nullptr);
  EXPECT_TRUE(Played.empty());
  struct TCase {
    char Key;
    std::vector<int> Waves;
  };
  // Right key 3, wrong key 1, backspace nothing, Enter 2.
  for (const TCase& C : {TCase{'a', {lwKey}}, TCase{'x', {lwError}}, TCase{'\b', {}}, TCase{'b', {lwKey}},
                         TCase{'\n', {lwEnter}}, TCase{'c', {lwKey}}, TCase{'c', {lwError}}}) {
    Played.clear();
    Key(C.Key);
    EXPECT_EQ(Played, C.Waves) << "key " << static_cast<int>(C.Key);
  }
  // The dummy audio driver gives an initialised sound object; without any audio the voices are not checked.
  if (!Sound->Initialized()) std::cerr << "no audio device: the voice limit is not checked\n";
  if (Sound->Initialized()) {
    ASSERT_EQ(L->WaveList->Items()->Count(), 4);
    for (int I = 0; I < 20; ++I) L->PlayWave(lwKey);
    EXPECT_LE(L->WaveList->Items()->Items(lwKey)->BufferCount(), 4);
  }
  L->BtsExit->OnClick(nullptr);
  vxtest::Pump();
  Host->SetSound(nullptr);
}

TEST_F(ExerciseRoadTest, NothingToTypeShowsAMessageAndStoresNothing) {
  WriteBytes(Folder->Path() + "courses/fingers/ph_empty.txt", "#title=Pusty\r\n#info=x\r\n\r\n");
  TSelectForm* S = OpenSelect();
  struct TCase {
    const char* What;
    std::function<void()> Start;
  };
  const std::vector<TCase> Cases = {
      {"a file with header lines only", [&] { S->ShowTab(3); S->ListBox4->SetItemIndex(0); S->Button2Click(nullptr); }},
      {"a file that cannot be read",
       [&] {
         S->Items4[0].FileName = Folder->Path() + "courses/fingers/missing.txt";
         S->Button2Click(nullptr);
       }},
      {"no word of the allowed letters",
       [&] {
         OpenLesson(S)->RunWordExercise("xyz", "x", 100, "Generator s\xB3\xF3w", "");
       }},
      {"an empty layout map",
       [&] {
         PrgReg->WriteInteger("Options", "Keyboard", 5);
         OpenLesson(S)->RunLetterExercise("", "", 100, "Generator liter", "");
       }},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    Messages.clear();
    C.Start();
    vxtest::Pump();
    EXPECT_EQ(Messages, std::vector<std::string>{"Brak tekstu do przepisania."});
    EXPECT_EQ(Lesson(), nullptr);
    EXPECT_EQ(Host->Shown(), S);
  }
  EXPECT_TRUE(Rows("practice", "ID_PRACTICE").empty());
}

TEST_F(ExerciseRoadTest, ALessonsInstructionIsShownBeforeItStartsAndAMissingOneIsSkipped) {
  WriteBytes(Folder->Path() + "help/inst.htm", "<html><body><p>Instrukcja</p></body></html>");
  WriteBytes(Folder->Path() + "courses/fingers/ph_1.txt", "#inst=help\\inst.htm\r\nasdf\r\n");
  WriteBytes(Folder->Path() + "courses/fingers/ph_2.txt", "#inst=help\\gone.htm\r\nasdf\r\n");
  TSelectForm* S = OpenSelect();
  S->ShowTab(3);
  for (auto [Item, Boxes] : std::vector<std::pair<int, int>>{{0, 1}, {1, 0}}) {
    SCOPED_TRACE(Item);
    int Shown = 0;
    std::function<void()> CloseBox = [&] {
      for (int I = 0; I < Screen->FormCount(); ++I)
        if (TForm* F = Screen->Forms(I); F && F->Modal()) {
          ++Shown;
          F->SetModalResult(mrOk);
          return;
        }
      Application->QueueCall(CloseBox);
    };
    if (Boxes) Application->QueueCall(CloseBox);
    S->ListBox4->SetItemIndex(Item);
    S->Button2Click(nullptr);
    vxtest::Pump();
    EXPECT_EQ(Shown, Boxes);
    ASSERT_NE(Lesson(), nullptr);
    EXPECT_EQ(Lesson()->State, 2);
    EXPECT_TRUE(Lesson()->BtsTips->Enabled());
    Lesson()->BtsExit->OnClick(nullptr);
    vxtest::Pump();
  }
}

TEST_F(ExerciseRoadTest, AFailedSaveStillShowsThisExercisesFiguresAndSaysSo) {
  // An earlier practice with quite other figures must not show up.
  Folder->Exec({Format("INSERT INTO practice (ID_STUDENT, ID_GROUP, CPM, ACCURACY, ERRORS, [COUNT], DURATION) "
                       "VALUES (%d, 1, 55, 12, 40, 500, 600)",
                       {Student})});
  TSelectForm* S = OpenSelect();
  S->ListBox1->SetItemIndex(0);
  S->Button2Click(nullptr);
  vxtest::Pump();
  ASSERT_NE(Lesson(), nullptr);
  Lesson()->StatList->MaxAttempts = 1;
  Lesson()->StatList->OnSaveStep = [](const std::string& Step) {
    if (Step == "netstat") throw Exception("disk full");
  };
  Keys("asdf jkl;\nfdsa ;lkj\n");
  vxtest::Pump();
  ASSERT_NE(Results(), nullptr);
  EXPECT_EQ(Caption(Results()->LabelAccuracy), "100,00 %");
  EXPECT_EQ(Caption(Results()->LabelSpeed), "300,00 zn./min");
  EXPECT_EQ(Caption(Results()->LabelErrors), "0");
  EXPECT_EQ(Results()->Memo1->Lines()->Strings(0), Utf8ToCp1250("Wyniki tego ćwiczenia nie zostały zapisane."));
  EXPECT_EQ(Rows("practice", "CPM"), std::vector<std::string>{"55"});
  EXPECT_TRUE(Rows("netstat", "ID_PRACTICE").empty());
}

TEST_F(ExerciseRoadTest, MissingDocumentsLeaveEmptyViewersAndTheInfoViewerFollowsTheList) {
  DeleteFile(Folder->Path() + "help/exerc_tab.htm");
  DeleteFile(Folder->Path() + "help/fingers_tab.htm");
  TSelectForm* S = OpenSelect();
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(Host->Shown(), S);
  EXPECT_EQ(S->PageShown(), "0");
  EXPECT_TRUE(S->Tabs[0]->Checked());
  // The text list's item names a description that exists: its viewer shows; without one it hides.
  EXPECT_TRUE(S->Viewer4->Visible());
  S->Items2[0].HTMLInfo = "help/none.htm";
  S->ListBox2Click(nullptr);
  EXPECT_FALSE(S->Viewer4->Visible());
  // The tabs switch the notebook page; the help of a page that has no document opens empty.
  S->Tabs[4]->OnClick(S->Tabs[4]);
  EXPECT_EQ(S->PageShown(), "4");
  EXPECT_TRUE(S->Tabs[4]->Checked());
  EXPECT_FALSE(S->Tabs[0]->Checked());

  // A course's HTML page whose document is missing opens empty; OK goes on with the course.
  Host->SetReturnPage(S);
  Host->ShowPage(TPageId::LessonHtml);
  auto* H = dynamic_cast<TLessonHtmlForm*>(Host->FindPage(TPageId::LessonHtml));
  ASSERT_NE(H, nullptr);
  H->ShowHtmlLesson("courses/full/none.htm", "Lekcja 1", "Wst\xEAp");
  EXPECT_EQ(H->TitleLabel->Caption(), "Lekcja 1 Wst\xEAp");
  EXPECT_EQ(Host->Pings.back(), "Lekcja 1|Wst\xEAp");
  int Steps = 0;
  TLessonHtmlForm::NextStep = [&] { ++Steps; };
  H->BtnOK->OnClick(H->BtnOK);
  TLessonHtmlForm::NextStep = nullptr;
  EXPECT_EQ(Steps, 1);
  EXPECT_EQ(Host->Shown(), S);
}

TEST_F(ExerciseRoadTest, AnOwnUtf8FileIsTypedInCp1250AndATooLargeOneIsRefused) {
  const std::string File = Folder->Path() + "mine.txt";
  WriteBytes(File, "zażółć\tgęślą 日本\n");
  TSelectForm* S = OpenSelect();
  S->ShowTab(5);
  S->FilenameEdit1->SetFileName(File);
  S->Button2Click(nullptr);
  vxtest::Pump();
  ASSERT_NE(Lesson(), nullptr);
  EXPECT_EQ(Lesson()->Table->SourceLines->Strings(0), Utf8ToCp1250("zażółć gęślą"));
  EXPECT_EQ(Lesson()->StatList->FileName, "mine.txt");
  Lesson()->BtsExit->OnClick(nullptr);
  vxtest::Pump();

  WriteBytes(File, std::string(kMaxOwnTextSize + 1, 'a'));
  Messages.clear();
  S->Button2Click(nullptr);
  vxtest::Pump();
  EXPECT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Lesson(), nullptr);

  // No name, or a name of no file: the start says so instead of doing nothing.
  for (const std::string& Name : {std::string(), Folder->Path() + "missing.txt"}) {
    S->FilenameEdit1->SetFileName(Name);
    Messages.clear();
    S->Button2Click(nullptr);
    vxtest::Pump();
    ASSERT_EQ(Messages.size(), 1u) << Name;
    EXPECT_EQ(Messages[0], Translate("ERR004")) << Name;
    EXPECT_EQ(Lesson(), nullptr) << Name;
  }
}

TEST(OwnText, Utf8IsConvertedAndCp1250KeptAsItIs) {
  struct TCase {
    std::string In, Out;
  };
  for (const TCase& C : std::vector<TCase>{
           {"ala ma kota", "ala ma kota"},
           {"\xC5\xBC\xC3\xB3\xC5\x82w \xE2\x82\xAC", "\xBF\xF3\xB3w \x80"},  // żółw € in UTF-8
           {"a\xE6\x97\xA5" "b", "ab"},                                        // a 日 b: dropped
           {"\xEF\xBB\xBF\xC4\x85", "\xB9"},                                   // BOM + ą
           {"\xBF\xF3\xB3w", "\xBF\xF3\xB3w"},                                 // CP1250 already
           {"a\tb", "a b"},
       })
    EXPECT_EQ(OwnTextToCp1250(C.In), C.Out) << C.In;
}

TEST(ResultsTexts, FiguresUseTheProgramsDecimalCommaAndRoundedSeconds) {
  Translations->Lines().SetText("cpm= zn./min\n");
  EXPECT_EQ(AccuracyText(97.5), "97,50 %");
  EXPECT_EQ(SpeedText(180.25), "180,25 zn./min");
  for (auto [Seconds, Text] : std::vector<std::pair<double, std::string>>{
           {125.4, "02 min, 05 sec"}, {59.6, "01 min, 00 sec"}, {0, "00 min, 00 sec"}, {3599.5, "60 min, 00 sec"}})
    EXPECT_EQ(DurationText(Seconds), Text) << Seconds;
  TStringList Levels;
  Levels.SetText("cpm1=100,200,dobrze,x\nacc1=90,-1,bardzo dobrze,x\n");
  LoadLevelsFromLines(Levels);
  EXPECT_EQ(SpeedLevelText(150), "dobrze");
  EXPECT_EQ(SpeedLevelText(50), "");  // no level matches: an empty label
  EXPECT_EQ(AccuracyLevelText(100), "bardzo dobrze");
}

TEST(CommentRecord, CarriesTheFiguresAndAZeroRatioAtNoSpeed) {
  TExerciseFigures F;
  F.Cpm = 200;
  F.Accuracy = 97.5;
  F.Duration = 125.6;
  F.AvErr = 50;
  F.AvIdx = 0.25;
  F.Count = 420;
  F.Errors = 10;
  F.Name = "Ala";
  F.Sex = "W";
  TCommStrTable Strings;
  TCommBiuldRec R = MakeCommentRecord(F, Strings);
  EXPECT_EQ(R.Duration, 126);
  EXPECT_DOUBLE_EQ(R.AvErrRatio, 0.25);
  EXPECT_EQ(R.Count, 420);
  EXPECT_EQ(Strings.Get(R.Name), "Ala");
  EXPECT_EQ(Strings.Get(R.Sex), "W");
  F.Cpm = 0;
  EXPECT_EQ(MakeCommentRecord(F, Strings).AvErrRatio, 0);
  bool Passed = false;
  const std::string Long = BuildComment("default.cmm", Passed, FiguresOf(TKeyStats{}, "", ""));
  EXPECT_NE(Long.find("200"), std::string::npos);  // an empty exercise: too short
}

}  // namespace
