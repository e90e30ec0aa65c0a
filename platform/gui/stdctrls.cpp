#include "platform/gui/stdctrls.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <algorithm>

#include "platform/core/cp1250.h"
#include "platform/gui/controlimpl.h"

namespace {
template <class W>
W* Native(const TControl* c) {
  return static_cast<W*>(ControlBridge::P(c).widget.data());
}

// A string list that mirrors itself into a widget after every change.
class MirroredStrings : public TStringList {
 public:
  std::function<void()> sync;
  MirroredStrings() {
    OnChange = [this](TObject*) {
      if (sync) sync();
    };
  }
};

// Draws owner-drawn items through the control's OnDrawItem into a picture of the item.
class OwnerDrawDelegate : public QStyledItemDelegate {
 public:
  OwnerDrawDelegate(TWinControl* c, TCanvas* canvas, std::function<const TDrawItemEvent&()> ev,
                    std::function<int()> height, QObject* parent)
      : QStyledItemDelegate(parent), control_(c), canvas_(canvas), event_(std::move(ev)), height_(std::move(height)) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const TDrawItemEvent& ev = event_();
    if (!ev) return QStyledItemDelegate::paint(painter, option, index);
    QRect r = option.rect;
    QImage img(r.size(), QImage::Format_ARGB32);
    img.fill(ToArgb(control_->Color()));
    auto target = std::make_shared<TCanvasTarget>();
    target->image = &img;
    target->origin = -r.topLeft();
    target->bound = QRect(QPoint(0, 0), r.size());
    canvas_->Attach(target);
    canvas_->Font()->Assign(*control_->Font());
    canvas_->Brush()->SetColor(control_->Color());
    TOwnerDrawState st = 0;
    if (option.state & QStyle::State_Selected) {
      st |= odSelected;
      canvas_->Brush()->SetColor(clHighlight);
      canvas_->Font()->SetColor(clHighlightText);
    }
    if (option.state & QStyle::State_HasFocus) st |= odFocused;
    if (!control_->Enabled()) st |= odDisabled;
    TWinControl* c = control_;
    int row = index.row();
    TRect tr = FromQRect(r);
    GuardedCall([&] { ev(c, row, tr, st); });
    canvas_->Detach();
    painter->drawImage(r.topLeft(), img);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    return QSize(s.width(), height_());
  }

 private:
  TWinControl* control_;
  TCanvas* canvas_;
  std::function<const TDrawItemEvent&()> event_;
  std::function<int()> height_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  P->parentColor = true;
  P->style &= ~csOpaque;
  SetBounds(0, 0, 65, 17);
}

void TLabel::SetAlignment(TAlignment a) { FAlignment = a; Invalidate(); }
void TLabel::SetLayout(TTextLayout l) { FLayout = l; Invalidate(); }
void TLabel::SetWordWrap(bool v) { FWordWrap = v; AdjustBounds(); Invalidate(); }
void TLabel::SetTransparent(bool v) { FTransparent = v; Invalidate(); }
void TLabel::SetAutoSize(bool v) { FAutoSize = v; AdjustBounds(); }
void TLabel::SetShowAccelChar(bool v) { FShowAccelChar = v; AdjustBounds(); Invalidate(); }
void TLabel::FontChanged() {
  TGraphicControl::FontChanged();
  if (FCanvas) FCanvas->Font()->Assign(*Font());
  AdjustBounds();
}

unsigned TLabel::DrawFlags() const {
  unsigned f = DT_EXPANDTABS;
  if (FWordWrap) f |= DT_WORDBREAK;
  if (!FShowAccelChar) f |= DT_NOPREFIX;
  if (FAlignment == taCenter) f |= DT_CENTER;
  else if (FAlignment == taRightJustify) f |= DT_RIGHT;
  if (Application && Application->UseRightToLeftReading()) f |= DT_RTLREADING;
  return f;
}

void TLabel::AdjustBounds() {
  if (!FAutoSize) return;
  TCanvas c;
  TBitmap scratch;
  scratch.SetSize(1, 1);
  c.Attach(std::shared_ptr<TCanvasTarget>(scratch.Canvas()->Target(), [](TCanvasTarget*) {}));
  c.Font()->Assign(*Font());
  TRect r(0, 0, FWordWrap ? Width() : 0, 0);
  std::string text = Caption().empty() ? std::string(" ") : Caption();
  c.DrawText(text, r, DrawFlags() | DT_CALCRECT);
  int w = FWordWrap ? Width() : r.Width();
  int x = Left();
  if (!FWordWrap && FAlignment == taRightJustify) x = Left() + Width() - w;
  SetBounds(x, Top(), w, r.Height());
}

void TLabel::WndProc(TMessage& m) {
  if (m.Msg == CM_DIALOGCHAR && FShowAccelChar && FocusControl && IsLive(FocusControl) &&
      IsAccel(char(m.WParam), Caption()) && FocusControl->CanFocus()) {
    FocusControl->SetFocus();
    m.Result = 1;
    return;
  }
  TGraphicControl::WndProc(m);
}

void TLabel::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  TRect r = ClientRect();
  if (!FTransparent) {
    c->Brush()->SetColor(Color());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  c->Brush()->SetStyle(bsClear);
  unsigned flags = DrawFlags();
  if (FLayout != tlTop) {
    TRect calc = r;
    c->DrawText(Caption(), calc, flags | DT_CALCRECT);
    int dy = FLayout == tlBottom ? r.Height() - calc.Height() : (r.Height() - calc.Height()) / 2;
    r.Top += dy;
  }
  if (!Enabled()) {
    TRect r2 = OffsetRect(r, 1, 1);
    c->Font()->SetColor(clBtnHighlight);
    c->DrawText(Caption(), r2, flags);
    c->Font()->SetColor(clBtnShadow);
  }
  c->DrawText(Caption(), r, flags);
}

// ---------------------------------------------------------------------------------------------
// TEdit

struct StdBridge {
  static void EditChanged(TEdit* e, const QString& t) {
    ControlBridge::P(e).caption = FromQ(t);
    e->FModified = true;
    GuardedCall([e] {
      if (e->OnChange) e->OnChange(e);
    });
  }
};

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner, wkNative) {
  auto* le = new QLineEdit();
  ControlBridge::InitWinControl(this, le, false);
  P->color = clWindow;
  P->tabStop = true;
  le->setFocusPolicy(Qt::StrongFocus);
  ControlBridge::ApplyPalette(this);
  TEdit* self = this;
  QObject::connect(le, &QLineEdit::textChanged, [self](const QString& t) { StdBridge::EditChanged(self, t); });
  SetBounds(0, 0, 121, 21);
}

