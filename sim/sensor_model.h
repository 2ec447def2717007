// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The simulated colour sensor: parameter memories, a scene of colour patches, classification.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sensorsim {

constexpr std::size_t kParaWords = 90;
constexpr std::size_t kTableRows = 15;
constexpr std::size_t kTableFirstWord = 15;
constexpr std::uint16_t kNoColour = 255;

// Word indices of the parameter block.
enum ParamWord : std::size_t {
    kPower = 0,
    kPmod = 1,
    kAverage = 2,
    kEvalmode = 3,
    kHold = 4,
    kIntlim = 5,
    kMaxcolno = 6,
    kOutmode = 7,
    kTrigger = 8,
};

using ParamBlock = std::array<std::uint16_t, kParaWords>;

// What the sensor holds after leaving the factory: medium exposure, four active rows.
ParamBlock FactoryDefaults();

// One coloured surface under the sensor: mean raw R, G, B at POWER 500.
struct Patch {
    std::string name;
    double r = 0, g = 0, b = 0;
};

// The patches pass under the sensor in turn, each for `dwellSeconds` (a conveyor). A scene of
// one patch is a still target.
struct Scene {
    std::vector<Patch> patches;
    double dwellSeconds = 3.0;
};

// Builds a scene from a name ("cards", "red", "green", "blue", "yellow", "white", "dark") or
// from "R,G,B[;R,G,B...]" raw means. Returns false with a reason for anything else.
bool MakeScene(const std::string &name, Scene *scene, std::string *error);
// The scene names MakeScene knows, for help texts.
const char *SceneNames();

// One data record as the sensor sends it.
struct Record {
    std::uint16_t r = 0, g = 0, b = 0, x = 0, y = 0, intensity = 0, colour = kNoColour;
};

// X, Y, INT by the sensor's formulas and the colour number from the teach table in `params`.
Record Evaluate(const ParamBlock &params, std::uint16_t r, std::uint16_t g, std::uint16_t b);
// The colour number alone (255 = no colour or error state).
std::uint16_t Classify(const ParamBlock &params, const Record &rec);

// Reads and writes the EEPROM image file: 90 decimal words, one per line.
bool LoadParamFile(const std::string &path, ParamBlock *block, std::string *error);
// Writes a temporary file beside `path`, then renames it over `path`.
bool SaveParamFile(const std::string &path, const ParamBlock &block, std::string *error);

// The sensor: RAM and EEPROM parameter blocks and a noisy measurement of the scene.
class SensorModel {
public:
    explicit SensorModel(Scene scene = DefaultScene(), std::uint32_t seed = 1);

    static Scene DefaultScene();

    const ParamBlock &ram() const { return ram_; }
    const ParamBlock &eeprom() const { return eeprom_; }
    void writeRam(const ParamBlock &block) { ram_ = block; }
    // Stores the block in EEPROM and RAM; with an EEPROM file set, persists it there.
    // Returns false (memories still updated) when the file could not be written.
    bool writeEeprom(const ParamBlock &block, std::string *error = nullptr);

    // Persists EEPROM in `path`: loads it (and RAM from it) when the file exists.
    bool useEepromFile(const std::string &path, std::string *error);

    const Scene &scene() const { return scene_; }
    // The patch under the sensor `seconds` after start, or the held one.
    std::size_t patchAt(double seconds) const;
    // Keeps one patch under the sensor (index into the scene); -1 follows the conveyor again.
    void holdPatch(int index) { held_ = index; }
    // Measures the scene at `seconds` with the RAM parameters.
    Record measure(double seconds);
    // Noise-free raw values of a patch with the RAM parameters (exposure scaling, clipping).
    std::array<double, 3> rawMeans(const Patch &patch) const;
    void setNoise(double sigma) { noise_ = sigma; }

private:
    Scene scene_;
    ParamBlock ram_;
    ParamBlock eeprom_;
    std::string eepromFile_;
    std::mt19937 rng_;
    double noise_ = 24.0; // raw counts, one scan
    int held_ = -1;
};

} // namespace sensorsim
