// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The simulated colour sensor: parameter memories, a scene of colour patches, classification.
#include "sensor_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace sensorsim {

namespace {

// Raw means at POWER 500. The four cards are far apart in the X/Y plane and bright enough for
// any sensible INTLIM; the gap between cards is dark, so the sensor reports no colour there.
const Patch kRed{"red", 2400, 700, 600};
const Patch kGreen{"green", 700, 2200, 900};
const Patch kBlue{"blue", 500, 900, 2500};
const Patch kYellow{"yellow", 2300, 2100, 500};
const Patch kWhite{"white", 3000, 3000, 3000};
const Patch kDark{"dark", 120, 110, 100};

constexpr double kRawMax = 4095.0;
constexpr double kDynTarget = 3000.0; // DYN exposure aims the brightest channel here

bool ParseNumber(const std::string &token, double *value) {
    if (token.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(token.c_str(), &end);
    if (errno != 0 || end != token.c_str() + token.size() || !std::isfinite(v) || v < 0)
        return false;
    *value = v;
    return true;
}

std::string Trim(const std::string &s) {
    std::size_t b = s.find_first_not_of(" \t");
    std::size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

} // namespace

ParamBlock FactoryDefaults() {
    ParamBlock p{};
    p[kPower] = 500;
    p[kPmod] = 0;
    p[kAverage] = 1;
    p[kEvalmode] = 0;
    p[kHold] = 0;
    p[kIntlim] = 200;
    p[kMaxcolno] = 4;
    p[kOutmode] = 0;
    p[kTrigger] = 0;
    for (std::size_t i = kTableFirstWord; i < kParaWords; ++i)
        p[i] = 1; // an untaught table, as the program's table reset leaves it
    return p;
}

const char *SceneNames() {
    return "cards, red, green, blue, yellow, white, dark";
}

bool MakeScene(const std::string &name, Scene *scene, std::string *error) {
    Scene s;
    if (name == "cards") {
        s.patches = {kRed, kGreen, kBlue, kYellow, kDark};
    } else if (name == "red" || name == "green" || name == "blue" || name == "yellow" ||
               name == "white" || name == "dark") {
        for (const Patch *p : {&kRed, &kGreen, &kBlue, &kYellow, &kWhite, &kDark})
            if (p->name == name)
                s.patches = {*p};
    } else {
        std::stringstream list(name);
        std::string item;
        while (std::getline(list, item, ';')) {
            std::stringstream fields(item);
            std::string f;
            std::vector<double> v;
            while (std::getline(fields, f, ',')) {
                double d = 0;
                if (!ParseNumber(Trim(f), &d) || d > kRawMax) {
                    v.clear();
                    break;
                }
                v.push_back(d);
            }
            if (v.size() != 3) {
                if (error)
                    *error = "bad scene \"" + name + "\": expected a name (" + SceneNames() +
                             ") or R,G,B[;R,G,B...] with values 0 to 4095";
                return false;
            }
            s.patches.push_back(
                Patch{"patch " + std::to_string(s.patches.size() + 1), v[0], v[1], v[2]});
        }
        if (s.patches.empty()) {
            if (error)
                *error = "empty scene";
            return false;
        }
    }
    *scene = s;
    return true;
}

Record Evaluate(const ParamBlock &params, std::uint16_t r, std::uint16_t g, std::uint16_t b) {
    Record rec;
    rec.r = r;
    rec.g = g;
    rec.b = b;
    const std::uint32_t sum = std::uint32_t(r) + g + b;
    if (sum != 0) {
        rec.x = std::uint16_t(std::uint32_t(r) * 4095u / sum);
        rec.y = std::uint16_t(std::uint32_t(g) * 4095u / sum);
    }
    rec.intensity = std::uint16_t(sum / 3);
    rec.colour = Classify(params, rec);
    return rec;
}

std::uint16_t Classify(const ParamBlock &params, const Record &rec) {
    if (rec.intensity < params[kIntlim])
        return kNoColour;
    const std::uint16_t *row0 = &params[kTableFirstWord];
    const std::uint16_t mode = params[kEvalmode];
    if (mode >= 2 && mode <= 4) {
        const std::uint16_t channel = mode == 2 ? rec.r : mode == 3 ? rec.g : rec.b;
        const std::uint16_t upper = row0[0], lower = row0[1];
        return (channel >= lower && channel <= upper) ? 0 : kNoColour;
    }
    const std::size_t rows = std::min<std::size_t>(params[kMaxcolno], kTableRows);
    for (std::size_t i = 0; i < rows; ++i) {
        const std::uint16_t *row = row0 + 5 * i;
        const std::int64_t dx = std::int64_t(rec.x) - row[0];
        const std::int64_t dy = std::int64_t(rec.y) - row[1];
        const std::int64_t radius = row[2];
        if (dx * dx + dy * dy > radius * radius)
            continue;
        // Mode 1 classifies by chromaticity alone.
        if (mode != 1 && std::abs(std::int64_t(rec.intensity) - row[3]) > row[4])
            continue;
        return std::uint16_t(i);
    }
    return kNoColour;
}

bool LoadParamFile(const std::string &path, ParamBlock *block, std::string *error) {
    std::ifstream in(path);
    if (!in) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    std::replace(content.begin(), content.end(), ',', ' ');
    std::stringstream tokens(content);
    ParamBlock b{};
    std::size_t n = 0;
    std::string tok;
    while (tokens >> tok) {
        double v = 0;
        if (n >= kParaWords || !ParseNumber(tok, &v) || v > 65535 || v != std::floor(v)) {
            if (error)
                *error = path + ": expected exactly 90 whole numbers 0 to 65535";
            return false;
        }
        b[n++] = std::uint16_t(v);
    }
    if (n != kParaWords) {
        if (error)
            *error = path + ": expected exactly 90 whole numbers 0 to 65535";
        return false;
    }
    *block = b;
    return true;
}

bool SaveParamFile(const std::string &path, const ParamBlock &block, std::string *error) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (std::uint16_t w : block)
            out << w << '\n';
        out.flush();
        if (!out) {
            if (error)
                *error = "cannot write " + tmp;
            std::error_code ignored;
            std::filesystem::remove(tmp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        if (error)
            *error = "cannot replace " + path + ": " + ec.message();
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

SensorModel::SensorModel(Scene scene, std::uint32_t seed)
    : scene_(std::move(scene)), ram_(FactoryDefaults()), eeprom_(FactoryDefaults()), rng_(seed) {
    if (scene_.patches.empty())
        scene_.patches = {kDark};
}

Scene SensorModel::DefaultScene() {
    Scene s;
    MakeScene("cards", &s, nullptr);
    return s;
}

bool SensorModel::writeEeprom(const ParamBlock &block, std::string *error) {
    eeprom_ = block;
    ram_ = block;
    if (eepromFile_.empty())
        return true;
    return SaveParamFile(eepromFile_, eeprom_, error);
}

bool SensorModel::useEepromFile(const std::string &path, std::string *error) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        ParamBlock b{};
        if (!LoadParamFile(path, &b, error))
            return false;
        eeprom_ = b;
        ram_ = b; // the sensor loads RAM from EEPROM at power-up
    }
    eepromFile_ = path;
    return true;
}

std::size_t SensorModel::patchAt(double seconds) const {
    const std::size_t n = scene_.patches.size();
    if (held_ >= 0)
        return std::size_t(held_) % n;
    if (n == 1 || scene_.dwellSeconds <= 0 || seconds < 0)
        return 0;
    return std::size_t(std::floor(seconds / scene_.dwellSeconds)) % n;
}

std::array<double, 3> SensorModel::rawMeans(const Patch &patch) const {
    double power = std::min<double>(ram_[kPower], 1000.0);
    if (ram_[kPmod] != 0) {
        // DYN: the exposure follows the received light.
        const double brightest = std::max({patch.r, patch.g, patch.b});
        power = brightest > 0 ? std::min(1000.0, 500.0 * kDynTarget / brightest) : 1000.0;
    }
    const double scale = power / 500.0;
    return {patch.r * scale, patch.g * scale, patch.b * scale};
}

Record SensorModel::measure(double seconds) {
    const Patch &patch = scene_.patches[patchAt(seconds)];
    const std::array<double, 3> mean = rawMeans(patch);
    const double scans = std::max<double>(ram_[kAverage], 1.0);
    std::normal_distribution<double> noise(0.0, noise_ / std::sqrt(scans));
    std::array<std::uint16_t, 3> raw{};
    for (std::size_t i = 0; i < 3; ++i) {
        const double v = mean[i] > 0 ? mean[i] + noise(rng_) : 0.0;
        raw[i] = std::uint16_t(std::lround(std::clamp(v, 0.0, kRawMax)));
    }
    return Evaluate(ram_, raw[0], raw[1], raw[2]);
}

} // namespace sensorsim
