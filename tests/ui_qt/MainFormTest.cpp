// The main panel and the shuttle as a user meets them: clicked with Qt Test on the offscreen
// platform, over the real controller and stage, the preview's checks handing events to Qt.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenuBar>
#include <QProgressBar>
#include <QLabel>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include "engine/RandomTables.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"
#include "ui/qt/ColorButton.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/ShuttleForm.h"
#include "ui/qt/ToolboxForm.h"

namespace {

using stage::Stage;

class Panel : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    auto p = std::make_unique<THeadlessPlatform>();
    platform = p.get();
    // The run hands events to Qt at its checks, as the studio's platform does.
    platform->OnProcessEvents = [this] {
      QApplication::processEvents();
      if (atCheck) atCheck();
    };
    InstallPlatform(std::move(p));
    main = std::make_unique<TMain>();
    main->Switches.SwitchPostProcess = [](bool on) { return on; };
    main->Toolbox.OnShowFrame = [this](int32_t) {
      ++frames;
      if (onFrame) onFrame();
    };
    form = CreateMainPanel(*main, nullptr);
  }
  void TearDown() override {
    form.reset();
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }
  // Both Play buttons show the same caption and colours; answers the caption.
  std::string PlayButtons() {
    TColorButton* a = form->PreviewButton;
    TColorButton* b = form->Shuttle->PreviewButton;
    EXPECT_EQ(a->text(), b->text());
    EXPECT_EQ(a->Color(), b->Color());
    EXPECT_EQ(a->Highlight(), b->Highlight());
    const bool stop = a->text() == "Stop";
    EXPECT_EQ(a->Color(), stop ? buttoncolors::Stop : buttoncolors::Play);
    EXPECT_EQ(a->Highlight(), stop ? buttoncolors::StopHighlight : buttoncolors::PlayHighlight);
    return a->text().toStdString();
  }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  std::unique_ptr<TMainForm> form;
  std::function<void()> atCheck, onFrame;
  int frames = 0;
};

TEST_F(Panel, ControlsCaptionsAndSizes) {
  form->show();
  form->Shuttle->show();
  QApplication::processEvents();
  EXPECT_EQ(form->windowTitle(), "VNTX 1.0");
  EXPECT_EQ(form->Shuttle->windowTitle(), "VNTX 1.0");
  EXPECT_EQ(form->centralWidget()->height(), 470);
  EXPECT_EQ(form->centralWidget()->width(), 400);
  EXPECT_EQ(form->Shuttle->size(), QSize(182, 49));
  EXPECT_EQ(form->font().pixelSize(), 11);
  EXPECT_EQ(form->Shuttle->font().pixelSize(), 9);
  EXPECT_EQ(form->RenderProgress->width(), 168);
  EXPECT_EQ(form->PreviewButton->toolTip(), "Play Animation");
  EXPECT_EQ(form->RewindButton->text(), "Rewind");
  EXPECT_EQ(form->RewindButton->Color(), buttoncolors::Rewind);
  EXPECT_EQ(form->Shuttle->RewindButton->Highlight(), buttoncolors::RewindHighlight);
  EXPECT_EQ(form->RenderBox->text(), "Enable Rendering");
  ASSERT_EQ(form->DrawModeBox->count(), 5);
  const char* items[] = {" Dots", " Wire Boxes", " Wire Circles", " Solid Boxes ", " Solid Circles"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form->DrawModeBox->itemText(i).toStdString(), items[i]);
  EXPECT_EQ(form->DrawModeBox->currentIndex(), 1);
  EXPECT_EQ(form->TabControl1->tabText(0), "Emitters");
  EXPECT_EQ(form->TabControl1->tabText(1), "Tools");
  EXPECT_EQ(PlayButtons(), "Play");

  // The menus and their entries, in order (separators as "-").
  std::vector<std::string> menus;
  for (QAction* m : form->menuBar()->actions()) {
    std::string line = m->text().toStdString() + ":";
    for (QAction* a : m->menu()->actions()) line += " " + (a->isSeparator() ? std::string("-") : a->text().toStdString()) + ";";
    menus.push_back(line);
  }
  EXPECT_EQ(menus, (std::vector<std::string>{
                       "File: New Emitter; Delete Emitter; -; Load Emitter Settings; Save Emitter Settings; -; "
                       "Add Particle System; Delete Particle System; Duplicate Particle System; -; Load System "
                       "Settings; Save System Settings; -; Enable Rendering; Depth Dithering; Show Rendering (Slow);",
                "Edit: Undo; Redo;",
                       "Toolbox: New Deflector; New Attractor; New Repulsor; New Gravitron; New Fan; New Leader;",
                       "Preview: Animate Objects; Wireframe Alpha Hints;",
                       "Help: Topics && Contents; Toggle Cue Cards;"}));
}

