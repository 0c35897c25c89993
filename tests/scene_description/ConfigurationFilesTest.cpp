#include "scene_description/XMLConfigurationParserManager.h"

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

namespace
{

std::string configuration(const std::string& parameters, const std::string& rootAttributes = "")
{
    return "<?xml version=\"1.0\"?>\n<configuration name=\"demo\"" + rootAttributes + ">\n<parameters>\n" +
           parameters + "</parameters>\n</configuration>\n";
}

std::string parameter(const std::string& name, const std::string& value)
{
    return "  <parameter name=\"" + name + "\">" + value + "</parameter>\n";
}

} // namespace

TEST(ConfigurationFile, ReadsEveryParameterWithItsOwnRule)
{
    auto result = readText<XMLConfigurationParserManager>(configuration(
        parameter("mode", "ar_mixed") + parameter("mirror", "no") + parameter("fullscreen", "false") +
            parameter("wireframe", "yes") + parameter("camera_settings", "true") +
            parameter("use_antialiasing", "true") + parameter("antialiasing_samples", "4x") +
            parameter("animations", "") + parameter("fitting", "true"),
        " debug=\"true\""));
    ASSERT_TRUE(result.loaded && result.read && result.valid);
    const ConfigurationSettings& s = result.settings;
    EXPECT_EQ(s.mode, ConfigurationMode::ar_mixed);
    EXPECT_TRUE(s.debug);
    EXPECT_TRUE(s.mirror) << "only the exact text false turns mirror off";
    EXPECT_FALSE(s.fullscreen);
    EXPECT_FALSE(s.wireframe) << "only the exact text true turns wireframe on";
    EXPECT_TRUE(s.camera_settings);
    EXPECT_TRUE(s.use_antialiasing);
    EXPECT_EQ(s.antialiasing_samples, 4);
    EXPECT_TRUE(s.animations) << "an empty parameter is present and not false";
    EXPECT_TRUE(s.fitting);
    EXPECT_TRUE(result.has(osg::NOTICE, " Configuration name: demo"));
    EXPECT_TRUE(result.has(osg::NOTICE, " debug: true"));
    EXPECT_TRUE(result.has(osg::NOTICE, " mirror: no"));
    EXPECT_TRUE(result.has(osg::NOTICE, " animations: "));
    EXPECT_TRUE(result.has(osg::NOTICE, "Reading configuration settings...done."));
}

TEST(ConfigurationFile, AbsentParametersTakeDefaultsWithTheirSeverity)
{
    auto result = readText<XMLConfigurationParserManager>(configuration(""));
    ASSERT_TRUE(result.read && result.valid);
    const ConfigurationSettings& s = result.settings;
    EXPECT_EQ(s.mode, ConfigurationMode::ar_simple);
    EXPECT_FALSE(s.debug);
    EXPECT_TRUE(s.mirror);
    EXPECT_TRUE(s.fullscreen);
    EXPECT_FALSE(s.wireframe);
    EXPECT_FALSE(s.camera_settings);
    EXPECT_EQ(s.antialiasing_samples, 1);
    EXPECT_TRUE(s.animations);
    EXPECT_FALSE(s.fitting);

    const MessageLines expected = {
        {osg::NOTICE, "Reading configuration settings..."},
        {osg::NOTICE, " Configuration name: demo"},
        {osg::NOTICE, " debug: false"},
        {osg::FATAL, " mode: NA (using default)."},
        {osg::NOTICE, " mirror: NA (using default)."},
        {osg::NOTICE, " fullscreen: NA (using default)."},
        {osg::NOTICE, " wireframe: NA (using default)."},
        {osg::NOTICE, " camera_settings: NA (using default)."},
        {osg::NOTICE, " use_antialiasing: NA (using default)."},
        {osg::FATAL, " antialiasing_samples: NA (using default)."},
        {osg::NOTICE, " animations: NA (using default)."},
        {osg::NOTICE, " fitting: NA (using default)."},
        {osg::NOTICE, "Reading configuration settings...done."},
    };
    EXPECT_EQ(result.lines.size(), expected.size() + 1);
    EXPECT_EQ(MessageLines(result.lines.begin() + 1, result.lines.end()), expected)
        << "first line is the load line";
}

TEST(ConfigurationFile, AntialiasingSamplesKeepOnlyEvenCounts)
{
    for (auto [text, samples] :
         {std::pair{"4", 4}, {"6", 6}, {"3", 1}, {"-3", 1}, {"8 samples", 8}, {"x", 0}}) {
        auto result =
            readText<XMLConfigurationParserManager>(configuration(parameter("antialiasing_samples", text)));
        EXPECT_EQ(result.settings.antialiasing_samples, samples) << text;
    }
}

