// Views and the host's own render: known points through the view matrices onto the expected
// pixels, a box in front of a wall rendered with the expected depths, the post-process shader
// on the screen buffer, regions, render events, and the frame written to PNG and EXR.
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "StageTestUtil.h"
#include "hostapi/TsxApi5.h"
#include "stage/ImageFiles.h"

namespace {

// The plug-in's projection, computed only from what the host interface answers.
struct TPluginProjection {
  CtsxTxmx3f W2V;
  float Cx, Cy, M[6];
  int Mode;
  TPluginProjection() {
    tsxAViewGetWorld2VportTxmx(&W2V);
    int32_t w, h;
    tsxAViewGetDrawportSize(&w, &h);
    Cx = (static_cast<float>(w) - 1) / 2;
    Cy = (static_cast<float>(h) - 1) / 2;
    Mode = tsxAViewGetViewMode();
    tsxRENDERDATA rd;
    tsxRenderGetData(&rd);
    tsxAviewGetEyeToRenderTxmx(w, h, rd.width, rd.height, rd.pixelAspect, M);
  }
  CtsxVector3f Viewport(CtsxVector3f p) const {
    CtsxVector3f v;
    tsxTransformVect3f(&p, &v, &W2V);
    if (Mode != 0 && Mode != 4) v.z = 1;
    return {Cx + (v.x / v.z) * Cx, Cy + (v.y / v.z) * Cy, v.z};
  }
  CtsxVector3f Render(CtsxVector3f p) const {
    const CtsxVector3f v = Viewport(p);
    return {M[0] * v.x + M[1] * v.y + M[2], M[3] * v.x + M[4] * v.y + M[5], v.z};
  }
};

class ViewRenderTest : public stage_test::StageTest {
 protected:
  // Eye at (0, −10, 0) looking along +Y with Z up, 90° vertical field of view, a 101 × 51
  // drawport (centre pixel (50, 25)), a render of the same size.
  void SetUp() override {
    StageTest::SetUp();
    S().View.Camera = {};
    S().View.Camera.FieldOfView = 90;
    S().View.Width = 101;
    S().View.Height = 51;
    S().Render.Width = 101;
    S().Render.Height = 51;
    S().Render.Background = {0, 0, 1};
  }
  double Aspect() const { return 101.0 / 51.0; }

