// Keyboard: CP1250 characters and virtual keys in order, the message hook, key preview, and
// Enter/Escape reaching the form's Default/Cancel buttons.
#include <string>
#include <vector>

#include "gui_fixture.h"

namespace {

// A custom control that records what reaches it, and may claim Enter for itself.
class KeyProbe : public TCustomControl {
 public:
  explicit KeyProbe(TComponent* o) : TCustomControl(o) { SetBounds(0, 0, 50, 50); }
  std::string chars;
  std::vector<int> downs, ups;
  bool wantsEnter = false;
  void KeyDown(uint16_t& k, TShiftState s) override {
    downs.push_back(k);
    lastShift = s;
    TCustomControl::KeyDown(k, s);
  }
  void KeyUp(uint16_t& k, TShiftState s) override {
    ups.push_back(k);
    TCustomControl::KeyUp(k, s);
  }
  void KeyPress(char& c) override {
    chars += c;
    TCustomControl::KeyPress(c);
  }
  bool WantsKey(uint16_t k, TShiftState) override { return wantsEnter && k == VK_RETURN; }
  TShiftState lastShift = 0;
};

class KeysTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    form = NewForm();
    probe = new KeyProbe(form);
    probe->SetParent(form);
    probe->SetFocus();
    vxtest::Pump();
  }
  TForm* form = nullptr;
  KeyProbe* probe = nullptr;
};

TEST_F(KeysTest, PolishAltGrLettersArriveAsCp1250Bytes) {
  struct Case { const char* utf8; uint16_t vk; unsigned char cp; };
  const Case cases[] = {{"ą", 'A', 0xB9}, {"ś", 'S', 0x9C}, {"ź", 'X', 0x9F}, {"ż", 'Z', 0xBF}, {"ę", 'E', 0xEA},
                        {"ć", 'C', 0xE6}, {"ł", 'L', 0xB3}, {"ń", 'N', 0xF1}, {"ó", 'O', 0xF3}, {"Ą", 'A', 0xA5}};
  for (const Case& c : cases) {
    probe->chars.clear();
    probe->downs.clear();
    vxtest::KeyStroke(probe, c.vk, c.utf8, 0, true);
    ASSERT_EQ(probe->chars.size(), 1u) << c.utf8;
    EXPECT_EQ(static_cast<unsigned char>(probe->chars[0]), c.cp) << c.utf8;
    ASSERT_EQ(probe->downs.size(), 1u);
    EXPECT_EQ(probe->downs[0], c.vk);
    EXPECT_EQ(probe->lastShift & (ssCtrl | ssAlt), ssCtrl | ssAlt);  // AltGr reads as Ctrl+Alt
  }
}

TEST_F(KeysTest, ControlCharactersAndUnrepresentableText) {
  vxtest::KeyStroke(probe, VK_BACK);
  vxtest::KeyStroke(probe, VK_SPACE, " ");
  vxtest::KeyStroke(probe, VK_ESCAPE);
  vxtest::KeyStroke(probe, 0, "ж");   // no CP1250 code: dropped
  vxtest::KeyStroke(probe, 'B', "\x02", ssCtrl);
  vxtest::KeyStroke(probe, 'Q', "€");
  EXPECT_EQ(probe->chars, std::string("\x08 \x1b\x02\x80"));
}

TEST_F(KeysTest, VirtualKeysForNamedKeys) {
  const uint16_t keys[] = {VK_BACK, VK_PAUSE, VK_ESCAPE, VK_SPACE, VK_PRIOR, VK_NEXT, VK_END, VK_HOME,
                           VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_F2, VK_F3, VK_F10, VK_DELETE};
  for (uint16_t k : keys) vxtest::KeyDown(probe, k, k == VK_SPACE ? " " : "");
  std::vector<int> expect(std::begin(keys), std::end(keys));
  EXPECT_EQ(probe->downs, expect);
}

TEST_F(KeysTest, RolledOverKeysArriveCompleteAndInOrder) {
  vxtest::KeyDown(probe, 'A', "a");
  vxtest::KeyDown(probe, 'S', "s");
  vxtest::KeyUp(probe, 'A');
  vxtest::KeyDown(probe, 'D', "d");
  vxtest::KeyDown(probe, 'F', "f");
  vxtest::KeyUp(probe, 'S');
  vxtest::KeyUp(probe, 'F');
  vxtest::KeyUp(probe, 'D');
  EXPECT_EQ(probe->chars, "asdf");
  EXPECT_EQ(probe->downs, (std::vector<int>{'A', 'S', 'D', 'F'}));
  EXPECT_EQ(probe->ups, (std::vector<int>{'A', 'S', 'F', 'D'}));
  // Many keys in a burst, none lost.
  probe->chars.clear();
  vxtest::TypeText(probe, "Zażółć gęślą jaźń.");
  EXPECT_EQ(probe->chars, std::string("Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1."));
}

TEST_F(KeysTest, MessageHookSeesKeysFirstAndMayLeaveThemUnhandled) {
  std::vector<std::pair<unsigned, intptr_t>> hook;
  bool swallowChars = false;
  Application->OnMessage = [&](TMsg& m, bool& handled) {
    hook.push_back({m.message, m.wParam});
    EXPECT_EQ(m.Control, probe);
    handled = swallowChars && m.message == WM_CHAR;
  };
  vxtest::KeyStroke(probe, 'K', "k");
  EXPECT_EQ(hook[0], (std::pair<unsigned, intptr_t>{WM_KEYDOWN, 'K'}));
  EXPECT_EQ(hook[1], (std::pair<unsigned, intptr_t>{WM_CHAR, 'k'}));
  EXPECT_EQ(hook[2], (std::pair<unsigned, intptr_t>{WM_KEYUP, 'K'}));
  EXPECT_EQ(probe->chars, "k");
  swallowChars = true;
  vxtest::KeyStroke(probe, 'M', "m");
  EXPECT_EQ(probe->chars, "k");
  EXPECT_EQ(probe->downs.back(), 'M');
}

