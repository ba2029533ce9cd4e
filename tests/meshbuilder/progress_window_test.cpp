// What the progress window says at each stage of the work.
#include "meshbuilder/progress_window.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressText, PointsElapsedTimeAndStage) {
    ReconstructionProgress progress;
    EXPECT_EQ(progress_text(10000000, 0.4, progress),
              L"Building a mesh of 10,000,000 points\nElapsed time: 0 s\n"
              L"Preparing the neighbour search");
    progress.rows_asked = 1;
    progress.points_reached = 4123456;
    EXPECT_EQ(progress_text(10000000, 65.9, progress),
              L"Building a mesh of 10,000,000 points\nElapsed time: 1 min 05 s\n"
              L"Points reached: 4,123,456 (41 %)");
    progress.triangulated = true;
    EXPECT_EQ(progress_text(10000000, 3725, progress),
              L"Building a mesh of 10,000,000 points\nElapsed time: 62 min 05 s\n"
              L"Saving the mesh file");
}

// The share is rounded down: 100 % only once the last point is reached; one point is
// "point", and counts below a thousand have no separator.
TEST(ProgressText, ShareRoundedDownAndSmallCounts) {
    ReconstructionProgress progress;
    progress.rows_asked = 5;
    progress.points_reached = 999;
    EXPECT_EQ(progress_text(1000, 59.99, progress),
              L"Building a mesh of 1,000 points\nElapsed time: 59 s\nPoints reached: 999 (99 %)");
    progress.points_reached = 1000;
    EXPECT_EQ(progress_text(1000, 60, progress),
              L"Building a mesh of 1,000 points\nElapsed time: 1 min 00 s\n"
              L"Points reached: 1,000 (100 %)");
    progress.points_reached = 1;
    EXPECT_EQ(progress_text(1, 2, progress),
              L"Building a mesh of 1 point\nElapsed time: 2 s\nPoints reached: 1 (100 %)");
    EXPECT_EQ(progress_text(999, 2, progress),
              L"Building a mesh of 999 points\nElapsed time: 2 s\nPoints reached: 1 (0 %)");
}

}  // namespace