  // A red 2-unit box at the origin (front face at depth 9) in front of a grey wall facing the
  // camera at y = 5 (depth 15).
  void BoxBeforeWall() {
    stage::TMeshSource box;
    box.Kind = stage::TPrimitive::Box;
    box.Size = {2, 2, 2};
    S().Scene.AddPrimitive("Box", box).Color = {1, 0, 0};
    stage::TMeshSource wall;
    wall.Kind = stage::TPrimitive::Grid;
    wall.Size = {100, 100, 0};
    wall.DivisionsX = wall.DivisionsY = 3;
    stage::TNode& w = S().Scene.AddPrimitive("Wall", wall);
    w.Position.Rest = {0, 5, 0};
    w.Rotation.Rest = {90, 0, 0};
  }
};

TEST_F(ViewRenderTest, KnownPointsLandOnExpectedPixels) {
  const TPluginProjection perspective;
  struct Case {
    CtsxVector3f World;
    float X, Y, Depth;
  };
  const float a = static_cast<float>(Aspect());
  const Case cases[] = {
      {{0, 0, 0}, 50, 25, 10},            // centre
      {{10 * a, 0, 10}, 100, 0, 10},      // top right corner at depth 10
      {{-20 * a, 10, -20}, 0, 50, 20},    // bottom left corner at depth 20
      {{0, -5, 2.5f}, 50, 12.5f, 5},      // halfway up at depth 5
  };
  for (const Case& c : cases) {
    const CtsxVector3f p = perspective.Viewport(c.World);
    EXPECT_NEAR(p.x, c.X, 1e-3) << c.World.x << "," << c.World.y << "," << c.World.z;
    EXPECT_NEAR(p.y, c.Y, 1e-3);
    EXPECT_NEAR(p.z, c.Depth, 1e-4);
  }

  // Orthographic, 4 units high: depth is ignored and reads as 1.
  S().View.Camera.Projection = stage::TProjection::Orthographic;
  S().View.Camera.Height = 4;
  const TPluginProjection ortho;
  EXPECT_EQ(ortho.Mode, 1);
  const CtsxVector3f p = ortho.Viewport({2 * a, 5, -2});
  EXPECT_NEAR(p.x, 100, 1e-3);
  EXPECT_NEAR(p.y, 50, 1e-3);
  EXPECT_EQ(p.z, 1.0f);

  // The eye-to-world matrix: camera x right, y down, z forward; translation the eye.
  CtsxTxmx3f e2w;
  tsxAViewGetEye2WorldTxmx(&e2w);
  stage_test::ExpectMatrixNear(e2w, CtsxTxmx3f{{{1, 0, 0, 0}, {0, 0, 1, -10}, {0, -1, 0, 0}}});
}

// The view keeps its matrices between queries; whatever changes between two queries, the host
// interface answers for the view as it is now: the matrices equal those of a new view with the
// same camera and drawport, bit for bit, and differ from the previous answer when the edit
// moves the picture. The scene's time and object transforms do not move the view.
TEST_F(ViewRenderTest, QueriesAnswerForTheViewAsItIsNow) {
  struct Case {
    const char* Edit;
    std::function<void()> Apply;
    bool Moves;
  };
  stage::TNode& box = S().Scene.AddPrimitive("Box", stage::TMeshSource{});
  const Case cases[] = {
      {"nothing", [] {}, false},
      {"move the eye", [&] { S().View.Camera.Eye = {1, -12, 2}; }, true},
      {"move the target", [&] { S().View.Camera.Target = {0.5f, 0, 1}; }, true},
      {"roll the up vector", [&] { S().View.Camera.Up = {0.3f, 0, 1}; }, true},
      {"narrow the field of view", [&] { S().View.Camera.FieldOfView = 30; }, true},
      {"widen the drawport", [&] { S().View.Width = 160; }, true},
      {"shorten the drawport", [&] { S().View.Height = 40; }, true},
      {"change the frame", [&] { S().Scene.SetTime(12); }, false},
      {"move an object", [&] { box.Position.Rest = {3, 3, 3}; S().Scene.SetTime(13); }, false},
      {"switch to orthographic", [&] { S().View.Camera.Projection = stage::TProjection::Orthographic; }, true},
      {"change the visible height", [&] { S().View.Camera.Height = 7; }, true},
      {"assign the same camera again", [&] { S().View.Camera = stage::TCamera(S().View.Camera); }, false},
      {"replace the whole view", [&] { S().View = stage::TView{}; }, true},
  };
  CtsxTxmx3f w2v, e2w;
  tsxAViewGetWorld2VportTxmx(&w2v);
  tsxAViewGetEye2WorldTxmx(&e2w);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Edit);
    c.Apply();
    CtsxTxmx3f w2vNow, e2wNow;
    tsxAViewGetWorld2VportTxmx(&w2vNow);
    tsxAViewGetEye2WorldTxmx(&e2wNow);
    stage::TView fresh;
    fresh.Camera = S().View.Camera;
    fresh.Width = S().View.Width;
    fresh.Height = S().View.Height;
    const CtsxTxmx3f w2vFresh = fresh.WorldToViewport(), e2wFresh = fresh.EyeToWorld();
    EXPECT_EQ(std::memcmp(&w2vNow, &w2vFresh, sizeof w2vNow), 0);
    EXPECT_EQ(std::memcmp(&e2wNow, &e2wFresh, sizeof e2wNow), 0);
    EXPECT_EQ(std::memcmp(&w2vNow, &w2v, sizeof w2v) != 0, c.Moves);
    w2v = w2vNow;
    e2w = e2wNow;
  }
}

