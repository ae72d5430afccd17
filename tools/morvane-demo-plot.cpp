// The demo's picture: the newest burden-surface profiles as an SVG file that any
// browser opens, stock-line height against radius, newest drawn last and darkest.
#include "morvane-demo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace demo {

std::vector<PlottedProfile> NewestResults(CMorvane& store, int count) {
    std::vector<PlottedProfile> profiles;
    // With each profile, the gauges' mean reading taken last before its charge.
    std::string sql =
        "SELECT r.*, w.CHARGE AS CHARGE_NUMBER, (SELECT (g.RULER_HEIGHT1 + g.RULER_HEIGHT2) / 2 FROM "
        "matrix_bl_roof_ruler g WHERE g.RECEIVETIME < r.TIMESTAMP ORDER BY g.RECEIVETIME DESC LIMIT 1) AS GAUGE "
        "FROM MODEL_RESULTBURDENDIS r LEFT JOIN matrix_bl_roof_weight_new w "
        "ON w.RECEIVETIME = r.TIMESTAMP ORDER BY r.TIMESTAMP DESC LIMIT " + std::to_string(count);
    _RecordsetPtr rows = store.m_pConnection->Execute(_bstr_t(sql), nullptr, adCmdText);
    while (rows->GetadoEOF() == VARIANT_FALSE) {
        PlottedProfile profile;
        profile.time = static_cast<_bstr_t>(rows->GetCollect(_variant_t("TIMESTAMP"))).str();
        _variant_t number = rows->GetCollect(_variant_t("CHARGE_NUMBER"));
        if (number.vt != VT_NULL) profile.charge = static_cast<int>(number);
        _variant_t material = rows->GetCollect(_variant_t("MATERIAL"));
        if (material.vt != VT_NULL) profile.material = static_cast<int>(material);
        _variant_t gauge = rows->GetCollect(_variant_t("GAUGE"));
        if (gauge.vt != VT_NULL && gauge.vt != VT_EMPTY) profile.gauge = static_cast<double>(gauge);
        for (int n = 0; n < kProfilePoints; ++n)
            profile.surface[n] =
                static_cast<double>(rows->GetCollect(_variant_t(("SEQ_" + std::to_string(n + 1)).c_str())));
        profiles.push_back(profile);
        rows->MoveNext();
    }
    return profiles;
}

// A step of 1, 2, 2.5 or 5 times a power of ten that cuts `span` into at most
// `maxTicks` parts: tick labels a reader takes in at a glance.
double RoundStep(double span, int maxTicks) {
    const double raw = span / maxTicks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (factor * power >= raw) return factor * power;
    return 10.0 * power;
}

