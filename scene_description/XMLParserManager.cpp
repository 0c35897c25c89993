#include "scene_description/XMLParserManager.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <tinyxml.h>

namespace Orvana
{

namespace
{

// Returns the element nesting depth of an XML text, skipping comments, CDATA sections,
// declarations and quoted attribute values the way the parser does. Stops counting (returns a
// value above limit) as soon as limit is passed.
int nestingDepth(const std::string& text, int limit)
{
    int depth = 0;
    const size_t n = text.size();
    size_t i = 0;
    auto skipPast = [&](const char* terminator) {
        size_t found = text.find(terminator, i);
        i = found == std::string::npos ? n : found + std::strlen(terminator);
    };
    while (i < n) {
        if (text[i] != '<') {
            ++i;
            continue;
        }
        if (text.compare(i, 4, "<!--") == 0) {
            skipPast("-->");
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            skipPast("]]>");
        } else if (text.compare(i, 2, "<?") == 0) {
            skipPast("?>");
        } else if (text.compare(i, 2, "<!") == 0) {
            skipPast(">");
        } else if (text.compare(i, 2, "</") == 0) {
            if (depth > 0)
                --depth;
            skipPast(">");
        } else {
            char quote = 0;
            char previous = 0;
            ++i;
            while (i < n) {
                char c = text[i++];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
                previous = c;
            }
            if (previous != '/' && ++depth > limit)
                return depth;
        }
    }
    return depth;
}

bool readWholeFile(const std::string& path, std::string& content)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return false;
    content = buffer.str();
    return true;
}

// Line ends become "\n", as the parser's own file loading does, so CR LF files read the same.
std::string normaliseLineEnds(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

} // namespace

XMLParserManager::XMLParserManager(const std::string& path) : _path(path), _document(new TiXmlDocument) {}

XMLParserManager::~XMLParserManager() = default;

bool XMLParserManager::loadXMLFile()
{
    _document.reset(new TiXmlDocument(_path.c_str()));
    std::string content;
    bool loaded = readWholeFile(_path, content);
    if (loaded) {
        content = normaliseLineEnds(content);
        loaded = nestingDepth(content, maximumNestingDepth) <= maximumNestingDepth;
    }
    if (loaded) {
        // The parser steps over a UTF-8 sequence by its lead byte's length, up to four bytes, even
        // past the end of the text; zeros after the terminator keep every such step inside the buffer.
        content.append(8, '\0');
        _document->Parse(content.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
        loaded = !_document->Error();
    }
    if (!loaded) {
        _document.reset(new TiXmlDocument);
        fatal(" ERROR: could not load XML file: " + _path);
        return false;
    }
    notice(" XML file loaded: " + _path);
    return true;
}

const TiXmlElement* XMLParserManager::getRoot() const
{
    return _document->RootElement();
}

bool XMLParserManager::hasName(const TiXmlElement* element, const std::string& name)
{
    return element && element->ValueStr() == name;
}

std::string XMLParserManager::getAttribute(const TiXmlElement* element, const std::string& attribute)
{
    const std::string* value = element ? element->Attribute(attribute) : nullptr;
    return value ? *value : std::string();
}

bool XMLParserManager::hasAttribute(const TiXmlElement* element, const std::string& attribute)
{
    return element && element->Attribute(attribute) != nullptr;
}

std::string XMLParserManager::getText(const TiXmlElement* element)
{
    const char* text = element ? element->GetText() : nullptr;
    return text ? std::string(text) : std::string();
}

std::string XMLParserManager::getTagName(const TiXmlElement* element)
{
    return element ? element->ValueStr() : std::string();
}

const TiXmlElement* XMLParserManager::findChildByName(const TiXmlElement* parent, const std::string& tag)
{
    return parent ? parent->FirstChildElement(tag) : nullptr;
}

const TiXmlElement* XMLParserManager::findChildByAttribute(const TiXmlElement* parent,
                                                           const std::string& attribute,
                                                           const std::string& value)
{
    for (const TiXmlElement* child = firstChildElement(parent); child; child = child->NextSiblingElement()) {
        const std::string* found = child->Attribute(attribute);
        if (found && *found == value)
            return child;
    }
    return nullptr;
}

const TiXmlElement* XMLParserManager::firstChildElement(const TiXmlElement* parent)
{
    return parent ? parent->FirstChildElement() : nullptr;
}

const TiXmlElement* XMLParserManager::nextSiblingElement(const TiXmlElement* element)
{
    return element ? element->NextSiblingElement() : nullptr;
}

int XMLParserManager::countChildren(const TiXmlElement* parent)
{
    int count = 0;
    for (const TiXmlElement* child = firstChildElement(parent); child; child = child->NextSiblingElement())
        ++count;
    return count;
}

std::optional<std::string> XMLParserManager::readParameter(const TiXmlElement* parent, const std::string& key,
                                                           std::optional<osg::NotifySeverity> naSeverity)
{
    const TiXmlElement* parameter = findChildByAttribute(parent, "name", key);
    if (!parameter) {
        if (naSeverity)
            report(*naSeverity, " " + key + ": NA (using default).");
        return std::nullopt;
    }
    std::string text = getText(parameter);
    notice(" " + key + ": " + text);
    return text;
}

void XMLParserManager::notice(const std::string& line)
{
    report(osg::NOTICE, line);
}

void XMLParserManager::fatal(const std::string& line)
{
    report(osg::FATAL, line);
}

void XMLParserManager::report(osg::NotifySeverity severity, const std::string& line)
{
    osg::notify(severity) << line << std::endl;
}

} // namespace Orvana
