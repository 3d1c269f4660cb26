// Phase 6 smooths the direction the camera moves in (FollowMove) so that it drifts after the
// followed vehicle at a fraction of the user's speed, at a random height every frame.
#include "scene/camera_phases.h"

#include "engine/math.h"
#include "scene/guarded.h"
#include "sim/chase_camera.h"
#include "sim/mdl_kl.h"

namespace kl::scene {

namespace {

constexpr float kPi = 3.1415927f;

bool glides(const SceneState& S) {
    return S.Program.Settings.CameraMode == 4 || S.Program.Settings.CameraMode == 5;
}

void chase(SceneState& S) {
    resume_past_fault([&] { S.ViewDir = S.Program.PlayerAt(0).DirPropV(); });
    resume_past_fault(
        [&] { mdlKl::PlaceChaseCamera(S.UserPos, S.ViewDir, S.CamPosTarget, S.CamDestTarget); });
    if (glides(S)) {
        resume_past_fault([&] { S.ChaseCamera->BlendPosition(S.CamPosTarget, 0.25f); });
        resume_past_fault([&] { S.ChaseCamera->Dest(S.CamDestTarget); });
    } else {
        resume_past_fault([&] { S.ChaseCamera->Pos(S.CamPosTarget); });
        resume_past_fault([&] { S.ChaseCamera->Dest(S.CamDestTarget); });
    }
}

void overview(SceneState& S) {
    resume_past_fault([&] {
        const float half = S.Program.Settings.WorldSize / 2;
        S.ChaseCamera->BlendPosition({half, 40, half}, 3.0f);
    });
    if (S.Program.Settings.CameraMode <= 3 || S.Program.Settings.CameraMode >= 6)
        resume_past_fault([&] { S.ChaseCamera->BlendAngle(kPi / 2.5f, kPi / 4, 3.0f); });
    S.CameraPhase = 5;
}

void follow(SceneState& S) {
    const bool replace = holds_or_faults(
        [&] { return S.FollowedPlayer == -1 || !S.Program.PlayerAt(S.FollowedPlayer).Alive; });
    if (replace) {
        for (std::int64_t i = 0; i <= S.Program.Settings.LastPlayer; ++i) {
            if (holds_or_faults([&] { return S.Program.PlayerAt(i).Alive && i != S.FollowedPlayer; })) {
                if (S.FollowedPlayer != -1) {
                    S.FollowClock = 0;
                    S.CameraPhase = 7;
                }
                S.FollowedPlayer = static_cast<std::int32_t>(i);
                break;
            }
        }
        return;
    }
    if (S.Round.TimeScale == 1.0f) {
        Vec3 A;
        resume_past_fault([&] {
            const Player& p = S.Program.PlayerAt(S.FollowedPlayer);
            const Vec3 pos = p.PosProp(), d = p.DirProp();
            const auto h = static_cast<float>(10 + 20 * S.Program.Rnd.next());
            A = {pos.x - 5 * d.x, h, pos.y - 5 * d.y};
        });
        Vec3 T;
        resume_past_fault([&] { T = Vec3Normalize(A - S.ChaseCamera->Pos()); });
        S.FollowMove = Vec3Lerp(S.FollowMove, T, 3 * S.FrameTime);
        resume_past_fault([&] {
            // The distance is worked out in double precision and only then narrowed to a float.
            const auto distance = static_cast<float>(S.Program.Settings.PlayerSpeed / 1.25 * S.FrameTime);
            S.CamPosTarget = S.ChaseCamera->Pos() + S.FollowMove * distance;
        });
        S.FollowMove = Vec3Normalize(S.FollowMove);
        if (S.CamPosTarget.y < 10) S.CamPosTarget.y = 10;
        resume_past_fault([&] { S.ChaseCamera->Pos(S.CamPosTarget); });
    }
    resume_past_fault([&] {
        const Vec3 p = S.Program.PlayerAt(S.FollowedPlayer).PosProp();
        S.ChaseCamera->Dest({p.x, 0, p.y});
    });
}

} // namespace

void RunCameraPhase(SceneState& S) {
    if (S.CameraPhase == 3) {
        if (holds_or_faults([&] { return !S.Program.PlayerAt(0).Alive; })) S.CameraPhase = 4;
    } else if (S.CameraPhase == 5) {
        if (S.DeadClock >= 0) S.CameraPhase = 6;
    } else if (S.CameraPhase == 7) {
        if (S.FollowClock >= 0) S.CameraPhase = 6;
    }

    switch (S.CameraPhase) {
    case 3:
        chase(S);
        break;
    case 4:
        overview(S);
        break;
    case 6:
        follow(S);
        break;
    case 7:
        S.FollowClock += S.FrameTime;
        break;
    default:
        break;
    }
}

} // namespace kl::scene
