// The curve editor's view at pixel positions, offscreen, over the real controller and stage: a
// drag, a double click, a right-drag scroll, both menus, and the "Edit Keyframe" dialog typed into.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include "engine/RandomTables.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"
#include "ui/qt/CurveChart.h"
#include "ui/qt/EditKeyframeForm.h"
#include "ui/qt/VarChartForm.h"

namespace {

using stage::Stage;

class CurveView : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    InstallPlatform(std::make_unique<THeadlessPlatform>());
    main = std::make_unique<TMain>();
    auto e = std::make_unique<TEmitterObject>();
    slot = &e->AddSystem();
    main->Emitters.AddEmitter(std::move(e));
    form = std::make_unique<TVarChartForm>(main->Curves, nullptr);
    form->resize(420, 300);
    form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    form.reset();
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }
  TVarSeries& Show(int index, std::vector<TSplineKey> keys) {
    TVarSeries& c = slot->System.Variable(index);
    c.Clear();
    for (const TSplineKey& k : keys) c.AddKey(k.x, k.y);
    main->Curves.ShowCurve(TCurveRef{TCurveSet::System, slot->Id, index});
    QApplication::processEvents();
    return c;
  }
  QPoint At(double x, double y) const {
    const TPlotMapping m = form->Chart->PlotMapping();
    return QPoint(static_cast<int>(std::lround(m.PixelX(x))), static_cast<int>(std::lround(m.PixelY(y))));
  }
  void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
            Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, QPointF(at), QPointF(form->Chart->mapToGlobal(at)), button, held, mods);
    QApplication::sendEvent(form->Chart, &e);
  }

  std::unique_ptr<TMain> main;
  std::unique_ptr<TVarChartForm> form;
  TEmitter* slot = nullptr;
};

constexpr int FlowCurve = 7;