// The host's selection of an emitter or a tool brings its page to the front; any other object
// leaves the page the user looks at.
TEST_F(Panel, TheHostsSelectionBringsItsPageToTheFront) {
  tsxSOBJCALLBACKS callbacks{};
  callbacks.version = 3;
  const int type = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
  auto sceneObject = [&] {
    stage::TNode* node = Stage().Scene.CreateCustom(type);
    Stage().Scene.AddToScene(*node);
    return stage::TScene::Handle(node);
  };
  auto emitter = std::make_unique<TEmitterObject>();
  emitter->AddSystem();
  emitter->SceneObject = sceneObject();
  tsxSOBJ* emitterObject = main->Emitters.AddEmitter(std::move(emitter)).SceneObject;
  TToolObject& fan = main->NewTool(ToolFan);
  fan.Modifier()->SceneObject = sceneObject();
  tsxSOBJ* group = stage::TScene::Handle(&Stage().Scene.AddGroup("Rig"));
  const struct {
    tsxSOBJ* Selected;
    int Page;
  } steps[] = {{fan.SceneObject(), 1}, {group, 1}, {emitterObject, 0}, {group, 0}, {fan.SceneObject(), 1}};
  for (const auto& step : steps) {
    main->HostSelectionChanged(step.Selected);
    EXPECT_EQ(form->TabControl1->currentIndex(), step.Page);
    EXPECT_EQ(form->Pages->currentIndex(), step.Page);
  }
}

// Each Toolbox entry creates the kind it names, with that kind's icon as the toolbox's own menu
// shows it (the host refuses the objects here: the tools are listed without them).
TEST_F(Panel, ToolboxEntriesCreateTheKindTheyName) {
  const TToolKind kinds[6] = {ToolDeflector, ToolAttractor, ToolRepulsor, ToolGravitron, ToolFan, ToolLeader};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(form->NewToolItems[i]->text().toStdString());
    const QAction* own = *std::find_if(std::begin(form->Toolbox->NewToolItems), std::end(form->Toolbox->NewToolItems),
                                       [&](const QAction* a) { return a->text() == form->NewToolItems[i]->text(); });
    EXPECT_FALSE(form->NewToolItems[i]->icon().isNull());
    EXPECT_EQ(form->NewToolItems[i]->icon().pixmap(16).toImage(), own->icon().pixmap(16).toImage());
    form->NewToolItems[i]->trigger();
    ASSERT_EQ(main->Toolbox.Tools.size(), static_cast<size_t>(i + 1));
    EXPECT_EQ(main->Toolbox.Tools.back()->Kind(), kinds[i]);
    EXPECT_EQ("New " + main->Toolbox.Tools.back()->Name, form->NewToolItems[i]->text().toStdString());
  }
}

// "Load Emitter Settings" loads into an emitter selected alone: not with nothing selected, nor
// with one of its systems selected.
TEST_F(Panel, LoadEmitterSettingsWantsAnEmitterSelectedAlone) {
  EXPECT_FALSE(form->LoadEmitterItem->isEnabled());
  auto emitter = std::make_unique<TEmitterObject>();
  emitter->AddSystem();
  TEmitterObject& added = main->Emitters.AddEmitter(std::move(emitter));
  main->Emitters.Select(&added);
  form->Refresh();
  EXPECT_TRUE(form->LoadEmitterItem->isEnabled());
  main->Emitters.CurrentSystem = added.Systems.front().get();
  form->Refresh();
  EXPECT_FALSE(form->LoadEmitterItem->isEnabled());
}

