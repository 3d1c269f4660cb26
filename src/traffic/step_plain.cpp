// The traffic step as a plain scan over the tables with a checked access everywhere; slow, but easy to
// hold against the rules, and the yardstick the fast step is compared with.
#include "traffic/traffic.h"

#include <cmath>

namespace kl {

namespace {

constexpr std::int32_t LastCar = TrafficTables::LastCar;

struct PlainScan {
    TrafficTables& T;
    const TrafficFrame& F;
    int r;

    // A vehicle X other than V in `lane` is near V when it is within 900 of V or within 1020 of V
    // shifted by V's speed.
    bool near_in_lane(int m, int n, std::int32_t lane, int m2, int n2) const {
        if (m2 == m && n2 == n) return false;
        if (T.VehLane(m2, n2, r) != lane) return false;
        return std::fabs(T.VehDist(m, n, r) - T.VehDist(m2, n2, r)) < 900.0 ||
               std::fabs(T.VehDist(m, n, r) - T.VehDist(m2, n2, r) + T.VehSpeed(m, n, r)) < 1020.0;
    }

    bool middle_lane_blocked(int m, int n) const {
        for (int m2 = 0; m2 < 3; ++m2)
            for (int n2 = 0; n2 <= LastCar; ++n2)
                if (near_in_lane(m, n, 1, m2, n2)) return true;
        return false;
    }

    void change_lane(int m, int n, std::int32_t b) {
        const std::int32_t a = T.VehLane(m, n, r);
        T.VehOffset(m, n, r) = 25 * a;
        T.VehSideStep(m, n, r) = b - a;
        T.VehLane(m, n, r) = b;
        T.VehTargetOffset(m, n, r) = 25 * b;
        if (T.VehSpeed(m, n, r) < 70) T.VehSpeed(m, n, r) = 70;
    }

    // The window is re-evaluated for every W with V's speed as it stands, so a speed taken over from
    // one vehicle ahead narrows the window for the next.
    bool is_ahead(int m, int n, int m2, int n2) const {
        if (T.VehLane(m2, n2, r) != T.VehLane(m, n, r)) return false;
        const double d = static_cast<double>(F.FrameTime) * T.VehSpeed(m, n, r) * 36.0;
        return T.VehDist(m, n, r) + 900.0 <= T.VehDist(m2, n2, r) &&
               T.VehDist(m2, n2, r) <= T.VehDist(m, n, r) + 900.0 + d;
    }

    void follow(int m, int n) {
        for (int m2 = 0; m2 < 3; ++m2) {
            for (int n2 = 0; n2 <= LastCar; ++n2) {
                if (m2 == m && n2 == n) continue;
                if (!is_ahead(m, n, m2, n2)) continue;
                const std::int32_t lane = T.VehLane(m, n, r);
                if (lane == 0 || lane == 2) {
                    if (!middle_lane_blocked(m, n)) {
                        change_lane(m, n, 1);
                        return;
                    }
                    T.VehSpeed(m, n, r) = T.VehSpeed(m2, n2, r);
                } else if (lane == 1) {
                    bool free0 = true;
                    bool free2 = true;
                    for (int m3 = 0; m3 < 3 && (free0 || free2); ++m3) {
                        for (int n3 = 0; n3 <= LastCar && (free0 || free2); ++n3) {
                            if (near_in_lane(m, n, 0, m3, n3)) free0 = false;
                            if (near_in_lane(m, n, 2, m3, n3)) free2 = false;
                        }
                    }
                    if (free0)
                        change_lane(m, n, 0);
                    else if (free2)
                        change_lane(m, n, 2);
                    else
                        T.VehSpeed(m, n, r) = T.VehSpeed(m2, n2, r);
                    return;
                }
            }
        }
    }

    void vehicle(int m, int n) {
        if (T.VehSpeed(m, n, r) < 120 && n < LastCar) {
            T.VehSpeed(m, n, r) += 1;
            if (T.VehSpeed(m, n, r) >= 120) T.VehSpeed(m, n, r) = 120;
        }
        if (n < LastCar) follow(m, n);

        T.VehDist(m, n, r) += static_cast<double>(F.LastFrameTime) * T.VehSpeed(m, n, r) * 36.0;

        T.VehOffset(m, n, r) += T.VehSideStep(m, n, r);
        if (T.VehOffset(m, n, r) == T.VehTargetOffset(m, n, r)) T.VehSideStep(m, n, r) = 0;
    }
};

} // namespace

void step_traffic_plain(TrafficTables& Tables, const TrafficFrame& Frame) {
    for (int r = 0; r < Frame.RoadCount; ++r) {
        try {
            PlainScan scan{Tables, Frame, r};
            for (int m = 0; m < 3; ++m)
                for (int n = 0; n <= LastCar; ++n)
                    scan.vehicle(m, n);
        } catch (const Fault&) {
            // The road lies beyond the tables: its very first access fails, before anything was
            // written, and so would every statement for it and for every road after it.
            break;
        }
    }
}

} // namespace kl