TEST_F(ViewRenderTest, EyeToRenderScalesDrawportToImage) {
  float m[6];
  tsxAviewGetEyeToRenderTxmx(101, 51, 201, 101, 1, m);
  const float expected[6] = {2, 0, 0, 0, 2, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(m[i], expected[i]) << i;
  // A one-pixel drawport does not divide by zero.
  tsxAviewGetEyeToRenderTxmx(1, 1, 64, 64, 1, m);
  EXPECT_TRUE(std::isfinite(m[0]) && std::isfinite(m[4]));
}

TEST_F(ViewRenderTest, BoxBeforeWallHasExpectedDepths) {
  BoxBeforeWall();
  const stage::TScreenBuffer image = S().RenderFrame(0);
  ASSERT_EQ(image.Width(), 101);
  ASSERT_EQ(image.Height(), 51);
  // The box's front face: depth 9, squared; lit head-on, so its own colour.
  const stage::TPixel& centre = image.At(50, 25);
  EXPECT_NEAR(centre.Depth, 81, 1e-3);
  EXPECT_NEAR(centre.R, 1, 1e-5);
  EXPECT_EQ(centre.G, 0);
  EXPECT_EQ(centre.A, 1);
  // The box's right edge (x = 1 at depth 9) projects to column 50 + 50 / (a·9) ≈ 52.8: the
  // plug-in's own projection puts it between the same two pixels.
  const TPluginProjection plugin;
  const float edge = plugin.Render({1, -1, 0}).x;
  EXPECT_GT(edge, 52);
  EXPECT_LT(edge, 53);
  EXPECT_NEAR(image.At(52, 25).Depth, 81, 1e-3);
  EXPECT_NEAR(image.At(53, 25).Depth, 225, 1e-2);
  // The wall everywhere else, the corners included.
  EXPECT_NEAR(image.At(0, 0).Depth, 225, 1e-2);
  EXPECT_NEAR(image.At(100, 50).Depth, 225, 1e-2);
}

TEST_F(ViewRenderTest, EmptyPixelsAreInfinitelyFarInTheBackgroundColour) {
  BoxBeforeWall();
  S().View.Camera.Target = {0, -20, 0};  // looking away from everything
  const stage::TScreenBuffer image = S().RenderFrame(0);
  for (int y = 0; y < image.Height(); y += 10)
    for (int x = 0; x < image.Width(); x += 10) {
      EXPECT_TRUE(std::isinf(image.At(x, y).Depth));
      EXPECT_EQ(image.At(x, y).B, 1.0f);
    }
}

// Post-process shader of the tests: reads every line in formats 6 and 5, checks they agree,
// then writes red = its row number in format 4.
struct TShaderLog {
  int Calls = 0;
  tssPostProcessData Data{};
  bool LinesAgree = true;
  float CentreDepth = 0;
} ShaderLog;

void TestPostProcess(const tssPostProcessData* data) {
  ++ShaderLog.Calls;
  ShaderLog.Data = *data;
  tsxRENDERDATA rd;
  tsxRenderGetData(&rd);
  const int width = rd.regionFlag ? rd.regionRight - rd.regionLeft + 1 : data->width;
  const int rows = rd.regionFlag ? rd.regionBottom - rd.regionTop + 1 : data->height;
  std::vector<float> line6(static_cast<size_t>(width) * 5), line5(static_cast<size_t>(width) * 4);
  for (int y = 0; y < rows; ++y) {
    if (!tssScreenBufferGetScanLine(data->buffer, y, 6, line6.data()) ||
        !tssScreenBufferGetScanLine(data->buffer, y, 5, line5.data())) {
      ShaderLog.LinesAgree = false;
      continue;
    }
    for (int x = 0; x < width; ++x)
      ShaderLog.LinesAgree = ShaderLog.LinesAgree && line6[x * 5 + 4] == line5[x * 4 + 3] &&
                             line6[x * 5] == line5[x * 4];
    if (y == 25) ShaderLog.CentreDepth = line5[50 * 4 + 3];
    std::vector<float> out(static_cast<size_t>(width) * 4);
    for (int x = 0; x < width; ++x) {
      out[x * 4] = static_cast<float>(y);
      out[x * 4 + 3] = 0.5f;
    }
    tssScreenBufferSetScanLine(data->buffer, y, 4, out.data());
    tsxRenderDisplayScanline(out.data(), 0, width - 1, y, rows - 1);
  }
  // Lines out of range and unknown formats are refused.
  ShaderLog.LinesAgree = ShaderLog.LinesAgree && !tssScreenBufferGetScanLine(data->buffer, rows, 6, line6.data()) &&
                         !tssScreenBufferGetScanLine(data->buffer, 0, 3, line6.data());
}

TEST_F(ViewRenderTest, PostProcessShaderWorksOnTheBuffer) {
  ShaderLog = {};
  BoxBeforeWall();
  ASSERT_EQ(tsxRegisterExternalShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(&TestPostProcess), 1), 1);
  const stage::TScreenBuffer image = S().RenderFrame(0);
  EXPECT_EQ(ShaderLog.Calls, 1);
  EXPECT_EQ(ShaderLog.Data.width, 101);
  EXPECT_EQ(ShaderLog.Data.height, 51);
  EXPECT_TRUE(ShaderLog.LinesAgree);
  EXPECT_NEAR(ShaderLog.CentreDepth, 81, 1e-3);
  // Format 4 wrote colour and alpha, and left the depth.
  EXPECT_EQ(image.At(7, 30).R, 30.0f);
  EXPECT_EQ(image.At(7, 30).G, 0.0f);
  EXPECT_EQ(image.At(7, 30).A, 0.5f);
  EXPECT_NEAR(image.At(50, 25).Depth, 81, 1e-3);
  // What the shader displayed shows in the render window.
  ASSERT_TRUE(S().Display.has_value());
  EXPECT_EQ(S().Display->At(3, 12).R, 12.0f);
  EXPECT_EQ(S().DisplayCalls, 51);
  // The buffer handle is gone after the frame.
  float line[101 * 5];
  EXPECT_EQ(tssScreenBufferGetScanLine(ShaderLog.Data.buffer, 0, 6, line), 0);

  // Unregistered, it is not called; a refusing host keeps it unregistered.
  EXPECT_EQ(tsxRegisterExternalShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(&TestPostProcess), 0), 1);
  S().RenderFrame(0);
  EXPECT_EQ(ShaderLog.Calls, 1);
  S().RefuseShaders = true;
  EXPECT_EQ(tsxRegisterExternalShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(&TestPostProcess), 1), 0);
  EXPECT_EQ(S().Shader(tssSHADER_POSTPROCESS), nullptr);
}