TEST(ConfigurationFile, ModeKeywordsAreExact)
{
    for (auto [text, mode] : {std::pair{"ar_simple", ConfigurationMode::ar_simple},
                              {"ar_fake", ConfigurationMode::ar_fake},
                              {"AR_FAKE", ConfigurationMode::ar_simple},
                              {"Ar_mixed", ConfigurationMode::ar_simple}}) {
        auto result = readText<XMLConfigurationParserManager>(configuration(parameter("mode", text)));
        EXPECT_EQ(result.settings.mode, mode) << text;
        EXPECT_TRUE(result.valid);
    }
}

TEST(ConfigurationFile, FirstOfTwoEqualKeysWinsWhateverItsTag)
{
    auto result = readText<XMLConfigurationParserManager>(
        configuration("  <other name=\"wireframe\">true</other>\n" + parameter("wireframe", "false")));
    EXPECT_TRUE(result.settings.wireframe);
}

TEST(ConfigurationFile, WrongRootOrParametersNotFirstAbort)
{
    auto wrongRoot = readText<XMLConfigurationParserManager>("<config><parameters/></config>");
    EXPECT_TRUE(wrongRoot.loaded);
    EXPECT_FALSE(wrongRoot.read);
    EXPECT_TRUE(wrongRoot.has(osg::FATAL, "ERROR: missing <configuration> data in configuration file."));
    EXPECT_TRUE(wrongRoot.has(osg::NOTICE, "Reading configuration settings...aborted."));

    auto notFirst = readText<XMLConfigurationParserManager>(
        "<configuration><comment/><parameters><parameter name=\"wireframe\">true</parameter></parameters>"
        "</configuration>");
    EXPECT_FALSE(notFirst.read);
    EXPECT_TRUE(notFirst.has(osg::FATAL, "ERROR: missing <parameters> data in configuration file."));
    EXPECT_FALSE(notFirst.settings.wireframe);

    auto tracker = readText<XMLTrackerParserManager>(
        "<tracker><comment/><parameters><parameter name=\"threshold\">90</parameter></parameters></tracker>");
    EXPECT_TRUE(tracker.read) << "the tracker file searches for its parameters";
    EXPECT_EQ(tracker.settings.getThreshold(), 90);
}

TEST(TrackerFile, ClampsFactorsAndThreshold)
{
    auto read = [](const std::string& rotational, const std::string& translational,
                   const std::string& threshold) {
        return readText<XMLTrackerParserManager>("<tracker name=\"t\"><parameters>"
                                                 "<parameter name=\"rotational_smoothing_factor\">" +
                                                 rotational +
                                                 "</parameter>"
                                                 "<parameter name=\"translational_smoothing_factor\">" +
                                                 translational +
                                                 "</parameter>"
                                                 "<parameter name=\"threshold\">" +
                                                 threshold +
                                                 "</parameter>"
                                                 "</parameters></tracker>");
    };
    auto high = read("1.5", "0.5abc", "300");
    ASSERT_TRUE(high.read && high.valid);
    EXPECT_FLOAT_EQ(high.settings.getRotationalSmoothingFactor(), 1.0f);
    EXPECT_FLOAT_EQ(high.settings.getTranslationalSmoothingFactor(), 0.5f);
    EXPECT_EQ(high.settings.getThreshold(), 255);
    EXPECT_TRUE(high.has(osg::NOTICE, " threshold: 300")) << "the text is printed as found";

    auto low = read("-0.2", "nan", "-5");
    EXPECT_FLOAT_EQ(low.settings.getRotationalSmoothingFactor(), 0.0f);
    EXPECT_FLOAT_EQ(low.settings.getTranslationalSmoothingFactor(), 0.0f);
    EXPECT_EQ(low.settings.getThreshold(), 0);

    TrackerSettings direct;
    direct.setThreshold(1000);
    direct.setRotationalSmoothingFactor(7.0f);
    EXPECT_EQ(direct.getThreshold(), 255);
    EXPECT_FLOAT_EQ(direct.getRotationalSmoothingFactor(), 1.0f);
}

TEST(TrackerFile, MissingParametersAreNeverAFailure)
{
    auto none = readText<XMLTrackerParserManager>("<tracker name=\"plain\"/>");
    ASSERT_TRUE(none.read && none.valid);
    EXPECT_TRUE(none.has(osg::NOTICE, " WARNING: missing <parameters> data (using defaults)."));
    EXPECT_EQ(none.settings.getThreshold(), 100);
    EXPECT_TRUE(none.settings.smooth_tracking);
    EXPECT_FALSE(none.settings.half_tracking);
    EXPECT_FLOAT_EQ(none.settings.getRotationalSmoothingFactor(), 0.85f);

    auto empty = readText<XMLTrackerParserManager>(
        "<tracker><parameters><parameter name=\"smooth_tracking\">no</parameter>"
        "<parameter name=\"half_tracking\">true</parameter></parameters></tracker>");
    EXPECT_TRUE(empty.settings.smooth_tracking);
    EXPECT_TRUE(empty.settings.half_tracking);
    EXPECT_EQ(empty.settings.getThreshold(), 100);
    EXPECT_TRUE(empty.has(osg::NOTICE, " threshold: NA (using default)."));
    EXPECT_TRUE(empty.has(osg::NOTICE, "Reading tracker settings...(parameters)...done."));

    auto wrong = readText<XMLTrackerParserManager>("<trackers/>");
    EXPECT_FALSE(wrong.read);
    EXPECT_TRUE(wrong.has(osg::FATAL, " ERROR: missing <tracker> data in tracker file."));
    EXPECT_TRUE(wrong.has(osg::NOTICE, "Reading tracker settings...aborted."));
}

