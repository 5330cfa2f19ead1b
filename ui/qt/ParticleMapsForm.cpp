// The image maps editor's view: its four pages, each control forwarding to the controller.
#include "ui/qt/ParticleMapsForm.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/qt/ColorChartForm.h"
#include "ui/qt/MapPreviewBox.h"

namespace {

constexpr const char* CycleHint = "Number of frames each image is displayed if cycling";

}  // namespace

TParticleMapsForm::TParticleMapsForm(TImageMapsController& controller, QWidget* parent)
    : QWidget(parent), Controller_(&controller) {
  setObjectName("ParticleMapsForm");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  Pages = new QTabWidget(this);
  Pages->setObjectName("MapsPages");
  column->addWidget(Pages);
  Pages->addTab(MapsPage(), "Image Maps");
  Pages->addTab(ColorPage("Color over the particle's lifespan. Scale numbers are a percentage of the particle "
                          "lifespan (0...100%).",
                          ParticleCue, ParticleColors, controller.ParticleColorEditor()),
                "Particle Color");
  Pages->addTab(ColorPage("Emitted particle's base color over the entire animation. Scale numbers are in frames.",
                          SystemCue, SystemColors, controller.SystemColorEditor()),
                "System Color");
  Pages->addTab(AdvPage(), "Adv");
  controller.AttachView(this);
  Changed();
}

TParticleMapsForm::~TParticleMapsForm() {
  if (Controller_) Controller_->AttachView(nullptr);
}

