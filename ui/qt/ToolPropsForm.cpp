// The tool properties panel's view.
#include "ui/qt/ToolPropsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/qt/VarChartForm.h"

namespace {

QFrame* NewPage(QStackedWidget* pages, TToolPage page, QFormLayout*& form) {
  auto* frame = new QFrame(pages);
  auto* column = new QVBoxLayout(frame);
  column->setContentsMargins(8, 6, 8, 6);
  auto* header = new QLabel(ToolPageHeader(page), frame);
  QFont bold = header->font();
  bold.setBold(true);
  header->setFont(bold);
  header->setObjectName("Header");
  column->addWidget(header);
  form = new QFormLayout();
  column->addLayout(form);
  column->addStretch(1);
  pages->addWidget(frame);
  return frame;
}

// A whole-number field: "step 1, no decimals", sent when the user is done typing or steps it.
QDoubleSpinBox* NumberField(QWidget* parent, double least, double most) {
  auto* field = new QDoubleSpinBox(parent);
  field->setRange(least, most);
  field->setSingleStep(1);
  field->setDecimals(0);
  field->setKeyboardTracking(false);
  return field;
}

QComboBox* FalloffList(QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems({"None", "Linear", "Squared"});
  return list;
}

}  // namespace

TToolPropsForm::TToolPropsForm(TToolPropsController& controller, QWidget* parent)
    : QWidget(parent), Controller_(&controller) {
  setObjectName("ToolPropsForm");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  Splitter = new QSplitter(Qt::Horizontal, this);
  row->addWidget(Splitter);

  ToolPropsTree = new QTreeWidget(Splitter);
  ToolPropsTree->setObjectName("ToolPropsTree");
  ToolPropsTree->setHeaderHidden(true);
  ToolPropsTree->setRootIsDecorated(false);
  ToolPropsTree->setIndentation(19);
  ToolPropsTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ToolPropsTree->setSelectionBehavior(QAbstractItemView::SelectRows);
  ToolPropsTree->setMinimumWidth(60);
  // A right click selects, as a left one does.
  ToolPropsTree->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ToolPropsTree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (QTreeWidgetItem* item = ToolPropsTree->itemAt(at)) ToolPropsTree->setCurrentItem(item);
  });
  connect(ToolPropsTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
    if (item) Ask([&](TToolPropsController& c) { c.ChooseEntry(ToolPropsTree->indexOfTopLevelItem(item)); });
  });

  Pages = new QStackedWidget(Splitter);
  Pages->setObjectName("ToolPropsPages");
  Splitter->addWidget(ToolPropsTree);
  Splitter->addWidget(Pages);
  Splitter->setStretchFactor(1, 1);
  Splitter->setSizes({100, 300});

  // No tool.
  auto* noTool = new QFrame(Pages);
  auto* noToolColumn = new QVBoxLayout(noTool);
  NoToolLabel = new QLabel("Use the Toolbox menu to create tools.", noTool);
  NoToolLabel->setAlignment(Qt::AlignCenter);
  NoToolLabel->setWordWrap(true);
  noToolColumn->addWidget(NoToolLabel);
  Pages->addWidget(noTool);

  QFormLayout* form = nullptr;
  QFrame* page = NewPage(Pages, TToolPage::Deflector, form);
  DeflectorScale = NumberField(page, 0, 100);
  AbsorbsBox = new QCheckBox("Absorbs Particles", page);
  form->addRow("Scale", DeflectorScale);
  form->addRow("Absorbency", AbsorbsBox);

  page = NewPage(Pages, TToolPage::Fan, form);
  FanScale = NumberField(page, 1, 100);
  FanFalloff = FalloffList(page);
  form->addRow("Scale", FanScale);
  form->addRow("Falloff", FanFalloff);

  page = NewPage(Pages, TToolPage::Attractor, form);
  AttractorFalloff = FalloffList(page);
  form->addRow("Falloff", AttractorFalloff);
  page = NewPage(Pages, TToolPage::Repulsor, form);
  RepulsorFalloff = FalloffList(page);
  form->addRow("Falloff", RepulsorFalloff);
  page = NewPage(Pages, TToolPage::Leader, form);
  LeaderFalloff = FalloffList(page);
  form->addRow("Falloff", LeaderFalloff);

  page = NewPage(Pages, TToolPage::Gravitron, form);
  InfiniteBox = new QCheckBox("Infinitely large gravity field", page);
  GravitronScale = NumberField(page, 1, 100);
  form->addRow("Infinite", InfiniteBox);
  form->addRow("Scale", GravitronScale);

  page = NewPage(Pages, TToolPage::Lifespan, form);
  LifespanField = NumberField(page, 0, ToolLifespanMost);
  LivesField = NumberField(page, 0, ToolLifespanMost);
  form->addRow("Tool Lifespan", LifespanField);
  form->addRow("", new QLabel("(0 = no limit)", page));
  form->addRow("Tool Lives", LivesField);
  form->addRow("", new QLabel("(0 = no limit)", page));

  // The curve page: the cue card over the panel's own curve editor.
  auto* curvePage = new QFrame(Pages);
  auto* curveColumn = new QVBoxLayout(curvePage);
  curveColumn->setContentsMargins(2, 2, 2, 2);
  CueCard = new QFrame(curvePage);
  CueCard->setObjectName("CueCard");
  CueCard->setStyleSheet("#CueCard { background: #ffffe1; border: 1px solid gray; }");
  auto* cueRow = new QHBoxLayout(CueCard);
  cueRow->setContentsMargins(4, 2, 4, 2);
  auto* cueLines = new QLabel(
      "\u00b7 Double-click to add a keyframe. \n\u00b7 Right-click keyframe for delete menu. \n"
      "\u00b7 Right-click the graph for options.\n\u00b7 Right-drag to scroll the graph.\n"
      "\u00b7 Alt-click to zoom in.\n\u00b7 Ctrl-drag a zoom rectangle.",
      CueCard);
  auto* hideCue = new QPushButton("x", CueCard);
  hideCue->setToolTip("Hide Cue Cards");
  hideCue->setFixedSize(18, 18);
  cueRow->addWidget(cueLines, 1);
  cueRow->addWidget(hideCue, 0, Qt::AlignTop);
  connect(hideCue, &QPushButton::clicked, this, [this] { Ask([](TToolPropsController& c) { c.HideCueCards(); }); });
  CurveEditor = new TVarChartForm(controller.CurveEditor(), curvePage);
  curveColumn->addWidget(CueCard);
  curveColumn->addWidget(CurveEditor, 1);
  Pages->addWidget(curvePage);

  // Named as on the form, so that a host's or a test's code finds them without our headers.
  DeflectorScale->setObjectName("DeflectorScale");
  FanScale->setObjectName("FanScale");
  GravitronScale->setObjectName("GravitronScale");
  AbsorbsBox->setObjectName("AbsorbsBox");
  FanFalloff->setObjectName("FanFalloff");
  AttractorFalloff->setObjectName("AttractorFalloff");
  RepulsorFalloff->setObjectName("RepulsorFalloff");
  LeaderFalloff->setObjectName("LeaderFalloff");
  InfiniteBox->setObjectName("InfiniteBox");
  LifespanField->setObjectName("LifespanField");
  LivesField->setObjectName("LivesField");

  // Input goes to the controller, named by the page the control sits on.
  const struct {
    QDoubleSpinBox* Field;
    TToolPage Page;
  } scales[] = {{DeflectorScale, TToolPage::Deflector}, {FanScale, TToolPage::Fan}, {GravitronScale, TToolPage::Gravitron}};
  for (const auto& s : scales) {
    const TToolPage p = s.Page;
    connect(s.Field, &QDoubleSpinBox::valueChanged, this,
            [this, p](double v) { Ask([&](TToolPropsController& c) { c.SetScale(p, v); }); });
  }
  const struct {
    QComboBox* List;
    TToolPage Page;
  } falloffs[] = {{FanFalloff, TToolPage::Fan},
                  {AttractorFalloff, TToolPage::Attractor},
                  {RepulsorFalloff, TToolPage::Repulsor},
                  {LeaderFalloff, TToolPage::Leader}};
  for (const auto& f : falloffs) {
    const TToolPage p = f.Page;
    connect(f.List, &QComboBox::activated, this,
            [this, p](int i) { Ask([&](TToolPropsController& c) { c.SetFalloff(p, i); }); });
  }
  connect(AbsorbsBox, &QCheckBox::clicked, this,
          [this](bool on) { Ask([&](TToolPropsController& c) { c.SetAbsorbs(on); }); });
  connect(InfiniteBox, &QCheckBox::clicked, this,
          [this](bool on) { Ask([&](TToolPropsController& c) { c.SetInfinite(on); }); });
  connect(LifespanField, &QDoubleSpinBox::valueChanged, this,
          [this](double v) { Ask([&](TToolPropsController& c) { c.SetToolLifespan(v); }); });
  connect(LivesField, &QDoubleSpinBox::valueChanged, this,
          [this](double v) { Ask([&](TToolPropsController& c) { c.SetToolLives(v); }); });

  controller.AttachView(this);
  Changed();
}

