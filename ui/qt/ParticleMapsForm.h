// The image maps editor's view: the pages "Image Maps" (the preview, the options menu, the list's
// controls, map mode, cycle time, flip and alpha master), "Particle Color" and "System Color"
// (a cue card above a gradient editor's view each) and "Adv" (the two render settings). A thin
// view over the controller (ui/ImageMaps.h): it shows the controller's state and forwards every
// change; showing a value never writes it.
#pragma once

#include <QWidget>
#include <functional>

#include "ui/ImageMaps.h"

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;
class TColorChartForm;
class TMapPreviewBox;

class TParticleMapsForm : public QWidget, public TImageMapsView {
 public:
  // Attaches itself to the controller as its view; detaches when it goes.
  TParticleMapsForm(TImageMapsController& controller, QWidget* parent);
  ~TParticleMapsForm() override;

  // The cue cards shown or hidden together; their buttons call OnHideCueCards (the main panel's
  // "Toggle Cue Cards"), or without one switch this form's cards themselves.
  void SetCueCardsVisible(bool visible);
  std::function<void()> OnHideCueCards;

  QTabWidget* Pages;
  // "Image Maps".
  TMapPreviewBox* Preview;
  QLabel* ImageNameLabel;
  QToolButton* OptionsButton;
  QMenu* OptionsMenu;
  QAction *ShowTransparencyItem, *ShowOriginItem, *CenterItem, *TopItem, *LeftItem, *RightItem, *BottomItem,
      *ChooseImageItem;
  QSpinBox* ImageNumberSpin;
  QPushButton *AddButton, *DelButton;
  QComboBox* MapModeBox;
  QSpinBox* CycleTimeSpin;
  QComboBox* FlipBox;
  QSlider* AlphaTrack;
  QSpinBox* AlphaSpin;
  // "Particle Color", "System Color".
  QFrame *ParticleCue, *SystemCue;
  TColorChartForm *ParticleColors, *SystemColors;
  // "Adv".
  QSpinBox* MaxSizeSpin;
  QDoubleSpinBox* DitherSpin;

  // ---- TImageMapsView.
  void Changed() override;
  void ControllerGone() override;

 private:
  QWidget* MapsPage();
  QWidget* ColorPage(const char* cue, QFrame*& card, TColorChartForm*& editor, TGradientEditorController& c);
  QWidget* AdvPage();
  void OpenOptions(QPoint globalAt);
  template <typename F>
  void Ask(F f) {
    if (Controller_) f(*Controller_);
  }
  TImageMapsController* Controller_;
  bool CuesVisible_ = true;
};
