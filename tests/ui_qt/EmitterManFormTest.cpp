// The emitter manager's view as a user meets it on the main panel: clicked and typed into with Qt
// Test on the offscreen platform, over the real controller and stage.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "engine/RandomTables.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"
#include "ui/qt/EmitterManForm.h"
#include "ui/qt/PropsForm.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/VarChartForm.h"

namespace {

using stage::Stage;

class EmitterView : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    auto p = std::make_unique<THeadlessPlatform>();
    platform = p.get();
    InstallPlatform(std::move(p));
    tsxSOBJCALLBACKS callbacks{};
    callbacks.version = 3;
    const int type = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
    main = std::make_unique<TMain>();
    main->CreateEmitterObject = [type] {
      stage::TNode* node = Stage().Scene.CreateCustom(type);
      Stage().Scene.AddToScene(*node);
      return reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
    };
    form = CreateMainPanel(*main, nullptr);
    view = form->EmitterMan;
    // Tall enough for the tree to show every node above the pages.
    form->resize(form->width(), 800);
    form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    form.reset();
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }
  // Two emitters, the first with two systems; the second selected.
  void TwoEmitters() {
    form->NewEmitterItem->trigger();
    form->AddSystemItem->trigger();
    form->NewEmitterItem->trigger();
    QApplication::processEvents();
  }
  QTreeWidgetItem* Node(int emitter, int system = -1) {
    QTreeWidgetItem* node = view->Tree->topLevelItem(emitter);
    return system < 0 ? node : node->child(system);
  }
  QPoint TextOf(QTreeWidgetItem* item) { return view->Tree->visualItemRect(item).center() + QPoint(20, 0); }
  QPoint BoxOf(QTreeWidgetItem* item) {
    const QRect r = view->Tree->visualItemRect(item);
    return QPoint(r.left() + 6, r.center().y());
  }
  TEmitterObject& Emitter(int i) { return *main->Emitters.EmitterList[static_cast<size_t>(i)]; }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  std::unique_ptr<TMainForm> form;
  TEmitterManForm* view = nullptr;
};