TEST_F(Panel, SwitchesFollowTheController) {
  form->DrawModeBox->setCurrentIndex(4);
  EXPECT_EQ(main->DrawMode(), DrawSolidCircles);
  EXPECT_FALSE(form->AnimateObjectsItem->isChecked());
  form->AnimateObjectsItem->trigger();
  EXPECT_TRUE(main->AnimateObjects);
  EXPECT_TRUE(form->AnimateObjectsItem->isChecked());
  form->WireframeAlphaHintsItem->trigger();
  EXPECT_TRUE(main->Renderer.WireframeAlphaHints);
  // "Enable Rendering": the box and the menu item are one switch.
  QTest::mouseClick(form->RenderBox, Qt::LeftButton);
  EXPECT_TRUE(main->Switches.EnableRendering);
  EXPECT_TRUE(form->EnableRenderingItem->isChecked());
  form->EnableRenderingItem->trigger();
  EXPECT_FALSE(main->Switches.EnableRendering);
  EXPECT_FALSE(form->RenderBox->isChecked());
  // A host that refuses the shader leaves it without its tick.
  main->Switches.SwitchPostProcess = [](bool) { return false; };
  QTest::mouseClick(form->RenderBox, Qt::LeftButton);
  EXPECT_FALSE(form->RenderBox->isChecked());
  // Tabs switch the pages.
  form->TabControl1->setCurrentIndex(1);
  EXPECT_EQ(form->Pages->currentWidget(), form->ToolboxPage);
  form->TabControl1->setCurrentIndex(0);
  EXPECT_EQ(form->Pages->currentWidget(), form->EmitterManagerPage);
}

TEST_F(Panel, BothPlayButtonsAlwaysShowTheSameState) {
  form->show();
  std::vector<std::string> during;
  // Play on the main form; Stop on the shuttle's button while the preview runs.
  onFrame = [&] {
    during.push_back(PlayButtons());
    if (frames == 2) QTest::mouseClick(form->Shuttle->PreviewButton, Qt::LeftButton);
    if (frames == 2) during.push_back(PlayButtons());  // "Stop" until the driver has stopped
  };
  QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
  EXPECT_EQ(during, (std::vector<std::string>{"Stop", "Stop", "Stop"}));
  EXPECT_EQ(frames, 2);
  EXPECT_EQ(PlayButtons(), "Play");

  // The shuttle's Play and the main form's Rewind.
  frames = 0;
  during.clear();
  onFrame = [&] {
    during.push_back(PlayButtons());
    if (frames == 1) QTest::mouseClick(form->RewindButton, Qt::LeftButton);
    if (frames == 3) QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
  };
  int restarts = 0;
  main->OnPreviewChanged = [&] {
    form->Refresh();
    if (main->PlayShowsStop) ++restarts;
    during.push_back(PlayButtons());
  };
  QTest::mouseClick(form->Shuttle->PreviewButton, Qt::LeftButton);
  EXPECT_EQ(restarts, 2);  // Play, and the new run after Rewind
  EXPECT_EQ(during, (std::vector<std::string>{"Stop", "Stop", "Play", "Stop", "Stop", "Stop", "Play"}));
}

TEST_F(Panel, WhilePlayingOnlyThePlayControlsTakeInput) {
  form->show();
  form->Shuttle->show();
  onFrame = [&] {
    if (frames == 1) {
      QTest::mouseClick(form->TabControl1, Qt::LeftButton, {}, form->TabControl1->tabRect(1).center());
      QTest::mouseClick(form->ShrinkButton, Qt::LeftButton);
      form->DrawModeBox->setFocus();
      QTest::keyClick(form->DrawModeBox, Qt::Key_Down);
    }
    if (frames == 2) QTest::mouseClick(form->Shuttle->PreviewButton, Qt::LeftButton);
  };
  QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
  EXPECT_EQ(frames, 2);  // the shuttle's Stop got through
  EXPECT_EQ(form->TabControl1->currentIndex(), 0);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(main->DrawMode(), DrawWireCircles);  // the draw-mode box still answers
  // Stopped, the panel takes every input again.
  QTest::mouseClick(form->TabControl1, Qt::LeftButton, {}, form->TabControl1->tabRect(1).center());
  EXPECT_EQ(form->TabControl1->currentIndex(), 1);
}

