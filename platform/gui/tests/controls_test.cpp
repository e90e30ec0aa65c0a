// Standard controls, painting through back buffers, mouse routing and property access by name.
#include <string>
#include <vector>

#include "gui_fixture.h"

namespace {

class ControlsTest : public GuiTest {};

TEST_F(ControlsTest, CheckedFromCodeFiresNoClickButUserClickDoes) {
  TForm* f = NewForm();
  auto* cb = new TCheckBox(f);
  cb->SetParent(f);
  int clicks = 0;
  cb->OnClick = [&](TObject*) { ++clicks; };
  cb->SetChecked(true);
  cb->SetChecked(false);
  EXPECT_EQ(clicks, 0);
  vxtest::Click(cb, 5, 8);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(cb->Checked());
}

// A click anywhere in a check box toggles it, also beside its caption on a box wider than the
// text, and also while the box sits in a modal dialog (the mouse then goes through the dialog's
// own loop).
TEST_F(ControlsTest, AClickAnywhereInACheckBoxTogglesItInAModalDialog) {
  TForm* dlg = new TForm(Application);
  dlg->SetBounds(20, 20, 540, 400);
  auto* cb = new TCheckBox(dlg);
  cb->SetParent(dlg);
  cb->SetCaption("Show at startup");
  cb->SetBounds(28, 304, 484, 22);
  cb->SetChecked(true);
  int clicks = 0;
  cb->OnClick = [&](TObject*) { ++clicks; };
  struct Point {
    const char* where;
    int x, y;
  };
  const Point points[] = {{"on the box", 6, 11}, {"on the caption", 40, 11}, {"beside the caption", 300, 11},
                          {"at the far end", 480, 20}};
  std::vector<bool> states;
  dlg->OnShow = [&](TObject*) {
    Application->QueueCall([&] {
      for (const Point& p : points) {
        SCOPED_TRACE(p.where);
        bool before = cb->Checked();
        vxtest::Click(cb, p.x, p.y);
        EXPECT_NE(cb->Checked(), before);
        states.push_back(cb->Checked());
      }
      dlg->SetModalResult(mrOk);
    });
  };
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_EQ(clicks, 4);
  EXPECT_EQ(states, (std::vector<bool>{false, true, false, true}));
  delete dlg;
}

TEST_F(ControlsTest, RadioGroupsByParentMayBeLeftEmpty) {
  TForm* f = NewForm();
  auto* g1 = new TGroupBox(f);
  g1->SetParent(f);
  auto* g2 = new TGroupBox(f);
  g2->SetParent(f);
  g2->SetLeft(150);
  std::vector<TRadioButton*> a, b;
  int clicks = 0;
  for (int i = 0; i < 3; ++i) {
    a.push_back(new TRadioButton(f));
    a.back()->SetParent(g1);
    a.back()->SetBounds(5, 15 + 20 * i, 100, 17);
    a.back()->OnClick = [&](TObject*) { ++clicks; };
    b.push_back(new TRadioButton(f));
    b.back()->SetParent(g2);
    b.back()->SetBounds(5, 15 + 20 * i, 100, 17);
  }
  a[0]->SetChecked(true);
  b[1]->SetChecked(true);
  a[2]->SetChecked(true);
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(a[0]->Checked());
  EXPECT_TRUE(a[2]->Checked());
  EXPECT_TRUE(b[1]->Checked());  // the other group is untouched
  a[2]->SetChecked(false);
  for (auto* r : a) EXPECT_FALSE(r->Checked());  // none checked
  vxtest::Click(a[1], 5, 8);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(a[1]->Checked());
  vxtest::Click(a[0], 5, 8);
  EXPECT_TRUE(a[0]->Checked());
  EXPECT_FALSE(a[1]->Checked());
  vxtest::Click(a[0], 5, 8);  // clicking the checked one keeps it checked
  EXPECT_TRUE(a[0]->Checked());
  vxtest::Click(a[2], 90, 8);  // far right of its (empty) caption: still the button
  EXPECT_TRUE(a[2]->Checked());
  EXPECT_FALSE(a[0]->Checked());
}

// A custom control that draws outside Paint, as the typing table does in its key handler.
class Drawer : public TCustomControl {
 public:
  explicit Drawer(TComponent* o) : TCustomControl(o) { SetBounds(0, 0, 100, 40); }
  int paints = 0;
  void Paint() override {
    ++paints;
    Canvas()->Brush()->SetColor(clWhite);
    Canvas()->FillRect(ClientRect());
  }
};

TEST_F(ControlsTest, BackBufferKeepsDrawingDoneOutsidePaint) {
  TForm* f = NewForm();
  auto* d = new Drawer(f);
  d->SetParent(f);
  d->SetLeft(20);
  vxtest::Pump();
  EXPECT_GE(d->paints, 1);
  d->Canvas()->Brush()->SetColor(clRed);
  d->Canvas()->FillRect(TRect(0, 0, 10, 10));
  TBitmap shot;
  vxtest::Grab(f, &shot);
  EXPECT_EQ(shot.PixelColor(25, 5), clRed);
  EXPECT_EQ(shot.PixelColor(50, 20), clWhite);
  int before = d->paints;
  d->Invalidate();
  vxtest::Pump();
  EXPECT_EQ(d->paints, before + 1);
  vxtest::Grab(f, &shot);
  EXPECT_EQ(shot.PixelColor(25, 5), clWhite);
}

TEST_F(ControlsTest, TransparentLabelOverParentBackgroundAndPolishText) {
  TForm* f = NewForm(200, 80);
  f->OnPaint = [f](TObject*) {
    f->Canvas()->Brush()->SetColor(clNavy);
    f->Canvas()->FillRect(f->ClientRect());
  };
  auto* l = new TLabel(f);
  l->SetParent(f);
  l->SetTransparent(true);
  l->Font()->SetColor(clYellow);
  l->Font()->SetSize(12);
  l->SetCaption("\xA3\xF3" "d\xBC \x9C\x9F\xBF");
  l->SetLeft(10);
  TBitmap shot;
  vxtest::Grab(f, &shot);
  int yellow = 0, navy = 0, other = 0;
  for (int y = l->Top(); y < l->Top() + l->Height(); ++y)
    for (int x = l->Left(); x < l->Left() + l->Width(); ++x) {
      TColor c = shot.PixelColor(x, y);
      if (c == clYellow) ++yellow;
      else if (c == clNavy) ++navy;
      else ++other;
    }
  EXPECT_GT(yellow, 20);
  EXPECT_GT(navy, yellow);
  EXPECT_EQ(other, 0);
  EXPECT_GT(l->Width(), 40);  // auto-sized to the caption
}

// Window-less control with a hit mask: only its left half takes the mouse.
class HalfHit : public TGraphicControl {
 public:
  explicit HalfHit(TComponent* o) : TGraphicControl(o) {}
  bool HitTest(int x, int) override { return x < Width() / 2; }
  std::vector<std::string> log;
  void Paint() override {}
  void MouseEnter() override { log.push_back("enter"); }
  void MouseLeave() override { log.push_back("leave"); }
};

TEST_F(ControlsTest, MouseRoutingHitMaskEnterLeaveCaptureAndDoubleClick) {
  TForm* f = NewForm();
  auto* below = new TPaintBox(f);
  below->SetParent(f);
  below->SetBounds(10, 10, 100, 100);
  auto* top = new HalfHit(f);
  top->SetParent(f);
  top->SetBounds(10, 10, 100, 100);
  int belowClicks = 0, topClicks = 0, dbl = 0;
  below->OnClick = [&](TObject*) { ++belowClicks; };
  top->OnClick = [&](TObject*) { ++topClicks; };
  top->OnDblClick = [&](TObject*) { ++dbl; };
  std::vector<std::string> moves;
  top->OnMouseMove = [&](TObject*, TShiftState, int x, int y) { moves.push_back(std::to_string(x) + "," + std::to_string(y)); };
  vxtest::Click(top, 10, 10);
  vxtest::Click(top, 80, 10);  // transparent part: falls through
  EXPECT_EQ(topClicks, 1);
  EXPECT_EQ(belowClicks, 1);
  vxtest::MouseMove(f, 20, 20);
  vxtest::MouseMove(f, 200, 150);
  EXPECT_EQ(top->log, (std::vector<std::string>{"enter", "leave"}));
  // Pressed inside, moved outside: the control keeps the mouse until release.
  vxtest::MouseDown(top, 5, 5);
  vxtest::MouseMove(f, 250, 190, ssLeft);
  vxtest::MouseUp(f, 250, 190);
  EXPECT_EQ(moves.back(), "240,180");
  EXPECT_EQ(topClicks, 1);  // released outside: no click
  vxtest::DoubleClick(top, 5, 5);
  EXPECT_EQ(dbl, 1);
  EXPECT_EQ(topClicks, 2);  // the first click of the pair only
}

TEST_F(ControlsTest, WheelAndMouseDownCarryButtonAndShift) {
  TForm* f = NewForm();
  auto* d = new Drawer(f);
  d->SetParent(f);
  TMouseButton btn = mbLeft;
  TShiftState st = 0;
  int wheel = 0;
  d->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int, int) {
    btn = b;
    st = s;
  };
  d->OnMouseWheel = [&](TObject*, TShiftState, int delta, TPoint, bool& handled) {
    wheel += delta;
    handled = true;
  };
  vxtest::MouseDown(d, 3, 3, mbRight, ssShift);
  vxtest::MouseUp(d, 3, 3, mbRight);
  EXPECT_EQ(btn, mbRight);
  EXPECT_TRUE(st & ssShift);
  EXPECT_TRUE(st & ssRight);
  vxtest::Wheel(d, 3, 3, -120);
  EXPECT_EQ(wheel, -120);
}

