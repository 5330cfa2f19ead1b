// The image maps editor, headless on the real stage with scripted picture answers: the preview's
// pixels against a hand-computed fixture, the list's actions, the entry's options and the
// system's settings, showing that writes nothing, a missing file that keeps its name, undo and
// redo of every edit, and systems deleted or replaced while shown.
#include "PanelFixture.h"
#include "engine/ParticleMapSource.h"
#include "render/ParticleImages.h"
#include "ui/MapPreview.h"

namespace {

namespace fs = std::filesystem;

// ---- The preview's pixels -----------------------------------------------------------------------

// A 2 × 2 picture: red (opaque), green (alpha 128) / blue (alpha 0), white (opaque).
TBitmap32 Fixture() {
  TBitmap32 b;
  b.Width = b.Height = 2;
  b.Pixels = {PackBgra(0, 0, 255, 255), PackBgra(0, 255, 0, 128), PackBgra(255, 0, 0, 0), PackBgra(255, 255, 255, 255)};
  return b;
}

constexpr uint32_t Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF, White = 0xFFFFFFFF, Grey = 0xFFCCCCCC;

TEST(MapPreviewPixels, CornersForEachFlipWithAndWithoutTransparency) {
  // The checkerboard is white at the top-left and bottom-right corners, grey at the other two.
  // Green at alpha 128 over white: 255 × 127 / 255 = 127 in red and blue; over grey: 204 × 127 /
  // 255 = 101.6 → 102, and green 128 + 101.6 → 230. At alpha master 51 red over white is
  // (255, 204, 204); green's alpha is 128 / 255 × 0.2 = 0.1004, over grey 204 × 0.8996 = 183.5
  // → 184 in red and blue, and 25.6 + 183.5 → 209 in green.
  struct TCase {
    int flip;
    bool transparency;
    int master;
    uint32_t topLeft, topRight, bottomLeft, bottomRight;
  };
  const TCase cases[] = {
      {0, false, 255, Red, Green, Blue, White},
      {1, false, 255, Green, Red, White, Blue},
      {2, false, 255, Blue, White, Red, Green},
      {3, false, 255, White, Blue, Green, Red},
      {0, true, 255, Red, 0xFF66E666, Grey, White},
      {1, true, 255, 0xFF7FFF7F, 0xFFFF0000, White, White},
      {2, true, 255, White, White, Red, 0xFF7FFF7F},
      {3, true, 255, White, Grey, 0xFF66E666, Red},
      {0, true, 51, 0xFFFFCCCC, 0xFFB8D1B8, Grey, 0xFFFFFFFF},
      {3, true, 51, White, Grey, 0xFFB8D1B8, 0xFFFFCCCC},
  };
  for (const TCase& k : cases) {
    TMapPreviewOptions o;
    o.Flip = static_cast<uint8_t>(k.flip);
    o.Transparency = k.transparency;
    o.AlphaMaster = k.master;
    const std::vector<uint32_t> p = MapPreview(Fixture(), o, 128);
    ASSERT_EQ(p.size(), 128u * 128u);
    SCOPED_TRACE(testing::Message() << "flip " << k.flip << " transparency " << k.transparency << " master " << k.master);
    EXPECT_EQ(p[0], k.topLeft);
    EXPECT_EQ(p[127], k.topRight);
    EXPECT_EQ(p[127 * 128], k.bottomLeft);
    EXPECT_EQ(p[127 * 128 + 127], k.bottomRight);
  }
}

TEST(MapPreviewPixels, BilinearBetweenPixelsAndTheOriginMark) {
  TMapPreviewOptions o;
  std::vector<uint32_t> p = MapPreview(Fixture(), o, 128);
  // Columns 63 and 64 sample the source at 0.4921875 and 0.5078125 between red and green.
  EXPECT_EQ(p[63], 0xFF817E00u);
  EXPECT_EQ(p[64], 0xFF7E8100u);
  // The same across rows, between red and blue.
  EXPECT_EQ(p[63 * 128], 0xFF81007Eu);
  // No picture: the checkerboard alone.
  for (int i : {0, 8, 8 * 128, 9 * 128 + 9}) EXPECT_EQ(MapPreview(TBitmap32{}, o, 128)[static_cast<size_t>(i)], PreviewChecker(i % 128, i / 128));
  EXPECT_EQ(PreviewChecker(8, 0), Grey);
  // The origin at (0.25, 0.75): a 4 × 4 mark around (32, 96), black outline, white inside.
  o.ShowOrigin = true;
  o.OriginX = 0.25f, o.OriginY = 0.75f;
  p = MapPreview(Fixture(), o, 128);
  const auto at = [&](int x, int y) { return p[static_cast<size_t>(y * 128 + x)]; };
  EXPECT_EQ(at(30, 94), 0xFF000000u);
  EXPECT_EQ(at(33, 97), 0xFF000000u);
  EXPECT_EQ(at(31, 95), White);
  EXPECT_EQ(at(32, 96), White);
  EXPECT_EQ(at(34, 96), MapPreview(Fixture(), TMapPreviewOptions{}, 128)[96 * 128 + 34]);
}

// ---- The editor ---------------------------------------------------------------------------------

class ImageMapsEditor : public PanelFixture {
 public:
  void SetUp() override {
    PanelFixture::SetUp();
    fs::create_directories(dir / "pics");
    for (const char* name : {"flame.png", "spark.png", "ring.png", "smoke-puff.png"})
      fs::copy_file(fs::path(VANTREL_MAPS_DIR) / name, dir / "pics" / name);
  }
  TImageMapsEdit& maps() { return main->Maps; }
  TParticleMapSource& list() { return slot->System.Maps; }
  std::string Pic(const char* name) const { return (dir / "pics" / name).string(); }
  void Show() { maps().ShowSystem(slot->Id); }
  // Adds pictures through "Add", the dialog answering them.
  void Add(std::vector<std::string> files) {
    platform->PictureAnswers.push_back(std::move(files));
    maps().AddAction();
  }
};

TEST_F(ImageMapsEditor, ANewSystemShowsDefault) {
  Show();
  const TImageMapsState s = maps().MapsState();
  EXPECT_TRUE(s.HasSystem);
  EXPECT_EQ(s.ImageCount, 1);
  EXPECT_EQ(s.ImageName, "Default");
  EXPECT_EQ(s.AlphaMaster, 51);
  EXPECT_EQ(s.Flip, 0);
  EXPECT_EQ(s.OriginX, 0.5f);
  EXPECT_EQ(s.OriginY, 0.5f);
  EXPECT_TRUE(s.MissingNote.empty());
  TMapPreviewOptions o;
  o.AlphaMaster = 51;
  EXPECT_EQ(maps().PreviewPixels(), MapPreview(*DefaultImage(), o, MapPreviewSize));
  maps().ShowSystem(NoObject);
  EXPECT_FALSE(maps().MapsState().HasSystem);
}

TEST_F(ImageMapsEditor, AddDeleteAndChoose) {
  Show();
  list().OptionsAt(0) = {0.4f, FlipVertical, 0.1f, 0.9f};
  // Three files at once: appended in the dialog's order, the third shown.
  Add({Pic("flame.png"), Pic("spark.png"), Pic("ring.png")});
  EXPECT_EQ(list().ImageCount(), 4);
  EXPECT_EQ(list().NameAt(1), Pic("flame.png"));
  EXPECT_EQ(list().NameAt(3), Pic("ring.png"));
  EXPECT_EQ(maps().MapsState().ImageNumber, 3);
  EXPECT_EQ(slot->System.MapIndex, 3);
  // The dialog started in the data folder's maps/, the next one in the last chosen folder.
  Add({});
  ASSERT_EQ(platform->Dialogs.size(), 2u);
  EXPECT_EQ(platform->Dialogs[0].Folder, DataFolder() + "maps/");
  EXPECT_EQ(platform->Dialogs[1].Folder, (dir / "pics").string() + "/");
  // Deleting the last of them shows the new last.
  maps().DeleteAction();
  EXPECT_EQ(list().ImageCount(), 3);
  EXPECT_EQ(maps().MapsState().ImageNumber, 2);
  EXPECT_EQ(maps().MapsState().ImageName, Pic("spark.png"));
  // A file already listed moves to the end with default options.
  maps().SetImageNumber(1);
  maps().SetAlphaMaster(200);
  Add({Pic("flame.png")});
  EXPECT_EQ(list().ImageCount(), 3);
  EXPECT_EQ(list().NameAt(2), Pic("flame.png"));
  EXPECT_EQ(list().OptionsAt(2), TParticleMapOptions{});
  // "Choose Image..." on entry 0 replaces Default and keeps its options.
  maps().SetImageNumber(0);
  platform->PictureAnswers = {{Pic("smoke-puff.png")}};
  maps().ChooseImageAction();
  EXPECT_EQ(list().NameAt(0), Pic("smoke-puff.png"));
  EXPECT_EQ(list().OptionsAt(0), (TParticleMapOptions{0.4f, FlipVertical, 0.1f, 0.9f}));
  // "Del" never removes the last entry.
  for (int i = 0; i < 4; ++i) maps().DeleteAction();
  EXPECT_EQ(list().ImageCount(), 1);
  EXPECT_EQ(maps().MapsState().ImageNumber, 0);
}

TEST_F(ImageMapsEditor, PreviewClicksAndOrigin) {
  Show();
  // A plain click is "Choose Image..."; Ctrl+click sets the origin.
  platform->PictureAnswers = {{Pic("spark.png")}};
  maps().PreviewClick(10, 10, 0);
  EXPECT_EQ(list().NameAt(0), Pic("spark.png"));
  maps().PreviewClick(32, 96, ModCtrl);
  EXPECT_EQ(list().OptionsAt(0).OriginX, 0.25f);
  EXPECT_EQ(list().OptionsAt(0).OriginY, 0.75f);
  const struct {
    TOriginMove move;
    float x, y;
  } moves[] = {{TOriginMove::Top, 0.25f, 0}, {TOriginMove::Right, 1, 0}, {TOriginMove::Bottom, 1, 1},
               {TOriginMove::Left, 0, 1}, {TOriginMove::Center, 0.5f, 0.5f}};
  for (const auto& m : moves) {
    maps().MoveOriginAction(m.move);
    EXPECT_EQ(list().OptionsAt(0).OriginX, m.x);
    EXPECT_EQ(list().OptionsAt(0).OriginY, m.y);
  }
  // The check items keep their state from one system to the next.
  maps().ShowOriginAction();
  maps().ShowTransparencyAction();
  maps().ShowSystem(NoObject);
  Show();
  EXPECT_TRUE(maps().MapsState().ShowOrigin);
  EXPECT_TRUE(maps().MapsState().ShowTransparency);
  EXPECT_EQ(maps().PreviewPixels()[64 * 128 + 64], 0xFFFFFFFFu);  // inside the mark
  EXPECT_EQ(maps().PreviewPixels()[62 * 128 + 62], 0xFF000000u);
}

TEST_F(ImageMapsEditor, FieldsAndTheirRanges) {
  Show();
  maps().SetAlphaMaster(128);
  EXPECT_EQ(maps().MapsState().AlphaMaster, 128);
  EXPECT_FLOAT_EQ(list().OptionsAt(0).AlphaMaster, 128 / 255.0f);
  EXPECT_NEAR(list().OptionsAt(0).AlphaMaster, 0.502, 0.0005);
  maps().SetAlphaMaster(300);
  EXPECT_EQ(maps().MapsState().AlphaMaster, 255);
  maps().SetFlip(3);
  maps().SetMapMode(2);
  maps().SetCycleTime(7.9);
  maps().SetMaxParticleSize(100);
  maps().SetSpatialDither(0.35);
  const TImageMapsState s = maps().MapsState();
  EXPECT_EQ(list().OptionsAt(0).Flip, FlipBoth);
  EXPECT_EQ(slot->System.MapMode, 2);
  EXPECT_EQ(slot->System.MapCycleTime, 7);
  EXPECT_EQ(slot->System.MaxParticleSize, 256);
  EXPECT_FLOAT_EQ(slot->System.SpatialDither, 0.35f);
  EXPECT_EQ(s.Flip, 3);
  EXPECT_EQ(s.CycleTime, 7);
  // The image number follows the system's MapIndex and stays within the list.
  Add({Pic("flame.png")});
  maps().SetImageNumber(9);
  EXPECT_EQ(slot->System.MapIndex, 1);
  maps().SetImageNumber(0);
  EXPECT_EQ(slot->System.MapIndex, 0);
}

// Showing a system writes nothing: a cycle time of 0 and an alpha master between steps of 1/255
// survive, and so does a spin landing on the value it shows.
TEST_F(ImageMapsEditor, ShowingWritesNothing) {
  slot->System.MapCycleTime = 0;
  list().OptionsAt(0).AlphaMaster = 0.3f;  // shown as 76
  slot->System.SpatialDither = 0.1f;
  const std::vector<uint8_t> before = SlotBytes();
  Show();
  EXPECT_EQ(maps().MapsState().CycleTime, 1);
  EXPECT_EQ(maps().MapsState().AlphaMaster, 76);
  maps().SetCycleTime(1);
  maps().SetAlphaMaster(76);
  maps().SetImageNumber(0);
  maps().SetMapMode(0);
  maps().SetSpatialDither(0.1f);
  maps().SetMaxParticleSize(2048);
  maps().ShowOriginAction();
  maps().ShowSystem(slot->Id);
  EXPECT_EQ(SlotBytes(), before);
  EXPECT_FALSE(main->History.CanUndo());
  EXPECT_EQ(hostNotices, 0);
}

// An entry whose file is missing, the user declining to locate it: the entry keeps its name,
// the preview shows the built-in image and the editor says which file is missing. Located, the
// entry names the file found, as a step of its own.
TEST_F(ImageMapsEditor, MissingFileKeepsItsName) {
  const std::string gone = (dir / "elsewhere" / "hot spark.png").string();
  list().AddImage(gone);
  slot->System.MapIndex = 1;
  const std::vector<uint8_t> before = SlotBytes();
  platform->ConfirmAnswers = {false};
  Show();
  EXPECT_EQ(list().NameAt(1), gone);
  EXPECT_EQ(SlotBytes(), before);
  const TImageMapsState s = maps().MapsState();
  EXPECT_NE(s.MissingNote.find("hot spark.png"), std::string::npos) << s.MissingNote;
  TMapPreviewOptions o;
  o.AlphaMaster = 51;
  EXPECT_EQ(maps().PreviewPixels(), MapPreview(*DefaultImage(), o, MapPreviewSize));
  // The render of the same system keeps the name too.
  EXPECT_EQ(ImageAt(list(), 1).get(), DefaultImage().get());
  EXPECT_EQ(list().NameAt(1), gone);

  platform->ConfirmAnswers = {true};
  platform->PictureAnswers = {{Pic("ring.png")}};
  Show();
  EXPECT_EQ(list().NameAt(1), Pic("ring.png"));
  EXPECT_TRUE(maps().MapsState().MissingNote.empty());
  EXPECT_EQ(main->PanelState().UndoName, "Locate Image");
}

TEST_F(ImageMapsEditor, EveryEditUndoesAndRedoesToTheExactBytes) {
  struct TCase {
    const char* step;
    std::function<void(ImageMapsEditor&)> edit;
  };
  const std::vector<TCase> cases = {
      {"Add Image", [](ImageMapsEditor& t) { t.Add({t.Pic("ring.png"), t.Pic("spark.png")}); }},
      {"Delete Image", [](ImageMapsEditor& t) { t.maps().DeleteAction(); }},
      {"Choose Image",
       [](ImageMapsEditor& t) {
         t.platform->PictureAnswers = {{t.Pic("smoke-puff.png")}};
         t.maps().ChooseImageAction();
       }},
      {"Image Number", [](ImageMapsEditor& t) { t.maps().SetImageNumber(0); }},
      {"Move Origin", [](ImageMapsEditor& t) { t.maps().PreviewClick(16, 16, ModCtrl); }},
      {"Flip", [](ImageMapsEditor& t) { t.maps().SetFlip(1); }},
      {"Alpha Master", [](ImageMapsEditor& t) { t.maps().SetAlphaMaster(9); }},
      {"Map Mode", [](ImageMapsEditor& t) { t.maps().SetMapMode(1); }},
      {"Cycle Time", [](ImageMapsEditor& t) { t.maps().SetCycleTime(12); }},
      {"Max Rendered Particle Size", [](ImageMapsEditor& t) { t.maps().SetMaxParticleSize(4000); }},
      {"Spatial Dither", [](ImageMapsEditor& t) { t.maps().SetSpatialDither(0.5); }},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.step);
    list().Assign({{"Default", {}}, {Pic("flame.png"), {}}});
    slot->System.MapIndex = 1;
    Show();
    main->History.Clear();
    ExpectOneStep(k.step, [&] { k.edit(*this); },
                  [&] { EXPECT_EQ(maps().MapsState().ImageCount, list().ImageCount()); });
  }
}

