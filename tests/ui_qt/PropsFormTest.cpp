// The system properties panel's view, offscreen, over the real controller and stage: clicks on
// the tree switching pages, the curve page's tabs, typing into the fields (one step each), the
// cue cards' buttons, and a slot shown through the view writing nothing back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLayout>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"
#include "ui/qt/PropsForm.h"
#include "ui/qt/VarChartForm.h"

namespace {

class PropsView : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    InstallPlatform(std::make_unique<THeadlessPlatform>());
    main = std::make_unique<TMain>();
    auto e = std::make_unique<TEmitterObject>();
    slot = &e->AddSystem();
    other = &e->AddSystem();
    emitter = &main->Emitters.AddEmitter(std::move(e));
    main->Emitters.Select(nullptr);  // the main panel's own curve page keeps out of the editor
    form = std::make_unique<TPropsForm>(main->Properties, nullptr);
    editor = new TVarChartForm(main->Curves, nullptr);
    form->AdoptCurveEditor(editor);
    form->resize(420, 340);
    form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    form.reset();
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }
  void Click(int entry, Qt::MouseButton button = Qt::LeftButton) {
    QTreeWidget* tree = form->PropsTree;
    const QRect r = tree->visualItemRect(form->Entries[entry]);
    QTest::mouseClick(tree->viewport(), button, Qt::NoModifier, r.center());
    QApplication::processEvents();
  }
  const TVarSeries* InEditor() const {
    return main->Curves.Shown() ? main->Objects.Curve(*main->Curves.Shown()) : nullptr;
  }
  std::vector<uint8_t> EmitterBytes() const {
    TMemoryStream s;
    emitter->WriteTo(s);
    return s.TakeData();
  }
  // Types into a field and presses Enter, as a user does.
  template <typename Spin>
  void Type(Spin* spin, const char* text) {
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, text);
    QTest::keyClick(spin, Qt::Key_Return);
    QApplication::processEvents();
  }

  std::unique_ptr<TMain> main;
  std::unique_ptr<TPropsForm> form;
  TVarChartForm* editor = nullptr;  // the form's child once adopted
  TEmitterObject* emitter = nullptr;
  TEmitter* slot = nullptr;
  TEmitter* other = nullptr;
};

TEST_F(PropsView, TreeFullyExpandedAndClicksSwitchPages) {
  ASSERT_EQ(form->Entries.size(), size_t(PropsEntryCount));
  for (int i = 0; i < PropsEntryCount; ++i) {
    EXPECT_EQ(form->Entries[i]->text(0).toStdString(), PropsEntries[i].Text);
    EXPECT_FALSE(form->PropsTree->visualItemRect(form->Entries[i]).isEmpty()) << i;  // expanded, in view
  }
  EXPECT_EQ(form->PropsTree->currentItem(), form->Entries[0]);
  main->Properties.ShowSystem(slot->Id);
  QApplication::processEvents();
  struct Case {
    int Entry;
    QWidget* Page;
    Qt::MouseButton Button;
  };
  const Case cases[] = {
      {PropsSystemEntry, form->SystemPage, Qt::LeftButton},
      {PropsRenderEntry, form->RenderPage, Qt::LeftButton},
      {PropsParticlesEntry, form->ParticlePage, Qt::LeftButton},
      {3, form->CurvePage, Qt::RightButton},  // a right click selects too
      {21, form->CurvePage, Qt::LeftButton},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(PropsEntries[c.Entry].Text);
    Click(c.Entry, c.Button);
    EXPECT_EQ(main->Properties.PropsState().Entry, c.Entry);
    EXPECT_EQ(form->Pages->currentWidget(), c.Page);
    EXPECT_TRUE(form->Pages->isEnabled());
  }
  EXPECT_EQ(InEditor(), &slot->System.Visibility);
  // The arrows walk the tree.
  QTest::keyClick(form->PropsTree, Qt::Key_Up);
  EXPECT_EQ(main->Properties.PropsState().Entry, 20);
  EXPECT_EQ(InEditor(), &slot->System.Intensity);
  // Without a system the right side shows nothing to edit.
  main->Properties.ShowSystem(NoObject);
  QApplication::processEvents();
  EXPECT_FALSE(form->Pages->isEnabled());
}