TEST_F(ControlsTest, ListAndComboItemsWithObjectsAndOwnerDraw) {
  TForm* f = NewForm(300, 200);
  auto* lb = new TListBox(f);
  lb->SetParent(f);
  lb->SetStyle(lbOwnerDrawFixed);
  lb->SetItemHeight(20);
  TObject tag1, tag2;
  lb->Items()->AddObject("one", &tag1);
  lb->Items()->AddObject("two", &tag2);
  std::vector<int> drawn;
  lb->OnDrawItem = [&](TWinControl*, int i, TRect r, TOwnerDrawState st) {
    drawn.push_back(i);
    lb->Canvas()->Brush()->SetColor((st & odSelected) ? clRed : clLime);
    lb->Canvas()->FillRect(r);
  };
  int clicks = 0;
  lb->OnClick = [&](TObject*) { ++clicks; };
  lb->SetItemIndex(1);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(lb->Items()->Objects(lb->ItemIndex()), &tag2);
  TBitmap shot;
  vxtest::Grab(f, &shot);
  EXPECT_FALSE(drawn.empty());
  TRect r0 = lb->ItemRect(0), r1 = lb->ItemRect(1);
  EXPECT_EQ(r0.Height(), 20);
  EXPECT_EQ(shot.PixelColor(lb->Left() + r0.Left + 5, lb->Top() + r0.Top + 5), clLime);
  EXPECT_EQ(shot.PixelColor(lb->Left() + r1.Left + 5, lb->Top() + r1.Top + 5), clRed);
  auto* cb = new TComboBox(f);
  cb->SetParent(f);
  cb->SetTop(150);
  cb->SetStyle(csDropDownList);
  cb->Items()->AddObject("alfa", &tag1);
  cb->Items()->AddObject("beta", &tag2);
  int changes = 0;
  cb->OnChange = [&](TObject*) { ++changes; };
  cb->SetItemIndex(1);
  EXPECT_EQ(cb->Text(), "beta");
  EXPECT_EQ(cb->Items()->Objects(cb->ItemIndex()), &tag2);
  EXPECT_EQ(changes, 0);
  // The user picks the other item with the keyboard: OnChange, and Text follows.
  cb->SetFocus();
  vxtest::KeyStroke(cb, VK_UP);
  EXPECT_EQ(cb->ItemIndex(), 0);
  EXPECT_EQ(cb->Text(), "alfa");
  EXPECT_EQ(changes, 1);
  cb->Items()->Clear();
  EXPECT_EQ(cb->ItemIndex(), -1);
  // A click on an item of the list selects it and fires OnClick; a double click OnDblClick.
  int dbl = 0;
  lb->OnDblClick = [&](TObject*) { ++dbl; };
  vxtest::Click(lb, r0.Left + 5, r0.Top + 5);
  EXPECT_EQ(lb->ItemIndex(), 0);
  EXPECT_EQ(clicks, 1);
  vxtest::DoubleClick(lb, r0.Left + 5, r0.Top + 5);
  EXPECT_EQ(dbl, 1);
  lb->OnDrawItem = nullptr;  // the handlers refer to this test's locals
  lb->OnDblClick = nullptr;
  lb->OnClick = nullptr;
}