TEST_F(ViewRenderTest, RegionRendersOnlyItsRectangle) {
  ShaderLog = {};
  BoxBeforeWall();
  S().Render.UseRegion = true;
  S().Render.RegionLeft = 40;
  S().Render.RegionTop = 20;
  S().Render.RegionRight = 60;
  S().Render.RegionBottom = 30;
  tsxRENDERDATA rd;
  tsxRenderGetData(&rd);
  EXPECT_EQ(rd.regionFlag, 1);
  EXPECT_EQ(rd.regionLeft, 40);
  EXPECT_EQ(rd.regionBottom, 30);
  EXPECT_EQ(rd.width, 101);
  ASSERT_EQ(tsxRegisterExternalShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(&TestPostProcess), 1), 1);
  const stage::TScreenBuffer image = S().RenderFrame(0);
  // The shader sees the whole image's size, and lines of the region.
  EXPECT_EQ(ShaderLog.Data.width, 101);
  EXPECT_TRUE(ShaderLog.LinesAgree);
  EXPECT_EQ(image.At(40, 20).R, 0.0f);   // buffer line 0
  EXPECT_EQ(image.At(60, 30).R, 10.0f);  // buffer line 10
  // Outside the region: the background, never drawn.
  EXPECT_EQ(image.At(0, 0).B, 1.0f);
  EXPECT_TRUE(std::isinf(image.At(0, 0).Depth));
  EXPECT_TRUE(std::isinf(image.At(61, 25).Depth));
}

std::vector<std::pair<int, int32_t>> EventLog;
void LogEvent(int group, const void* record) {
  EventLog.emplace_back(group, *static_cast<const int32_t*>(record));
}

