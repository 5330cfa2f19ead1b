// The image maps editor's view and its gradient editors' views at pixel positions, offscreen, over
// the real controllers and stage: stop drags, double clicks and the stop menu on the strip, the
// keyboard, clicks on the preview, the alpha master's two controls, and a form that writes
// nothing when it shows a system.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"
#include "ui/qt/ColorChartForm.h"
#include "ui/qt/ColorStrip.h"
#include "ui/qt/MapPreviewBox.h"
#include "ui/qt/ParticleMapsForm.h"

namespace {

class MapsView : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    auto p = std::make_unique<THeadlessPlatform>();
    platform = p.get();
    InstallPlatform(std::move(p));
    main = std::make_unique<TMain>();
    auto e = std::make_unique<TEmitterObject>();
    slot = &e->AddSystem();
    main->Emitters.AddEmitter(std::move(e));
    slot->System.MapCycleTime = 0;
    slot->System.Maps.OptionsAt(0).AlphaMaster = 0.3f;
    slot->System.ParticleColors.Assign({{1, 0x0000FF}, {40, 0x00FF00}, {100, 0xFF0000}}, {});
    before = SlotBytes();
    main->Maps.ShowSystem(slot->Id);
    form = std::make_unique<TParticleMapsForm>(main->Maps, nullptr);
    form->resize(460, 330);
    form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    form.reset();
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }
  std::vector<uint8_t> SlotBytes() const {
    TMemoryStream s;
    slot->WriteTo(s, false);
    return s.TakeData();
  }
  TColorStrip* Strip() {
    form->Pages->setCurrentIndex(1);
    QApplication::processEvents();
    return form->ParticleColors->Strip;
  }
  // A stop's marker in the strip's pixels, as drawn.
  QPoint Marker(int stop) const {
    const TGradientEditorState s = main->Maps.ParticleColors.EditorState();
    return QPoint(static_cast<int>(std::lround(s.Stops[static_cast<size_t>(stop)].PixelX)),
                  static_cast<int>(std::lround(s.LineY)));
  }
  static void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
                   Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, mods);
    QApplication::sendEvent(w, &e);
  }
  static void Click(QWidget* w, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Send(w, QEvent::MouseButtonPress, at, button, button, mods);
    Send(w, QEvent::MouseButtonRelease, at, button, Qt::NoButton, mods);
  }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  std::unique_ptr<TParticleMapsForm> form;
  TEmitter* slot = nullptr;
  std::vector<uint8_t> before;
};

TEST_F(MapsView, ShowsEveryControlAndWritesNothing) {
  ASSERT_EQ(form->Pages->count(), 4);
  EXPECT_EQ(form->Pages->tabText(0), "Image Maps");
  EXPECT_EQ(form->Pages->tabText(3), "Adv");
  EXPECT_EQ(form->CycleTimeSpin->value(), 1);
  EXPECT_EQ(form->AlphaSpin->value(), 76);
  EXPECT_EQ(form->AlphaTrack->value(), 76);
  EXPECT_EQ(form->ImageNumberSpin->toolTip(), "Current Image Number");
  EXPECT_EQ(form->ParticleColors->ModeBox->itemText(1), "Random Color");
  EXPECT_EQ(form->ParticleColors->Hint->text(), "(right-click point for options, dbl-click for picker)");
  for (int page = 0; page < 4; ++page) {
    form->Pages->setCurrentIndex(page);
    QApplication::processEvents();
  }
  EXPECT_EQ(SlotBytes(), before);
  EXPECT_FALSE(main->History.CanUndo());
  // The preview draws the controller's pixels.
  const QImage shown = form->Preview->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const std::vector<uint32_t> pixels = main->Maps.PreviewPixels();
  for (const QPoint at : {QPoint(0, 0), QPoint(64, 64), QPoint(100, 20)})
    EXPECT_EQ(shown.pixel(at), pixels[static_cast<size_t>(at.y() * 128 + at.x())]) << at.x() << "," << at.y();
}

