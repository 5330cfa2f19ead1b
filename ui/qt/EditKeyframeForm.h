// "Edit Keyframe": one key by numbers. Both fields hold the key's real x and value (frame curves
// run past 100, values can be negative), are typed into as well as stepped, and x is disabled for
// key 0. Enter acts as "Ok", Escape as Cancel.
#pragma once

#include <QDialog>

#include "ui/CurveEditor.h"

class QDoubleSpinBox;

class TEditKeyframeForm : public QDialog {
 public:
  TEditKeyframeForm(const TKeyValues& values, QWidget* parent);

  QDoubleSpinBox* KeyframeSpin;
  QDoubleSpinBox* PropertySpin;
};
