// A small example model of the burden surface, for the demo only: the store keeps
// profiles, it does not compute them. Real plants use far richer models.
//
// The surface is the height of the stock line (m) at 250 radii from the furnace axis
// (point 0) to the throat wall (point 249). For one charge:
//   1. Each chute position k lays its weight w_k (t) as a ring-shaped ridge at the
//      radius where the chute at angle a_k throws it: r_k = 0.95 R sin(a_k) / sin(45°).
//      The ridge has the material's repose angle t on both sides; its height h_k makes
//      the ring's volume 2 pi r_k h_k^2 / tan(t) equal to w_k / density.
//   2. Material rolls down every slope steeper than its repose angle (volume is kept:
//      it moves between neighbouring rings, weighted by ring area).
//   3. The whole burden then descends by the charge's volume over the throat area, so
//      what comes in at the top goes down the shaft and the mean level stays put.
#include "morvane-demo.h"

#include <algorithm>
#include <cmath>

namespace demo {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kStep = kThroatRadius / (kProfilePoints - 1);

double Radians(double degrees) { return degrees * kPi / 180.0; }

// Area of the ring around point i (the axis point has half a step).
double RingArea(int i) {
    double r = RadiusOfPoint(i);
    return i == 0 ? kPi * (kStep / 2) * (kStep / 2) : 2.0 * kPi * r * kStep;
}
}  // namespace

double RadiusOfPoint(int point) { return kStep * point; }

ModelResult ComputeProfile(const ModelInput& input) {
    ModelResult result;
    Profile& h = result.surface;
    h = input.previous;
    const double slope = std::tan(Radians(input.reposeAngle));
    const double density = input.density > 0 ? input.density : 1.0;

    double volume = 0;
    for (int k = 0; k < kPositions; ++k) {
        double v = std::max(0.0, static_cast<double>(input.weight[k])) / density;
        if (v <= 0) continue;
        volume += v;
        double rk = 0.95 * kThroatRadius * std::sin(Radians(input.chuteAngle[k])) / std::sin(Radians(45.0));
        rk = std::clamp(rk, 0.3, kThroatRadius - 0.05);
        double height = std::sqrt(v * slope / (2.0 * kPi * rk));
        for (int i = 0; i < kProfilePoints; ++i)
            h[i] += std::max(0.0, height - std::abs(RadiusOfPoint(i) - rk) * slope);
    }

    const double allowed = slope * kStep;
    for (int sweep = 0; sweep < 400; ++sweep) {
        bool moved = false;
        for (int i = 0; i + 1 < kProfilePoints; ++i) {
            double excess = std::abs(h[i] - h[i + 1]) - allowed;
            if (excess <= 1e-6) continue;
            int high = h[i] > h[i + 1] ? i : i + 1;
            int low = high == i ? i + 1 : i;
            double transfer = 0.5 * excess / (1.0 / RingArea(high) + 1.0 / RingArea(low));
            h[high] -= transfer / RingArea(high);
            h[low] += transfer / RingArea(low);
            moved = true;
        }
        if (!moved) break;
    }

    const double descent = volume / (kPi * kThroatRadius * kThroatRadius);
    int lowest = 0;
    for (int i = 0; i < kProfilePoints; ++i) {
        h[i] -= descent;
        if (h[i] < h[lowest]) lowest = i;
    }
    result.lowestRadius = RadiusOfPoint(lowest);
    return result;
}

}  // namespace demo