// The tree shows the list with state boxes; new emitters open; a click on a node's text selects
// it and shows its page; a click on a state box flips Enabled and leaves the selection alone.
TEST_F(EmitterView, TreeClicksAndPages) {
  EXPECT_EQ(view->Pages->currentWidget(), view->BlankPage);
  EXPECT_EQ(view->BlankPage->text(), "Load an emitter object, or use the File menu to create an emitter.");
  TwoEmitters();
  ASSERT_EQ(view->Tree->topLevelItemCount(), 2);
  EXPECT_EQ(Node(0)->childCount(), 2);
  EXPECT_TRUE(Node(0)->isExpanded());
  EXPECT_TRUE(Node(1)->isExpanded());
  EXPECT_EQ(view->Tree->currentItem(), Node(1));
  EXPECT_EQ(view->Pages->currentWidget(), view->EmitterPage);
  EXPECT_EQ(view->SubjectLabel->text(), "Emitter");

  QTest::mouseClick(view->Tree->viewport(), Qt::LeftButton, {}, TextOf(Node(0, 1)));
  EXPECT_EQ(main->Emitters.CurrentSystem, Emitter(0).Systems[1].get());
  EXPECT_EQ(view->Pages->currentWidget(), view->SystemPage);
  EXPECT_EQ(view->SubjectLabel->text(), "Emitter \u203A Particles");

  // State boxes: a system's, then an emitter's; each click flips the flag, the selection stays.
  const struct {
    int emitter, system;
  } boxes[] = {{0, 0}, {1, -1}};
  for (const auto& b : boxes) {
    QTreeWidgetItem* item = Node(b.emitter, b.system);
    QTest::mouseClick(view->Tree->viewport(), Qt::LeftButton, {}, BoxOf(item));
    const bool enabled = b.system < 0 ? Emitter(b.emitter).Enabled != 0 : Emitter(b.emitter).Systems[b.system]->Enabled;
    EXPECT_FALSE(enabled) << b.emitter << " " << b.system;
    EXPECT_EQ(Node(b.emitter, b.system)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(view->Tree->currentItem(), Node(0, 1));
    EXPECT_EQ(form->UndoItem->text(), "Undo Enabled");
  }

  // The emitter alone: its page, the Settings tab first, the curve editor on Visibility.
  QTest::mouseClick(view->Tree->viewport(), Qt::LeftButton, {}, TextOf(Node(0)));
  EXPECT_EQ(view->Pages->currentWidget(), view->EmitterPage);
  EXPECT_EQ(view->EmitterTabs->tabText(0), "Settings");
  EXPECT_EQ(view->EmitterTabs->tabText(1), "Visibility");
  EXPECT_EQ(form->CurveEditor->parentWidget(), view->VisibilityTab);
  // A system: the editor goes back to the system properties panel, its page shown.
  QTest::mouseClick(view->Tree->viewport(), Qt::LeftButton, {}, TextOf(Node(0, 0)));
  EXPECT_EQ(view->Pages->currentWidget(), form->SystemProps);
  EXPECT_TRUE(form->SystemProps->isAncestorOf(form->CurveEditor));
}

// A right click selects the node and opens the menu in its order, each action enabled as the
// selection allows; the File menu holds the same actions.
TEST_F(EmitterView, ContextMenu) {
  TwoEmitters();
  std::string order;
  for (QAction* a : view->TreePopup->actions()) order += (a->isSeparator() ? "-" : a->text().toStdString()) + ";";
  EXPECT_EQ(order,
            "New Emitter;Delete Emitter;-;Load Emitter Settings;Save Emitter Settings;-;Add Particle System;Delete "
            "Particle System;Duplicate Particle System;-;Load System Settings;Save System Settings;");
  EXPECT_EQ(view->Action(TEmitterAction::AddSystem)->statusTip(), "Add a new particle system to the selected emitter");

  const struct {
    int emitter, system;
    std::vector<bool> enabled;  // in the menu's order, separators left out
  } cases[] = {
      {0, 1, {true, false, false, false, true, true, true, true, true}},
      {1, -1, {true, true, true, true, true, false, false, false, false}},
      {1, 0, {true, false, false, false, true, false, true, true, true}},  // the only system stays
  };
  for (const auto& c : cases) {
    QTimer::singleShot(0, [this] { view->TreePopup->close(); });
    QTest::mouseClick(view->Tree->viewport(), Qt::RightButton, {}, TextOf(Node(c.emitter, c.system)));
    emit view->Tree->customContextMenuRequested(TextOf(Node(c.emitter, c.system)));
    EXPECT_EQ(view->Tree->currentItem(), Node(c.emitter, c.system));
    std::vector<bool> enabled;
    for (int a = 0; a < EmitterActionCount; ++a) enabled.push_back(view->Actions[a]->isEnabled());
    EXPECT_EQ(enabled, c.enabled) << c.emitter << " " << c.system;
    EXPECT_EQ(form->SaveSystemItem, view->Action(TEmitterAction::SaveSystemSettings));
    QApplication::processEvents();
  }
  view->Action(TEmitterAction::DuplicateSystem)->trigger();
  EXPECT_EQ(Node(1)->childCount(), 2);
  EXPECT_EQ(view->Tree->currentItem(), Node(1, 1));
}

// F2 renames in place; the name is cut to what its field holds; the Enter ends the edit.
TEST_F(EmitterView, RenamingAndKeyboard) {
  TwoEmitters();
  view->Tree->setFocus();
  view->Tree->setCurrentItem(Node(0, 1));
  // Twice: the second time the cut name is the stored one, and the node still shows it.
  for (int i = 0; i < 2; ++i) {
    QTest::keyClick(view->Tree, Qt::Key_F2);
    auto* editor = view->Tree->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QString(40, 'k'));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the edit ends after the key
    EXPECT_EQ(Emitter(0).Systems[1]->Name, std::string(32, 'k'));
    EXPECT_EQ(Node(0, 1)->text(0), QString(32, 'k'));
    EXPECT_EQ(form->UndoItem->text(), "Undo Rename");
  }
  EXPECT_EQ(main->History.UndoCount(), 2u);  // the system added and one rename

  // Space flips Enabled; Delete deletes the selected system; arrows move the selection.
  QTest::keyClick(view->Tree, Qt::Key_Space);
  EXPECT_FALSE(Emitter(0).Systems[1]->Enabled);
  QTest::keyClick(view->Tree, Qt::Key_Delete);
  EXPECT_EQ(Emitter(0).Systems.size(), 1u);
  EXPECT_EQ(view->Tree->currentItem(), Node(0));
  QTest::keyClick(view->Tree, Qt::Key_Down);
  EXPECT_EQ(main->Emitters.CurrentSystem, Emitter(0).Systems[0].get());
}