TEST_F(ViewRenderTest, RenderSequenceRaisesEventsInOrder) {
  EventLog.clear();
  ASSERT_EQ(tsxRegisterEventCallback(tsxEVENTS_RENDER, &LogEvent, 1), 1);
  std::vector<float> frames;
  EXPECT_TRUE(S().RenderSequence(3, 5, [&](float f, const stage::TScreenBuffer&) {
    frames.push_back(f);
    EXPECT_EQ(tsxAnimGetActiveTime(), f);
  }));
  EXPECT_EQ(frames, (std::vector<float>{3, 4, 5}));
  const std::vector<std::pair<int, int32_t>> expected = {{0, 0}, {0, 1}, {0, 3}, {0, 4}, {0, 3},
                                                         {0, 4}, {0, 3}, {0, 4}, {0, 2}};
  EXPECT_EQ(EventLog, expected);

  // An interrupt between frames aborts the sequence.
  EventLog.clear();
  S().Interrupt = true;
  EXPECT_FALSE(S().RenderSequence(0, 2, nullptr));
  EXPECT_EQ(EventLog.back(), (std::pair<int, int32_t>{0, 5}));
  EXPECT_EQ(tsxRenderCheckInterrupt(), 1);

  // Unsubscribed, nothing more arrives; other groups never did.
  EventLog.clear();
  S().Interrupt = false;
  ASSERT_EQ(tsxRegisterEventCallback(tsxEVENTS_RENDER, &LogEvent, 0), 1);
  S().RenderSequence(0, 0, nullptr);
  S().RaiseGeneralEvent(4);
  EXPECT_TRUE(EventLog.empty());
  EXPECT_EQ(tsxRegisterEventCallback(7, &LogEvent, 1), 0);
}

TEST_F(ViewRenderTest, FramesWriteToPngAndExr) {
  BoxBeforeWall();
  const stage::TScreenBuffer image = S().RenderFrame(0);
  stage::WriteImage(Dir / "frame.png", image);
  stage::WriteImage(Dir / "frame.exr", image);
  EXPECT_THROW(stage::WriteImage(Dir / "frame.bmp", image), std::runtime_error);
  EXPECT_THROW(stage::WriteImage(Dir / "missing" / "frame.png", image), std::runtime_error);

  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&png, (Dir / "frame.png").c_str()));
  png.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(png.width, 101u);
  EXPECT_EQ(png.height, 51u);
  const size_t centre = (25 * 101 + 50) * 3;
  EXPECT_EQ(rgb[centre], 255);
  EXPECT_EQ(rgb[centre + 1], 0);

  Imf::InputFile exr((Dir / "frame.exr").c_str());
  const Imath::Box2i dw = exr.header().dataWindow();
  ASSERT_EQ(dw.max.x - dw.min.x + 1, 101);
  for (const char* c : {"R", "G", "B", "A", "Z"}) EXPECT_NE(exr.header().channels().findChannel(c), nullptr) << c;
  std::vector<float> z(101 * 51), r(101 * 51);
  Imf::FrameBuffer fb;
  fb.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(z.data()), sizeof(float), sizeof(float) * 101));
  fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(r.data()), sizeof(float), sizeof(float) * 101));
  exr.setFrameBuffer(fb);
  exr.readPixels(dw.min.y, dw.max.y);
  EXPECT_NEAR(z[25 * 101 + 50], 9, 1e-4);  // the view depth, not its square
  EXPECT_NEAR(z[0], 15, 1e-3);
  EXPECT_EQ(r[25 * 101 + 50], image.At(50, 25).R);
  // No temporary files are left behind.
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Dir)) ++files;
  EXPECT_EQ(files, 2);
}

}  // namespace