TEST_F(KeysTest, KeyPreviewLetsFormSeeAndEatKeysFirst) {
  form->SetKeyPreview(true);
  std::string formChars;
  form->OnKeyPress = [&](TObject*, char& c) {
    formChars += c;
    if (c == 'x') c = 0;
    if (c == 'a') c = 'b';
  };
  vxtest::TypeText(probe, "axc");
  EXPECT_EQ(formChars, "axc");
  EXPECT_EQ(probe->chars, "bc");
}

TEST_F(KeysTest, EnterClicksInvisibleDefaultButtonUnlessControlWantsIt) {
  auto* enter = new TButton(form);
  enter->SetParent(form);
  enter->SetDefault(true);
  enter->SetBounds(0, -50, 10, 10);  // off the form, as some pages place it
  enter->SetVisible(false);
  auto* cancel = new TButton(form);
  cancel->SetParent(form);
  cancel->SetCancel(true);
  cancel->SetVisible(false);
  int enters = 0, cancels = 0;
  enter->OnClick = [&](TObject*) { ++enters; };
  cancel->OnClick = [&](TObject*) { ++cancels; };
  vxtest::KeyStroke(probe, VK_RETURN);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(probe->chars, "");  // the dialog key produced no character
  vxtest::KeyStroke(probe, VK_ESCAPE);
  EXPECT_EQ(cancels, 1);
  probe->wantsEnter = true;
  vxtest::KeyStroke(probe, VK_RETURN);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(probe->chars, "\r");
  // A disabled default button does nothing; a modifier keeps Enter away from it.
  probe->wantsEnter = false;
  vxtest::KeyStroke(probe, VK_RETURN, "", ssShift);
  EXPECT_EQ(enters, 1);
}

TEST_F(KeysTest, DefaultButtonOfAnotherOrHiddenFormIsNotClicked) {
  TForm* other = NewForm();
  auto* otherDefault = new TButton(other);
  otherDefault->SetParent(other);
  otherDefault->SetDefault(true);
  int clicks = 0;
  otherDefault->OnClick = [&](TObject*) { ++clicks; };
  // A hidden page embedded in the form the key goes to does not answer either.
  auto* page = new TForm(nullptr);
  page->SetParent(form);
  auto* pageDefault = new TButton(page);
  pageDefault->SetParent(page);
  pageDefault->SetDefault(true);
  pageDefault->OnClick = [&](TObject*) { ++clicks; };
  vxtest::KeyStroke(probe, VK_RETURN);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(probe->chars, "\r");
}

TEST_F(KeysTest, EnterInEditReachesDefaultButtonAndModalResult) {
  TForm* dlg = new TForm(Application);
  auto* edit = new TEdit(dlg);
  edit->SetParent(dlg);
  auto* ok = new TButton(dlg);
  ok->SetParent(dlg);
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  ok->SetBounds(0, -50, 10, 10);
  dlg->SetActiveControl(edit);
  dlg->OnShow = [&](TObject*) {
    Application->QueueCall([&] {
      vxtest::TypeText(edit, "Jan");
      vxtest::KeyStroke(edit, VK_RETURN);
    });
  };
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_EQ(edit->Text(), "Jan");
}

TEST_F(KeysTest, EditKeyPressMayReplaceOrRefuseCharacters) {
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  edit->SetFocus();
  edit->OnKeyPress = [](TObject*, char& c) {
    if (c == '1') c = 0;
    else if (c == 'q') c = '\xB9';
  };
  vxtest::TypeText(edit, "a1q");
  EXPECT_EQ(edit->Text(), "a\xB9");
}

}  // namespace

namespace {

class AccelTest : public KeysTest {};

TEST_F(AccelTest, AcceleratorsTakeAltKeysAndKeysOfNonTextControls) {
  auto* next = new TButton(form);
  next->SetParent(form);
  next->SetCaption("&Dalej");
  next->SetTop(60);
  auto* other = new TButton(form);
  other->SetParent(form);
  other->SetCaption("Inny");
  other->SetTop(90);
  int clicks = 0;
  next->OnClick = [&](TObject*) { ++clicks; };
  vxtest::KeyStroke(probe, 'D', "d");  // the probe takes characters itself
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(probe->chars, "d");
  vxtest::KeyStroke(probe, 'D', "d", ssAlt);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(probe->chars, "d");
  other->SetFocus();
  vxtest::KeyStroke(other, 'D', "D", ssShift);  // a focused button takes no characters
  EXPECT_EQ(clicks, 2);
  // Check boxes toggle and labels hand the focus to their control.
  auto* box = new TCheckBox(form);
  box->SetParent(form);
  box->SetCaption("&Muzyka");
  box->SetTop(120);
  int boxClicks = 0;
  box->OnClick = [&](TObject*) { ++boxClicks; };
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  edit->SetTop(150);
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetCaption("&Nazwisko");
  label->FocusControl = edit;
  probe->SetFocus();
  vxtest::KeyStroke(probe, 'M', "m", ssAlt);
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(boxClicks, 1);
  vxtest::KeyStroke(box, 'N', "n", ssAlt);
  vxtest::Pump();
  EXPECT_TRUE(edit->Focused());
  EXPECT_TRUE(IsAccel('d', "&Dalej"));
  EXPECT_TRUE(IsAccel('\xB3', "&\xA3\xF3" "d\x9F"));  // ł matches Ł
  EXPECT_FALSE(IsAccel('a', "&&a"));
  EXPECT_FALSE(IsAccel('x', "Bez"));
}

}  // namespace