// The emitter page's fields write the current emitter; showing another emitter's values writes
// nothing (the update guard).
TEST_F(EmitterView, EmitterPageFields) {
  TwoEmitters();
  Emitter(0).WidthScaling = 2;
  Emitter(0).HeightScaling = 5;
  Emitter(0).FreezeFrame = 40;
  view->Tree->setCurrentItem(Node(0));
  EXPECT_TRUE(view->BiggerParticlesBox->isChecked());
  EXPECT_FALSE(view->MoreParticlesBox->isChecked());
  EXPECT_TRUE(view->StrongerGravityBox->isChecked());
  EXPECT_EQ(view->FreezeFrameEdit->value(), 40);
  EXPECT_EQ(main->History.UndoCount(), 1u);  // the system added; showing wrote nothing

  view->FrameOffsetEdit->setValue(-30);
  EXPECT_EQ(Emitter(0).FrameOffset, -30);
  QTest::mouseClick(view->OlderParticlesBox, Qt::LeftButton, {}, QPoint(8, view->OlderParticlesBox->height() / 2));
  EXPECT_EQ(Emitter(0).HeightScaling, 7);
  EXPECT_EQ(form->UndoItem->text(), "Undo Auto Scale");
  const size_t steps = main->History.UndoCount();
  view->Tree->setCurrentItem(Node(1));
  EXPECT_EQ(main->History.UndoCount(), steps);
  EXPECT_EQ(view->FrameOffsetEdit->value(), 0);
  EXPECT_FALSE(view->OlderParticlesBox->isChecked());
  EXPECT_EQ(Emitter(1).HeightScaling, 0);
  EXPECT_EQ(Emitter(0).HeightScaling, 7);
}

// The fold: its button folds the pages and the main panel shrinks by what it lost; the splitter
// keeps the pages at least 300 high; showing the panel folds them; the cue card follows
// "Toggle Cue Cards".
TEST_F(EmitterView, FoldSplitterAndCueCards) {
  TwoEmitters();
  main->Emitters.SetFoldExpanded(true);
  QApplication::processEvents();
  QSplitter* splitter = view->Splitter;
  const int total = splitter->sizes()[0] + splitter->sizes()[1];
  ASSERT_GT(total, 520);
  splitter->setSizes({total - 450, 450});
  emit splitter->splitterMoved(total - 450, 1);
  EXPECT_EQ(main->Emitters.FoldHeight, 450);
  splitter->setSizes({total - 200, 200});
  emit splitter->splitterMoved(total - 200, 1);
  EXPECT_GE(main->Emitters.FoldHeight, MinFoldHeight);
  EXPECT_EQ(splitter->sizes()[1], main->Emitters.FoldHeight);

  const int height = form->height();
  QTest::mouseClick(view->FoldButton, Qt::LeftButton);
  EXPECT_FALSE(main->Emitters.FoldExpanded);
  EXPECT_TRUE(view->FoldBody->isHidden());
  EXPECT_FALSE(splitter->handle(1)->isEnabled());
  EXPECT_LT(form->height(), height);
  QTest::mouseClick(view->FoldButton, Qt::LeftButton);
  EXPECT_TRUE(main->Emitters.FoldExpanded);
  EXPECT_EQ(form->height(), height);

  form->hide();
  main->LeftClick();
  EXPECT_FALSE(main->Emitters.FoldExpanded);

  EXPECT_FALSE(view->CueCard->isHidden());
  QTest::mouseClick(view->CueCardButton, Qt::LeftButton);
  EXPECT_TRUE(view->CueCard->isHidden());
  form->ToggleCuesItem->trigger();
  EXPECT_FALSE(view->CueCard->isHidden());
}

}  // namespace