std::string WritePlot(const std::string& path, const std::vector<PlottedProfile>& profiles) {
    const double width = 900, height = 520, left = 70, right = 260, top = 40, bottom = 60;
    const double plotWidth = width - left - right, plotHeight = height - top - bottom;
    double low = 0, high = 1;
    bool first = true;
    auto include = [&](double v) {
        if (!std::isfinite(v)) return;
        low = first ? v : std::min(low, v);
        high = first ? v : std::max(high, v);
        first = false;
    };
    for (const auto& p : profiles) {
        for (double v : p.surface) include(v);
        include(p.gauge);
    }
    if (high - low < 0.5) high = low + 0.5;
    // The axis runs from tick to tick, with round values at both ends.
    const double step = RoundStep(high - low, 6);
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    auto x = [&](double radius) { return left + radius / kThroatRadius * plotWidth; };
    auto y = [&](double value) { return top + (high - value) / (high - low) * plotHeight; };

    std::ofstream svg(path);
    if (!svg) return "cannot write " + path;
    char buffer[256];
    std::snprintf(buffer, sizeof(buffer),
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                  "font-family=\"sans-serif\" font-size=\"12\">\n",
                  width, height);
    svg << buffer << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg << "<text x=\"" << left << "\" y=\"24\" font-size=\"15\">Burden surface: newest " << profiles.size()
        << " profiles</text>\n";
    // A light grid under everything, at every tick.
    for (int tick = 0; tick <= 8; ++tick) {  // radius every 0.5 m
        double radius = tick * kThroatRadius / 8;
        std::snprintf(buffer, sizeof(buffer),
                      "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#e6e6e6\"/>\n"
                      "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%.1f</text>\n",
                      x(radius), top, x(radius), top + plotHeight, x(radius), top + plotHeight + 18, radius);
        svg << buffer;
    }
    const int ticks = static_cast<int>(std::lround((high - low) / step));
    for (int tick = 0; tick <= ticks; ++tick) {
        double value = low + tick * step;
        std::snprintf(buffer, sizeof(buffer),
                      "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#e6e6e6\"/>\n"
                      "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.*f</text>\n",
                      left, y(value), left + plotWidth, y(value), left - 6, y(value) + 4, step < 0.1 ? 2 : step < 1 ? 1 : 0,
                      value);
        svg << buffer;
    }
    std::snprintf(buffer, sizeof(buffer),
                  "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#444\"/>\n", left,
                  top, plotWidth, plotHeight);
    svg << buffer;
    svg << "<text x=\"" << left + plotWidth / 2 << "\" y=\"" << height - 16
        << "\" text-anchor=\"middle\">radius from the furnace axis (m)</text>\n";
    svg << "<text transform=\"translate(18," << top + plotHeight / 2
        << ") rotate(-90)\" text-anchor=\"middle\">stock-line height (m)</text>\n";

    // Oldest first, so the newest profile is drawn on top.
    for (std::size_t index = profiles.size(); index-- > 0;) {
        const auto& p = profiles[index];
        double shade = profiles.size() > 1 ? static_cast<double>(index) / (profiles.size() - 1) : 0;  // 0 newest
        bool coke = p.material == 10;
        int strength = static_cast<int>(40 + 170 * shade);  // older profiles fade
        if (coke)
            std::snprintf(buffer, sizeof(buffer), "rgb(255,%d,%d)", strength, strength / 2);
        else
            std::snprintf(buffer, sizeof(buffer), "rgb(%d,%d,255)", strength, strength);
        std::string colour = buffer;
        svg << "<polyline fill=\"none\" stroke-width=\"" << (index == 0 ? 2.5 : 1.2) << "\" stroke=\"" << colour
            << "\" points=\"";
        for (int n = 0; n < kProfilePoints; ++n) {
            std::snprintf(buffer, sizeof(buffer), "%.1f,%.1f ", x(RadiusOfPoint(n)), y(p.surface[n]));
            svg << buffer;
        }
        svg << "\"/>\n";
        double legendY = top + 16 + 18 * static_cast<double>(index);
        std::snprintf(buffer, sizeof(buffer),
                      "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke-width=\"3\" stroke=\"%s\"/>\n",
                      left + plotWidth + 12, legendY - 4, left + plotWidth + 32, legendY - 4, colour.c_str());
        svg << buffer;
        svg << "<text x=\"" << left + plotWidth + 38 << "\" y=\"" << legendY << "\">#" << p.charge << " "
            << p.time << (coke ? " coke" : p.material == 20 ? " ore" : "") << "</text>\n";
    }
    // The gauges' reading before the newest charge, where they hang: the surface the
    // newest charge was laid on passes through it.
    if (!profiles.empty() && std::isfinite(profiles.front().gauge)) {
        const double gx = x(RadiusOfPoint(kGaugePoint)), gy = y(profiles.front().gauge);
        std::snprintf(buffer, sizeof(buffer),
                      "<path d=\"M%.1f,%.1f l-6,-10 h12 z\" fill=\"#222\"/>\n"
                      "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">gauges %.2f m</text>\n",
                      gx, gy, gx - 8, gy + 14, profiles.front().gauge);
        svg << buffer;
    }
    svg << "</svg>\n";
    return svg ? "" : "cannot write " + path;
}

}  // namespace demo
