#pragma once

#include <memory>
#include <string>

#include "messages/Messages.h"
#include "support/TestSupport.h"

namespace Orvana::Testing
{

// What one reader made of one file: the step results, a copy of its record taken after the reader
// was destroyed, and every message line.
template <typename Settings> struct ReadResult {
    bool loaded = false;
    bool read = false;
    bool valid = false;
    Settings settings;
    MessageLines lines;

    bool has(osg::NotifySeverity severity, const std::string& text) const
    {
        for (const MessageLine& line : lines)
            if (line.first == severity && line.second == text)
                return true;
        return false;
    }
    bool hasText(const std::string& text) const
    {
        for (const MessageLine& line : lines)
            if (line.second == text)
                return true;
        return false;
    }
};

// Runs a reader the way the programs do (construct, load, read, check) on the file at path.
template <typename Reader> auto readFile(const std::string& path)
{
    using Settings = std::decay_t<decltype(std::declval<Reader>().getSettings())>;
    ReadResult<Settings> result;
    MessageCapture capture;
    {
        auto reader = std::make_unique<Reader>(path);
        result.loaded = reader->loadXMLFile();
        if (result.loaded) {
            result.read = reader->readSettings();
            result.valid = reader->checkSettings();
        }
        result.settings = reader->getSettings();
    }
    result.lines = capture.lines();
    return result;
}

// The same on a file with this content.
template <typename Reader> auto readText(const std::string& xml)
{
    TempDir dir;
    return readFile<Reader>(dir.write("file.xml", xml));
}

} // namespace Orvana::Testing