TEST_F(ControlsTest, NotebookPagesByNameAndMemoLines) {
  TForm* f = NewForm();
  auto* nb = new TNotebook(f);
  nb->SetParent(f);
  nb->SetPageNames({"0", "1", "2"});
  auto* onTwo = new TButton(f);
  onTwo->SetParent(nb->PageByName("2"));
  EXPECT_EQ(nb->ActivePage(), "0");
  nb->SetActivePage("2");
  EXPECT_EQ(nb->ActivePage(), "2");
  EXPECT_TRUE(nb->PageByName("2")->Visible());
  EXPECT_FALSE(nb->PageByName("0")->Visible());
  nb->SetActivePage("missing");
  EXPECT_EQ(nb->ActivePage(), "2");
  EXPECT_TRUE(onTwo->Showing());
  auto* memo = new TMemo(f);
  memo->SetParent(f);
  memo->Lines()->Add("first");
  memo->Lines()->Add("drugi \xB3");
  EXPECT_EQ(memo->Text(), "first\r\ndrugi \xB3\r\n");
  memo->Clear();
  EXPECT_EQ(memo->Lines()->Count(), 0);
}

TEST_F(ControlsTest, PropertiesByNameForTheTranslator) {
  TForm* f = NewForm();
  f->SetName("OptionsForm");
  auto* group = new TGroupBox(f);
  group->SetName("GroupSound");
  group->SetParent(f);
  auto* btn = new TButton(f);
  btn->SetName("EnterBtn");
  btn->SetParent(group);
  auto* lb = new TListBox(f);
  lb->SetName("ListBox1");
  lb->SetParent(f);
  std::string prop;
  TComponent* obj = ResolvePropertyPath(f, " enterbtn . Caption ", prop);
  ASSERT_EQ(obj, btn);
  EXPECT_EQ(prop, "Caption");
  EXPECT_TRUE(SetPropertyText(obj, prop, "Dalej"));
  EXPECT_EQ(btn->Caption(), "Dalej");
  EXPECT_EQ(ResolvePropertyPath(f, "OptionsForm.Caption", prop), f);
  EXPECT_EQ(ResolvePropertyPath(f, "Nothing.Caption", prop), nullptr);
  EXPECT_TRUE(SetPropertyText(btn, "hint", "Podpowied\x9F"));
  EXPECT_EQ(btn->Hint(), "Podpowied\x9F");
  EXPECT_EQ(PropertyKind(btn, "Width"), pkInteger);
  EXPECT_TRUE(SetPropertyText(btn, "Width", "120"));
  EXPECT_EQ(btn->Width(), 120);
  EXPECT_THROW(SetPropertyText(btn, "Width", "12a"), EConvertError);
  EXPECT_FALSE(SetPropertyText(btn, "NoSuchProperty", "x"));
  EXPECT_TRUE(SetPropertyText(lb, "Items", " jeden , dwa,trzy , ", ","));
  ASSERT_EQ(lb->Items()->Count(), 3);
  EXPECT_EQ(lb->Items()->Strings(0), "jeden");
  EXPECT_EQ(lb->Items()->Strings(2), "trzy");
  EXPECT_TRUE(SetPropertyText(lb, "Items", "a;b", ";"));
  EXPECT_EQ(lb->Items()->Count(), 2);
  EXPECT_EQ(GetPropertyText(btn, "Caption"), "Dalej");
}

