// The user guide's walk-through, taken in the studio as an artist takes it: by the menus, the
// panel's controls found by their object names, clicks and typed values, and the dialogs the
// steps open (Edit Keyframe, the colour picker, the file dialog of "Load Emitter Settings")
// answered as a user answers them. The studio test runs the steps and checks what they saved
// and how it renders.
#pragma once

#include <QString>
#include <functional>

namespace stage::studio {
class TMainWindow;
}

class TWalkthrough {
 public:
  // After each step: the name of its picture ("stream-1-scene").
  using TShot = std::function<void(const QString& name)>;

  // presets: the data folder's presets, where "Load Emitter Settings" finds fire.vte and the others.
  TWalkthrough(stage::studio::TMainWindow& window, QString presets) : Window_(window), Presets_(std::move(presets)) {}

  // The red stream falling onto a cube that deflects it, from a new scene. False with Error()
  // when a step could not be taken.
  bool BuildStream(const TShot& shot);
  // The campfire: fire, smoke and sparks from the presets, a taller flame, slower smoke and a
  // fan for wind, from a new scene.
  bool BuildCampfire(const TShot& shot);
  // Renders the current scene's frame into the render window (Render ▸ Render Frame).
  bool RenderFrame(int frame);

  const QString& Error() const { return Error_; }

 private:
  stage::studio::TMainWindow& Window_;
  QString Presets_;
  QString Error_;
};