namespace {

class Antialiasing : public ViewRenderTest {};

TEST_F(Antialiasing, SamplesSmoothEdgesAndOneSampleIsTodaysImage) {
  stage::TMeshSource box;
  box.Kind = stage::TPrimitive::Box;
  box.Size = {4, 4, 4};
  S().Scene.AddPrimitive("Box", box).Rotation.Rest = {0, 0, 30};
  const stage::TScreenBuffer one = S().RenderFrame(0);
  S().Render.Samples = 1;
  const stage::TScreenBuffer same = S().RenderFrame(0);
  // What the post-process shader sees of a frame with samples.
  int32_t seenWidth = 0;
  static int32_t* seen = nullptr;
  seen = &seenWidth;
  S().RegisterShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(+[](const tssPostProcessData* d) {
                       tsxRENDERDATA rd;
                       tsxRenderGetData(&rd);
                       *seen = d->width == rd.width ? rd.width : -1;
                     }),
                     true);
  S().Render.Samples = 3;
  const stage::TScreenBuffer three = S().RenderFrame(0);
  EXPECT_EQ(seenWidth, 303);
  EXPECT_EQ(S().Render.Width, 101) << "the settings are back after the frame";
  EXPECT_EQ(S().Render.Samples, 3);
  ASSERT_EQ(three.Width(), 101);
  ASSERT_EQ(three.Height(), 51);

  int intermediateOne = 0, intermediateThree = 0;
  for (int32_t y = 0; y < 51; ++y)
    for (int32_t x = 0; x < 101; ++x) {
      ASSERT_EQ(one.At(x, y).B, same.At(x, y).B);
      ASSERT_EQ(one.At(x, y).Depth, same.At(x, y).Depth);
      // The box is grey, the background blue: an edge pixel lies between the two.
      const float b1 = one.At(x, y).B, b3 = three.At(x, y).B;
      const float g1 = one.At(x, y).G, g3 = three.At(x, y).G;
      intermediateOne += b1 > g1 + 1e-3f && b1 < 1 - 1e-3f;
      intermediateThree += b3 > g3 + 1e-3f && b3 < 1 - 1e-3f;
      // Depth is the nearest of the block's: a pixel the box touches at all has its depth.
      if (!std::isinf(one.At(x, y).Depth)) {
        EXPECT_FALSE(std::isinf(three.At(x, y).Depth));
      }
    }
  EXPECT_EQ(intermediateOne, 0);
  EXPECT_GT(intermediateThree, 20);
  // Inside a face the colour is the face's.
  EXPECT_NEAR(three.At(50, 25).R, one.At(50, 25).R, 1e-5);
  // A transparent background stays transparent, and edges get partial coverage.
  S().Render.BackgroundAlpha = 0;
  const stage::TScreenBuffer clear = S().RenderFrame(0);
  int partial = 0;
  for (int32_t y = 0; y < 51; ++y)
    for (int32_t x = 0; x < 101; ++x) partial += clear.At(x, y).A > 0 && clear.At(x, y).A < 1;
  EXPECT_GT(partial, 20);
  EXPECT_EQ(clear.At(0, 0).A, 0);
  EXPECT_EQ(clear.At(0, 0).B, 0) << "premultiplied";

  S().Render.Width = 6000;
  S().Render.Samples = 3;
  EXPECT_THROW(S().RenderFrame(0), std::invalid_argument);
  EXPECT_EQ(S().Render.Width, 6000);
}

// 16-bit samples of a PNG file, read with libpng as they are stored; empty when unreadable.
std::vector<uint16_t> ReadPng16(const std::filesystem::path& path, png_uint_32& width, int& channels) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint16_t> out;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    width = png_get_image_width(png, info);
    channels = png_get_channels(png, info);
    const int depth = png_get_bit_depth(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y)
      for (png_uint_32 i = 0; i < width * static_cast<png_uint_32>(channels); ++i)
        out.push_back(depth == 16 ? static_cast<uint16_t>(rows[y][i * 2] << 8 | rows[y][i * 2 + 1]) : rows[y][i]);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return out;
}

