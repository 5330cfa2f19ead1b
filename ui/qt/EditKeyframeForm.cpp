// The "Edit Keyframe" dialog's controls.
#include "ui/qt/EditKeyframeForm.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <cmath>

namespace {

// Decimals enough to show a step exactly (0.01: 2, 0.001: 3, 1: 0), and a stored value's own.
int DecimalsFor(double step) {
  int d = 0;
  while (d < 6 && std::abs(step * std::pow(10.0, d) - std::round(step * std::pow(10.0, d))) > 1e-9) ++d;
  return std::max(d, 2);
}

}  // namespace

TEditKeyframeForm::TEditKeyframeForm(const TKeyValues& values, QWidget* parent) : QDialog(parent) {
  setObjectName("EditKeyframeForm");
  setWindowTitle("Edit Keyframe");
  auto* form = new QFormLayout(this);
  KeyframeSpin = new QDoubleSpinBox(this);
  KeyframeSpin->setObjectName("KeyframeSpin");
  KeyframeSpin->setRange(0, 1e7);
  KeyframeSpin->setDecimals(2);
  KeyframeSpin->setSingleStep(1);
  KeyframeSpin->setValue(values.X);
  KeyframeSpin->setEnabled(values.XEditable);
  PropertySpin = new QDoubleSpinBox(this);
  PropertySpin->setObjectName("PropertySpin");
  PropertySpin->setRange(-1e7, 1e7);
  PropertySpin->setDecimals(DecimalsFor(values.ValueStep));
  PropertySpin->setSingleStep(values.ValueStep > 0 ? values.ValueStep : 0.01);
  PropertySpin->setValue(values.Y);
  form->addRow("Keyframe or percentage:", KeyframeSpin);
  form->addRow("Property value:", PropertySpin);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  QPushButton* ok = buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
  cancel->setObjectName("CancelButton");
  ok->setObjectName("OkButton");
  ok->setDefault(true);  // Enter
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
  (values.XEditable ? KeyframeSpin : PropertySpin)->setFocus();
  (values.XEditable ? KeyframeSpin : PropertySpin)->selectAll();
}
