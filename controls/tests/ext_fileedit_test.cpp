// The file-name edit: FileName in both directions, the dialog (driven by the test) through the
// button, Alt+Down, read-only and direct-input switches, dropped names and the button's pictures.
#include <fstream>
#include <string>
#include <vector>

#include "controls/fileedit.h"
#include "ext_fixture.h"
#include "platform/core/fileutils.h"

namespace {

// The dialog answers with what the test put in Answer (empty: cancelled) and records what it
// was opened with.
class TScriptedFilenameEdit : public TFilenameEdit {
 public:
  using TFilenameEdit::TFilenameEdit;
  std::string Answer;
  int Shown = 0;
  std::string OpenedWithName, OpenedInDir;

 protected:
  bool ExecuteDialog() override {
    ++Shown;
    OpenedWithName = Dialog()->FileName;
    OpenedInDir = Dialog()->InitialDir;
    if (Answer.empty()) return false;
    Dialog()->FileName = Answer;
    return true;
  }
};

class FileEditTest : public ExtControlTest {
 protected:
  void SetUp() override {
    ExtControlTest::SetUp();
    char Tmpl[] = "/tmp/vx-fileedit-XXXXXX";
    Dir = mkdtemp(Tmpl);
  }
  void TearDown() override {
    ExtControlTest::TearDown();
    for (const std::string& F : Made) DeleteFile(F);
    RemoveDir(JoinPath(Dir, "My texts"));
    RemoveDir(Dir);
  }
  std::string MakeFile(const std::string& Name) {
    const std::string Path = JoinPath(Dir, Name);
    std::ofstream(Path) << "x";
    Made.push_back(Path);
    return Path;
  }
  TScriptedFilenameEdit* NewEdit(TForm* F) {
    auto* E = new TScriptedFilenameEdit(F);
    E->SetParent(F);
    E->SetBounds(10, 10, 200, 21);
    vxtest::Pump();
    return E;
  }
  std::string Dir;
  std::vector<std::string> Made;
};

TEST_F(FileEditTest, FileNameReadsTheTextWithoutQuotes) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  const std::string Existing = MakeFile("with blank.txt");
  struct Case {
    std::string Text, Name;
  } Cases[] = {
      {"\"C:\\My texts\\a.txt\"", "C:\\My texts\\a.txt"},
      {"C:\\My texts\\a.txt", "C:\\My"},  // no such file: the part before the blank
      {Existing, Existing},              // an existing file is taken whole
      {"\"" + Existing + "\"", Existing},
      {"", ""},
      {"  plain.txt  ", "plain.txt"},
  };
  for (const Case& C : Cases) {
    E->SetText(C.Text);
    EXPECT_EQ(E->FileName(), C.Name) << C.Text;
  }
}

TEST_F(FileEditTest, FileNameWriteQuotesOrRefuses) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  E->SetFileName("/tmp/My texts/a.txt");
  EXPECT_EQ(E->Text(), "\"/tmp/My texts/a.txt\"");
  EXPECT_EQ(E->FileName(), "/tmp/My texts/a.txt");
  E->SetFileName("\"/tmp/x y.txt\"");  // already quoted
  EXPECT_EQ(E->Text(), "\"/tmp/x y.txt\"");
  E->SetFileName("/tmp/plain.txt");
  EXPECT_EQ(E->Text(), "/tmp/plain.txt");
  try {
    E->SetFileName("a|b.txt");
    FAIL() << "no error";
  } catch (const EComboEditError& Err) {
    EXPECT_EQ(Err.Message(), "Invalid file name - a|b.txt");
  }
  EXPECT_EQ(E->Text(), "/tmp/plain.txt");
  EXPECT_THROW(E->SetFileName("<x>"), EComboEditError);
  E->SetFileName("");
  EXPECT_EQ(E->Text(), "");
}

TEST_F(FileEditTest, DialogDefaultsAndKindChangeKeepSettings) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  EXPECT_EQ(E->DialogTitle(), "Browse");
  EXPECT_EQ(E->Filter(), "All files (*.*)|*.*");
  EXPECT_EQ(E->DialogOptions(), ofHideReadOnly);
  E->SetFilter("All files (*.*)|*.txt");
  E->SetInitialDir(Dir);
  E->SetFilterIndex(2);
  TOpenDialog* Before = E->Dialog();
  E->SetDialogKind(dkSave);
  EXPECT_NE(E->Dialog(), Before);
  EXPECT_EQ(E->Filter(), "All files (*.*)|*.txt");
  EXPECT_EQ(E->InitialDir(), Dir);
  EXPECT_EQ(E->FilterIndex(), 2);
  EXPECT_EQ(E->DialogTitle(), "Browse");
  E->SetDialogOptions(ofHideReadOnly | ofAllowMultiSelect);
  EXPECT_TRUE(E->MultipleDirs());
}

