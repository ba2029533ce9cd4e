#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "view/camera.h"
#include "view/projection.h"
#include "view/view_state.h"

namespace {

struct Camera : ::testing::Test {
    ViewState view{};
    void SetUp() override {
        reset_camera(&view);
        view.dragging = 1;
        view.last_x = 100;
        view.last_y = 100;
    }
    float distance() const {
        float d = 0;
        for (int i = 0; i < 3; ++i) d += (view.eye[i] - view.center[i]) * (view.eye[i] - view.center[i]);
        return std::sqrt(d);
    }
};

const uint32_t kButton = CAMERA_MK_LBUTTON;

TEST_F(Camera, HomePoseLooksAtTheOriginFromPlusZWithYUp) {
    EXPECT_EQ(view.eye[0], 0.0f);
    EXPECT_EQ(view.eye[1], 0.0f);
    EXPECT_EQ(view.eye[2], 5.0f);
    EXPECT_EQ(view.angle_x, 0.0f);
    EXPECT_EQ(view.angle_y, 3.1415927f);
    EXPECT_EQ(view.angle_z, 0.0f);
    EXPECT_NEAR(view.center[0], 0.0f, 1e-6);
    EXPECT_NEAR(view.center[1], 0.0f, 1e-6);
    EXPECT_NEAR(view.center[2], 0.0f, 1e-6);
    EXPECT_NEAR(view.up[0], 0.0f, 1e-6);
    EXPECT_EQ(view.up[1], 1.0f);
    EXPECT_NEAR(view.up[2], 0.0f, 1e-6);

    float r[16];
    compute_rotation(&view, r);
    EXPECT_NEAR(r[0], -1.0f, 1e-6);  // side points to the camera's left: -x here
    EXPECT_NEAR(r[10], -1.0f, 1e-6);  // forward is -z
    for (int i : {3, 7, 11, 12, 13, 14}) EXPECT_EQ(r[i], 0.0f);
    EXPECT_EQ(r[15], 1.0f);
}

TEST_F(Camera, PanFollowsThePointerAndShiftMakesItFiner) {
    EXPECT_TRUE(camera_drag_step(&view, kButton, 110, 100));  // right: camera to its left
    EXPECT_NEAR(view.eye[0], -0.1f, 1e-6);
    EXPECT_NEAR(view.center[0], -0.1f, 1e-6);
    EXPECT_TRUE(camera_drag_step(&view, kButton, 110, 110));  // down: camera up
    EXPECT_NEAR(view.eye[1], 0.1f, 1e-6);
    EXPECT_TRUE(camera_drag_step(&view, kButton | CAMERA_MK_SHIFT, 120, 110));
    EXPECT_NEAR(view.eye[0], -0.11f, 1e-6);
    EXPECT_EQ(view.last_x, 120);
    EXPECT_EQ(view.last_y, 110);
    EXPECT_NEAR(view.up[1], 1.0f, 1e-6);  // a pan keeps up
    EXPECT_NEAR(distance(), 5.0f, 1e-5);
}

TEST_F(Camera, CtrlDragOrbitsAboutTheCenter) {
    const float center[3] = {view.center[0], view.center[1], view.center[2]};
    EXPECT_TRUE(camera_drag_step(&view, kButton | CAMERA_MK_CONTROL, 110, 100));
    EXPECT_LT(view.eye[0], -0.4f);  // swings towards -x
    EXPECT_NEAR(view.angle_y, 3.1415927f - 0.1f, 1e-6);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(view.center[i], center[i]);

    reset_camera(&view);
    EXPECT_TRUE(camera_drag_step(&view, kButton | CAMERA_MK_CONTROL, 110, 110));
    EXPECT_GT(view.eye[1], 0.4f);  // lifted above the center
    EXPECT_NEAR(view.angle_x, -0.1f, 1e-6);

    reset_camera(&view);
    camera_drag_step(&view, kButton | CAMERA_MK_CONTROL | CAMERA_MK_SHIFT, 120, 120);
    EXPECT_NEAR(view.angle_x, -0.01f, 1e-7);  // CTRL and SHIFT: 0.001 rad a pixel
    EXPECT_NEAR(view.angle_y, 3.1415927f - 0.01f, 1e-6);
}

TEST_F(Camera, MovesWithoutTheButtonEndTheDragAndChangeNothing) {
    const float eye0 = view.eye[0];
    EXPECT_FALSE(camera_drag_step(&view, 0, 150, 150));
    EXPECT_EQ(view.dragging, 0);
    EXPECT_EQ(view.last_x, 100);
    EXPECT_EQ(view.eye[0], eye0);
    // A press outside the view: the move arrives with the button but without a drag.
    EXPECT_FALSE(camera_drag_step(&view, kButton, 160, 160));
    EXPECT_EQ(view.eye[0], eye0);
}

TEST_F(Camera, AStillMoveWithTheButtonStillRepaints) {
    EXPECT_TRUE(camera_drag_step(&view, kButton, 100, 100));
    EXPECT_EQ(view.eye[0], 0.0f);
}

TEST_F(Camera, WheelDolliesAlongTheViewDirection) {
    camera_wheel_step(&view, 0, 120);
    EXPECT_NEAR(view.eye[2], 3.8f, 1e-5);
    EXPECT_NEAR(view.center[2], -1.2f, 1e-5);
    camera_wheel_step(&view, CAMERA_MK_SHIFT, -120);
    EXPECT_NEAR(view.eye[2], 3.812f, 1e-5);
    camera_wheel_step(&view, CAMERA_MK_CONTROL, -120);  // CTRL is not read
    EXPECT_NEAR(view.eye[2], 5.012f, 1e-5);
    EXPECT_NEAR(distance(), 5.0f, 1e-5);
}

TEST_F(Camera, OrbitPastThePoleIsNotClampedAndTurnsUpsideDown) {
    float last_up_y = view.up[1];
    for (int step = 0; step < 40; ++step) {
        camera_drag_step(&view, kButton | CAMERA_MK_CONTROL, view.last_x, view.last_y + 10);
        // The up vector turns smoothly: no jump between steps.
        EXPECT_NEAR(view.up[1], last_up_y, 0.11f);
        last_up_y = view.up[1];
    }
    EXPECT_NEAR(view.angle_x, -4.0f, 1e-4);
    EXPECT_LT(view.up[1], 0.0f);
}

TEST_F(Camera, AnySequenceKeepsTheCenterFiveUnitsAwayAndAngleZZero) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> move(-40, 40), kind(0, 7);
    for (int i = 0; i < 2000; ++i) {
        const int k = kind(random);
        uint32_t flags = kButton;
        if (k & 1) flags |= CAMERA_MK_CONTROL;
        if (k & 2) flags |= CAMERA_MK_SHIFT;
        if (k == 7) {
            camera_wheel_step(&view, flags, move(random) * 3);
        } else {
            camera_drag_step(&view, flags, view.last_x + move(random), view.last_y + move(random));
        }
        ASSERT_NEAR(distance(), 5.0f, 1e-3);
        ASSERT_EQ(view.angle_z, 0.0f);
    }
}