TEST_F(ViewRenderTest, AlphaFilesAreStraightInPngAndPremultipliedInExr) {
  stage::TScreenBuffer image(3, 1);
  image.At(0, 0) = {0.25f, 0.1f, 0, 0.5f, 4};  // premultiplied: straight red 0.5
  image.At(1, 0) = {0, 0, 0, 0, INFINITY};
  image.At(2, 0) = {1, 1, 1, 1, 1};
  struct Case {
    int bits;
    bool alpha;
    int channels;
    std::vector<uint16_t> expected;
  };
  const Case cases[] = {
      {8, true, 4, {128, 51, 0, 128, 0, 0, 0, 0, 255, 255, 255, 255}},
      {16, true, 4, {32768, 13107, 0, 32768, 0, 0, 0, 0, 65535, 65535, 65535, 65535}},
      {16, false, 3, {16384, 6554, 0, 0, 0, 0, 65535, 65535, 65535}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " bits" << (c.alpha ? ", alpha" : ""));
    stage::WritePng(Dir / "a.png", image, {c.alpha, c.bits});
    png_uint_32 width = 0;
    int channels = 0;
    EXPECT_EQ(ReadPng16(Dir / "a.png", width, channels), c.expected);
    EXPECT_EQ(channels, c.channels);
  }
  EXPECT_THROW(stage::WritePng(Dir / "a.png", image, {false, 32}), std::invalid_argument);

  for (int bits : {16, 32}) {
    stage::WriteExr(Dir / "a.exr", image, {false, bits});
    Imf::InputFile exr((Dir / "a.exr").c_str());
    for (const char* name : {"R", "G", "B", "A"})
      EXPECT_EQ(exr.header().channels().findChannel(name)->type, bits == 16 ? Imf::HALF : Imf::FLOAT) << name;
    EXPECT_EQ(exr.header().channels().findChannel("Z")->type, Imf::FLOAT);
    std::vector<float> r(3), a(3), z(3);
    Imf::FrameBuffer fb;
    fb.insert("R", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(r.data()), sizeof(float), sizeof(float) * 3));
    fb.insert("A", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(a.data()), sizeof(float), sizeof(float) * 3));
    fb.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(z.data()), sizeof(float), sizeof(float) * 3));
    exr.setFrameBuffer(fb);
    exr.readPixels(0, 0);
    EXPECT_EQ(r[0], 0.25f) << "premultiplied, as the buffer holds it";
    EXPECT_EQ(a[0], 0.5f);
    EXPECT_EQ(z[0], 2);
  }
  EXPECT_THROW(stage::WriteExr(Dir / "a.exr", image, {false, 8}), std::invalid_argument);
}

// Additive light adds colour without coverage; in PNG, whose colours are straight, it is given
// its brightness as alpha, so that the file over black is the rendered colour, where alpha 0
// would have dropped it. Pixels whose colour their coverage holds keep their alpha.
TEST_F(ViewRenderTest, AdditiveLightKeepsItsColourInStraightAlphaPng) {
  struct Case {
    stage::TPixel Pixel;
    float Alpha;  // expected in the file
  };
  const Case cases[] = {
      {{0.6f, 0.3f, 0.1f, 0, INFINITY}, 0.6f},  // light over nothing
      {{0.8f, 0.2f, 0, 0.5f, 3}, 0.8f},         // light brighter than the particle under it
      {{0.25f, 0.1f, 0, 0.5f, 4}, 0.5f},        // an ordinary premultiplied pixel
      {{2, 1, 0, 0, INFINITY}, 1},              // brighter than white: clamped as over black
      {{0, 0, 0, 0, INFINITY}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Pixel.R << " " << c.Pixel.G << " " << c.Pixel.B << " " << c.Pixel.A);
    stage::TScreenBuffer image(1, 1);
    image.At(0, 0) = c.Pixel;
    stage::WritePng(Dir / "light.png", image, {true, 16});
    png_uint_32 width = 0;
    int channels = 0;
    const std::vector<uint16_t> v = ReadPng16(Dir / "light.png", width, channels);
    ASSERT_EQ(v.size(), 4u);
    const float alpha = v[3] / 65535.0f;
    EXPECT_NEAR(alpha, c.Alpha, 1e-4f);
    const float over[3] = {c.Pixel.R, c.Pixel.G, c.Pixel.B};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(v[static_cast<size_t>(k)] / 65535.0f * alpha, std::min(over[k], 1.0f), 1e-4f) << k;
  }
}

}  // namespace