TEST_F(FileEditTest, ButtonRunsTheDialogAndShowsTheChoice) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  const std::string Start = MakeFile("start.txt");
  E->SetFileName(Start);
  int Clicks = 0;
  E->OnButtonClick = [&](TObject*) { ++Clicks; };
  E->Answer = "/srv/My texts/b.txt";
  TEditButton* B = E->Button();
  vxtest::Click(B, 5, 5);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(E->Shown, 1);
  EXPECT_EQ(E->OpenedWithName, Start);
  EXPECT_EQ(E->OpenedInDir, Dir);
  EXPECT_EQ(E->Text(), "\"/srv/My texts/b.txt\"");
  EXPECT_EQ(E->FileName(), "/srv/My texts/b.txt");
  EXPECT_EQ(E->InitialDir(), "/srv/My texts");
  // Cancelled: the text stays.
  E->Answer.clear();
  vxtest::Click(B, 5, 5);
  EXPECT_EQ(E->Shown, 2);
  EXPECT_EQ(E->Text(), "\"/srv/My texts/b.txt\"");
  // The dialog starts in the folder of the last choice.
  EXPECT_EQ(E->OpenedInDir, "/srv/My texts");
}

TEST_F(FileEditTest, DialogEventsMayChangeOrCancel) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  E->Answer = "/tmp/chosen.txt";
  E->OnBeforeDialog = [](TObject*, std::string&, bool& Action) { Action = false; };
  E->Button()->Click();
  EXPECT_EQ(E->Shown, 0);
  E->OnBeforeDialog = [](TObject*, std::string& Name, bool&) { Name = "/tmp/suggested.txt"; };
  E->OnAfterDialog = [](TObject*, std::string& Name, bool& Action) {
    EXPECT_TRUE(Action);
    EXPECT_EQ(Name, "/tmp/chosen.txt");
    Name = "/tmp/changed name.txt";
  };
  E->Button()->Click();
  EXPECT_EQ(E->OpenedWithName, "/tmp/suggested.txt");
  EXPECT_EQ(E->Text(), "\"/tmp/changed name.txt\"");
}

TEST_F(FileEditTest, AltDownOpensTheDialogUnlessReadOnly) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  E->Answer = "/tmp/k.txt";
  vxtest::KeyStroke(E, VK_DOWN, "", ssAlt);
  EXPECT_EQ(E->Shown, 1);
  EXPECT_EQ(E->Text(), "/tmp/k.txt");
  vxtest::KeyStroke(E, VK_DOWN);  // Down alone is no click key
  EXPECT_EQ(E->Shown, 1);
  E->SetReadOnly(true);
  vxtest::KeyStroke(E, VK_DOWN, "", ssAlt);
  vxtest::Click(E->Button(), 5, 5);
  EXPECT_EQ(E->Shown, 1);
}

TEST_F(FileEditTest, WithoutDirectInputOnlyTheDialogSetsTheText) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  E->SetDirectInput(false);
  vxtest::TypeText(E, "abc");
  EXPECT_EQ(E->Text(), "");
  E->Answer = "/tmp/picked.txt";
  vxtest::Click(E->Button(), 5, 5);
  EXPECT_EQ(E->Text(), "/tmp/picked.txt");
  E->SetDirectInput(true);
  vxtest::TypeText(E, "x");
  EXPECT_NE(E->Text(), "/tmp/picked.txt");
}

TEST_F(FileEditTest, DroppedNames) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  int Drops = 0;
  E->OnDropFiles = [&](TObject*) { ++Drops; };
  E->DropFiles({"/tmp/one.txt", "/tmp/two.txt"});
  EXPECT_EQ(E->FileName(), "/tmp/one.txt");
  EXPECT_EQ(E->Files()->Count(), 0);
  E->SetMultipleDirs(true);
  E->DropFiles({"/tmp/three.txt", "/tmp/four.txt"});
  EXPECT_EQ(E->FileName(), "/tmp/three.txt");
  EXPECT_EQ(E->Files()->Count(), 2);
  EXPECT_EQ(Drops, 2);
  E->SetFileName("/tmp/typed.txt");  // a written name clears the list
  EXPECT_EQ(E->Files()->Count(), 0);
}

TEST_F(FileEditTest, ButtonPictures) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  EXPECT_EQ(E->GlyphKind(), gkDefault);
  EXPECT_EQ(E->ButtonWidth(), 21);
  ASSERT_NE(E->Glyph(), nullptr);
  EXPECT_EQ(E->Glyph()->Width(), 14);
  EXPECT_EQ(E->Glyph()->Height(), 12);
  // The folder picture on the button, which sits at the right edge inside the frame.
  TBitmap Shot;
  vxtest::Grab(E, &Shot);
  int Yellow = 0;
  for (int Y = 0; Y < Shot.Height(); ++Y)
    for (int X = 200 - 23; X < 200; ++X) Yellow += Shot.PixelColor(X, Y) == clYellow;
  EXPECT_GT(Yellow, 10);
  // Three dots for the ellipsis kind.
  E->SetGlyphKind(gkEllipsis);
  TBitmap* G = E->Glyph();
  ASSERT_EQ(G->Width(), 15);
  ASSERT_EQ(G->Height(), 4);
  std::string Row;
  for (int X = 0; X < G->Width(); ++X) Row += G->PixelColor(X, 1) == clBlack ? '#' : '.';
  EXPECT_EQ(Row, ".##...##...##..");
  E->SetGlyphKind(gkDropDown);
  EXPECT_EQ(E->ButtonWidth(), 16);
  E->SetButtonWidth(1);
  EXPECT_FALSE(E->Button()->Parent()->Visible());
}

TEST_F(FileEditTest, EnterGoesToTheForm) {
  TForm* F = NewForm();
  auto* E = NewEdit(F);
  int Clicks = 0;
  AddDefaultButton(F, Clicks);
  vxtest::KeyStroke(E, VK_RETURN, "\r");
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(E->Shown, 0);
}

}  // namespace
