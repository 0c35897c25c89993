#include "scene_description/XMLConfigurationParserManager.h"

#include <algorithm>

#include <tinyxml.h>

#include "scene_description/ValueParsing.h"

namespace Orvana
{

void TrackerSettings::setRotationalSmoothingFactor(float factor)
{
    _rotational_smoothing_factor = std::clamp(factor, 0.0f, 1.0f);
}

void TrackerSettings::setTranslationalSmoothingFactor(float factor)
{
    _translational_smoothing_factor = std::clamp(factor, 0.0f, 1.0f);
}

void TrackerSettings::setThreshold(std::int32_t threshold)
{
    _threshold = std::clamp(threshold, 0, 255);
}

const char* thresholdModeText(TrackerThresholdMode mode)
{
    switch (mode) {
    case TrackerThresholdMode::manual:
        return "manual";
    case TrackerThresholdMode::auto_median:
        return "auto_median";
    case TrackerThresholdMode::auto_otsu:
        return "auto_otsu";
    case TrackerThresholdMode::auto_adaptive:
        return "auto_adaptive";
    case TrackerThresholdMode::auto_bracketing:
        return "auto_bracketing";
    }
    return "manual";
}

bool XMLConfigurationParserManager::readSettings()
{
    notice("Reading configuration settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "configuration")) {
        fatal("ERROR: missing <configuration> data in configuration file.");
        notice("Reading configuration settings...aborted.");
        return false;
    }
    notice(" Configuration name: " + getAttribute(root, "name"));
    _settings.debug = parseBoolTrue(getAttribute(root, "debug"));
    notice(std::string(" debug: ") + boolText(_settings.debug));

    const TiXmlElement* parameters = firstChildElement(root);
    if (!hasName(parameters, "parameters")) {
        fatal("ERROR: missing <parameters> data in configuration file.");
        notice("Reading configuration settings...aborted.");
        return false;
    }

    auto mode = readParameter(parameters, "mode", osg::FATAL);
    _settings.mode =
        parseKeyword<ConfigurationMode>(mode.value_or(""), {{"ar_simple", ConfigurationMode::ar_simple},
                                                            {"ar_mixed", ConfigurationMode::ar_mixed},
                                                            {"ar_fake", ConfigurationMode::ar_fake}});
    _settings.mirror = parseBoolNotFalse(readParameter(parameters, "mirror", osg::NOTICE).value_or("true"));
    _settings.fullscreen =
        parseBoolNotFalse(readParameter(parameters, "fullscreen", osg::NOTICE).value_or("true"));
    _settings.wireframe =
        parseBoolTrue(readParameter(parameters, "wireframe", osg::NOTICE).value_or("false"));
    _settings.camera_settings =
        parseBoolTrue(readParameter(parameters, "camera_settings", osg::NOTICE).value_or("false"));
    _settings.use_antialiasing =
        parseBoolTrue(readParameter(parameters, "use_antialiasing", osg::NOTICE).value_or("false"));
    auto samples = readParameter(parameters, "antialiasing_samples", osg::FATAL);
    _settings.antialiasing_samples = samples ? parseInteger(*samples) : 1;
    if (_settings.antialiasing_samples % 2 != 0)
        _settings.antialiasing_samples = 1;
    _settings.animations =
        parseBoolNotFalse(readParameter(parameters, "animations", osg::NOTICE).value_or("true"));
    _settings.fitting = parseBoolTrue(readParameter(parameters, "fitting", osg::NOTICE).value_or("false"));

    notice("Reading configuration settings...done.");
    return true;
}

bool XMLConfigurationParserManager::checkSettings()
{
    auto mode = static_cast<std::int32_t>(_settings.mode);
    return mode >= 0 && mode <= 2;
}

bool XMLTrackerParserManager::readSettings()
{
    notice("Reading tracker settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "tracker")) {
        fatal(" ERROR: missing <tracker> data in tracker file.");
        notice("Reading tracker settings...aborted.");
        return false;
    }
    notice(" Tracker name: " + getAttribute(root, "name"));

    const TiXmlElement* parameters = findChildByName(root, "parameters");
    if (!parameters) {
        notice(" WARNING: missing <parameters> data (using defaults).");
        _settings.smooth_tracking = true;
        _settings.setRotationalSmoothingFactor(0.85f);
        _settings.setTranslationalSmoothingFactor(0.85f);
        _settings.half_tracking = false;
        _settings.threshold_mode = TrackerThresholdMode::manual;
    } else {
        notice("Reading tracker settings...(parameters)...");
        _settings.smooth_tracking =
            parseBoolNotFalse(readParameter(parameters, "smooth_tracking", osg::NOTICE).value_or("true"));
        auto rotational = readParameter(parameters, "rotational_smoothing_factor", osg::NOTICE);
        _settings.setRotationalSmoothingFactor(rotational ? parseFloat(*rotational) : 0.85f);
        auto translational = readParameter(parameters, "translational_smoothing_factor", osg::NOTICE);
        _settings.setTranslationalSmoothingFactor(translational ? parseFloat(*translational) : 0.85f);
        auto threshold = readParameter(parameters, "threshold", osg::NOTICE);
        _settings.setThreshold(threshold ? parseInteger(*threshold) : 100);
        _settings.half_tracking =
            parseBoolTrue(readParameter(parameters, "half_tracking", osg::NOTICE).value_or("false"));
        const auto mode = readParameter(parameters, "threshold_mode", osg::NOTICE);
        _settings.threshold_mode = TrackerThresholdMode::manual;
        if (mode) {
            const auto unknown = static_cast<TrackerThresholdMode>(-1);
            const TrackerThresholdMode parsed = parseKeyword<TrackerThresholdMode>(
                *mode,
                {{"manual", TrackerThresholdMode::manual},
                 {"auto_median", TrackerThresholdMode::auto_median},
                 {"auto_otsu", TrackerThresholdMode::auto_otsu},
                 {"auto_adaptive", TrackerThresholdMode::auto_adaptive},
                 {"auto_bracketing", TrackerThresholdMode::auto_bracketing}},
                unknown);
            if (parsed == unknown)
                fatal(" WARNING: unknown threshold_mode \"" + *mode + "\" (using manual).");
            else
                _settings.threshold_mode = parsed;
        }
        notice("Reading tracker settings...(parameters)...done.");
    }
    notice("Reading tracker settings...done.");
    return true;
}

bool XMLTrackerParserManager::checkSettings()
{
    return true;
}

bool XMLLightingParserManager::readSettings()
{
    notice("Reading lighting settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "lighting")) {
        fatal("ERROR: missing <lighting> data in configuration file.");
        notice("Reading lighting settings...aborted.");
        return false;
    }
    notice(" Lighting Configuration name: " + getAttribute(root, "name"));

    const TiXmlElement* parameters = firstChildElement(root);
    if (!hasName(parameters, "parameters")) {
        fatal("ERROR: missing <parameters> data in lighting configuration file.");
        notice("Reading lighting settings...aborted.");
        return false;
    }

    _settings.mode =
        parseKeyword<LightingMode>(readParameter(parameters, "mode", osg::FATAL).value_or(""),
                                   {{"direct", LightingMode::direct}, {"deferred", LightingMode::deferred}});
    _settings.compatibility_hint = parseKeyword<CompatibilityHint>(
        readParameter(parameters, "compatibility_hint", osg::FATAL).value_or(""),
        {{"su", CompatibilityHint::su},
         {"max", CompatibilityHint::max},
         {"maya", CompatibilityHint::maya},
         {"vectorworks", CompatibilityHint::vectorworks},
         {"scia", CompatibilityHint::scia},
         {"cinema4d", CompatibilityHint::cinema4d}});
    _settings.shadow_technique =
        parseKeyword<ShadowTechnique>(readParameter(parameters, "shadow_technique", osg::FATAL).value_or(""),
                                      {{"sm", ShadowTechnique::sm},
                                       {"ssm", ShadowTechnique::ssm},
                                       {"stsm", ShadowTechnique::stsm},
                                       {"vdsm", ShadowTechnique::vdsm},
                                       {"sv", ShadowTechnique::sv}});

    notice("Reading lighting settings...done.");
    return true;
}

bool XMLLightingParserManager::checkSettings()
{
    return true;
}

} // namespace Orvana