const std::string& TEdit::Text() const { return P->caption; }
void TEdit::SetCaption(const std::string& s) {
  auto* le = Native<QLineEdit>(this);
  QString q = ToQ(s);
  if (le->text() != q) le->setText(q);
  else P->caption = s;
}
int TEdit::MaxLength() const {
  int m = Native<QLineEdit>(this)->maxLength();
  return m >= 32767 ? 0 : m;
}
void TEdit::SetMaxLength(int n) { Native<QLineEdit>(this)->setMaxLength(n <= 0 ? 32767 : n); }
void TEdit::SetPasswordChar(char c) {
  FPasswordChar = c;
  auto* le = Native<QLineEdit>(this);
  le->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
  le->setStyleSheet(c ? QStringLiteral("QLineEdit { lineedit-password-character: %1 }")
                            .arg(int(Cp1250ToUnicode(static_cast<unsigned char>(c))))
                      : QString());
}
bool TEdit::ReadOnly() const { return Native<QLineEdit>(this)->isReadOnly(); }
void TEdit::SetReadOnly(bool v) { Native<QLineEdit>(this)->setReadOnly(v); }
int TEdit::SelStart() const {
  auto* le = Native<QLineEdit>(this);
  return le->hasSelectedText() ? le->selectionStart() : le->cursorPosition();
}
void TEdit::SetSelStart(int v) { Native<QLineEdit>(this)->setCursorPosition(v); }
int TEdit::SelLength() const { return int(Native<QLineEdit>(this)->selectedText().size()); }
void TEdit::SetSelLength(int v) {
  auto* le = Native<QLineEdit>(this);
  le->setSelection(le->cursorPosition(), v);
}
void TEdit::SelectAll() { Native<QLineEdit>(this)->selectAll(); }

// ---------------------------------------------------------------------------------------------
// TMemo

struct TMemo::Impl {
  MirroredStrings lines;
  bool syncing = false;
};

TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner, wkNative), FImpl(new Impl) {
  auto* te = new QPlainTextEdit();
  ControlBridge::InitWinControl(this, te, false);
  P->color = clWindow;
  P->tabStop = true;
  te->setFocusPolicy(Qt::StrongFocus);
  ControlBridge::ApplyPalette(this);
  TMemo* self = this;
  FImpl->lines.sync = [self] {
    auto& im = *self->FImpl;
    if (im.syncing) return;
    im.syncing = true;
    QStringList l;
    for (int i = 0; i < im.lines.Count(); ++i) l << ToQ(im.lines.Strings(i));
    Native<QPlainTextEdit>(self)->setPlainText(l.join(QLatin1Char('\n')));
    im.syncing = false;
  };
  QObject::connect(te, &QPlainTextEdit::textChanged, [self] {
    auto& im = *self->FImpl;
    if (!im.syncing) {
      im.syncing = true;
      QStringList l = Native<QPlainTextEdit>(self)->toPlainText().split(QLatin1Char('\n'));
      im.lines.BeginUpdate();
      im.lines.Clear();
      if (!(l.size() == 1 && l[0].isEmpty()))
        for (auto& s : l) im.lines.Add(FromQ(s));
      im.lines.EndUpdate();
      im.syncing = false;
    }
    GuardedCall([self] {
      if (self->OnChange) self->OnChange(self);
    });
  });
  SetBounds(0, 0, 185, 89);
}
TMemo::~TMemo() { FImpl->lines.sync = nullptr; }
TStrings* TMemo::Lines() const { return &FImpl->lines; }
std::string TMemo::Text() const {
  std::string s;
  for (int i = 0; i < FImpl->lines.Count(); ++i) {
    s += FImpl->lines.Strings(i);
    s += "\r\n";
  }
  return s;
}
void TMemo::SetText(const std::string& s) { FImpl->lines.SetText(s); }
void TMemo::Clear() { FImpl->lines.Clear(); }
bool TMemo::ReadOnly() const { return Native<QPlainTextEdit>(this)->isReadOnly(); }
void TMemo::SetReadOnly(bool v) { Native<QPlainTextEdit>(this)->setReadOnly(v); }
void TMemo::SetWordWrap(bool v) {
  FWordWrap = v;
  Native<QPlainTextEdit>(this)->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}
