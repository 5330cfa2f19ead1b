// The system properties panel's view: the tree, the four pages and their controls, each
// forwarding to the controller; Changed shows the controller's state without writing it back.
#include "ui/qt/PropsForm.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/qt/VarChartForm.h"

namespace {

constexpr int TreeWidth = 108, TreeIndent = 14;

// A page's header and, under it, its explaining text.
void AddHeader(QVBoxLayout* column, QWidget* page, const char* header, const char* text) {
  auto* title = new QLabel(header, page);
  QFont bold = title->font();
  bold.setBold(true);
  bold.setPixelSize(bold.pixelSize() > 0 ? bold.pixelSize() + 2 : 13);
  title->setFont(bold);
  column->addWidget(title);
  if (!text) return;
  auto* note = new QLabel(text, page);
  note->setWordWrap(true);
  column->addWidget(note);
}

// A cue card: a pale card with the button that hides the cards, and its lines of text.
QFrame* CueCard(QWidget* page, QToolButton*& button, const std::vector<QString>& columns) {
  auto* card = new QFrame(page);
  card->setFrameStyle(QFrame::Box | QFrame::Plain);
  // Colours through the palette: a style sheet would cut the card off from the panel's font.
  card->setAutoFillBackground(true);
  QPalette colours = card->palette();
  colours.setColor(QPalette::Window, QColor(0xff, 0xfb, 0xe0));
  colours.setColor(QPalette::WindowText, QColor(0xc8, 0xc0, 0x90));  // the card's border
  card->setPalette(colours);
  colours.setColor(QPalette::WindowText, QColor(0x30, 0x30, 0x30));
  auto* row = new QHBoxLayout(card);
  row->setContentsMargins(3, 3, 3, 3);
  row->setSpacing(4);
  button = new QToolButton(card);
  button->setAutoRaise(true);
  button->setIcon(card->style()->standardIcon(QStyle::SP_MessageBoxInformation));
  button->setIconSize(QSize(16, 16));
  button->setToolTip("Hide Cue Cards");
  row->addWidget(button, 0, Qt::AlignTop);
  for (const QString& lines : columns) {
    auto* label = new QLabel(lines, card);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setPalette(colours);
    row->addWidget(label, 1);
  }
  return card;
}

// A count field of the system page, 0 to SystemLifespanMax, with its note beside it.
QWidget* CountField(QWidget* page, QSpinBox*& spin) {
  auto* box = new QWidget(page);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  spin = new QSpinBox(box);
  spin->setRange(0, SystemLifespanMax);
  spin->setSingleStep(1);
  spin->setKeyboardTracking(false);  // a typed number is one change, on Enter or leaving
  spin->setFixedWidth(70);
  row->addWidget(spin);
  row->addWidget(new QLabel("(0 = no limit)", box));
  row->addStretch(1);
  return box;
}

template <size_t N>
QComboBox* ListBox(QWidget* page, const char* const (&names)[N], const char* objectName) {
  auto* box = new QComboBox(page);
  for (const char* name : names) box->addItem(name);
  box->setObjectName(objectName);
  box->setFixedWidth(110);
  return box;
}

// A page of the stack, added after the ones before it: its column, with the header and text
// when it has them.
QVBoxLayout* AddPage(QStackedWidget* pages, QWidget*& page, const char* objectName, int margin,
                     const char* header = nullptr, const char* text = nullptr) {
  page = new QWidget(pages);
  page->setObjectName(objectName);
  pages->addWidget(page);
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(margin, margin, margin, margin);
  if (header) AddHeader(column, page, header, text);
  return column;
}

}  // namespace

