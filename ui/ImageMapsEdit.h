// The image maps editor's controller: the shown system's image map list with the options of its
// entries, its map mode and cycle time, its two render settings, the preview, and the two
// gradient editors. The system is held by its slot's id and resolved on every use. Every change
// is a step in the undo history; showing a system writes nothing.
#pragma once

#include "pictures/Bitmap32.h"
#include "scene/ObjectId.h"
#include "ui/EditHistory.h"
#include "ui/GradientEdit.h"
#include "ui/ImageMaps.h"
#include "ui/SceneObjects.h"

class TParticleSystem;

class TImageMapsEdit : public TImageMapsController {
 public:
  TImageMapsEdit(TSceneObjects& objects, TEditHistory& history);
  ~TImageMapsEdit() override;
  TImageMapsEdit(const TImageMapsEdit&) = delete;
  TImageMapsEdit& operator=(const TImageMapsEdit&) = delete;

  // Shows a slot's system (NoObject: none): the image cache is emptied so that files are read
  // afresh, the entry the system names is shown, and both gradient editors follow.
  void ShowSystem(TObjectId slotId);
  TObjectId Shown() const { return Slot_; }
  // The scene changed (an undo, a load, a deletion): the editors show what is there now.
  void SceneChanged();
  // The folder the picture dialog starts in: the data folder's maps/ until a file is picked.
  static std::string PictureDialogFolder();

  TGradientEdit ParticleColors;
  TGradientEdit SystemColors;

  // ---- TImageMapsController.
  void AttachView(TImageMapsView* view) override { View_ = view; }
  TImageMapsState MapsState() const override;
  std::vector<uint32_t> PreviewPixels() const override;
  TGradientEditorController& ParticleColorEditor() override { return ParticleColors; }
  TGradientEditorController& SystemColorEditor() override { return SystemColors; }
  void SetImageNumber(int index) override;
  void AddAction() override;
  void DeleteAction() override;
  void ChooseImageAction() override;
  void PreviewClick(double x, double y, int modifiers) override;
  void ShowTransparencyAction() override;
  void ShowOriginAction() override;
  void MoveOriginAction(TOriginMove move) override;
  void SetFlip(int index) override;
  void SetMapMode(int index) override;
  void SetCycleTime(double value) override;
  void SetAlphaMaster(int value) override;
  void SetMaxParticleSize(double value) override;
  void SetSpatialDither(double value) override;

 private:
  TParticleSystem* System() const;
  // The entry shown: the system's MapIndex, within the list.
  int ShownIndex() const;
  void Changed();
  // One undoable step of the shown system around an edit.
  template <typename Edit>
  void Step(const char* name, Edit edit);
  // Fetches the shown entry's image (which may ask the user to locate a missing file).
  void LoadImage();
  // Picks pictures through the picture dialog; the dialog then starts in the last one's folder.
  static std::vector<std::string> PickPictures(bool several);

  TSceneObjects& Objects_;
  TEditHistory& History_;
  TImageMapsView* View_ = nullptr;
  TObjectId Slot_ = NoObject;
  TImageRef Image_;             // the shown entry's image
  std::string ImageName_;       // the name it was fetched for
  int ImageIndex_ = -1;         // and the entry
  std::string MissingNote_;
  bool ShowTransparency_ = false;
  bool ShowOrigin_ = false;
};
