// Graphic handles: loading, dividing, deriving, deleting, pixels and the
// draw screen and area they take part in.
#include "core/handle.h"
#include "tests/graphics/graphics_fixture.h"

namespace {

// gradient8.png: 8 x 8 RGB, red = 21x + 3y, green = red + 7, blue = red + 14.
constexpr uint32_t Gradient(int x, int y) {
  const uint32_t r = static_cast<uint32_t>(21 * x + 3 * y);
  return r << 16 | (r + 7) << 8 | (r + 14);
}

uint32_t GraphPixel(int graph, int x, int y) {
  GraphHandleRecord* record = LookupGraphHandle(graph);
  return record ? GraphicsTest::PixelOf(&record->image, x, y) : 0xDEADBEEF;
}

using GraphHandles = GraphicsTest;

TEST_F(GraphHandles, AFileLoadsIntoAGraphicOfItsSize) {
  const int graph = LoadGraphFile(DataFile("images/gradient8.png").c_str(), 0);
  ASSERT_NE(graph, -1);
  EXPECT_EQ(HandleKind(graph), HandleTypeGraph);
  int width = 0, height = 0;
  EXPECT_EQ(QueryGraphSize(graph, &width, &height), 0);
  EXPECT_EQ(width, 8);
  EXPECT_EQ(height, 8);
  EXPECT_EQ(GraphPixel(graph, 0, 0), Gradient(0, 0));
  EXPECT_EQ(GraphPixel(graph, 7, 5), Gradient(7, 5));
  EXPECT_EQ(LookupGraphHandle(graph)->image.base->alphaFlag, 0);
  EXPECT_EQ(LookupGraphHandle(graph)->original->hardwareFlag, 0);
}

TEST_F(GraphHandles, DividedFilesGiveOneGraphicPerCellRowByRow) {
  int cells[3] = {};
  ASSERT_EQ(LoadDivGraphFile(DataFile("images/gradient8.png").c_str(), 3, 2, 2, 4, 4, cells, 0), 0);
  EXPECT_EQ(GraphPixel(cells[0], 0, 0), Gradient(0, 0));
  EXPECT_EQ(GraphPixel(cells[1], 0, 0), Gradient(4, 0));
  EXPECT_EQ(GraphPixel(cells[2], 0, 0), Gradient(0, 4));
  EXPECT_EQ(GraphPixel(cells[2], 3, 3), Gradient(3, 7));
  int width = 0, height = 0;
  QueryGraphSize(cells[1], &width, &height);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 4);
  // The cells share one picture, which goes with the last of them.
  for (int cell : cells) EXPECT_EQ(DeleteGraphHandle(cell), 0);
  EXPECT_EQ(MemGetTotals().liveBlocks, blocksAtStart);
}

TEST_F(GraphHandles, DivisionsThatDoNotFitAreRefusedWithNothingLeft) {
  const std::string path = DataFile("images/gradient8.png");
  int cells[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(LoadDivGraphFile(path.c_str(), 6, 3, 2, 4, 4, cells, 0), -1);  // 12 columns of 8
  for (int i = 0; i < 6; i++) EXPECT_EQ(cells[i], i + 1);  // nothing written
  EXPECT_TRUE(Logged("分割サイズが画像の大きさを超えています：" + path + " in LoadDivGraphFile"));
  EXPECT_EQ(LoadDivGraphFile(path.c_str(), 5, 2, 2, 4, 4, cells, 0), -1);  // 5 cells of 4
  EXPECT_TRUE(Logged("分割数または分割サイズが不正です in LoadDivGraphFile"));
  EXPECT_EQ(LoadDivGraphFile(path.c_str(), 4, 2, 2, 0, 4, cells, 0), -1);
  EXPECT_EQ(LoadDivGraphFile(path.c_str(), 4, 2, -2, 4, 4, cells, 0), -1);
  EXPECT_EQ(LoadDivGraphFile(path.c_str(), 4, 2, 2, 4, 4, nullptr, 0), -1);
  EXPECT_EQ(CountGraphHandles(), 0);
  EXPECT_EQ(MemGetTotals().liveBlocks, blocksAtStart);
}

TEST_F(GraphHandles, MissingAndCorruptFilesFailWithALogLineAndNoLeak) {
  EXPECT_EQ(LoadGraphFile("missing.png", 0), -1);
  EXPECT_TRUE(Logged("グラフィックファイルの読み込みに失敗しました：missing.png in LoadGraphFile"));
  EXPECT_EQ(LoadGraphFile(nullptr, 0), -1);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(DataFile("bad_images"))) {
    EXPECT_EQ(LoadGraphFile(entry.path().c_str(), 0), -1) << entry.path();
    files++;
  }
  EXPECT_GE(files, 10);
  EXPECT_EQ(CountGraphHandles(), 0);
  EXPECT_EQ(MemGetTotals().liveBlocks, blocksAtStart);
}