TPropsForm::TPropsForm(TSystemPropsController& controller, QWidget* parent)
    : QWidget(parent), Controller_(&controller) {
  setObjectName("PropsForm");
  setWindowTitle("System Properties");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);

  // ---- The tree.
  PropsTree = new QTreeWidget(this);
  PropsTree->setObjectName("PropsTree");
  PropsTree->setFixedWidth(TreeWidth);
  PropsTree->setHeaderHidden(true);
  PropsTree->setColumnCount(1);
  PropsTree->setRootIsDecorated(false);
  PropsTree->setIndentation(TreeIndent);
  PropsTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  PropsTree->setSelectionMode(QAbstractItemView::SingleSelection);
  PropsTree->setSelectionBehavior(QAbstractItemView::SelectRows);
  PropsTree->setAllColumnsShowFocus(true);
  PropsTree->setItemsExpandable(false);  // always fully expanded
  for (int i = 0; i < PropsEntryCount; ++i) {
    const TPropsEntry& e = PropsEntries[i];
    QTreeWidgetItem* item = e.Parent < 0 ? new QTreeWidgetItem(PropsTree) : new QTreeWidgetItem(Entries[e.Parent]);
    item->setText(0, e.Text);
    item->setToolTip(0, e.Text);  // "Base Orientation" is cut short at the tree's width
    Entries.push_back(item);
  }
  PropsTree->expandAll();
  row->addWidget(PropsTree);

  // ---- The pages, in the order of TPropsPage.
  Pages = new QStackedWidget(this);
  Pages->setObjectName("PropsPages");
  row->addWidget(Pages, 1);

  {
    QVBoxLayout* column = AddPage(Pages, RenderPage, "RenderPage", 4, "Render Properties");
    MapsFrame_ = new QFrame(RenderPage);
    MapsFrame_->setObjectName("MapsFrame");
    auto* maps = new QVBoxLayout(MapsFrame_);
    maps->setContentsMargins(0, 0, 0, 0);
    column->addWidget(MapsFrame_, 1);
    auto* form = new QFormLayout();
    RenderModeBox = ListBox(RenderPage, RenderModeNames, "RenderModeBox");
    form->addRow("Render Mode", RenderModeBox);
    column->addLayout(form);
  }

  {
    QVBoxLayout* column = AddPage(Pages, SystemPage, "SystemPage", 4, "System Properties",
                                  "The system property graphs show changes over the entire animation.");
    auto* counts = new QFormLayout();
    counts->addRow("System Lifespan", CountField(SystemPage, LifespanSpin));
    counts->addRow("System Lives", CountField(SystemPage, LivesSpin));
    LifespanSpin->setObjectName("LifespanSpin");
    LivesSpin->setObjectName("LivesSpin");
    column->addLayout(counts);
    SystemCueCard = CueCard(SystemPage, SystemCueButton,
                            {"To emit particles from a polyhedron, glue your emitter to the polyhedron and set "
                             "Emitter Shape to \"Surface\"."});
    SystemCueCard->setObjectName("SystemCueCard");
    column->addWidget(SystemCueCard);
    auto* shape = new QFormLayout();
    ShapeBox = ListBox(SystemPage, EmitterShapeNames, "ShapeBox");
    RadiusSpin = new QDoubleSpinBox(SystemPage);
    RadiusSpin->setObjectName("RadiusSpin");
    RadiusSpin->setRange(0, EmitterRadiusMax);
    RadiusSpin->setSingleStep(EmitterRadiusStep);
    RadiusSpin->setDecimals(EmitterRadiusDecimals);
    RadiusSpin->setKeyboardTracking(false);
    RadiusSpin->setFixedWidth(70);
    FocusShapeBox = ListBox(SystemPage, FocusShapeNames, "FocusShapeBox");
    shape->addRow("Emitter Shape", ShapeBox);
    shape->addRow("Emitter Radius", RadiusSpin);
    shape->addRow("Focus Shape", FocusShapeBox);
    column->addLayout(shape);
    column->addStretch(1);
  }

  AddPage(Pages, ParticlePage, "ParticlePage", 4, "Particle Properties",
          "The particle property graphs show changes over the life of the particle.")
      ->addStretch(1);

  {
    QVBoxLayout* column = AddPage(Pages, CurvePage, "CurvePage", 2);
    column->setSpacing(2);
    CurveCueCard = CueCard(CurvePage, CurveCueButton,
                           {QString::fromUtf8("· Double-click to add a keyframe. \n· Right-click keyframe for delete "
                                              "menu. \n· Right-click the graph for options."),
                            QString::fromUtf8("· Right-drag to scroll the graph.\n· Alt-click to zoom in.\n"
                                              "· Ctrl-drag a zoom rectangle.")});
    CurveCueCard->setObjectName("CurveCueCard");
    column->addWidget(CurveCueCard);
    CurveTabs = new QTabBar(CurvePage);
    CurveTabs->setObjectName("CurveTabs");
    CurveTabs->addTab("Property");
    CurveTabs->addTab("Property Jitter");
    CurveTabs->setDrawBase(true);
    CurveTabs->setExpanding(false);
    column->addWidget(CurveTabs);
    CurveHolder = new QFrame(CurvePage);
    CurveHolder->setObjectName("CurveHolder");
    auto* holder = new QVBoxLayout(CurveHolder);
    holder->setContentsMargins(0, 0, 0, 0);
    column->addWidget(CurveHolder, 1);
  }

  // The keyboard walks the tree, then the shown page's fields top to bottom.
  setTabOrder(PropsTree, LifespanSpin);
  setTabOrder(LifespanSpin, LivesSpin);
  setTabOrder(LivesSpin, SystemCueButton);
  setTabOrder(SystemCueButton, ShapeBox);
  setTabOrder(ShapeBox, RadiusSpin);
  setTabOrder(RadiusSpin, FocusShapeBox);

  // ---- Input goes to the controller.
  connect(PropsTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    for (int i = 0; i < static_cast<int>(Entries.size()); ++i)
      if (Entries[i] == item) Ask([i](TSystemPropsController& c) { c.SelectEntry(i); });
  });
  connect(CurveTabs, &QTabBar::currentChanged, this, [this](int tab) {
    Ask([tab](TSystemPropsController& c) { c.SelectTab(tab); });
  });
  connect(LifespanSpin, &QSpinBox::valueChanged, this,
          [this](int v) { Ask([v](TSystemPropsController& c) { c.SetSystemLifespan(v); }); });
  connect(LivesSpin, &QSpinBox::valueChanged, this,
          [this](int v) { Ask([v](TSystemPropsController& c) { c.SetSystemLives(v); }); });
  connect(RadiusSpin, &QDoubleSpinBox::valueChanged, this,
          [this](double v) { Ask([v](TSystemPropsController& c) { c.SetEmitterRadius(v); }); });
  connect(ShapeBox, &QComboBox::activated, this,
          [this](int i) { Ask([i](TSystemPropsController& c) { c.SetEmitterShape(i); }); });
  connect(FocusShapeBox, &QComboBox::activated, this,
          [this](int i) { Ask([i](TSystemPropsController& c) { c.SetFocusShape(i); }); });
  connect(RenderModeBox, &QComboBox::activated, this,
          [this](int i) { Ask([i](TSystemPropsController& c) { c.SetRenderMode(i); }); });
  for (QToolButton* cue : {SystemCueButton, CurveCueButton})
    connect(cue, &QToolButton::clicked, this, [this] { Ask([](TSystemPropsController& c) { c.ToggleCuesAction(); }); });

  controller.AttachView(this);
  Changed();
}

