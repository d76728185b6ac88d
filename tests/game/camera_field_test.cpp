// The round's view: the projection to the pixel, the camera's easing and
// look-ahead, the watch point and both ways of picking a creature; the
// field's dust and random points.
#include <gtest/gtest.h>

#include <cmath>

#include "core/varnok.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/field.h"
#include "game/food.h"
#include "game/input_record.h"
#include "game/resources.h"
#include "tests/game/game_harness.h"
#include "tests/game/game_world_test.h"

namespace {

class View : public GameWorldTest {
 protected:
  void SetUp() override {
    GameWorldTest::SetUp();
    g_camera = {1000.0f, 1000.0f, 0.0f, 0.0f, nullptr};
    g_input.mouseX = 512;
    g_input.mouseY = 384;
  }
};

TEST_F(View, PointsProjectToThePixelTruncatedTowardZero) {
  // Depth 0 is scaled by 512 / (886.8095703125 * 0.57735026) = 1.0000004:
  // 100 units right is 612.00006, 100 left 411.99994, truncated to 411;
  // 300 deep, 100 units are 74.72 pixels.
  const int32_t dot = MakeSolidGraph(1, 1, 0xFFFFFF);
  const struct {
    float x, y, z;
    int sx, sy;
  } cases[] = {{1000, 1000, 0, 512, 384}, {1100, 1000, 0, 612, 384}, {900, 1100, 0, 411, 484},
               {1100, 1000, 300, 586, 384}, {1000, 1000, -886.8095703125f, -1, -1}, {1000, 1000, -900, -1, -1}};
  for (const auto& c : cases) {
    game.ClearBack();
    DrawAtWorldPoint(c.x, c.y, c.z, 1.0, 0.0, dot);
    int lit = 0;
    for (int y = 0; y < 768; y++)
      for (int x = 0; x < 1024; x++) lit += game.BackPixel(x, y) != 0;
    EXPECT_EQ(lit, c.sx >= 0 ? 1 : 0) << c.z;  // at or behind the eye: no picture
    if (c.sx >= 0) {
      EXPECT_EQ(game.BackPixel(c.sx, c.sy), 0xFFFFFFu) << c.x << "," << c.y << "," << c.z;
    }
  }
}

TEST_F(View, TheCameraEasesTowardTheMouseLedTarget) {
  PositionRecord followed{100, 50, 0, 0, 0};
  UpdateCamera();
  EXPECT_EQ(g_camera.viewX, 1000.0f);  // nothing followed: nothing moves
  g_camera = {0, 0, 0, 0, &followed};
  const float easedX[] = {8.0f, 15.36f, 22.1312f}, easedY[] = {4.0f, 7.68f, 11.0656f};
  for (int i = 0; i < 3; i++) {
    UpdateCamera();
    EXPECT_FLOAT_EQ(g_camera.viewX, easedX[i]);
    EXPECT_FLOAT_EQ(g_camera.viewY, easedY[i]);
  }
  // Pulled toward the mouse, 256 units at the screen's edges.
  const struct {
    int mx, my;
    float tx, ty;
  } aims[] = {{0, 0, -156, -206}, {1024, 768, 356, 306}, {768, 576, 228, 178}};
  for (const auto& a : aims) {
    g_input.mouseX = a.mx;
    g_input.mouseY = a.my;
    SnapCamera();
    EXPECT_EQ(g_camera.viewX, a.tx);
    EXPECT_EQ(g_camera.viewY, a.ty);
  }
}

TEST_F(View, CreaturesArePickedByTheirWorldOrScreenCircle) {
  Character& near = g_characters.emplace_back();
  near.position = {1100, 1000, 0, 0, 0};
  near.radius = 20;
  Character& far = g_characters.emplace_back();
  far.position = {1139, 1000, 0, 0, 0};
  far.radius = 20;
  // The right button takes the mouse as a point of depth 0: 612 + 19 is
  // world 1119, inside the first's radius and on the second's circle
  // (outside it); 612 + 20 the other way round.
  const struct {
    int mouseX, right;
    const Character* picked;
  } presses[] = {{631, 1, &near}, {0, 9, &near}, {632, 1, &far}, {2000, 1, nullptr}};
  for (const auto& p : presses) {
    near.hover = far.hover = 0;
    g_input.right = p.right;
    g_input.mouseX = p.mouseX;
    PickCharacterUnderCursor();
    EXPECT_EQ(PickedCharacter, p.picked) << p.mouseX;
    if (p.picked) {
      EXPECT_EQ(p.picked->hover, 1);  // its status stays shown while held
    }
  }

  // A watched round's left click takes the projected centre, (612, 384),
  // and the watch point copies the creature from the next frame on.
  WatchPoint& watch = g_gameState.watchPoint;
  g_gameState.settings.watchMode = 1;
  watch = {{1024, 1024, 0, 0, 0}, nullptr};
  g_input = {};
  g_input.left = 1;
  g_input.mouseX = 612;
  g_input.mouseY = 403;
  UpdateWatchCamera(watch);
  EXPECT_EQ(watch.followed, &near.position);
  EXPECT_EQ(watch.position.x, 1024.0f);
  g_input.left = 5;
  UpdateWatchCamera(watch);
  EXPECT_EQ(watch.position.x, 1100.0f);
  g_input.left = 1;
  g_input.mouseY = 404;  // on the circle: empty ground
  UpdateWatchCamera(watch);
  EXPECT_EQ(watch.followed, nullptr);

  // Free again and steered out of the disc: the push back (20) beats the keys (10).
  g_input = {};
  g_input.moving = 1;
  g_input.moveAngle = 1.5707964f;
  watch.position = {1024, 2100, 0, 0, 0};
  UpdateWatchCamera(watch);
  EXPECT_NEAR(watch.position.y, 2090.0f, 0.001f);
  watch.position.y = 1500;  // inside: the keys alone
  UpdateWatchCamera(watch);
  EXPECT_NEAR(watch.position.y, 1510.0f, 0.001f);
}

TEST_F(View, DustTakesItsCellByDepthAndRandomPointsLieInTheDisc) {
  field_dust[0] = 100;
  field_dust[1] = 101;
  field_dust[2] = 102;
  {
    // Per record: angle, radius, angle, radius, depth (the draw less 900).
    ScriptedRandom random({0, 500, 314159, 1024, 1200, 0, 0, 0, 0, 300, 0, 0, 0, 0, 1201, 0, 0, 0, 0, 301});
    SetupFieldDust();
    EXPECT_EQ(random.maxima.size(), 5u * kFieldDustCount);
  }
  const FieldDust* dust = g_foodField.dust;
  EXPECT_EQ(dust[0].x, 1524.0f);
  EXPECT_NEAR(dust[0].y, 0.0f, 0.001f);  // the cosine of 3.14159 on y too
  const struct {
    float z;
    int32_t graphic;
  } depths[] = {{300, 101}, {-600, 102}, {301, 100}, {-599, 101}, {-900, 102}};
  for (int i = 0; i < 5; i++) {
    EXPECT_EQ(dust[i].z, depths[i].z);
    EXPECT_EQ(dust[i].graphic, depths[i].graphic) << i;
  }
  // The heading is the point's angle seen from the centre, the fifth word its distance.
  for (int i = 0; i < 2000; i++) {
    PositionRecord p{-1, -1, 5, 5, 5};
    RandomFieldPoint(p);
    ASSERT_LE(p.fifth, 1024.0f);
    EXPECT_EQ(p.z, 0.0f);
    EXPECT_NEAR(std::cos(p.heading) * p.fifth, p.x - 1024, 0.001f);
    EXPECT_NEAR(std::sin(p.heading) * p.fifth, p.y - 1024, 0.001f);
  }
}

}  // namespace