TToolPropsForm::~TToolPropsForm() {
  if (Controller_) Controller_->AttachView(nullptr);
}

// The curve editor hears from its own controller.
void TToolPropsForm::ControllerGone() { Controller_ = nullptr; }

void TToolPropsForm::Changed() {
  if (!Controller_) return;
  const TToolPropsState s = Controller_->PropsState();
  // Loading shows the stored values and sends nothing back.
  Loading_ = true;
  ToolPropsTree->clear();
  for (const std::string& entry : s.TreeEntries) ToolPropsTree->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(entry)}));
  if (s.TreeIndex >= 0 && s.TreeIndex < ToolPropsTree->topLevelItemCount())
    ToolPropsTree->setCurrentItem(ToolPropsTree->topLevelItem(s.TreeIndex));
  Pages->setCurrentIndex(static_cast<int>(s.Page));
  for (QDoubleSpinBox* field : {DeflectorScale, FanScale, GravitronScale}) field->setValue(s.Scale);
  AbsorbsBox->setChecked(s.Absorbs);
  for (QComboBox* list : {FanFalloff, AttractorFalloff, RepulsorFalloff, LeaderFalloff}) list->setCurrentIndex(s.Falloff);
  InfiniteBox->setChecked(s.Infinite);
  LifespanField->setValue(s.ToolLifespan);
  LivesField->setValue(s.ToolLives);
  CueCard->setVisible(s.CueCardsVisible);
  Loading_ = false;
}