TEST_F(ControlsTest, CaretIsDrawnAsInvertedBar) {
  TForm* f = NewForm();
  auto* d = new Drawer(f);
  d->SetParent(f);
  vxtest::Pump();
  TPoint p;
  EXPECT_FALSE(d->GetCaretPos(p));
  d->CreateCaret(2, 12);
  d->SetCaretPos(30, 5);
  d->ShowCaret();
  ASSERT_TRUE(d->GetCaretPos(p));
  EXPECT_EQ(p, TPoint(30, 5));
  TBitmap shot;
  vxtest::Grab(f, &shot);
  EXPECT_EQ(shot.PixelColor(30, 8), clBlack);  // white buffer inverted
  EXPECT_EQ(shot.PixelColor(33, 8), clWhite);
  d->HideCaret();
  vxtest::Grab(f, &shot);
  EXPECT_EQ(shot.PixelColor(30, 8), clWhite);
  d->DestroyCaret();
  EXPECT_FALSE(d->GetCaretPos(p));
}

TEST_F(ControlsTest, AlignLaysOutChildren) {
  TForm* f = NewForm(300, 200);
  auto* top = new TPanel(f);
  top->SetParent(f);
  top->SetHeight(30);
  top->SetAlign(alTop);
  auto* client = new TPanel(f);
  client->SetParent(f);
  client->SetAlign(alClient);
  EXPECT_EQ(top->BoundsRect(), TRect(0, 0, 300, 30));
  EXPECT_EQ(client->BoundsRect(), TRect(0, 30, 300, 200));
  int resized = 0;
  client->OnResize = [&](TObject*) { ++resized; };
  f->SetBounds(f->Left(), f->Top(), 400, 300);
  EXPECT_EQ(client->BoundsRect(), TRect(0, 30, 400, 300));
  EXPECT_EQ(resized, 1);
}

}  // namespace