TEST_F(GraphHandles, DeletedHandlesGoStaleAndSetTheirLostFlags) {
  const int graph = MakeEmptyGraph(2, 2);
  ASSERT_NE(graph, -1);
  int lost = 7;
  EXPECT_EQ(SetGraphLostFlag(graph, &lost), 0);
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(DeleteGraphHandle(graph), 0);
  EXPECT_EQ(lost, 1);

  EXPECT_EQ(DeleteGraphHandle(graph), -1);
  EXPECT_EQ(QueryGraphSize(graph, nullptr, nullptr), -1);
  EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), -1);
  EXPECT_EQ(FillGraphWithColor(graph, 1, 2, 3, 4), -1);
  EXPECT_EQ(SetGraphLostFlag(graph, &lost), -1);
  EXPECT_EQ(DeriveGraphFromRect(0, 0, 1, 1, graph), -1);
  // The slot's next graphic gets a new check number: the old handle stays dead.
  const int again = MakeEmptyGraph(2, 2);
  EXPECT_NE(again, graph);
  EXPECT_EQ(QueryGraphSize(graph, nullptr, nullptr), -1);

  // Handles of another kind, out of range or negative are no graphics.
  EXPECT_EQ(QueryGraphSize(MakeHandleValue(HandleTypeSound, HandleCheck(again), HandleSlot(again)), nullptr, nullptr), -1);
  EXPECT_EQ(QueryGraphSize(MakeHandleValue(HandleTypeGraph, HandleCheck(again), 40000), nullptr, nullptr), -1);
  EXPECT_EQ(QueryGraphSize(-1, nullptr, nullptr), -1);

  // The graphics end deletes what is left, lost flags included.
  int lostAtEnd = 0;
  SetGraphLostFlag(again, &lostAtEnd);
  Stop();
  EXPECT_EQ(lostAtEnd, 1);
  Start(32);
  EXPECT_EQ(QueryGraphSize(again, nullptr, nullptr), -1);
}

TEST_F(GraphHandles, DerivedGraphicsShareThePixelsAndOutliveTheirSource) {
  std::vector<uint32_t> pixels(16);
  for (int i = 0; i < 16; i++) pixels[i] = static_cast<uint32_t>(0x010101 * (i + 1));
  const int source = MakeGraph(4, 4, pixels);
  const int part = DeriveGraphFromRect(1, 2, 10, 10, source);  // cut to 3 x 2
  ASSERT_NE(part, -1);
  int width = 0, height = 0;
  QueryGraphSize(part, &width, &height);
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(GraphPixel(part, 0, 0), pixels[2 * 4 + 1]);
  const int inner = DeriveGraphFromRect(1, 1, 5, 5, part);  // of the part: 2 x 1 at (2, 3)
  EXPECT_EQ(GraphPixel(inner, 0, 0), pixels[3 * 4 + 2]);

  EXPECT_EQ(FillGraphWithColor(part, 0xAA, 0xBB, 0xCC, 0), 0);
  EXPECT_EQ(GraphPixel(source, 1, 2), 0xAABBCCu);
  EXPECT_EQ(GraphPixel(source, 0, 2), pixels[2 * 4]);  // outside the part

  EXPECT_EQ(DeleteGraphHandle(source), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, inner, 0), 0);
  EXPECT_EQ(BackPixel(0, 0), 0xAABBCCu);

  EXPECT_EQ(DeriveGraphFromRect(-1, 0, 1, 1, part), -1);
  EXPECT_EQ(DeriveGraphFromRect(3, 0, 1, 1, part), -1);
  EXPECT_EQ(DeriveGraphFromRect(0, 0, 0, 1, part), -1);
  EXPECT_TRUE(Logged("切り出す矩形が不正です ( 0, 0, 0, 1 ) in DeriveGraphFromRect"));
}

TEST_F(GraphHandles, EmptyGraphsFollowTheCreationSettings) {
  EXPECT_EQ(MakeEmptyGraph(0, 5), -1);
  EXPECT_TRUE(Logged("グラフィックのサイズが不正です ( 0 x 5 ) in MakeEmptyGraph"));
  EXPECT_EQ(MakeEmptyGraph(-3, 4), -1);
  EXPECT_EQ(MakeEmptyGraph(100000, 4), -1);

  const int plain = MakeEmptyGraph(3, 2);
  EXPECT_EQ(GraphPixel(plain, 2, 1), 0u);
  EXPECT_EQ(LookupGraphHandle(plain)->image.base->alphaFlag, 0);
  EXPECT_EQ(FillGraphWithColor(plain, 300, 0x12, -4, 0x80), 0);
  EXPECT_EQ(GraphPixel(plain, 2, 1), 0x00FF1200u);

  SetCreateGraphAlphaChannel(1);
  const int withAlpha = MakeEmptyGraph(3, 2);
  SetCreateGraphAlphaChannel(0);
  EXPECT_EQ(LookupGraphHandle(withAlpha)->image.base->alphaFlag, 1);
  FillGraphWithColor(withAlpha, 255, 255, 255, 0x80);
  EXPECT_EQ(GraphPixel(withAlpha, 0, 0), 0x80FFFFFFu);
}