TEST_F(Camera, ResetDuringADragKeepsTheDragGoing) {
    camera_drag_step(&view, kButton | CAMERA_MK_CONTROL, 130, 120);
    reset_camera(&view);
    EXPECT_EQ(view.dragging, 1);
    EXPECT_EQ(view.last_x, 130);
    EXPECT_TRUE(camera_drag_step(&view, kButton, 140, 120));
    EXPECT_NEAR(view.eye[0], -0.1f, 1e-6);  // a pan from the home pose
}

TEST(Projection, ContextFrustumHasAHalfAngleOf0Point4AndNear0Point1) {
    const Frustum f = context_frustum(240, 180);
    EXPECT_FLOAT_EQ(f.top, 0.042279322f);
    EXPECT_EQ(f.bottom, -f.top);
    EXPECT_FLOAT_EQ(f.right, 0.042279322f * (240.0f / 180.0f));
    EXPECT_EQ(f.left, -f.right);
    EXPECT_EQ(f.near_plane, 0.1f);
    EXPECT_EQ(f.far_plane, 100.0f);
    const Frustum empty = context_frustum(240, 0);  // no division by zero
    EXPECT_EQ(empty.right, empty.top);
}

TEST(Projection, ResizeFrustumHasSixtyDegreesAndNear0Point01) {
    const Frustum f = resize_frustum(800, 450);
    EXPECT_FLOAT_EQ(f.top, 0.0057735027f);
    EXPECT_FLOAT_EQ(f.right, 0.0057735027f * (800.0f / 450.0f));
    EXPECT_EQ(f.near_plane, 0.01f);
    EXPECT_EQ(f.far_plane, 100.0f);
    const Frustum flat = resize_frustum(640, 0);  // aspect 1 at height 0
    EXPECT_EQ(flat.right, flat.top);
    EXPECT_EQ(flat.left, flat.bottom);
}

}  // namespace