// The threshold mode is optional: absent it is manual, as tracker files without it always were; a
// keyword it does not know warns and gives manual.
TEST(TrackerFile, ThresholdModeKeywordsAndUnknownValues)
{
    const auto read = [](const std::string& mode) {
        return readText<XMLTrackerParserManager>("<tracker><parameters><parameter name=\"threshold_mode\">" +
                                                 mode + "</parameter></parameters></tracker>");
    };
    const std::pair<const char*, TrackerThresholdMode> modes[] = {
        {"manual", TrackerThresholdMode::manual},
        {"auto_median", TrackerThresholdMode::auto_median},
        {"auto_otsu", TrackerThresholdMode::auto_otsu},
        {"auto_adaptive", TrackerThresholdMode::auto_adaptive},
        {"auto_bracketing", TrackerThresholdMode::auto_bracketing}};
    for (const auto& [keyword, mode] : modes) {
        auto result = read(keyword);
        ASSERT_TRUE(result.read && result.valid) << keyword;
        EXPECT_EQ(result.settings.threshold_mode, mode) << keyword;
        EXPECT_STREQ(thresholdModeText(mode), keyword);
        EXPECT_TRUE(result.has(osg::NOTICE, std::string(" threshold_mode: ") + keyword));
    }

    for (const char* unknown : {"AUTO_OTSU", "otsu", ""}) {
        auto result = read(unknown);
        ASSERT_TRUE(result.read && result.valid) << unknown;
        EXPECT_EQ(result.settings.threshold_mode, TrackerThresholdMode::manual) << unknown;
        EXPECT_TRUE(result.has(osg::FATAL, std::string(" WARNING: unknown threshold_mode \"") + unknown +
                                               "\" (using manual)."))
            << unknown;
    }

    auto absent = readText<XMLTrackerParserManager>(
        "<tracker><parameters><parameter name=\"threshold\">90</parameter></parameters></tracker>");
    EXPECT_EQ(absent.settings.threshold_mode, TrackerThresholdMode::manual);
    EXPECT_TRUE(absent.has(osg::NOTICE, " threshold_mode: NA (using default)."));
    EXPECT_FALSE(absent.hasText(" WARNING: unknown threshold_mode \"\" (using manual)."));

    auto none = readText<XMLTrackerParserManager>("<tracker/>");
    EXPECT_EQ(none.settings.threshold_mode, TrackerThresholdMode::manual);
}

TEST(LightingFile, EnumerationsAreExactWithFatalDefaults)
{
    auto read = [](const std::string& parameters) {
        return readText<XMLLightingParserManager>("<lighting name=\"l\"><parameters>" + parameters +
                                                  "</parameters></lighting>");
    };
    auto full = read("<parameter name=\"mode\">deferred</parameter>"
                     "<parameter name=\"compatibility_hint\">cinema4d</parameter>"
                     "<parameter name=\"shadow_technique\">vdsm</parameter>");
    ASSERT_TRUE(full.read && full.valid);
    EXPECT_EQ(full.settings.mode, LightingMode::deferred);
    EXPECT_EQ(full.settings.compatibility_hint, CompatibilityHint::cinema4d);
    EXPECT_EQ(full.settings.shadow_technique, ShadowTechnique::vdsm);
    EXPECT_TRUE(full.has(osg::NOTICE, " Lighting Configuration name: l"));

    auto upper = read("<parameter name=\"shadow_technique\">VDSM</parameter>"
                      "<parameter name=\"compatibility_hint\">maya</parameter>");
    EXPECT_EQ(upper.settings.shadow_technique, ShadowTechnique::sm);
    EXPECT_EQ(upper.settings.compatibility_hint, CompatibilityHint::maya);
    EXPECT_TRUE(upper.has(osg::FATAL, " mode: NA (using default)."));

    auto notFirst = readText<XMLLightingParserManager>("<lighting><x/><parameters/></lighting>");
    EXPECT_FALSE(notFirst.read);
    EXPECT_TRUE(notFirst.has(osg::FATAL, "ERROR: missing <parameters> data in lighting configuration file."));
    auto wrongRoot = readText<XMLLightingParserManager>("<light/>");
    EXPECT_TRUE(wrongRoot.has(osg::FATAL, "ERROR: missing <lighting> data in configuration file."));
    EXPECT_TRUE(wrongRoot.has(osg::NOTICE, "Reading lighting settings...aborted."));
}