TEST_F(CurveView, DragDoubleClickAndScrollAtPixels) {
  TVarSeries& c = Show(FlowCurve, {{0, 5}, {40, 5}, {8192, 5}});
  // Drag the key at 40 to about (60, 8): whole frames, values on the curve's step.
  Send(QEvent::MouseButtonPress, At(40, 5), Qt::LeftButton, Qt::LeftButton);
  Send(QEvent::MouseMove, At(60, 8), Qt::NoButton, Qt::LeftButton);
  Send(QEvent::MouseButtonRelease, At(60, 8), Qt::LeftButton, Qt::NoButton);
  EXPECT_NEAR(c.KeyX(1), 60, 1);
  EXPECT_EQ(c.KeyX(1), std::nearbyint(c.KeyX(1)));
  EXPECT_NEAR(c.KeyY(1), 8, 0.1);
  EXPECT_EQ(main->History.UndoName(), "Drag Key");
  // A double click adds a key; the second click grabs nothing.
  Send(QEvent::MouseButtonPress, At(20, 2), Qt::LeftButton, Qt::LeftButton);
  Send(QEvent::MouseButtonRelease, At(20, 2), Qt::LeftButton, Qt::NoButton);
  Send(QEvent::MouseButtonDblClick, At(20, 2), Qt::LeftButton, Qt::LeftButton);
  Send(QEvent::MouseButtonRelease, At(20, 2), Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(c.KeyCount(), 4);
  EXPECT_NEAR(c.KeyX(1), 20, 1);
  // A right drag scrolls and opens no menu.
  const double xmin = main->Curves.EditorState().XMin;
  Send(QEvent::MouseButtonPress, QPoint(300, 100), Qt::RightButton, Qt::RightButton);
  Send(QEvent::MouseMove, QPoint(200, 100), Qt::NoButton, Qt::RightButton);
  Send(QEvent::MouseButtonRelease, QPoint(200, 100), Qt::RightButton, Qt::NoButton);
  EXPECT_GT(main->Curves.EditorState().XMin, xmin);
  EXPECT_FALSE(form->KeyframePopup->isVisible());
  EXPECT_FALSE(form->ChartPopup->isVisible());
}

TEST_F(CurveView, RightClicksOpenTheKeyMenuOrTheGraphMenu) {
  Show(FlowCurve, {{0, 5}, {40, 6}, {8192, 5}});
  Send(QEvent::MouseButtonPress, At(40, 6), Qt::RightButton, Qt::RightButton);
  Send(QEvent::MouseButtonRelease, At(40, 6), Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(form->KeyframePopup->isVisible());
  EXPECT_TRUE(form->DeleteKeyframeItem->isEnabled());
  form->KeyframePopup->hide();
  Send(QEvent::MouseButtonPress, At(0, 5), Qt::RightButton, Qt::RightButton);
  Send(QEvent::MouseButtonRelease, At(0, 5), Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(form->KeyframePopup->isVisible());
  EXPECT_FALSE(form->DeleteKeyframeItem->isEnabled());  // key 0
  form->KeyframePopup->hide();
  Send(QEvent::MouseButtonPress, At(80, 1), Qt::RightButton, Qt::RightButton);
  Send(QEvent::MouseButtonRelease, At(80, 1), Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(form->ChartPopup->isVisible());
  form->ChartPopup->hide();
  // "Linear" from the menu is a step; showing the curve again reads it back.
  form->LinearAction->trigger();
  EXPECT_EQ(slot->System.Variable(FlowCurve).Tension, 0);
  EXPECT_TRUE(form->LinearAction->isChecked());
}

TEST_F(CurveView, EditKeyframeTypedInto) {
  TVarSeries& c = Show(FlowCurve, {{0, 5}, {40, 6}, {8192, 5}});
  Send(QEvent::MouseButtonPress, At(40, 6), Qt::RightButton, Qt::RightButton);
  Send(QEvent::MouseButtonRelease, At(40, 6), Qt::RightButton, Qt::NoButton);
  form->KeyframePopup->hide();
  form->OnDialog = [](TEditKeyframeForm& d) {
    EXPECT_EQ(d.windowTitle(), "Edit Keyframe");
    EXPECT_TRUE(d.KeyframeSpin->isEnabled());
    EXPECT_EQ(d.KeyframeSpin->value(), 40);
    d.KeyframeSpin->selectAll();
    QTest::keyClicks(d.KeyframeSpin, "150");  // past 100: a frame curve runs on
    d.PropertySpin->selectAll();
    QTest::keyClicks(d.PropertySpin, "7.25");
    d.accept();
  };
  form->EditValuesItem->trigger();
  EXPECT_EQ(c.KeyX(1), 150);
  EXPECT_EQ(c.KeyY(1), 7.25);
  EXPECT_EQ(main->History.UndoName(), "Edit Key");
  // Cancelled, or left alone and accepted: nothing changes, and no step is recorded, even for a
  // value the field can only show rounded.
  c.SetKey(1, 150, 6.125);
  form->OnDialog = [](TEditKeyframeForm& d) { d.reject(); };
  form->EditValuesItem->trigger();
  form->OnDialog = [](TEditKeyframeForm& d) { d.accept(); };
  form->EditValuesItem->trigger();
  EXPECT_EQ(main->History.UndoCount(), 1u);
  EXPECT_EQ(c.KeyY(1), 6.125);
}

TEST_F(CurveView, DialogKeys) {
  // Enter is Ok, Escape Cancel; key 0's x cannot be changed; negative values are shown.
  TEditKeyframeForm ok({0, -0.75, false, 0.01}, nullptr);
  EXPECT_FALSE(ok.KeyframeSpin->isEnabled());
  EXPECT_EQ(ok.PropertySpin->value(), -0.75);
  ok.show();
  QTest::keyClick(ok.PropertySpin, Qt::Key_Return);
  EXPECT_EQ(ok.result(), QDialog::Accepted);
  TEditKeyframeForm cancel({12, 3, true, 0.01}, nullptr);
  cancel.show();
  QTest::keyClick(cancel.KeyframeSpin, Qt::Key_Escape);
  EXPECT_EQ(cancel.result(), QDialog::Rejected);
}

TEST_F(CurveView, ControllerGoneLeavesAViewThatDoesNothing) {
  Show(FlowCurve, {{0, 5}, {40, 6}, {8192, 5}});
  main.reset();
  Send(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
  form->ClearButton->click();
  form->Chart->repaint();
  SUCCEED();
}

}  // namespace