QWidget* TParticleMapsForm::MapsPage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setHorizontalSpacing(8);

  auto* left = new QVBoxLayout;
  Preview = new TMapPreviewBox(page);
  Preview->setToolTip("Click to choose the image, Ctrl+click to set its origin");
  left->addWidget(Preview);
  ImageNameLabel = new QLabel(page);
  ImageNameLabel->setObjectName("ImageName");
  ImageNameLabel->setMaximumWidth(MapPreviewSize + 40);
  ImageNameLabel->setWordWrap(true);
  left->addWidget(ImageNameLabel);
  left->addStretch(1);
  // One column: the preview over the fields, so that the page fits the narrow render page of
  // the system properties panel without cutting a field.
  grid->addLayout(left, 0, 0);

  OptionsMenu = new QMenu(this);
  OptionsMenu->setObjectName("OptionsMenu");
  ShowTransparencyItem = OptionsMenu->addAction("Show Transparency");
  ShowTransparencyItem->setCheckable(true);
  ShowOriginItem = OptionsMenu->addAction("Show Origin");
  ShowOriginItem->setCheckable(true);
  OptionsMenu->addSeparator();
  QMenu* move = OptionsMenu->addMenu("Move Origin");
  CenterItem = move->addAction("Center");
  TopItem = move->addAction("Top");
  LeftItem = move->addAction("Left");
  RightItem = move->addAction("Right");
  BottomItem = move->addAction("Bottom");
  OptionsMenu->addSeparator();
  ChooseImageItem = OptionsMenu->addAction("Choose Image...");

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight);
  OptionsButton = new QToolButton(page);
  OptionsButton->setObjectName("OptionsButton");
  OptionsButton->setText("Options");
  OptionsButton->setPopupMode(QToolButton::InstantPopup);
  OptionsButton->setMenu(OptionsMenu);
  OptionsButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
  form->addRow(OptionsButton);
  auto* numberRow = new QHBoxLayout;
  ImageNumberSpin = new QSpinBox(page);
  ImageNumberSpin->setObjectName("ImageNumberSpin");
  ImageNumberSpin->setToolTip("Current Image Number");
  // Changed with its arrows (and Up/Down) only.
  if (auto* edit = ImageNumberSpin->findChild<QLineEdit*>()) edit->setReadOnly(true);
  AddButton = new QPushButton("Add", page);
  AddButton->setObjectName("AddImageButton");
  DelButton = new QPushButton("Del", page);
  DelButton->setObjectName("DelImageButton");
  for (QPushButton* b : {AddButton, DelButton}) b->setMaximumWidth(44);
  numberRow->addWidget(ImageNumberSpin, 1);
  numberRow->addWidget(AddButton);
  numberRow->addWidget(DelButton);
  form->addRow("Image", numberRow);
  MapModeBox = new QComboBox(page);
  MapModeBox->setObjectName("MapModeBox");
  MapModeBox->addItems({"Fixed", "Random", "Cycle"});
  form->addRow("Map Mode", MapModeBox);
  CycleTimeSpin = new QSpinBox(page);
  CycleTimeSpin->setObjectName("CycleTimeSpin");
  CycleTimeSpin->setRange(1, 1024);
  CycleTimeSpin->setToolTip(CycleHint);
  auto* cycleLabel = new QLabel("Cycle Time", page);
  cycleLabel->setToolTip(CycleHint);
  form->addRow(cycleLabel, CycleTimeSpin);
  FlipBox = new QComboBox(page);
  FlipBox->setObjectName("FlipBox");
  FlipBox->addItems({"No Transform", "Flip Horizontal", "Flip Vertical", "Flip Both"});
  form->addRow("Flip", FlipBox);
  grid->addLayout(form, 1, 0);

  auto* alphaBox = new QVBoxLayout;
  alphaBox->addWidget(new QLabel("Alpha Master", page));
  auto* alphaRow = new QHBoxLayout;
  AlphaTrack = new QSlider(Qt::Horizontal, page);
  AlphaTrack->setObjectName("AlphaTrack");
  AlphaTrack->setRange(0, 255);
  AlphaTrack->setPageStep(8);
  AlphaTrack->setTickInterval(16);
  AlphaTrack->setTickPosition(QSlider::TicksBelow);
  AlphaSpin = new QSpinBox(page);
  AlphaSpin->setObjectName("AlphaSpin");
  AlphaSpin->setRange(0, 255);
  alphaRow->addWidget(AlphaTrack, 1);
  alphaRow->addWidget(AlphaSpin);
  alphaBox->addLayout(alphaRow);
  grid->addLayout(alphaBox, 2, 0, Qt::AlignTop);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(2, 1);

  connect(ShowTransparencyItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.ShowTransparencyAction(); }); });
  connect(ShowOriginItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.ShowOriginAction(); }); });
  const std::pair<QAction*, TOriginMove> moves[] = {{CenterItem, TOriginMove::Center}, {TopItem, TOriginMove::Top},
                                                    {LeftItem, TOriginMove::Left}, {RightItem, TOriginMove::Right},
                                                    {BottomItem, TOriginMove::Bottom}};
  for (const auto& [item, m] : moves)
    connect(item, &QAction::triggered, this, [this, m = m] { Ask([m](auto& c) { c.MoveOriginAction(m); }); });
  connect(ChooseImageItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.ChooseImageAction(); }); });
  connect(AddButton, &QPushButton::clicked, this, [this] { Ask([](auto& c) { c.AddAction(); }); });
  connect(DelButton, &QPushButton::clicked, this, [this] { Ask([](auto& c) { c.DeleteAction(); }); });
  connect(ImageNumberSpin, &QSpinBox::valueChanged, this, [this](int v) { Ask([v](auto& c) { c.SetImageNumber(v); }); });
  connect(MapModeBox, &QComboBox::currentIndexChanged, this, [this](int i) { Ask([i](auto& c) { c.SetMapMode(i); }); });
  connect(CycleTimeSpin, &QSpinBox::valueChanged, this, [this](int v) { Ask([v](auto& c) { c.SetCycleTime(v); }); });
  connect(FlipBox, &QComboBox::currentIndexChanged, this, [this](int i) { Ask([i](auto& c) { c.SetFlip(i); }); });
  // The track bar and the spin field are one value: each sets it, the state shows it on both.
  connect(AlphaTrack, &QSlider::valueChanged, this, [this](int v) { Ask([v](auto& c) { c.SetAlphaMaster(v); }); });
  connect(AlphaSpin, &QSpinBox::valueChanged, this, [this](int v) { Ask([v](auto& c) { c.SetAlphaMaster(v); }); });
  Preview->SetController(Controller_);
  Preview->OnLeftClick = [this](QPoint at, Qt::KeyboardModifiers mods) {
    const int m = mods & Qt::ControlModifier ? ModCtrl : 0;
    Ask([&](auto& c) { c.PreviewClick(at.x(), at.y(), m); });
  };
  Preview->OnMenu = [this](QPoint at) { OpenOptions(Preview->mapToGlobal(at)); };
  return page;
}

QWidget* TParticleMapsForm::ColorPage(const char* cue, QFrame*& card, TColorChartForm*& editor,
                                      TGradientEditorController& c) {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(4, 4, 4, 4);
  card = new QFrame(page);
  card->setObjectName("CueCard");
  card->setFrameShape(QFrame::StyledPanel);
  card->setStyleSheet("QFrame#CueCard { background: #ffffe1; }");
  auto* row = new QHBoxLayout(card);
  row->setContentsMargins(6, 4, 4, 4);
  auto* text = new QLabel(cue, card);
  text->setWordWrap(true);
  row->addWidget(text, 1);
  auto* hide = new QToolButton(card);
  hide->setObjectName("HideCueCardsButton");
  hide->setText("x");
  hide->setToolTip("Hide Cue Cards");
  hide->setAutoRaise(true);
  row->addWidget(hide, 0, Qt::AlignTop);
  connect(hide, &QToolButton::clicked, this, [this] {
    if (OnHideCueCards) OnHideCueCards();
    else SetCueCardsVisible(!CuesVisible_);
  });
  column->addWidget(card);
  editor = new TColorChartForm(c, page);
  column->addWidget(editor, 1);
  return page;
}

