// Linearised about uniform flow, vehicle n with leader n + 1 obeys
//   y_n'' = f_s (y_{n+1} - y_n) + f_v y_n' + f_l y_{n+1}',
// with the partial derivatives of the acceleration by gap, own speed and leader's speed. The ring's
// modes y_n = exp(lambda t + i n theta), theta = 2 pi k / N, give
//   lambda^2 - (f_v + f_l e^{i theta}) lambda - f_s (e^{i theta} - 1) = 0,
// two roots for each k; k = 0 is the ring moving on as a whole.
#include "traffic/ring.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace kl {

IdmParameters scenario_default_parameters(TrafficScenario scenario) {
    IdmParameters P;
    if (scenario == TrafficScenario::Ring) {
        P.MaxAcceleration = 0.5;
        P.ComfortDeceleration = 3.0;
        P.TimeHeadway = 1.0;
    }
    // A road through roadworks or past an on-ramp is a motorway: drivers want 120 km/h, the desired
    // speed of the car-following model's motorway studies, rather than the open street's top speed.
    if (has_inflow(scenario)) P.DesiredSpeed = 120.0 / 3.6;
    return P;
}

double equilibrium_speed(const IdmParameters& P, double gap) {
    if (!(gap > P.MinimumGap)) return 0.0;
    // The acceleration falls as the speed rises: bisection finds its root to the last bits.
    double low = 0.0, high = P.DesiredSpeed;
    for (int i = 0; i < 100; ++i) {
        const double v = (low + high) / 2;
        const double wanted = (P.MinimumGap + v * P.TimeHeadway) / gap;
        if (1.0 - std::pow(v / P.DesiredSpeed, P.Exponent) - wanted * wanted > 0)
            low = v;
        else
            high = v;
    }
    return low;
}

double equilibrium_flow(const IdmParameters& P, double density, double vehicle_length) {
    if (!(density > 0)) return 0.0;
    return density * equilibrium_speed(P, 1.0 / density - vehicle_length);
}

double lane_capacity(const IdmParameters& P, double vehicle_length) {
    // The flow rises from nothing at zero density to its peak and falls to nothing where the gap
    // reaches s0: a golden-section search brackets the peak down to the last bits.
    constexpr double shrink = 0.6180339887498949;
    double low = 0.0, high = 1.0 / (std::max(vehicle_length, 0.0) + P.MinimumGap);
    for (int i = 0; i < 80; ++i) {
        const double a = high - shrink * (high - low), b = low + shrink * (high - low);
        if (equilibrium_flow(P, a, vehicle_length) < equilibrium_flow(P, b, vehicle_length))
            low = a;
        else
            high = b;
    }
    return equilibrium_flow(P, (low + high) / 2, vehicle_length);
}

double ring_growth_rate(const IdmParameters& P, double ring_length, int vehicles, double vehicle_length) {
    const int N = std::max(vehicles, 2);
    const double s = ring_length / N - vehicle_length;
    const double v = equilibrium_speed(P, s);
    const double a = P.MaxAcceleration, v0 = P.DesiredSpeed, d = P.Exponent;
    const double wanted = P.MinimumGap + v * P.TimeHeadway;
    const double root_ab = std::sqrt(a * P.ComfortDeceleration);
    const double f_s = 2 * a * wanted * wanted / (s * s * s);
    const double f_v = -a * (d * std::pow(v, d - 1) / std::pow(v0, d) +
                             2 * wanted * (P.TimeHeadway + v / (2 * root_ab)) / (s * s));
    const double f_l = a * wanted * v / (s * s * root_ab);
    double largest = -std::numeric_limits<double>::infinity();
    for (int k = 1; k < N; ++k) {
        const std::complex<double> e = std::polar(1.0, 2 * std::numbers::pi * k / N);
        const std::complex<double> B = f_v + f_l * e, C = f_s * (e - 1.0);
        const std::complex<double> r = std::sqrt(B * B + 4.0 * C);
        largest = std::max({largest, ((B + r) / 2.0).real(), ((B - r) / 2.0).real()});
    }
    return largest;
}

} // namespace kl
