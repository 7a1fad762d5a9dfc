// Where the windows put their controls: the design's 96-DPI places scaled for the monitor, and
// anchored controls following a resized window.
#include "Layout.h"
#include "Ticks.h"

#include <gtest/gtest.h>

namespace {

struct PlaceCase {
    const char* label;
    TBounds design;
    TAnchors anchors;
    int clientWidth;
    int clientHeight;
    unsigned dpi;
    TBounds expected;
};

class Placement : public ::testing::TestWithParam<PlaceCase> {};

// The report window's design client area is 603 x 537.
TEST_P(Placement, InTheClientArea) {
    const PlaceCase& c = GetParam();
    EXPECT_EQ(PlaceInClient(c.design, c.anchors, 603, 537, c.clientWidth, c.clientHeight, c.dpi),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Placement,
    ::testing::Values(
        PlaceCase{"design_size",
                  {9, 10, 583, 488},
                  {akLeft, akTop, akRight, akBottom},
                  603,
                  537,
                  96,
                  {9, 10, 583, 488}},
        // 144 DPI: one and a half times, halves rounded up.
        PlaceCase{
            "dpi_144", {517, 504, 75, 25}, {akLeft, akTop}, 905, 806, 144, {776, 756, 113, 38}},
        // Anchored on all sides the memo grows with the window.
        PlaceCase{"memo_grows",
                  {9, 10, 583, 488},
                  {akLeft, akTop, akRight, akBottom},
                  803,
                  637,
                  96,
                  {9, 10, 783, 588}},
        // Anchored right, top and bottom: the close button keeps its right and bottom gaps,
        // moves right and grows taller.
        PlaceCase{"button_right_top_bottom",
                  {517, 504, 75, 25},
                  {akTop, akRight, akBottom},
                  803,
                  637,
                  96,
                  {717, 504, 75, 125}},
        PlaceCase{"grown_at_144",
                  {517, 504, 75, 25},
                  {akTop, akRight, akBottom},
                  1005,
                  906,
                  144,
                  {875, 756, 113, 138}},
        // A window smaller than the design never gives a negative size.
        PlaceCase{"shrunk",
                  {9, 10, 583, 488},
                  {akLeft, akTop, akRight, akBottom},
                  15,
                  40,
                  96,
                  {9, 10, 0, 0}},
        PlaceCase{"not_anchored_right_stays",
                  {7, 8, 400, 23},
                  {akLeft, akTop},
                  803,
                  637,
                  96,
                  {7, 8, 400, 23}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Ticks, TimeLeftAcrossTheWrapOfTheTickCount) {
    struct Case {
        uint32_t start, now, duration, left;
    };
    for (const Case& c :
         {Case{1000, 1000, 4000, 4000}, Case{1000, 3500, 4000, 1500}, Case{1000, 5000, 4000, 0},
          Case{1000, 9000, 4000, 0},
          // Started 1 s before the wrap: 3 s later 1 s is left, not none.
          Case{0xFFFFFC18u, 0x000007D0u, 4000, 1000}, Case{0xFFFFFC18u, 0x00000BB8u, 4000, 0},
          Case{0xFFFFFFFFu, 0xFFFFFFFFu, 4000, 4000}}) {
        EXPECT_EQ(MillisecondsLeft(c.start, c.now, c.duration), c.left) << c.start << " " << c.now;
    }
}

} // namespace