QWidget* TParticleMapsForm::AdvPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  form->setContentsMargins(8, 8, 8, 8);
  MaxSizeSpin = new QSpinBox(page);
  MaxSizeSpin->setObjectName("MaxSizeSpin");
  MaxSizeSpin->setRange(256, 8192);
  MaxSizeSpin->setKeyboardTracking(false);  // a typed number counts when it is complete
  MaxSizeSpin->setToolTip("Particles that would be larger than this size in pixels will not be rendered");
  form->addRow("Max Rendered Particle Size", MaxSizeSpin);
  DitherSpin = new QDoubleSpinBox(page);
  DitherSpin->setObjectName("DitherSpin");
  DitherSpin->setRange(0, 1);
  DitherSpin->setSingleStep(0.01);
  DitherSpin->setDecimals(2);
  DitherSpin->setKeyboardTracking(false);
  form->addRow("Spatial Dither", DitherSpin);
  connect(MaxSizeSpin, &QSpinBox::valueChanged, this, [this](int v) { Ask([v](auto& c) { c.SetMaxParticleSize(v); }); });
  connect(DitherSpin, &QDoubleSpinBox::valueChanged, this,
          [this](double v) { Ask([v](auto& c) { c.SetSpatialDither(v); }); });
  return page;
}

void TParticleMapsForm::OpenOptions(QPoint globalAt) {
  Changed();
  OptionsMenu->popup(globalAt);
}

void TParticleMapsForm::SetCueCardsVisible(bool visible) {
  CuesVisible_ = visible;
  ParticleCue->setVisible(visible);
  SystemCue->setVisible(visible);
}

void TParticleMapsForm::ControllerGone() {
  Controller_ = nullptr;
  Preview->SetController(nullptr);
}

void TParticleMapsForm::Changed() {
  if (!Controller_) return;
  const TImageMapsState s = Controller_->MapsState();
  for (QWidget* w : std::initializer_list<QWidget*>{ImageNumberSpin, AddButton, DelButton, MapModeBox, CycleTimeSpin,
                                                    FlipBox, AlphaTrack, AlphaSpin, MaxSizeSpin, DitherSpin})
    w->setEnabled(s.HasSystem);
  DelButton->setEnabled(s.HasSystem && s.ImageCount > 1);
  for (QAction* a : {CenterItem, TopItem, LeftItem, RightItem, BottomItem, ChooseImageItem}) a->setEnabled(s.HasSystem);
  {
    // Showing a value writes nothing: the controls' own signals stay quiet meanwhile.
    const QSignalBlocker b1(ImageNumberSpin), b2(MapModeBox), b3(CycleTimeSpin), b4(FlipBox), b5(AlphaTrack),
        b6(AlphaSpin), b7(MaxSizeSpin), b8(DitherSpin);
    ImageNumberSpin->setRange(0, std::max(0, s.ImageCount - 1));
    ImageNumberSpin->setValue(s.ImageNumber);
    MapModeBox->setCurrentIndex(s.MapMode);
    CycleTimeSpin->setValue(s.CycleTime);
    FlipBox->setCurrentIndex(s.Flip);
    AlphaTrack->setValue(s.AlphaMaster);
    AlphaSpin->setValue(s.AlphaMaster);
    MaxSizeSpin->setValue(s.MaxParticleSize);
    DitherSpin->setValue(s.SpatialDither);
  }
  ShowTransparencyItem->setChecked(s.ShowTransparency);
  ShowOriginItem->setChecked(s.ShowOrigin);
  QString name = s.HasSystem ? QString::fromStdString(s.ImageName) : QString();
  const int slash = static_cast<int>(std::max(name.lastIndexOf('/'), name.lastIndexOf('\\')));
  ImageNameLabel->setText(s.MissingNote.empty() ? name.mid(slash + 1) : QString::fromStdString(s.MissingNote));
  ImageNameLabel->setToolTip(name);
  ImageNameLabel->setStyleSheet(s.MissingNote.empty() ? QString() : QString("color: #a00000;"));
  Preview->update();
}