// The system shown goes (the host deletes the emitter, "Delete Particle System") or is replaced
// ("Load System Settings"): nothing freed is touched (the sanitizer run watches), the controls
// then change nothing, or show what was loaded.
TEST_F(ImageMapsEditor, SystemDeletedOrReplacedWhileShown) {
  Show();
  Add({Pic("flame.png")});
  const auto useEverything = [this] {
    platform->PictureAnswers = {{Pic("ring.png")}};
    maps().AddAction();
    maps().DeleteAction();
    maps().SetImageNumber(0);
    maps().ChooseImageAction();
    maps().PreviewClick(1, 1, ModCtrl);
    maps().MoveOriginAction(TOriginMove::Top);
    maps().SetFlip(2);
    maps().SetAlphaMaster(3);
    maps().SetMapMode(2);
    maps().SetCycleTime(5);
    maps().SetMaxParticleSize(300);
    maps().SetSpatialDither(0.9);
    maps().ParticleColors.AddAction();
    maps().SystemColors.ClearAction();
    (void)maps().PreviewPixels();
  };
  // "Load System Settings" over the shown system: the editor shows what was loaded.
  TEmitterObject other;
  other.AddSystem();
  other.Systems[0]->System.Maps.AddImage(Pic("spark.png"));
  other.Systems[0]->System.MapIndex = 1;
  const std::string file = (dir / "other.vts").string();
  {
    TFileWriteStream s(file);
    WriteField(s, EmitterRecordVersion);
    other.Systems[0]->WriteTo(s, true);
    s.Commit();
  }
  main->Emitters.Select(emitter, slot);
  ASSERT_TRUE(main->Emitters.LoadSystemSettings(file));
  main->SceneChanged();
  EXPECT_EQ(maps().MapsState().ImageName, Pic("spark.png"));

  // "Delete Particle System" (the emitter keeps another), then the host deleting the emitter.
  main->Emitters.Select(emitter);
  main->AddSystemAction();
  main->Emitters.Select(emitter, slot);
  main->DeleteSystemAction();
  EXPECT_FALSE(maps().MapsState().HasSystem);
  useEverything();
  slot = emitter->Systems[0].get();
  maps().ShowSystem(slot->Id);
  main->Emitters.EmitterDeleted(emitter->SceneObject);
  useEverything();
  EXPECT_FALSE(maps().MapsState().HasSystem);
  EXPECT_FALSE(maps().ParticleColors.EditorState().HasGradient);
  // What is left in the history finds nothing to act on.
  while (main->History.CanUndo()) main->UndoAction();
  EXPECT_FALSE(maps().MapsState().HasSystem);
}

}  // namespace