// Closing the panel, or the shuttle when the panel is shrunk to it, stops the run: no window
// would be left to stop it from but Escape. The plug-in's button then brings the panel back.
TEST_F(Panel, ClosingThePanelOrTheShuttleStopsThePreview) {
  for (const bool shuttle : {false, true}) {
    SCOPED_TRACE(shuttle ? "shuttle" : "panel");
    frames = 0;
    form->show();
    if (shuttle) form->Shrink();
    QWidget* window = shuttle ? static_cast<QWidget*>(form->Shuttle) : form.get();
    onFrame = [&] {
      if (frames == 3) window->close();
      if (frames == 10) main->PlayClicked();  // a run closing did not end
    };
    QTest::mouseClick(shuttle ? form->Shuttle->PreviewButton : form->PreviewButton, Qt::LeftButton);
    EXPECT_EQ(frames, 3);
    EXPECT_FALSE(main->PreviewRunning);
    EXPECT_EQ(PlayButtons(), "Play");
    EXPECT_FALSE(window->isVisible());
    main->LeftClick();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Shuttle->isVisible());
  }

  // Closed while stopped, with "Animate Objects": the host's frame stays where it is.
  main->AnimateObjectsAction();
  Stage().Scene.SetTime(12);
  form->show();
  form->close();
  EXPECT_EQ(tsxAnimGetActiveTime(), 12);
}

TEST_F(Panel, StatusRowsShowThePreviewReport) {
  form->show();
  platform->ManualClock = true;
  atCheck = [&] { platform->Ticks += 2; };
  onFrame = [&] {
    if (frames == 32) QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
  };
  QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
  EXPECT_TRUE(form->StatusBar->text().startsWith(" 0 p - 30.2 fps - frame 031")) << form->StatusBar->text().toStdString();
  EXPECT_EQ(form->Shuttle->StatusBar->text(), form->StatusBar->text());
  main->ReportRenderProgress(45);
  EXPECT_EQ(form->RenderProgress->value(), 45);
  EXPECT_EQ(form->RenderProgress->text(), "Rendering 45% Complete");
  EXPECT_EQ(form->Shuttle->RenderProgress->text(), "45%");
}

TEST_F(Panel, ShrinkAndGrow) {
  form->move(120, 80);
  form->show();
  QApplication::processEvents();
  const QPoint at = form->pos();
  QTest::mouseClick(form->ShrinkButton, Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->Shuttle->isVisible());
  EXPECT_EQ(form->Shuttle->pos(), at);
  form->Shuttle->move(300, 200);
  QApplication::processEvents();
  const QPoint shuttleAt = form->Shuttle->pos();
  QTest::mouseClick(form->Shuttle->GrowButton, Qt::LeftButton);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->Shuttle->isVisible());
  EXPECT_EQ(form->pos(), shuttleAt);
}

TEST_F(Panel, TheFoldShrinksAndGrowsTheForm) {
  form->show();
  QApplication::processEvents();
  const int height = form->height(), smallest = form->minimumHeight();
  form->FoldCollapsing(303);
  form->FoldCollapsed(53);
  EXPECT_EQ(form->height(), height - 250);
  EXPECT_EQ(form->minimumHeight(), smallest - 250);
  form->FoldExpanding();
  EXPECT_EQ(form->height(), height);
  EXPECT_EQ(form->minimumHeight(), smallest);
}

TEST_F(Panel, ThePluginsButton) {
  // The first click turns rendering on and shows the panel; later clicks leave rendering alone.
  EXPECT_FALSE(form->isVisible());
  main->LeftClick();
  EXPECT_TRUE(main->Switches.EnableRendering);
  EXPECT_TRUE(form->RenderBox->isChecked());
  EXPECT_TRUE(form->isVisible());
  form->EnableRenderingItem->trigger();
  main->LeftClick();
  EXPECT_FALSE(main->Switches.EnableRendering);

  // With the shuttle shown and minimised: the shuttle comes back, the panel stays hidden.
  form->Shrink();
  form->Shuttle->showMinimized();
  QApplication::processEvents();
  main->LeftClick();
  QApplication::processEvents();
  EXPECT_FALSE(form->Shuttle->isMinimized());
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
