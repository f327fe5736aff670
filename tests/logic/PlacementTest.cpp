#include <gtest/gtest.h>

#include <climits>

#include "Placement.h"

namespace vesmira {
namespace {

constexpr Rect kScreen = {0, 0, 1280, 1024};
constexpr Rect kHalfScale = {0, 0, 640, 512};     // 1280 by 1024 at scale 2
constexpr Rect kBelowPanel = {0, 32, 1280, 992};  // a panel along the top

struct MoveCase {
    const char* name;
    Rect window;
    Rect area;
    Rect placed;
};

class MovedInsideTest : public testing::TestWithParam<MoveCase> {};

TEST_P(MovedInsideTest, MovesTheLeast) {
    EXPECT_EQ(MovedInside(GetParam().window, GetParam().area), GetParam().placed);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, MovedInsideTest,
    testing::Values(
        MoveCase{"insideStays", {330, 274, 325, 141}, kScreen, {330, 274, 325, 141}},
        MoveCase{"touchingTheEdgesStays", {955, 883, 325, 141}, kScreen, {955, 883, 325, 141}},
        // A step window at its designed place on a screen at scale 2.
        MoveCase{"pastTheRightEdge", {330, 274, 325, 141}, kHalfScale, {315, 274, 325, 141}},
        MoveCase{"pastBothEdges", {600, 500, 100, 50}, kHalfScale, {540, 462, 100, 50}},
        MoveCase{"aboveAndLeft", {-20, -5, 100, 50}, kScreen, {0, 0, 100, 50}},
        MoveCase{"areaNotAtTheOrigin", {0, 0, 100, 50}, {1280, 0, 800, 600}, {1280, 0, 100, 50}},
        // Too big for the area: the title bar and left edge stay reachable.
        MoveCase{"tallerThanTheArea", {100, 300, 200, 1100}, kScreen, {100, 0, 200, 1100}},
        MoveCase{"widerThanTheArea", {50, 10, 1392, 984}, kScreen, {0, 10, 1392, 984}},
        MoveCase{"farOutside", {INT_MAX - 10, INT_MIN, 100, 50}, kScreen, {1180, 0, 100, 50}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CentreCase {
    const char* name;
    int width;
    int height;
    Rect area;
    Rect placed;
};

class CentredInTest : public testing::TestWithParam<CentreCase> {};

TEST_P(CentredInTest, CentresAndKeepsInside) {
    EXPECT_EQ(CentredIn(GetParam().width, GetParam().height, GetParam().area), GetParam().placed);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, CentredInTest,
    testing::Values(CentreCase{"small", 200, 100, kScreen, {540, 462, 200, 100}},
                    CentreCase{"oddSizesLeanLeftAndUp", 201, 101, kScreen, {539, 461, 201, 101}},
                    CentreCase{"belowAPanel", 200, 100, kBelowPanel, {540, 478, 200, 100}},
                    CentreCase{"asTallAsTheArea", 640, 1024, kScreen, {320, 0, 640, 1024}},
                    CentreCase{"tallerThanTheArea", 640, 1100, kScreen, {320, 0, 640, 1100}},
                    CentreCase{
                        "secondScreen", 200, 100, {1280, 0, 800, 600}, {1580, 250, 200, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClientCoveringTest, LeavesRoomForTheFrame) {
    const struct {
        Rect area;
        Frame frame;
        Rect client;
    } cases[] = {
        {kScreen, {0, 24, 0, 0}, {0, 24, 1280, 1000}},     // title bar only
        {kScreen, {5, 29, 5, 5}, {5, 29, 1270, 990}},      // title bar and borders
        {kBelowPanel, {0, 37, 0, 0}, {0, 69, 1280, 955}},  // under a panel
        {kScreen, {}, kScreen},                            // no frame at all
        {{0, 0, 10, 10}, {8, 32, 8, 8}, {8, 32, 0, 0}},    // no room left
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClientCovering(c.area, c.frame), c.client);
    }
}

TEST(CoversTest, EachEdgeWithinTheTolerance) {
    const struct {
        Rect window;
        int tolerance;
        bool covers;
    } cases[] = {
        {kScreen, 0, true},
        {{0, 0, 1280, 1025}, 1, true},  // a title bar of 18.5 pixels at scale 2
        {{0, 0, 1280, 1025}, 0, false},
        {{311, 161, 696, 504}, 1, false},  // the restored backdrop
        {{0, 0, 1280, 1000}, 1, false},    // its bottom edge short
        {{-2, 0, 1284, 1024}, 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Covers(c.window, kScreen, c.tolerance), c.covers)
            << c.window.x << "," << c.window.y << " " << c.window.width << "x" << c.window.height;
    }
}

}  // namespace
}  // namespace vesmira
