// The transform panel.
#include "stage/studio/TransformPanel.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <functional>

#include "stage/Stage.h"

namespace stage::studio {

void NotifyMoved(TNode& node) {
  Stage().NotifyTransform(node, 0);
  for (const auto& c : node.Children()) NotifyMoved(*c);
}

namespace {
TChannel& ChannelOf(TNode& n, int channel) {
  return channel == 0 ? n.Position : channel == 1 ? n.Rotation : n.Scale;
}
}  // namespace

TTransformPanel::TTransformPanel(QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout(this);
  Title_ = new QLabel(this);
  grid->addWidget(Title_, 0, 0, 1, 4);
  const char* rows[] = {"Position", "Rotation", "Scale"};
  const char* axes[] = {"X", "Y", "Z"};
  for (int a = 0; a < 3; ++a) grid->addWidget(new QLabel(axes[a], this), 1, a + 1, Qt::AlignHCenter);
  for (int c = 0; c < 3; ++c) {
    grid->addWidget(new QLabel(tr(rows[c]), this), c + 2, 0);
    for (int a = 0; a < 3; ++a) {
      auto* f = new QDoubleSpinBox(this);
      f->setObjectName(QString("%1%2").arg(rows[c]).arg(axes[a]).toLower());
      f->setRange(-1e6, 1e6);
      f->setDecimals(3);
      f->setSingleStep(c == 1 ? 5 : 0.1);
      f->setKeyboardTracking(false);
      Fields_[static_cast<size_t>(c * 3 + a)] = f;
      grid->addWidget(f, c + 2, a + 1);
      connect(f, &QDoubleSpinBox::valueChanged, this, [this, c] { Apply(c); });
    }
  }
  SetKey_ = new QPushButton(tr("Set Key"), this);
  SetKey_->setObjectName("setKey");
  grid->addWidget(SetKey_, 5, 1, 1, 3);
  grid->setRowStretch(6, 1);
  connect(SetKey_, &QPushButton::clicked, this, &TTransformPanel::SetKey);
  ShowSelection();
}

void TTransformPanel::ShowSelection() {
  TNode* n = Stage().Scene.Selected();
  Quiet_ = true;
  Title_->setText(n ? QString::fromStdString(n->Name) : tr("Nothing selected"));
  const float t = Stage().Scene.Time();
  for (int c = 0; c < 3; ++c) {
    const CtsxVector3f v = n ? ChannelOf(*n, c).At(t) : CtsxVector3f{0, 0, 0};
    const float xyz[3] = {v.x, v.y, v.z};
    for (int a = 0; a < 3; ++a) {
      Field(c, a)->setEnabled(n != nullptr);
      Field(c, a)->setValue(xyz[a]);
    }
  }
  SetKey_->setEnabled(n != nullptr);
  Quiet_ = false;
}

void TTransformPanel::Apply(int channel) {
  if (Quiet_) return;
  TNode* n = Stage().Scene.Selected();
  if (!n) return;
  const CtsxVector3f v{float(Field(channel, 0)->value()), float(Field(channel, 1)->value()),
                       float(Field(channel, 2)->value())};
  ChannelOf(*n, channel).Set(Stage().Scene.Time(), v);
  NotifyMoved(*n);
  emit Edited();
}

void TTransformPanel::SetKey() {
  TNode* n = Stage().Scene.Selected();
  if (!n) return;
  const float t = Stage().Scene.Time();
  try {
    for (int c = 0; c < 3; ++c)
      ChannelOf(*n, c).SetKey(t, {float(Field(c, 0)->value()), float(Field(c, 1)->value()), float(Field(c, 2)->value())});
  } catch (const std::exception& e) {
    QMessageBox::warning(this, tr("Set Key"), QString::fromStdString(e.what()));
    return;
  }
  NotifyMoved(*n);
  emit Edited();
}

}  // namespace stage::studio