void TMemo::SetScrollBars(TScrollStyle s) {
  FScrollBars = s;
  auto* te = Native<QPlainTextEdit>(this);
  te->setVerticalScrollBarPolicy((s == ssVertical || s == ssBoth) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  te->setHorizontalScrollBarPolicy((s == ssHorizontal || s == ssBoth) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}
int TMemo::SelStart() const { return Native<QPlainTextEdit>(this)->textCursor().selectionStart(); }
void TMemo::SetSelStart(int v) {
  auto* te = Native<QPlainTextEdit>(this);
  QTextCursor c = te->textCursor();
  c.setPosition(v);
  te->setTextCursor(c);
}
int TMemo::SelLength() const {
  QTextCursor c = Native<QPlainTextEdit>(this)->textCursor();
  return c.selectionEnd() - c.selectionStart();
}
void TMemo::SetSelLength(int v) {
  auto* te = Native<QPlainTextEdit>(this);
  QTextCursor c = te->textCursor();
  c.setPosition(c.selectionStart());
  c.setPosition(c.selectionStart() + v, QTextCursor::KeepAnchor);
  te->setTextCursor(c);
}
bool TMemo::WantsKey(uint16_t key, TShiftState) { return key == VK_RETURN && FWantReturns; }

// ---------------------------------------------------------------------------------------------
// TButton, TCheckBox, TRadioButton

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner, wkNative) {
  auto* b = new QPushButton();
  ControlBridge::InitWinControl(this, b, false);
  P->tabStop = true;
  b->setAutoDefault(false);
  b->setFocusPolicy(Qt::StrongFocus);
  TButton* self = this;
  QObject::connect(b, &QPushButton::clicked, [self] { GuardedCall([self] { self->Click(); }); });
  SetBounds(0, 0, 75, 25);
}
void TButton::SetCaption(const std::string& s) {
  TControl::SetCaption(s);
  Native<QPushButton>(this)->setText(ToQ(s));
}
void TButton::WndProc(TMessage& m) {
  if (m.Msg == CM_DIALOGCHAR && IsAccel(char(m.WParam), Caption()) && CanFocus()) {
    Click();
    m.Result = 1;
    return;
  }
  TWinControl::WndProc(m);
}

void TButton::Click() {
  if (FModalResult != 0)
    if (TForm* f = GetParentForm(this)) f->SetModalResult(FModalResult);
  TWinControl::Click();
}

namespace {
// The whole control is the button: a press anywhere in its bounds, also right of a caption shorter
// than the box, toggles it (the native widget on its own reacts only on its mark and its text).
class WholeCheckBox : public QCheckBox {
 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};
class WholeRadioButton : public QRadioButton {
 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};
}  // namespace

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner, wkNative) {
  auto* b = new WholeCheckBox();
  ControlBridge::InitWinControl(this, b, false);
  P->tabStop = true;
  b->setFocusPolicy(Qt::StrongFocus);
  TCheckBox* self = this;
  QObject::connect(b, &QCheckBox::clicked, [self] { GuardedCall([self] { self->Click(); }); });
  SetBounds(0, 0, 97, 17);
}
void TCheckBox::WndProc(TMessage& m) {
  if (m.Msg == CM_DIALOGCHAR && IsAccel(char(m.WParam), Caption()) && CanFocus()) {
    SetFocus();
    if (FAllowGrayed)
      SetState(State() == cbUnchecked ? cbChecked : State() == cbChecked ? cbGrayed : cbUnchecked);
    else
      SetChecked(!Checked());
    Click();
    m.Result = 1;
    return;
  }
  TWinControl::WndProc(m);
}

void TCheckBox::SetCaption(const std::string& s) {
  TControl::SetCaption(s);
  Native<QCheckBox>(this)->setText(ToQ(s));
}
bool TCheckBox::Checked() const { return Native<QCheckBox>(this)->checkState() == Qt::Checked; }
void TCheckBox::SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
TCheckBoxState TCheckBox::State() const {
  switch (Native<QCheckBox>(this)->checkState()) {
    case Qt::Checked: return cbChecked;
    case Qt::PartiallyChecked: return cbGrayed;
    default: return cbUnchecked;
  }
}
void TCheckBox::SetState(TCheckBoxState s) {
  auto* b = Native<QCheckBox>(this);
  QSignalBlocker block(b);
  b->setCheckState(s == cbChecked ? Qt::Checked : s == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
}
void TCheckBox::SetAllowGrayed(bool v) {
  FAllowGrayed = v;
  Native<QCheckBox>(this)->setTristate(v);
}

TRadioButton::TRadioButton(TComponent* AOwner) : TWinControl(AOwner, wkNative) {
  auto* b = new WholeRadioButton();
  b->setAutoExclusive(false);  // grouping is ours: by parent, and a group may be left empty
  ControlBridge::InitWinControl(this, b, false);
  P->tabStop = true;
  b->setFocusPolicy(Qt::StrongFocus);
  TRadioButton* self = this;
  QObject::connect(b, &QRadioButton::clicked, [self](bool checked) {
    if (!checked) {
      // A click on the checked button leaves it checked.
      QSignalBlocker block(Native<QRadioButton>(self));
      Native<QRadioButton>(self)->setChecked(true);
      return;
    }
    self->UserChecked();
    GuardedCall([self] { self->Click(); });
  });
  SetBounds(0, 0, 113, 17);
}
void TRadioButton::WndProc(TMessage& m) {
  if (m.Msg == CM_DIALOGCHAR && IsAccel(char(m.WParam), Caption()) && CanFocus()) {
    SetFocus();
    if (!Checked()) {
      SetChecked(true);
      Click();
    }
    m.Result = 1;
    return;
  }
  TWinControl::WndProc(m);
}

void TRadioButton::SetCaption(const std::string& s) {
  TControl::SetCaption(s);
  Native<QRadioButton>(this)->setText(ToQ(s));
}
bool TRadioButton::Checked() const { return Native<QRadioButton>(this)->isChecked(); }
void TRadioButton::SetChecked(bool v) {
  {
    QSignalBlocker block(Native<QRadioButton>(this));
    Native<QRadioButton>(this)->setChecked(v);
  }
  if (v) UserChecked();
}
void TRadioButton::UserChecked() {
  if (!Parent()) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    auto* r = dynamic_cast<TRadioButton*>(Parent()->Controls(i));
    if (r && r != this && r->Checked()) {
      QSignalBlocker block(Native<QRadioButton>(r));
      Native<QRadioButton>(r)->setChecked(false);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TPanel, TGroupBox

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, 185, 41);
}
void TPanel::SetBevelOuter(TBevelCut b) { FBevelOuter = b; Invalidate(); }
void TPanel::SetBevelInner(TBevelCut b) { FBevelInner = b; Invalidate(); }
void TPanel::SetBevelWidth(int w) { FBevelWidth = w; Invalidate(); }
void TPanel::SetBorderStyle(TBorderStyle b) { FBorderStyle = b; Invalidate(); }
void TPanel::SetAlignment(TAlignment a) { FAlignment = a; Invalidate(); }

void TPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (FBorderStyle == bsSingleBorder) {
    c->Brush()->SetColor(clWindowFrame);
    c->FrameRect(r);
    r = InflateRect(r, -1, -1);
  }
  auto bevel = [&](TBevelCut b) {
    if (b == bvNone) return;
    TColor top = b == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = b == bvLowered ? clBtnHighlight : clBtnShadow;
    if (b == bvSpace) top = bottom = Color();
    c->Frame3D(r, top, bottom, FBevelWidth);
  };
  bevel(FBevelOuter);
  bevel(FBevelInner);
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  if (!Caption().empty()) {
    c->Font()->Assign(*Font());
    c->Brush()->SetStyle(bsClear);
    unsigned f = DT_VCENTER | DT_SINGLELINE | (FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : 0);
    c->DrawText(Caption(), r, f);
  }
  if (OnPaint) OnPaint(this);
}

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  int h = c->TextHeight("0");
  TRect r(0, h / 2 - 1, Width(), Height());
  c->Brush()->SetColor(clBtnHighlight);
  c->FrameRect(OffsetRect(TRect(r.Left, r.Top, r.Right - 1, r.Bottom - 1), 1, 1));
  c->Brush()->SetColor(clBtnShadow);
  c->FrameRect(TRect(r.Left, r.Top, r.Right - 1, r.Bottom - 1));
  if (!Caption().empty()) {
    TRect tr(8, 0, 0, h);
    c->DrawText(Caption(), tr, DT_SINGLELINE | DT_CALCRECT);
    c->Brush()->SetColor(Color());
    c->DrawText(Caption(), tr, DT_SINGLELINE);
  }
}