TEST_F(GraphHandles, ImagesReloadIntoARectangleThatFits) {
  const int graph = MakeEmptyGraph(4, 4);
  GraphImage image;
  ASSERT_EQ(CreateGraphImage(3, 2, &image), 0);
  auto* p = static_cast<uint32_t*>(image.pixels);
  for (int i = 0; i < 6; i++) p[i] = 0x100000u * static_cast<uint32_t>(i + 1);
  const IntRect rect{1, 0, 3, 2};
  EXPECT_EQ(ReloadImageIntoGraph(&image, nullptr, &rect, 2, 1, graph), 0);
  EXPECT_EQ(GraphPixel(graph, 2, 1), p[1]);
  EXPECT_EQ(GraphPixel(graph, 3, 2), p[5]);
  EXPECT_EQ(GraphPixel(graph, 1, 1), 0u);

  EXPECT_EQ(ReloadImageIntoGraph(&image, nullptr, &rect, 3, 1, graph), -1);  // past the right edge
  EXPECT_TRUE(Logged("転送する矩形が画像またはグラフィックからはみ出しています in ReloadImageIntoGraph"));
  const IntRect outside{2, 0, 4, 1};
  EXPECT_EQ(ReloadImageIntoGraph(&image, nullptr, &outside, 0, 0, graph), -1);
  const IntRect inverted{2, 0, 1, 1};
  EXPECT_EQ(ReloadImageIntoGraph(&image, nullptr, &inverted, 0, 0, graph), -1);
  EXPECT_EQ(ReloadImageIntoGraph(nullptr, nullptr, nullptr, 0, 0, graph), -1);
  EXPECT_EQ(ReloadImageIntoGraph(&image, nullptr, nullptr, 0, 0, -1), -1);
  ReleaseGraphImage(&image);
}

TEST_F(GraphHandles, AFullTableRefusesTheNextGraphic) {
  const int source = MakeEmptyGraph(1, 1);
  for (int i = 1; i < kGraphHandleSlots; i++) ASSERT_NE(DeriveGraphFromRect(0, 0, 1, 1, source), -1) << i;
  EXPECT_EQ(DeriveGraphFromRect(0, 0, 1, 1, source), -1);
  EXPECT_EQ(MakeEmptyGraph(1, 1), -1);
  EXPECT_TRUE(Logged("グラフィックハンドルの数が上限 32768 に達しました"));
  EXPECT_EQ(MemGetTotals().liveBlocks, blocksAtStart + kGraphHandleSlots + 3);  // records, original, image base, pixels
  DeleteAllGraphHandles();
  EXPECT_EQ(MemGetTotals().liveBlocks, blocksAtStart);
}