TEST_F(MapsView, StripDragDoubleClickAndMenuAtPixels) {
  TColorStrip* strip = Strip();
  const TColorSeries& g = slot->System.ParticleColors;
  // Drag stop 1 to about the place of 70.
  const QPoint from = Marker(1);
  const QPoint to((Marker(1).x() + Marker(2).x() * 2) / 3, from.y());
  Send(strip, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  Send(strip, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  Send(strip, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  EXPECT_NEAR(g.Stop(1).Position, 80, 2);
  EXPECT_EQ(g.Stop(1).Position, std::nearbyint(g.Stop(1).Position));
  EXPECT_EQ(main->History.UndoName(), "Drag Stop");
  // A double click on stop 0 opens the picker; the second press drags nothing.
  platform->ColorAnswers = {0x00FFFF};
  Click(strip, Marker(0), Qt::LeftButton);
  Send(strip, QEvent::MouseButtonDblClick, Marker(0), Qt::LeftButton, Qt::LeftButton);
  Send(strip, QEvent::MouseButtonRelease, Marker(0), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(g.Stop(0).Color, 0x00FFFFu);
  EXPECT_EQ(g.Stop(0).Position, 1);
  // A right click on stop 0 opens the stop menu with "Delete Color" and "Color Picker" enabled.
  Click(strip, Marker(0), Qt::RightButton);
  EXPECT_TRUE(form->ParticleColors->StopPopup->isVisible());
  EXPECT_TRUE(form->ParticleColors->DeleteColorItem->isEnabled());
  EXPECT_TRUE(form->ParticleColors->ColorPickerItem->isEnabled());
  form->ParticleColors->StopPopup->hide();
  // Between the stops: the menu, without those two.
  Click(strip, QPoint((Marker(0).x() + Marker(1).x()) / 2, Marker(0).y()), Qt::RightButton);
  EXPECT_TRUE(form->ParticleColors->StopPopup->isVisible());
  EXPECT_FALSE(form->ParticleColors->DeleteColorItem->isEnabled());
  form->ParticleColors->StopPopup->hide();
  // "Add" on a gradient that reaches 100 adds at 50; the mode box stores the system's mode.
  QTest::mouseClick(form->ParticleColors->AddButton, Qt::LeftButton);
  EXPECT_EQ(g.Stop(1).Position, 50);
  form->ParticleColors->ModeBox->setCurrentIndex(1);
  EXPECT_EQ(slot->System.ParticleColorMode, 1);
}

TEST_F(MapsView, StripKeyboard) {
  TColorStrip* strip = Strip();
  strip->setFocus();
  QTest::keyClick(strip, Qt::Key_Right);
  QTest::keyClick(strip, Qt::Key_Right);
  QTest::keyClick(strip, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(slot->System.ParticleColors.Stop(1).Position, 41);
  platform->ColorAnswers = {0x101010};
  QTest::keyClick(strip, Qt::Key_Return);
  EXPECT_EQ(slot->System.ParticleColors.Stop(1).Color, 0x101010u);
  QTest::keyClick(strip, Qt::Key_Menu);
  EXPECT_TRUE(form->ParticleColors->StopPopup->isVisible());
  form->ParticleColors->StopPopup->hide();
  QTest::keyClick(strip, Qt::Key_Delete);
  EXPECT_EQ(slot->System.ParticleColors.Count(), 2);
}

TEST_F(MapsView, PreviewClicksAlphaMasterAndImageNumber) {
  // A click is "Choose Image..."; Ctrl+click sets the origin at the pixel; a right click the menu.
  Click(form->Preview, QPoint(40, 40), Qt::LeftButton);
  ASSERT_EQ(platform->Dialogs.size(), 1u);
  EXPECT_EQ(platform->Dialogs[0].Kind, "pictures");
  Click(form->Preview, QPoint(32, 96), Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(slot->System.Maps.OptionsAt(0).OriginX, 0.25f);
  EXPECT_EQ(slot->System.Maps.OptionsAt(0).OriginY, 0.75f);
  Click(form->Preview, QPoint(5, 5), Qt::RightButton);
  EXPECT_TRUE(form->OptionsMenu->isVisible());
  form->OptionsMenu->hide();
  // The spin moves the track bar, and the track bar the spin.
  form->AlphaSpin->setValue(128);
  EXPECT_EQ(form->AlphaTrack->value(), 128);
  EXPECT_FLOAT_EQ(slot->System.Maps.OptionsAt(0).AlphaMaster, 128 / 255.0f);
  form->AlphaTrack->setValue(200);
  EXPECT_EQ(form->AlphaSpin->value(), 200);
  // The image number with Up and Down, within the list.
  slot->System.Maps.AddImage("/somewhere/b.png");
  platform->ConfirmAnswers = {false};
  main->SceneChanged();
  form->ImageNumberSpin->setFocus();
  QTest::keyClick(form->ImageNumberSpin, Qt::Key_Up);
  EXPECT_EQ(slot->System.MapIndex, 1);
  QTest::keyClick(form->ImageNumberSpin, Qt::Key_Up);
  EXPECT_EQ(slot->System.MapIndex, 1);
  QTest::keyClick(form->ImageNumberSpin, Qt::Key_Down);
  EXPECT_EQ(slot->System.MapIndex, 0);
}

}  // namespace