// ---------------------------------------------------------------------------------------------
// TListBox

struct TListBox::Impl {
  MirroredStrings items;
  TCanvas canvas;
  bool syncing = false;
};

TListBox::TListBox(TComponent* AOwner) : TWinControl(AOwner, wkNative), FImpl(new Impl) {
  auto* lw = new QListWidget();
  ControlBridge::InitWinControl(this, lw, false);
  P->color = clWindow;
  P->tabStop = true;
  lw->setFocusPolicy(Qt::StrongFocus);
  lw->setUniformItemSizes(true);
  ControlBridge::ApplyPalette(this);
  TListBox* self = this;
  FImpl->items.sync = [self] {
    auto* w = Native<QListWidget>(self);
    QSignalBlocker block(w);
    int cur = w->currentRow();
    w->clear();
    for (int i = 0; i < self->FImpl->items.Count(); ++i) w->addItem(ToQ(self->FImpl->items.Strings(i)));
    if (cur >= 0 && cur < w->count()) w->setCurrentRow(cur);
  };
  QObject::connect(lw, &QListWidget::currentRowChanged, [self](int) { GuardedCall([self] { self->Click(); }); });
  QObject::connect(lw, &QListWidget::itemDoubleClicked, [self](QListWidgetItem*) {
    GuardedCall([self] { self->DblClick(); });
  });
  lw->setItemDelegate(new OwnerDrawDelegate(
      this, &FImpl->canvas, [self]() -> const TDrawItemEvent& { return self->OnDrawItem; },
      [self] { return self->FStyle == lbStandard ? QFontMetrics(ToQFont(*self->Font())).height() + 2 : self->FItemHeight; },
      lw));
  SetBounds(0, 0, 121, 97);
}
TListBox::~TListBox() { FImpl->items.sync = nullptr; }
TStrings* TListBox::Items() const { return &FImpl->items; }
int TListBox::ItemIndex() const { return Native<QListWidget>(this)->currentRow(); }
void TListBox::SetItemIndex(int i) {
  auto* w = Native<QListWidget>(this);
  QSignalBlocker block(w);
  if (i < 0 || i >= w->count()) {
    w->setCurrentRow(-1);
    w->clearSelection();
  } else {
    w->setCurrentRow(i);
  }
}
void TListBox::Clear() { FImpl->items.Clear(); }
void TListBox::SetStyle(TListBoxStyle s) {
  FStyle = s;
  Native<QListWidget>(this)->doItemsLayout();
}
void TListBox::SetItemHeight(int h) {
  FItemHeight = h;
  Native<QListWidget>(this)->doItemsLayout();
}
bool TListBox::MultiSelect() const {
  return Native<QListWidget>(this)->selectionMode() != QAbstractItemView::SingleSelection;
}
void TListBox::SetMultiSelect(bool v) {
  Native<QListWidget>(this)->setSelectionMode(v ? (FExtendedSelect ? QAbstractItemView::ExtendedSelection
                                                                   : QAbstractItemView::MultiSelection)
                                                : QAbstractItemView::SingleSelection);
}
void TListBox::SetExtendedSelect(bool v) {
  FExtendedSelect = v;
  if (MultiSelect()) SetMultiSelect(true);
}
bool TListBox::Selected(int i) const {
  auto* w = Native<QListWidget>(this);
  if (i < 0 || i >= w->count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  return w->item(i)->isSelected();
}
void TListBox::SetSelected(int i, bool v) {
  auto* w = Native<QListWidget>(this);
  if (i < 0 || i >= w->count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  QSignalBlocker block(w);
  w->item(i)->setSelected(v);
}
int TListBox::SelCount() const { return int(Native<QListWidget>(this)->selectedItems().size()); }
int TListBox::TopIndex() const {
  auto* w = Native<QListWidget>(this);
  QListWidgetItem* it = w->itemAt(2, 2);
  return it ? w->row(it) : 0;
}
void TListBox::SetTopIndex(int i) {
  auto* w = Native<QListWidget>(this);
  if (i >= 0 && i < w->count()) w->scrollToItem(w->item(i), QAbstractItemView::PositionAtTop);
}
TRect TListBox::ItemRect(int i) const {
  auto* w = Native<QListWidget>(this);
  if (i < 0 || i >= w->count()) return TRect();
  QRect r = w->visualItemRect(w->item(i));
  QPoint o = w->viewport()->mapTo(w, QPoint(0, 0));
  return FromQRect(r.translated(o));
}
int TListBox::ItemAtPos(TPoint p, bool existing) const {
  auto* w = Native<QListWidget>(this);
  QPoint vp = w->viewport()->mapFrom(w, QPoint(p.X, p.Y));
  QListWidgetItem* it = w->itemAt(vp);
  if (it) return w->row(it);
  return existing ? -1 : w->count();
}
bool TListBox::Sorted() const { return FImpl->items.Sorted(); }
void TListBox::SetSorted(bool v) { FImpl->items.SetSorted(v); }
TCanvas* TListBox::Canvas() const { return &FImpl->canvas; }

// ---------------------------------------------------------------------------------------------
// TComboBox

namespace {
// Combo box whose closed face is drawn by the program in owner-draw styles.
class VxComboBox : public QComboBox {
 public:
  TComboBox* control = nullptr;
  std::function<void()> onPopup;

 protected:
  void showPopup() override {
    if (onPopup) onPopup();
    QComboBox::showPopup();
  }
  void paintEvent(QPaintEvent* e) override {
    if (!control || (control->Style() != csOwnerDrawFixed && control->Style() != csOwnerDrawVariable) ||
        !control->OnDrawItem || currentIndex() < 0) {
      QComboBox::paintEvent(e);
      return;
    }
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    QRect r = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    QImage img(r.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
    img.fill(ToArgb(control->Color()));
    auto target = std::make_shared<TCanvasTarget>();
    target->image = &img;
    target->origin = -r.topLeft();
    target->bound = QRect(QPoint(0, 0), img.size());
    TCanvas* c = control->Canvas();
    c->Attach(target);
    c->Font()->Assign(*control->Font());
    c->Brush()->SetColor(control->Color());
    TOwnerDrawState st = odComboBoxEdit;
    if (hasFocus()) st |= odFocused | odSelected;
    if (st & odSelected) {
      c->Brush()->SetColor(clHighlight);
      c->Font()->SetColor(clHighlightText);
    }
    int idx = currentIndex();
    TRect tr = FromQRect(r);
    TComboBox* ctl = control;
    GuardedCall([&] { ctl->OnDrawItem(ctl, idx, tr, st); });
    c->Detach();
    painter.drawImage(r.topLeft(), img);
  }
};
}  // namespace

struct TComboBox::Impl {
  MirroredStrings items;
  TCanvas canvas;
};

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner, wkNative), FImpl(new Impl) {
  auto* cb = new VxComboBox();
  cb->control = this;
  cb->setEditable(true);
  ControlBridge::InitWinControl(this, cb, false);
  P->color = clWindow;
  P->tabStop = true;
  cb->setFocusPolicy(Qt::StrongFocus);
  ControlBridge::ApplyPalette(this);
  TComboBox* self = this;
  FImpl->items.sync = [self] {
    auto* w = Native<QComboBox>(self);
    QSignalBlocker block(w);
    int cur = w->currentIndex();
    QString text = w->currentText();
    w->clear();
    for (int i = 0; i < self->FImpl->items.Count(); ++i) w->addItem(ToQ(self->FImpl->items.Strings(i)));
    if (cur >= 0 && cur < w->count()) w->setCurrentIndex(cur);
    else w->setCurrentIndex(-1);
    if (w->isEditable()) w->setEditText(cur >= 0 && cur < w->count() ? w->currentText() : text);
  };
  QObject::connect(cb, QOverload<int>::of(&QComboBox::activated), [self](int) {
    ControlBridge::P(self).caption = FromQ(Native<QComboBox>(self)->currentText());
    GuardedCall([self] { self->Click(); });
    if (!IsLive(self)) return;
    GuardedCall([self] {
      if (self->OnChange) self->OnChange(self);
    });
  });
  QObject::connect(cb, &QComboBox::editTextChanged, [self](const QString& t) {
    ControlBridge::P(self).caption = FromQ(t);
  });
  cb->onPopup = [self] {
    GuardedCall([self] {
      if (self->OnDropDown) self->OnDropDown(self);
    });
  };
  cb->setItemDelegate(new OwnerDrawDelegate(
      this, &FImpl->canvas,
      [self]() -> const TDrawItemEvent& {
        static const TDrawItemEvent none;
        return (self->FStyle == csOwnerDrawFixed || self->FStyle == csOwnerDrawVariable) ? self->OnDrawItem : none;
      },
      [self] {
        return (self->FStyle == csOwnerDrawFixed || self->FStyle == csOwnerDrawVariable)
                   ? self->FItemHeight
                   : QFontMetrics(ToQFont(*self->Font())).height() + 2;
      },
      cb));
  SetBounds(0, 0, 145, 21);
}
TComboBox::~TComboBox() {
  FImpl->items.sync = nullptr;
  static_cast<VxComboBox*>(Native<QComboBox>(this))->control = nullptr;
}
TStrings* TComboBox::Items() const { return &FImpl->items; }
int TComboBox::ItemIndex() const { return Native<QComboBox>(this)->currentIndex(); }
void TComboBox::SetItemIndex(int i) {
  auto* w = Native<QComboBox>(this);
  QSignalBlocker block(w);
  w->setCurrentIndex(i >= 0 && i < w->count() ? i : -1);
  P->caption = FromQ(w->currentText());
}
const std::string& TComboBox::Text() const { return P->caption; }
void TComboBox::SetCaption(const std::string& s) {
  auto* w = Native<QComboBox>(this);
  QSignalBlocker block(w);
  P->caption = s;
  int i = w->findText(ToQ(s));
  if (w->isEditable()) {
    w->setEditText(ToQ(s));
  } else {
    w->setCurrentIndex(i);
    P->caption = i >= 0 ? s : std::string();
  }
}
void TComboBox::SetStyle(TComboBoxStyle s) {
  FStyle = s;
  auto* w = Native<QComboBox>(this);
  w->setEditable(s == csDropDown || s == csSimple);
  w->update();
}
void TComboBox::SetItemHeight(int h) {
  FItemHeight = h;
  Native<QComboBox>(this)->view()->doItemsLayout();
}
void TComboBox::SetDropDownCount(int n) {
  FDropDownCount = n;
  Native<QComboBox>(this)->setMaxVisibleItems(std::max(1, n));
}
bool TComboBox::DroppedDown() const { return Native<QComboBox>(this)->view()->isVisible(); }
void TComboBox::SetDroppedDown(bool v) {
  if (v) Native<QComboBox>(this)->showPopup();
  else Native<QComboBox>(this)->hidePopup();
}
bool TComboBox::Sorted() const { return FImpl->items.Sorted(); }
void TComboBox::SetSorted(bool v) { FImpl->items.SetSorted(v); }
void TComboBox::Clear() {
  FImpl->items.Clear();
  P->caption.clear();
  auto* w = Native<QComboBox>(this);
  QSignalBlocker block(w);
  if (w->isEditable()) w->setEditText(QString());
}
TCanvas* TComboBox::Canvas() const { return &FImpl->canvas; }

// ---------------------------------------------------------------------------------------------
// TNotebook

TPage::TPage(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(false);
  SetParentColor(true);
}

TNotebook::TNotebook(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, 150, 150);
  AddPage("Default");
  SetPageIndex(0);
}

TPage* TNotebook::AddPage(const std::string& name) {
  auto* p = new TPage(this);
  p->SetCaption(name);
  p->SetVisible(false);
  p->SetParent(this);
  p->SetParentColor(true);
  p->SetAlign(alClient);
  FPages.push_back(p);
  return p;
}

void TNotebook::SetPageNames(const std::vector<std::string>& names) {
  for (TPage* p : FPages) delete p;
  FPages.clear();
  FPageIndex = -1;
  for (auto& n : names) AddPage(n);
  if (!FPages.empty()) SetPageIndex(0);
}

TPage* TNotebook::Pages(int i) const { return (i >= 0 && i < PageCount()) ? FPages[size_t(i)] : nullptr; }
TPage* TNotebook::PageByName(const std::string& name) const {
  for (TPage* p : FPages)
    if (p->Caption() == name) return p;
  return nullptr;
}
std::string TNotebook::ActivePage() const {
  TPage* p = Pages(FPageIndex);
  return p ? p->Caption() : std::string();
}
void TNotebook::SetActivePage(const std::string& name) {
  for (int i = 0; i < PageCount(); ++i)
    if (FPages[size_t(i)]->Caption() == name) {
      SetPageIndex(i);
      return;
    }
}
void TNotebook::SetPageIndex(int i) {
  if (i == FPageIndex || i < 0 || i >= PageCount()) return;
  TPage* old = Pages(FPageIndex);
  FPageIndex = i;
  FPages[size_t(i)]->SetVisible(true);
  FPages[size_t(i)]->BringToFront();
  if (old) old->SetVisible(false);
  if (OnPageChanged) OnPageChanged(this);
}

// ---------------------------------------------------------------------------------------------
// TPageControl

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(false);
  SetVisible(false);
}
TTabSheet::~TTabSheet() {
  if (FPageControl && IsLive(FPageControl)) FPageControl->RemovePage(this);
}
void TTabSheet::SetPageControl(TPageControl* pc) {
  if (pc == FPageControl) return;
  if (FPageControl) FPageControl->RemovePage(this);
  FPageControl = pc;
  if (pc) pc->InsertPage(this);
}
int TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  for (int i = 0; i < FPageControl->PageCount(); ++i)
    if (FPageControl->Pages(i) == this) return i;
  return -1;
}
void TTabSheet::SetTabVisible(bool v) {
  FTabVisible = v;
  if (FPageControl) FPageControl->Invalidate();
}
void TTabSheet::SetCaption(const std::string& s) {
  TControl::SetCaption(s);
  if (FPageControl) FPageControl->Invalidate();
}

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(0, 0, 289, 193); }
TPageControl::~TPageControl() {
  for (TTabSheet* p : FPages) p->FPageControl = nullptr;
}
TTabSheet* TPageControl::Pages(int i) const { return (i >= 0 && i < PageCount()) ? FPages[size_t(i)] : nullptr; }
void TPageControl::InsertPage(TTabSheet* p) {
  FPages.push_back(p);
  p->SetParent(this);
  PlacePages();
  if (!FActive) SetActivePage(p);
  Invalidate();
}
void TPageControl::RemovePage(TTabSheet* p) {
  FPages.erase(std::remove(FPages.begin(), FPages.end(), p), FPages.end());
  if (FActive == p) {
    FActive = nullptr;
    if (!FPages.empty()) SetActivePage(FPages.front());
  }
  if (!ControlBridge::P(this).destroying) Invalidate();
}
int TPageControl::ActivePageIndex() const {
  for (int i = 0; i < PageCount(); ++i)
    if (FPages[size_t(i)] == FActive) return i;
  return -1;
}
void TPageControl::SetActivePageIndex(int i) { SetActivePage(Pages(i)); }
void TPageControl::SetActivePage(TTabSheet* p) {
  if (p == FActive || (p && p->FPageControl != this)) return;
  TTabSheet* old = FActive;
  FActive = p;
  if (p) {
    p->SetVisible(true);
    p->BringToFront();
  }
  if (old) old->SetVisible(false);
  Invalidate();
}
void TPageControl::SetActivePageByName(const std::string& name) {
  for (TTabSheet* p : FPages)
    if (AnsiSameText(p->Caption(), name) || AnsiSameText(p->Name(), name)) {
      SetActivePage(p);
      return;
    }
}
int TPageControl::TabHeight() const {
  TBitmap b;
  b.SetSize(1, 1);
  b.Canvas()->Font()->Assign(*Font());
  return b.Canvas()->TextHeight("Wg") + 6;
}
TRect TPageControl::TabRect(int i) {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  int x = 2, h = TabHeight();
  for (int k = 0; k < PageCount(); ++k) {
    if (!FPages[size_t(k)]->TabVisible()) continue;
    int w = c->TextWidth(FPages[size_t(k)]->Caption()) + 12;
    if (k == i) return TRect(x, 2, x + w, h);
    x += w;
  }
  return TRect();
}
void TPageControl::PlacePages() {
  int h = TabHeight();
  for (TTabSheet* p : FPages) p->SetBounds(4, h + 2, std::max(0, Width() - 8), std::max(0, Height() - h - 6));
}
void TPageControl::Resize() {
  PlacePages();
  TCustomControl::Resize();
}
void TPageControl::Paint() {
  TCanvas* c = Canvas();
  int h = TabHeight();
  TRect body(0, h, Width(), Height());
  c->Frame3D(body, clBtnHighlight, cl3DDkShadow, 1);
  c->Frame3D(body, cl3DLight, clBtnShadow, 1);
  c->Font()->Assign(*Font());
  for (int i = 0; i < PageCount(); ++i) {
    if (!FPages[size_t(i)]->TabVisible()) continue;
    TRect r = TabRect(i);
    if (FPages[size_t(i)] == FActive) r = TRect(r.Left - 2, r.Top - 2, r.Right + 2, r.Bottom + 1);
    c->Brush()->SetColor(Color());
    c->FillRect(r);
    TRect fr = r;
    c->Frame3D(fr, clBtnHighlight, cl3DDkShadow, 1);
    c->Brush()->SetStyle(bsClear);
    c->DrawText(FPages[size_t(i)]->Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}
void TPageControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  for (int i = 0; i < PageCount(); ++i)
    if (FPages[size_t(i)]->TabVisible() && TabRect(i).Contains(x, y) && FPages[size_t(i)] != FActive) {
      SetActivePage(FPages[size_t(i)]);
      if (OnChange) OnChange(this);
      break;
    }
  TCustomControl::MouseDown(b, s, x, y);
}

// ---------------------------------------------------------------------------------------------
// TShape, TProgressBar, TScrollBar, TImage, TPaintBox

TShape::TShape(TComponent* AOwner) : TGraphicControl(AOwner), FBrush(new TBrush), FPen(new TPen) {
  FBrush->OnChange = [this](TObject*) { Invalidate(); };
  FPen->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(0, 0, 65, 65);
}
TShape::~TShape() = default;
void TShape::SetShape(TShapeType s) { FShape = s; Invalidate(); }
void TShape::Paint() {
  TCanvas* c = Canvas();
  c->Pen()->Assign(*FPen);
  c->Brush()->Assign(*FBrush);
  int pw = FPen->Width();
  int x = pw / 2, y = x;
  int w = Width() - pw + 1, h = Height() - pw + 1;
  if (pw == 0) {
    --w;
    --h;
  }
  if (w < h) { if (FShape == stSquare || FShape == stRoundSquare || FShape == stCircle) { y += (h - w) / 2; h = w; } }
  else if (FShape == stSquare || FShape == stRoundSquare || FShape == stCircle) { x += (w - h) / 2; w = h; }
  switch (FShape) {
    case stRectangle: case stSquare: c->Rectangle(x, y, x + w, y + h); break;
    case stRoundRect: case stRoundSquare: c->RoundRect(x, y, x + w, y + h, std::min(w, h) / 4, std::min(w, h) / 4); break;
    default: c->Ellipse(x, y, x + w, y + h);
  }
}

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner, wkNative) {
  auto* pb = new QProgressBar();
  pb->setTextVisible(false);
  pb->setRange(0, 100);
  pb->setValue(0);
  ControlBridge::InitWinControl(this, pb, false);
  SetBounds(0, 0, 150, 16);
}
int TProgressBar::Min() const { return Native<QProgressBar>(this)->minimum(); }
void TProgressBar::SetMin(int v) { Native<QProgressBar>(this)->setMinimum(v); }
int TProgressBar::Max() const { return Native<QProgressBar>(this)->maximum(); }
void TProgressBar::SetMax(int v) { Native<QProgressBar>(this)->setMaximum(v); }
int TProgressBar::Position() const { return Native<QProgressBar>(this)->value(); }
void TProgressBar::SetPosition(int v) {
  auto* pb = Native<QProgressBar>(this);
  pb->setValue(std::clamp(v, pb->minimum(), pb->maximum()));
}
void TProgressBar::StepIt() { StepBy(FStep); }
void TProgressBar::StepBy(int d) {
  auto* pb = Native<QProgressBar>(this);
  int v = pb->value() + d;
  if (v > pb->maximum()) v = pb->minimum() + (v - pb->maximum());
  SetPosition(v);
}

TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner, wkNative) {
  auto* sb = new QScrollBar(Qt::Horizontal);
  sb->setRange(0, 100);
  sb->setSingleStep(1);
  sb->setPageStep(1);
  ControlBridge::InitWinControl(this, sb, false);
  P->tabStop = true;
  TScrollBar* self = this;
  QObject::connect(sb, &QScrollBar::actionTriggered, [self](int action) {
    auto* s = Native<QScrollBar>(self);
    TScrollCode code = scPosition;
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
      case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
      case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
      case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
      case QAbstractSlider::SliderToMinimum: code = scTop; break;
      case QAbstractSlider::SliderToMaximum: code = scBottom; break;
      case QAbstractSlider::SliderMove: code = scTrack; break;
      default: code = scPosition;
    }
    int pos = s->sliderPosition();
    if (self->OnScroll) {
      GuardedCall([&] { self->OnScroll(self, code, pos); });
      if (IsLive(self) && pos != s->sliderPosition()) s->setSliderPosition(pos);
    }
  });
  QObject::connect(sb, &QScrollBar::valueChanged, [self](int) {
    GuardedCall([self] {
      if (self->OnChange) self->OnChange(self);
    });
  });
  SetBounds(0, 0, 121, 17);
}
void TScrollBar::SetKind(TScrollBarKind k) {
  FKind = k;
  Native<QScrollBar>(this)->setOrientation(k == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
}
// The Windows scroll bar's maximum includes the page; Qt's excludes it.
int TScrollBar::Min() const { return Native<QScrollBar>(this)->minimum(); }
int TScrollBar::Max() const { return FMax; }
int TScrollBar::Position() const { return Native<QScrollBar>(this)->value(); }
void TScrollBar::SetMin(int v) { SetParams(Position(), v, FMax); }
void TScrollBar::SetMax(int v) { SetParams(Position(), Min(), v); }
void TScrollBar::SetPosition(int v) { SetParams(v, Min(), FMax); }
void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) throw EInvalidOperation("Scroll bar property out of range");
  auto* s = Native<QScrollBar>(this);
  FMax = max;
  int qmax = std::max(min, FPageSize > 0 ? int(std::max<int64_t>(min, int64_t(max) - FPageSize + 1)) : max);
  s->setRange(min, qmax);
  s->setValue(std::clamp(position, min, qmax));
}
int TScrollBar::SmallChange() const { return Native<QScrollBar>(this)->singleStep(); }
void TScrollBar::SetSmallChange(int v) { Native<QScrollBar>(this)->setSingleStep(v); }
int TScrollBar::LargeChange() const { return Native<QScrollBar>(this)->pageStep(); }
void TScrollBar::SetLargeChange(int v) { Native<QScrollBar>(this)->setPageStep(v); }
int TScrollBar::PageSize() const { return FPageSize; }
void TScrollBar::SetPageSize(int v) {
  FPageSize = std::max(0, v);
  if (v > 0) Native<QScrollBar>(this)->setPageStep(v);
  SetParams(Position(), Min(), FMax);
}

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(new TPicture) {
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(0, 0, 105, 105);
}
TImage::~TImage() { FPicture->OnChange = nullptr; }
void TImage::SetStretch(bool v) { FStretch = v; Invalidate(); }
void TImage::SetCenter(bool v) { FCenter = v; Invalidate(); }
void TImage::SetTransparent(bool v) { FTransparent = v; Invalidate(); }
void TImage::SetAutoSize(bool v) { FAutoSize = v; PictureChanged(); }
void TImage::SetProportional(bool v) { FProportional = v; Invalidate(); }
void TImage::PictureChanged() {
  if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0)
    SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
  Invalidate();
}
void TImage::Paint() {
  TGraphic* g = FPicture->Graphic();
  if (!g || g->Empty()) return;
  TRect r = ClientRect();
  int w = g->Width(), h = g->Height();
  if (FStretch) {
    if (FProportional) {
      double k = std::min(double(Width()) / w, double(Height()) / h);
      w = int(w * k);
      h = int(h * k);
      r = Bounds((Width() - w) / 2, (Height() - h) / 2, w, h);
    }
  } else if (FCenter) {
    r = Bounds((Width() - w) / 2, (Height() - h) / 2, w, h);
  } else {
    r = Bounds(0, 0, w, h);
  }
  bool was = g->Transparent();
  if (FTransparent != was) g->SetTransparent(FTransparent);
  Canvas()->StretchDraw(r, g);
  if (FTransparent != was) g->SetTransparent(was);
}