TEST_F(GraphHandles, GraphicsAsDrawScreensAndTheDrawArea) {
  const int target = MakeEmptyGraph(4, 3);
  const int red = MakeGraph(1, 1, {0xFF0000});
  ASSERT_EQ(SelectDrawScreen(target), 0);
  EXPECT_EQ(g_drawSettings.drawArea.right, 4);
  EXPECT_EQ(g_drawSettings.drawArea.bottom, 3);
  EXPECT_EQ(DrawGraphAt(3, 2, red, 0), 0);
  EXPECT_EQ(GraphPixel(target, 3, 2), 0xFF0000u);
  EXPECT_TRUE(PixelsNotEqual(0).empty());  // the back screen untouched
  // Neither the graphic nor one cut from it may be drawn into itself.
  EXPECT_EQ(DrawGraphAt(0, 0, target, 0), -1);
  EXPECT_EQ(DrawGraphAt(0, 0, DeriveGraphFromRect(3, 2, 1, 1, target), 0), -1);
  EXPECT_EQ(GraphPixel(target, 0, 0), 0u);

  // Deleting the draw screen's graphic sends drawing back to the back screen.
  EXPECT_EQ(DeleteGraphHandle(target), 0);
  EXPECT_EQ(g_drawSettings.drawTarget, Back());
  EXPECT_EQ(g_drawSettings.drawScreen, -2);
  EXPECT_EQ(g_drawSettings.drawArea.right, kWidth);
  EXPECT_EQ(SelectDrawScreen(target), -1);
  EXPECT_EQ(SelectDrawScreen(-3), -1);

  EXPECT_EQ(SetDrawClipArea(-5, 2, 100, 7), 0);
  EXPECT_EQ(g_drawSettings.drawArea.left, 0);
  EXPECT_EQ(g_drawSettings.drawArea.top, 2);
  EXPECT_EQ(g_drawSettings.drawArea.right, kWidth);
  EXPECT_EQ(g_drawSettings.drawArea.bottom, 7);
  EXPECT_EQ(g_drawSettings.drawAreaEmpty, 0);
  EXPECT_EQ(SetDrawClipArea(10, 5, 3, 2), 0);  // inverted: empty
  EXPECT_EQ(g_drawSettings.drawAreaEmpty, 1);
  EXPECT_EQ(DrawGraphAt(10, 5, red, 0), 0);
  EXPECT_TRUE(PixelsNotEqual(0).empty());
  EXPECT_EQ(SelectDrawScreen(-2), 0);
  EXPECT_EQ(g_drawSettings.drawAreaEmpty, 0);

  EXPECT_EQ(SetTextureFilterMode(1), 0);
  EXPECT_EQ(g_drawSettings.textureFilterMode, 1);
  EXPECT_EQ(SetTextureFilterMode(3), -1);
}

// A stand-in movie layer: records what the graphics layer asks of it.
struct FakeMovies {
  int opened = 0, attachedGraph = -1, updates = 0, closed = 0;
};
FakeMovies g_movies;

const GraphMovieHooks kFakeMovieHooks = {
    [](const char* path, int32_t* width, int32_t* height) -> int32_t {
      g_movies.opened++;
      *width = 4;
      *height = 2;
      return 77;
    },
    [](int32_t movie, int32_t graph) { g_movies.attachedGraph = movie == 77 ? graph : -2; },
    [](int32_t movie) { g_movies.updates += movie == 77; },
    [](int32_t movie) { g_movies.closed += movie == 77; },
};

TEST_F(GraphHandles, FilesNoImageLoaderTakesGoToTheMovieHook) {
  const std::string notImage = DataFile("bad_images/not_an_image.bin");
  EXPECT_EQ(LoadGraphFile(notImage.c_str(), 0), -1);
  EXPECT_TRUE(Logged("グラフィックファイルの読み込みに失敗しました：" + notImage + " in LoadGraphFile"));

  // What the refusal logged, which a file the movie layer takes must not add to.
  const auto linesOfRefusal = [&] {
    int count = 0;
    for (const std::string& line : LogLines(ReadWholeFile("Log.txt"))) {
      count += line == "対応していない画像形式です" || line == "画像ファイルの読み込みに失敗しました：" + notImage ||
               line == "グラフィックファイルの読み込みに失敗しました：" + notImage + " in LoadGraphFile";
    }
    return count;
  };
  EXPECT_EQ(linesOfRefusal(), 3);

  g_movies = {};
  SetGraphMovieHooks(&kFakeMovieHooks);
  const int graph = LoadGraphFile(notImage.c_str(), 0);
  ASSERT_NE(graph, -1);
  EXPECT_EQ(g_movies.opened, 1);
  EXPECT_EQ(linesOfRefusal(), 3);
  EXPECT_EQ(g_movies.attachedGraph, graph);
  int width = 0, height = 0;
  QueryGraphSize(graph, &width, &height);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
  EXPECT_EQ(DrawGraphRotated(4, 4, 1.0, 0.0, graph, 0, 0), 0);
  EXPECT_EQ(g_movies.updates, 2);
  const int part = DeriveGraphFromRect(0, 0, 2, 2, graph);
  EXPECT_EQ(DeleteGraphHandle(graph), 0);
  EXPECT_EQ(g_movies.closed, 0);  // still shown by the part
  EXPECT_EQ(DeleteGraphHandle(part), 0);
  EXPECT_EQ(g_movies.closed, 1);

  // A file that an image loader takes but cannot read may still be a movie;
  // a blend graphic is never one.
  const std::string brokenPng = DataFile("bad_images/truncated_idat.png");
  const int fromBroken = LoadGraphFile(brokenPng.c_str(), 0);
  EXPECT_NE(fromBroken, -1);
  EXPECT_EQ(g_movies.opened, 2);
  EXPECT_EQ(DeleteGraphHandle(fromBroken), 0);
  EXPECT_EQ(LoadBlendGraphFile(notImage.c_str()), -1);
  EXPECT_EQ(g_movies.opened, 2);
  SetGraphMovieHooks(nullptr);
}

}  // namespace
