// A small example model of the burden surface, for the demo only: the store keeps
// profiles, it does not compute them. Real plants use far richer models.
//
// The surface is the height of the stock line (m) at 250 radii from the furnace axis
// (point 0) to the throat wall (point 249). For one charge:
//   1. Each chute position k, from the wall inwards, throws its weight w_k (t) to the
//      radius r_k = 0.95 R sin(a_k) / sin(45°) for a chute angle a_k from the vertical.
//      There it forms a ridge with the material's repose angle t on both sides, laid on
//      the surface: the new surface is the higher of the old one and the ridge, and the
//      ridge's crest is raised until the volume added (ring by ring) is w_k / density.
//   2. No slope may be steeper than the repose angle: material slides into any pit
//      deeper than that (two sweeps, outwards and inwards).
//   0. Between two charges the burden descends evenly. The stock-line gauges, read
//      just before the charge, say how far: the old surface is lowered (or raised)
//      until it passes through their reading at the gauge point. Without a reading,
//      step 3 stands in for them.
//   3. Without a gauge reading only: the burden descends evenly until the mean height
//      is what it was before the charge (what comes in at the top leaves at the bottom).
#include "morvane-demo.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

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

double GaugeLevel(const double (&heights)[3], std::string* faulty) {
    double sum = 0;
    int count = 0;
    for (int gauge = 0; gauge < 2; ++gauge) {
        const double height = heights[gauge];
        if (std::isnan(height)) continue;
        if (!(height >= kGaugeRange[0] && height <= kGaugeRange[1])) {
            if (faulty) *faulty = "gauge " + std::to_string(gauge + 1) + " reads " + std::to_string(height) + " m";
            continue;
        }
        sum += height;
        ++count;
    }
    return count ? sum / count : std::numeric_limits<double>::quiet_NaN();
}

// Volume (m3) between `surface` and the ridge with crest `crest` at `radius`.
static double AddedVolume(const Profile& surface, double crest, double radius, double slope) {
    double volume = 0;
    for (int i = 0; i < kProfilePoints; ++i) {
        double ridge = crest - std::abs(RadiusOfPoint(i) - radius) * slope;
        if (ridge > surface[i]) volume += (ridge - surface[i]) * RingArea(i);
    }
    return volume;
}

static double MeanHeight(const Profile& surface) {
    double volume = 0, area = 0;
    for (int i = 0; i < kProfilePoints; ++i) {
        volume += surface[i] * RingArea(i);
        area += RingArea(i);
    }
    return volume / area;
}

ModelResult ComputeProfile(const ModelInput& input) {
    ModelResult result;
    Profile& h = result.surface;
    h = input.previous;
    const double slope = std::tan(Radians(input.reposeAngle));
    const double density = input.density > 0 ? input.density : 1.0;
    const bool gauged = std::isfinite(input.gaugeLevel);
    if (gauged) {
        const double descent = h[kGaugePoint] - input.gaugeLevel;
        for (double& height : h) height -= descent;
    }
    const double meanBefore = MeanHeight(h);

    for (int k = 0; k < kPositions; ++k) {
        double volume = std::max(0.0, static_cast<double>(input.weight[k])) / density;
        if (volume <= 0) continue;
        double radius = 0.95 * kThroatRadius * std::sin(Radians(input.chuteAngle[k])) / std::sin(Radians(45.0));
        radius = std::clamp(radius, 0.0, kThroatRadius);
        double low = *std::min_element(h.begin(), h.end()), high = *std::max_element(h.begin(), h.end()) + 20.0;
        for (int step = 0; step < 60; ++step) {
            double crest = (low + high) / 2;
            (AddedVolume(h, crest, radius, slope) < volume ? low : high) = crest;
        }
        for (int i = 0; i < kProfilePoints; ++i)
            h[i] = std::max(h[i], high - std::abs(RadiusOfPoint(i) - radius) * slope);
    }

    const double drop = slope * kStep;
    for (int i = 1; i < kProfilePoints; ++i) h[i] = std::max(h[i], h[i - 1] - drop);
    for (int i = kProfilePoints - 2; i >= 0; --i) h[i] = std::max(h[i], h[i + 1] - drop);

    const double descent = gauged ? 0.0 : MeanHeight(h) - meanBefore;
    int lowest = 0;
    for (int i = 0; i < kProfilePoints; ++i) {
        h[i] -= descent;
        if (h[i] < h[lowest]) lowest = i;
    }
    result.lowestRadius = RadiusOfPoint(lowest);
    return result;
}

}  // namespace demo