TPaintBox::TPaintBox(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 105, 105); }
void TPaintBox::Paint() {
  Canvas()->Font()->Assign(*Font());
  Canvas()->Brush()->SetColor(Color());
  if (OnPaint) OnPaint(this);
}

// ---------------------------------------------------------------------------------------------
// Properties by name

namespace {
struct PropAccess {
  TPropKind kind = pkNone;
  std::function<std::string()> get;
  std::function<void(const std::string&)> setText;
  std::function<void(int)> setInt;
  TStrings* list = nullptr;
};

PropAccess Lookup(TComponent* obj, const std::string& name) {
  PropAccess a;
  auto is = [&](const char* n) { return AnsiSameText(name, n); };
  auto intProp = [&](std::function<int()> g, std::function<void(int)> s) {
    a.kind = pkInteger;
    a.get = [g] { return std::to_string(g()); };
    a.setInt = std::move(s);
  };
  auto strProp = [&](std::function<std::string()> g, std::function<void(const std::string&)> s) {
    a.kind = pkString;
    a.get = std::move(g);
    a.setText = std::move(s);
  };
  if (auto* m = dynamic_cast<TMemo*>(obj); m && is("Lines")) { a.kind = pkStrings; a.list = m->Lines(); return a; }
  if (auto* l = dynamic_cast<TListBox*>(obj); l && is("Items")) { a.kind = pkStrings; a.list = l->Items(); return a; }
  if (auto* cb = dynamic_cast<TComboBox*>(obj); cb && is("Items")) { a.kind = pkStrings; a.list = cb->Items(); return a; }
  if (auto* nb = dynamic_cast<TNotebook*>(obj); nb && is("ActivePage")) {
    strProp([nb] { return nb->ActivePage(); }, [nb](const std::string& v) { nb->SetActivePage(v); });
    return a;
  }
  if (auto* e = dynamic_cast<TEdit*>(obj); e && is("MaxLength")) {
    intProp([e] { return e->MaxLength(); }, [e](int v) { e->SetMaxLength(v); });
    return a;
  }
  if (auto* t = dynamic_cast<TTimer*>(obj); t && is("Interval")) {
    intProp([t] { return int(t->Interval()); }, [t](int v) { t->SetInterval(unsigned(v)); });
    return a;
  }
  if (auto* c = dynamic_cast<TControl*>(obj)) {
    if (is("Caption") || is("Text")) {
      strProp([c] { return c->Caption(); }, [c](const std::string& v) { c->SetCaption(v); });
      return a;
    }
    if (is("Hint")) {
      strProp([c] { return c->Hint(); }, [c](const std::string& v) { c->SetHint(v); });
      return a;
    }
    if (is("Left")) { intProp([c] { return c->Left(); }, [c](int v) { c->SetLeft(v); }); return a; }
    if (is("Top")) { intProp([c] { return c->Top(); }, [c](int v) { c->SetTop(v); }); return a; }
    if (is("Width")) { intProp([c] { return c->Width(); }, [c](int v) { c->SetWidth(v); }); return a; }
    if (is("Height")) { intProp([c] { return c->Height(); }, [c](int v) { c->SetHeight(v); }); return a; }
    if (is("Color")) { intProp([c] { return int(c->Color()); }, [c](int v) { c->SetColor(v); }); return a; }
  }
  if (is("Tag")) {
    intProp([obj] { return int(obj->Tag()); }, [obj](int v) { obj->SetTag(v); });
    return a;
  }
  return a;
}
}  // namespace