TEST_F(PropsView, JitterTabHiddenOrShownAndClicked) {
  main->Properties.ShowSystem(slot->Id);
  Click(8);  // Base Gravity: no jitter curve
  EXPECT_EQ(form->CurveTabs->tabText(0), "Base Gravity");
  EXPECT_FALSE(form->CurveTabs->isTabVisible(1));
  EXPECT_EQ(InEditor(), &slot->Emitter.BaseGravity);
  Click(4);
  EXPECT_EQ(form->CurveTabs->tabText(0), "Lifespan");
  EXPECT_EQ(form->CurveTabs->tabText(1), "Lifespan Jitter");
  EXPECT_TRUE(form->CurveTabs->isTabVisible(1));
  QTest::mouseClick(form->CurveTabs, Qt::LeftButton, Qt::NoModifier, form->CurveTabs->tabRect(1).center());
  EXPECT_EQ(InEditor(), &slot->Emitter.LifespanJitter);
  EXPECT_EQ(form->CurveTabs->currentIndex(), 1);
  // Another slot opens on the same entry, on the property's tab.
  main->Properties.ShowSystem(other->Id);
  QApplication::processEvents();
  EXPECT_EQ(form->CurveTabs->currentIndex(), 0);
  EXPECT_EQ(InEditor(), &other->Emitter.Lifespan);
  // The editor sits under the tabs, and the render page has the maps' frame.
  EXPECT_EQ(editor->parentWidget(), form->CurveHolder);
  EXPECT_TRUE(editor->isVisible());
  ASSERT_NE(form->MapsFrame(), nullptr);
  EXPECT_EQ(form->MapsFrame()->objectName(), "MapsFrame");
  EXPECT_EQ(form->MapsFrame()->layout()->contentsMargins(), QMargins());
}

TEST_F(PropsView, TypedFieldsAreOneStepEach) {
  main->Properties.ShowSystem(slot->Id);
  Click(PropsSystemEntry);
  Type(form->LifespanSpin, "120");
  EXPECT_EQ(slot->System.SystemLifespan, 120);
  EXPECT_EQ(main->History.UndoName(), "System Lifespan");
  EXPECT_EQ(main->History.UndoCount(), 1u);  // three keys typed, one step
  Type(form->LivesSpin, "3");
  EXPECT_EQ(slot->System.SystemLives, 3);
  Type(form->RadiusSpin, "2.5");
  EXPECT_EQ(slot->Emitter.EmitterRadius, 2.5f);
  EXPECT_EQ(main->History.UndoName(), "Emitter Radius");
  form->ShapeBox->setFocus();
  QTest::keyClick(form->ShapeBox, Qt::Key_Up);  // Sphere to Plane
  EXPECT_EQ(slot->Emitter.EmitterShape, ShapePlane);
  EXPECT_EQ(main->History.UndoName(), "Emitter Shape");
  form->FocusShapeBox->setFocus();
  QTest::keyClick(form->FocusShapeBox, Qt::Key_Down);
  EXPECT_EQ(slot->Emitter.FocusShape, FocusDisc);
  Click(PropsRenderEntry);
  form->RenderModeBox->setFocus();
  QTest::keyClick(form->RenderModeBox, Qt::Key_Down);
  EXPECT_EQ(slot->System.RenderMode, RenderIlluminate);
  EXPECT_EQ(main->History.UndoName(), "Render Mode");
  EXPECT_EQ(main->History.UndoCount(), 6u);
  // An undo shows the earlier value in its field, and nothing is written back.
  main->UndoAction();
  main->UndoAction();
  QApplication::processEvents();
  EXPECT_EQ(form->RenderModeBox->currentIndex(), RenderPureAlpha);
  EXPECT_EQ(form->FocusShapeBox->currentIndex(), FocusSphere);
  EXPECT_EQ(main->History.RedoCount(), 2u);
}

// A slot shown through the view, on every entry: the odd radius the field shows rounded, the
// three lives and a hand-written tension all stay, byte for byte.
TEST_F(PropsView, ShowingThroughTheViewWritesNothing) {
  slot->Emitter.EmitterRadius = 0.125f;
  slot->System.SystemLives = 3;
  slot->Emitter.Lifespan.Tension = 0.5;
  const std::vector<uint8_t> before = EmitterBytes();
  main->Properties.ShowSystem(slot->Id);
  for (int i = 0; i < PropsEntryCount; ++i) Click(i);
  Click(PropsSystemEntry);
  EXPECT_EQ(form->LivesSpin->value(), 3);
  EXPECT_EQ(form->RadiusSpin->text(), "0.13");
  // Into the radius field and out again without typing.
  form->RadiusSpin->setFocus();
  form->LivesSpin->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(EmitterBytes(), before);
  EXPECT_EQ(main->History.UndoCount(), 0u);
}

TEST_F(PropsView, CueButtonsToggleTheCueCards) {
  main->Properties.ShowSystem(slot->Id);
  Click(PropsSystemEntry);
  ASSERT_TRUE(form->SystemCueCard->isVisible());
  QTest::mouseClick(form->SystemCueButton, Qt::LeftButton);
  EXPECT_FALSE(main->CueCardsVisible);
  EXPECT_FALSE(form->SystemCueCard->isVisible());
  Click(5);
  EXPECT_FALSE(form->CurveCueCard->isVisible());
  main->ToggleCuesAction();  // the main panel's "Toggle Cue Cards"
  QApplication::processEvents();
  EXPECT_TRUE(form->CurveCueCard->isVisible());
  EXPECT_EQ(form->CurveCueButton->toolTip(), "Hide Cue Cards");
}

}  // namespace
