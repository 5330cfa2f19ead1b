// The toolbox and tool properties views as a user meets them, with Qt Test over the real
// controllers and stage: the list's check boxes, renaming in place, the keyboard, the tree and its
// pages, and the fold header.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "engine/FanModifier.h"
#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "tests/ui/StageTools.h"
#include "ui/Main.h"
#include "ui/qt/ToolPropsForm.h"
#include "ui/qt/ToolboxForm.h"

namespace {

using stage::Stage;

TMain* Current = nullptr;

int ToolDelete(tsxSOBJ* obj) {
  Current->Toolbox.ToolDeleted(obj);
  return 1;
}

class ToolboxView : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    InstallPlatform(std::make_unique<THeadlessPlatform>());
    tsxSOBJCALLBACKS callbacks{};
    callbacks.version = 3;
    callbacks.onDelete = ToolDelete;
    types = DefineToolTypes(callbacks);
    main = std::make_unique<TMain>();
    Current = main.get();
    main->CreateToolObject = [this](TToolKind kind) -> tsxSOBJ* {
      return NewToolObject(types, kind);
    };
    main->ToolboxControl.EmitterFoldExpanded = [this] { return emitterFold; };
    main->ToolboxControl.SetEmitterFoldExpanded = [this](bool expanded) { emitterFold = expanded; };
    form = std::make_unique<TToolboxForm>(main->ToolboxPanel(), main->ToolProperties(), nullptr);
    form->resize(400, 560);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  void TearDown() override {
    form.reset();
    main.reset();
    Current = nullptr;
    InstallPlatform(nullptr);
    stage::ResetStage();
  }
  QTreeWidget* list() { return form->ToolObjectsListView; }
  TToolPropsForm* props() { return form->ToolProps; }
  TToolObject& Tool(size_t i) { return *main->Toolbox.Tools[i]; }
  // Clicks a tree entry of the properties panel by its caption.
  void ChooseEntry(const char* caption) {
    const auto found = props()->ToolPropsTree->findItems(caption, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << caption;
    QTreeWidget* tree = props()->ToolPropsTree;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found[0]).center());
  }

  std::vector<int> types;
  std::unique_ptr<TMain> main;
  std::unique_ptr<TToolboxForm> form;
  bool emitterFold = true;
};

TEST_F(ToolboxView, RowsCheckBoxesRenamingAndKeys) {
  form->NewToolItems[1]->trigger();  // "New Fan"
  form->NewToolItems[0]->trigger();  // "New Deflector"
  ASSERT_EQ(list()->topLevelItemCount(), 2);
  EXPECT_EQ(list()->headerItem()->text(0), "Tool");
  EXPECT_EQ(list()->headerItem()->text(1), "Kind");
  EXPECT_EQ(list()->topLevelItem(0)->text(1), "Fan");
  EXPECT_EQ(list()->currentItem(), list()->topLevelItem(1));

  // The check box, clicked: the tool is inactive, the selection stays.
  QTreeWidgetItem* fan = list()->topLevelItem(0);
  QRect box = list()->visualItemRect(fan);
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 10, box.center().y()));
  EXPECT_EQ(fan->checkState(0), Qt::Unchecked);
  EXPECT_FALSE(Tool(0).Modifier()->Active);
  EXPECT_EQ(main->History.UndoName(), "Active");

  // Arrows choose rows; Space toggles Active; F2 renames in place.
  list()->setFocus();
  list()->setCurrentItem(list()->topLevelItem(1));
  QTest::keyClick(list(), Qt::Key_Up);
  EXPECT_EQ(main->Toolbox.CurrentTool, &Tool(0));
  EXPECT_EQ(props()->Pages->currentIndex(), static_cast<int>(TToolPage::Fan));
  QTest::keyClick(list(), Qt::Key_Space);
  EXPECT_TRUE(Tool(0).Modifier()->Active);
  QTest::keyClick(list(), Qt::Key_F2);
  auto* editor = list()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, QString(40, 'w'));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the editor's text is taken after the key
  EXPECT_EQ(Tool(0).Name, std::string(32, 'w'));
  EXPECT_EQ(list()->topLevelItem(0)->text(0), QString(32, 'w'));
  EXPECT_EQ(main->History.UndoName(), "Rename");

  // Delete asks the host, whose deletion takes the row; the first tool is current.
  QTest::keyClick(list(), Qt::Key_Down);
  QTest::keyClick(list(), Qt::Key_Delete);
  ASSERT_EQ(list()->topLevelItemCount(), 1);
  EXPECT_EQ(list()->currentItem(), list()->topLevelItem(0));
  EXPECT_EQ(main->Toolbox.CurrentTool, &Tool(0));
}

TEST_F(ToolboxView, TreePagesAndFieldsWriteOnlyWhatTheUserChanges) {
  form->NewToolItems[5]->trigger();  // "New Gravitron"
  auto& gravitron = dynamic_cast<TBasicModifier&>(*Tool(0).Modifier());
  gravitron.Scale = 2.5f;  // no whole number: the field shows it rounded and writes nothing back
  TMemoryStream before;
  Tool(0).WriteTo(before);
  main->ToolboxControl.Refresh();
  QTreeWidget* tree = props()->ToolPropsTree;
  ASSERT_EQ(tree->topLevelItemCount(), 4);
  EXPECT_EQ(props()->Pages->currentIndex(), static_cast<int>(TToolPage::Gravitron));
  for (const char* entry : {"Power", "Power Jitter", "Lifespan", "Gravitron"}) ChooseEntry(entry);
  TMemoryStream after;
  Tool(0).WriteTo(after);
  EXPECT_EQ(after.Data(), before.Data());
  EXPECT_TRUE(main->History.UndoName().empty());

  // The user's own changes: one step each.
  props()->InfiniteBox->click();
  EXPECT_EQ(main->History.UndoName(), "Infinite");
  props()->GravitronScale->setValue(7);
  EXPECT_EQ(gravitron.Scale, 7);
  ChooseEntry("Lifespan");
  EXPECT_EQ(props()->Pages->currentIndex(), static_cast<int>(TToolPage::Lifespan));
  props()->LifespanField->setValue(24);
  EXPECT_EQ(gravitron.ToolLifespan, 24);
  EXPECT_EQ(main->History.UndoName(), "Tool Lifespan");
  ChooseEntry("Power Jitter");
  EXPECT_EQ(props()->Pages->currentIndex(), static_cast<int>(TToolPage::Curve));
  EXPECT_TRUE(props()->CueCard->isVisible());

  // With no tool: only "Lifespan", and the no-tool page with its text.
  QTest::keyClick(list(), Qt::Key_Delete);
  EXPECT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Lifespan");
  EXPECT_EQ(props()->Pages->currentIndex(), static_cast<int>(TToolPage::NoTool));
  EXPECT_EQ(props()->NoToolLabel->text(), "Use the Toolbox menu to create tools.");
}

TEST_F(ToolboxView, FoldHeaderWorksBothFolds) {
  EXPECT_TRUE(form->ToolPropsFold->isVisible());
  EXPECT_EQ(form->ToolPropsFold->height(), 303);
  EXPECT_EQ(form->FoldHeader->text(), "Properties");
  QTest::mouseClick(form->FoldHeader, Qt::LeftButton);
  EXPECT_FALSE(emitterFold);
  EXPECT_FALSE(form->ToolPropsFold->isVisible());
  QTest::mouseClick(form->FoldHeader, Qt::LeftButton);
  EXPECT_TRUE(emitterFold);
  EXPECT_TRUE(form->ToolPropsFold->isVisible());
}

}  // namespace
