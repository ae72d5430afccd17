// The demo's picture: the newest burden-surface profiles as an SVG file that any
// browser opens, stock-line height against radius, newest drawn last and darkest.
#include "morvane-demo.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace demo {

std::vector<PlottedProfile> NewestResults(CMorvane& store, int count) {
    std::vector<PlottedProfile> profiles;
    std::string sql =
        "SELECT r.*, w.CHARGE AS CHARGE_NUMBER FROM MODEL_RESULTBURDENDIS r LEFT JOIN matrix_bl_roof_weight_new w "
        "ON w.RECEIVETIME = r.TIMESTAMP ORDER BY r.TIMESTAMP DESC LIMIT " + std::to_string(count);
    _RecordsetPtr rows = store.m_pConnection->Execute(_bstr_t(sql), nullptr, adCmdText);
    while (rows->GetadoEOF() == VARIANT_FALSE) {
        PlottedProfile profile;
        profile.time = static_cast<_bstr_t>(rows->GetCollect(_variant_t("TIMESTAMP"))).str();
        _variant_t number = rows->GetCollect(_variant_t("CHARGE_NUMBER"));
        if (number.vt != VT_NULL) profile.charge = static_cast<int>(number);
        _variant_t material = rows->GetCollect(_variant_t("MATERIAL"));
        if (material.vt != VT_NULL) profile.material = static_cast<int>(material);
        for (int n = 0; n < kProfilePoints; ++n)
            profile.surface[n] =
                static_cast<double>(rows->GetCollect(_variant_t(("SEQ_" + std::to_string(n + 1)).c_str())));
        profiles.push_back(profile);
        rows->MoveNext();
    }
    return profiles;
}

std::string WritePlot(const std::string& path, const std::vector<PlottedProfile>& profiles) {
    const double width = 860, height = 520, left = 70, right = 220, top = 40, bottom = 60;
    const double plotWidth = width - left - right, plotHeight = height - top - bottom;
    double low = 0, high = 1;
    bool first = true;
    for (const auto& p : profiles)
        for (double v : p.surface) {
            low = first ? v : std::min(low, v);
            high = first ? v : std::max(high, v);
            first = false;
        }
    if (high - low < 0.5) high = low + 0.5;
    low -= 0.1 * (high - low);
    high += 0.1 * (high - low);
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
    std::snprintf(buffer, sizeof(buffer),
                  "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#444\"/>\n", left,
                  top, plotWidth, plotHeight);
    svg << buffer;
    for (int tick = 0; tick <= 8; ++tick) {  // radius every 0.5 m
        double radius = tick * kThroatRadius / 8;
        std::snprintf(buffer, sizeof(buffer),
                      "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%.1f</text>\n", x(radius),
                      top + plotHeight + 18, radius);
        svg << buffer;
    }
    for (int tick = 0; tick <= 5; ++tick) {
        double value = low + tick * (high - low) / 5;
        std::snprintf(buffer, sizeof(buffer), "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.2f</text>\n",
                      left - 6, y(value) + 4, value);
        svg << buffer;
    }
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
            << p.time.substr(5) << (coke ? " coke" : p.material == 20 ? " ore" : "") << "</text>\n";
    }
    svg << "</svg>\n";
    return svg ? "" : "cannot write " + path;
}

}  // namespace demo