TPropKind PropertyKind(TComponent* obj, const std::string& name) { return obj ? Lookup(obj, name).kind : pkNone; }

std::string GetPropertyText(TComponent* obj, const std::string& name) {
  if (!obj) return std::string();
  PropAccess a = Lookup(obj, name);
  if (a.kind == pkStrings) {
    std::string s;
    for (int i = 0; i < a.list->Count(); ++i) {
      if (i) s += "\r\n";
      s += a.list->Strings(i);
    }
    return s;
  }
  return a.get ? a.get() : std::string();
}

bool SetPropertyText(TComponent* obj, const std::string& name, const std::string& value, const std::string& separator) {
  if (!obj) return false;
  PropAccess a = Lookup(obj, name);
  switch (a.kind) {
    case pkString: a.setText(value); return true;
    case pkInteger: a.setInt(StrToInt(value)); return true;
    case pkStrings: {
      std::string sep = Trim(separator).empty() ? std::string(",") : separator;
      a.list->BeginUpdate();
      a.list->Clear();
      size_t start = 0;
      for (;;) {
        size_t p = value.find(sep, start);
        if (p == std::string::npos) {
          std::string last = Trim(value.substr(start));
          if (!last.empty()) a.list->Add(last);
          break;
        }
        a.list->Add(Trim(value.substr(start, p - start)));
        start = p + sep.size();
      }
      a.list->EndUpdate();
      return true;
    }
    default: return false;
  }
}

TComponent* ResolvePropertyPath(TComponent* root, const std::string& path, std::string& prop) {
  std::string rest = Trim(path);
  TComponent* cur = root;
  size_t dot;
  while (cur && (dot = rest.find('.')) != std::string::npos) {
    std::string part = Trim(rest.substr(0, dot));
    rest = rest.substr(dot + 1);
    TComponent* next = cur->FindComponent(part);
    if (!next && cur->Name() == part) next = cur;
    cur = next;
  }
  prop = Trim(rest);
  return cur;
}