namespace {

class TimerProbe : public TCustomControl {
 public:
  explicit TimerProbe(TComponent* o) : TCustomControl(o) {}
  std::vector<unsigned> msgs;
  std::vector<intptr_t> timerIds;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_TIMER) timerIds.push_back(m.WParam);
    if (m.Msg >= WM_USER && m.Msg < CM_BASE) msgs.push_back(m.Msg);
    TCustomControl::WndProc(m);
  }
};

class MiscControlsTest : public GuiTest {};

TEST_F(MiscControlsTest, WindowTimersTimersAndPostedMessages) {
  TForm* f = NewForm();
  auto* p = new TimerProbe(f);
  p->SetParent(f);
  auto* t = new TTimer(f);
  t->SetInterval(1);
  int ticks = 0;
  t->OnTimer = [&](TObject*) {
    if (++ticks == 3) t->SetEnabled(false);
  };
  p->SetTimer(1, 1);
  p->PostMessage(WM_USER + 100);
  EXPECT_TRUE(p->msgs.empty());  // posted: delivered later, from the loop
  Application->OnIdle = [&](TObject*, bool& done) {
    done = false;
    if (ticks >= 3 && p->timerIds.size() >= 2) Application->Terminate();
  };
  Application->Run();
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(p->msgs, (std::vector<unsigned>{WM_USER + 100}));
  EXPECT_EQ(p->timerIds.front(), 1);
  p->KillTimer(1);
  t->OnTimer = nullptr;
}

TEST_F(MiscControlsTest, ScrollBarKeepsThirtyTwoBitRangesAndPageControlPagesByName) {
  TForm* f = NewForm();
  auto* sb = new TScrollBar(f);
  sb->SetParent(f);
  sb->SetKind(sbVertical);
  sb->SetParams(2000000000, 0, 2100000000);
  EXPECT_EQ(sb->Position(), 2000000000);
  EXPECT_EQ(sb->Max(), 2100000000);
  sb->SetPageSize(100000000);
  sb->SetPosition(2100000000);
  EXPECT_EQ(sb->Position(), 2000000001);  // the last page starts at Max - PageSize + 1
  EXPECT_THROW(sb->SetParams(0, 10, 5), EInvalidOperation);
  auto* pc = new TPageControl(f);
  pc->SetParent(f);
  auto* user = new TTabSheet(f);
  user->SetName("TabUser");
  user->SetCaption("User");
  user->SetPageControl(pc);
  auto* err = new TTabSheet(f);
  err->SetCaption("Error");
  err->SetPageControl(pc);
  EXPECT_EQ(pc->ActivePage(), user);
  pc->SetActivePageByName("error");
  EXPECT_EQ(pc->ActivePage(), err);
  EXPECT_TRUE(err->Visible());
  EXPECT_FALSE(user->Visible());
  // A click on the first tab switches back.
  TRect tab = pc->TabRect(0);
  vxtest::Click(pc, tab.Left + 3, tab.Top + 3);
  EXPECT_EQ(pc->ActivePageIndex(), 0);
  delete err;
  EXPECT_EQ(pc->PageCount(), 1);
}

}  // namespace

namespace {

class RegionTest : public GuiTest {};

TEST_F(RegionTest, ClicksOutsideWindowRegionFallThrough) {
  TForm* f = NewForm();
  auto* shaped = new TPanel(f);
  shaped->SetParent(f);
  shaped->SetBounds(20, 20, 100, 40);
  TBitmap mask;
  mask.SetSize(100, 40);
  mask.Canvas()->Brush()->SetColor(clFuchsia);  // key colour: outside the shape
  mask.Canvas()->FillRect(TRect(0, 0, 100, 40));
  mask.Canvas()->Brush()->SetColor(clBlack);
  mask.Canvas()->FillRect(TRect(0, 0, 50, 40));
  TRegion rgn = TRegion::FromMask(mask, clFuchsia);
  shaped->SetWindowRegion(&rgn);
  int shapeClicks = 0, formClicks = 0;
  shaped->OnClick = [&](TObject*) { ++shapeClicks; };
  f->OnClick = [&](TObject*) { ++formClicks; };
  vxtest::Click(shaped, 10, 10);
  vxtest::Click(shaped, 80, 10);
  EXPECT_EQ(shapeClicks, 1);
  EXPECT_EQ(formClicks, 1);
  TBitmap shot;
  f->SetColor(clWhite);
  shaped->SetColor(clRed);
  vxtest::Grab(f, &shot);
  EXPECT_EQ(shot.PixelColor(30, 40), clRed);
  EXPECT_EQ(shot.PixelColor(100, 40), clWhite);
}

}  // namespace