TPropsForm::~TPropsForm() {
  if (Controller_) Controller_->AttachView(nullptr);
}

void TPropsForm::ControllerGone() { Controller_ = nullptr; }

void TPropsForm::AdoptCurveEditor(TVarChartForm* editor) {
  if (!editor) return;
  CurveHolder->layout()->addWidget(editor);
  editor->show();
  Ask([](TSystemPropsController& c) { c.TakeBackCurveEditor(); });
}

void TPropsForm::Changed() {
  if (!Controller_) return;
  const TSystemPropsState s = Controller_->PropsState();
  // Showing a state writes nothing back: no control reports what it is given here.
  {
    const QSignalBlocker b(PropsTree);
    if (s.Entry >= 0 && s.Entry < static_cast<int>(Entries.size())) PropsTree->setCurrentItem(Entries[s.Entry]);
  }
  Pages->setCurrentIndex(static_cast<int>(s.Page));
  Pages->setEnabled(s.HasSystem);
  {
    const QSignalBlocker b(CurveTabs);
    CurveTabs->setTabText(0, QString::fromStdString(s.PropertyTab));
    CurveTabs->setTabText(1, QString::fromStdString(s.JitterTab));
    CurveTabs->setTabVisible(1, s.JitterTabVisible);
    CurveTabs->setCurrentIndex(s.ActiveTab);
  }
  SystemCueCard->setVisible(s.CueCardsVisible);
  CurveCueCard->setVisible(s.CueCardsVisible);
  if (!s.HasSystem) return;
  const QSignalBlocker b1(LifespanSpin), b2(LivesSpin), b3(RadiusSpin), b4(ShapeBox), b5(FocusShapeBox),
      b6(RenderModeBox);
  LifespanSpin->setValue(s.SystemLifespan);
  LivesSpin->setValue(s.SystemLives);
  RadiusSpin->setValue(s.EmitterRadius);
  ShapeBox->setCurrentIndex(s.EmitterShape);
  FocusShapeBox->setCurrentIndex(s.FocusShape);
  RenderModeBox->setCurrentIndex(s.RenderMode);
}
