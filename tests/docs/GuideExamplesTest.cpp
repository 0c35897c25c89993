#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "messages/Messages.h"
#include "scene_description/XMLAudioParserManager.h"
#include "scene_description/XMLConfigurationParserManager.h"
#include "scene_description/XMLEventsParserManager.h"
#include "scene_description/XMLKmlParserManager.h"
#include "scene_description/XMLMarkersParserManager.h"
#include "scene_description/XMLSceneParserManager.h"
#include "scene_description/XMLVideoParserManager.h"
#include "support/TestSupport.h"

// The guide to writing scenes agrees with the readers: every XML example in docs/ is a whole
// description file that its reader loads, reads and accepts without a line that a person would
// see (the player shows fatal and warning lines by default). The sample scenes and the demo are
// held to the same rule.
namespace fs = std::filesystem;
using namespace Orvana;
using Orvana::Testing::TempDir;

namespace
{

struct Example {
    std::string where; // file and line, for messages
    std::string text;
};

// The fenced blocks of a Markdown file whose info string starts with "xml".
std::vector<Example> xmlBlocks(const fs::path& file)
{
    std::vector<Example> blocks;
    std::ifstream in(file);
    std::string line;
    int number = 0;
    bool inside = false;
    bool wanted = false;
    Example current;
    while (std::getline(in, line)) {
        ++number;
        if (line.rfind("```", 0) == 0) {
            if (!inside) {
                inside = true;
                wanted = line.compare(3, 3, "xml") == 0;
                current = {file.filename().string() + ":" + std::to_string(number), ""};
            } else {
                inside = false;
                if (wanted)
                    blocks.push_back(current);
            }
            continue;
        }
        if (inside && wanted)
            current.text += line + "\n";
    }
    return blocks;
}

// The tag of the first element, past the declaration and comments.
std::string rootTag(const std::string& text)
{
    static const std::regex element("<([A-Za-z_][A-Za-z0-9_]*)");
    std::string rest = std::regex_replace(text, std::regex("<!--[\\s\\S]*?-->"), "");
    std::smatch match;
    return std::regex_search(rest, match, element) ? match[1].str() : std::string();
}

template <typename Reader> bool readWith(const std::string& path)
{
    Reader reader(path);
    return reader.loadXMLFile() && reader.readSettings() && reader.checkSettings();
}

const std::map<std::string, std::function<bool(const std::string&)>>& readers()
{
    static const std::map<std::string, std::function<bool(const std::string&)>> byRoot = {
        {"configuration", readWith<XMLConfigurationParserManager>},
        {"tracker", readWith<XMLTrackerParserManager>},
        {"lighting", readWith<XMLLightingParserManager>},
        {"video", readWith<XMLVideoParserManager>},
        {"audio", readWith<XMLAudioParserManager>},
        {"scene", readWith<XMLSceneParserManager>},
        {"markers", readWith<XMLMarkersParserManager>},
        {"events", readWith<XMLEventsParserManager>},
        {"kml", readWith<XMLKmlParserManager>}};
    return byRoot;
}

// Reads one description file; the empty text when it was accepted without a visible line,
// otherwise what went wrong.
std::string check(const std::string& path, const std::string& text)
{
    const std::string root = rootTag(text);
    const auto reader = readers().find(root);
    if (reader == readers().end())
        return "not a whole description file (root <" + root + ">)";
    MessageCapture capture;
    std::string problems;
    if (!reader->second(path))
        problems += "the " + root + " reader refused it\n";
    for (const MessageLine& line : capture.lines())
        if (line.first <= osg::WARN)
            problems += line.second + "\n";
    return problems;
}

fs::path sourceDir()
{
    return ORVANA_SOURCE_DIR;
}

} // namespace

TEST(GuideExamples, EveryXmlExampleLoadsWithoutAWarning)
{
    std::vector<fs::path> pages;
    for (const auto& entry : fs::recursive_directory_iterator(sourceDir() / "docs"))
        if (entry.path().extension() == ".md")
            pages.push_back(entry.path());
    ASSERT_FALSE(pages.empty()) << "no guide in docs/";

    TempDir dir;
    std::set<std::string> kinds;
    int examples = 0;
    for (const fs::path& page : pages)
        for (const Example& example : xmlBlocks(page)) {
            ++examples;
            kinds.insert(rootTag(example.text));
            const std::string path = dir.write("example.xml", example.text);
            EXPECT_EQ(check(path, example.text), "") << example.where << "\n" << example.text;
        }
    EXPECT_GE(examples, 20);
    for (const auto& [root, reader] : readers())
        EXPECT_EQ(kinds.count(root), 1u) << "the guide shows no <" << root << "> file";
}

TEST(GuideExamples, SampleScenesLoadWithoutAWarning)
{
    int files = 0;
    for (const auto& folder : fs::directory_iterator(sourceDir() / "samples")) {
        if (!folder.is_directory())
            continue;
        std::set<std::string> kinds;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            if (entry.path().extension() != ".xml")
                continue;
            ++files;
            const std::string text = Testing::readFile(entry.path().string());
            kinds.insert(rootTag(text));
            EXPECT_EQ(check(entry.path().string(), text), "") << entry.path();
        }
        for (const char* root :
             {"configuration", "tracker", "video", "audio", "scene", "markers", "lighting"})
            EXPECT_EQ(kinds.count(root), 1u) << folder.path() << " has no <" << root << "> file";
    }
    EXPECT_GE(files, 7 * 7);
}
