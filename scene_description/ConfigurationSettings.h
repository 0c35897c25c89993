#pragma once

#include <cstdint>

namespace Orvana
{

enum class ConfigurationMode : std::int32_t { ar_simple = 0, ar_mixed = 1, ar_fake = 2 };

enum class LightingMode : std::int32_t { direct = 0, deferred = 1 };

enum class CompatibilityHint : std::int32_t {
    none = 0,
    su = 1,
    max = 2,
    maya = 3,
    vectorworks = 4,
    scia = 5,
    cinema4d = 6
};

enum class ShadowTechnique : std::int32_t { sm = 0, ssm = 1, stsm = 2, vdsm = 3, sv = 4 };

// How the tracker chooses its labeling threshold: the threshold as set (manual), or from each
// frame, the threshold then shifting the level found.
enum class TrackerThresholdMode : std::int32_t {
    manual = 0,
    auto_median = 1,
    auto_otsu = 2,
    auto_adaptive = 3,
    auto_bracketing = 4
};

// The keyword of a mode, as tracker.xml writes it.
const char* thresholdModeText(TrackerThresholdMode mode);

struct ConfigurationSettings {
    ConfigurationMode mode = ConfigurationMode::ar_simple;
    bool debug = false;
    bool mirror = true;
    bool fullscreen = true;
    bool wireframe = false;
    bool camera_settings = false;
    bool use_antialiasing = false;
    std::int32_t antialiasing_samples = 1;
    bool fitting = false;
    bool animations = true;
};

// The factors stay within [0, 1] and the threshold within [0, 255] whatever is written.
class TrackerSettings
{
public:
    bool smooth_tracking = true;
    bool half_tracking = false;
    TrackerThresholdMode threshold_mode = TrackerThresholdMode::manual;

    float getRotationalSmoothingFactor() const { return _rotational_smoothing_factor; }
    float getTranslationalSmoothingFactor() const { return _translational_smoothing_factor; }
    std::int32_t getThreshold() const { return _threshold; }

    void setRotationalSmoothingFactor(float factor);
    void setTranslationalSmoothingFactor(float factor);
    void setThreshold(std::int32_t threshold);

private:
    float _rotational_smoothing_factor = 0.85f;
    float _translational_smoothing_factor = 0.85f;
    std::int32_t _threshold = 100;
};

struct LightingSettings {
    LightingMode mode = LightingMode::direct;
    CompatibilityHint compatibility_hint = CompatibilityHint::none;
    ShadowTechnique shadow_technique = ShadowTechnique::sm;
};

} // namespace Orvana
