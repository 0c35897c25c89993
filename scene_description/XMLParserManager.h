#pragma once

#include <memory>
#include <optional>
#include <string>

#include <osg/Notify>

class TiXmlDocument;
class TiXmlElement;

namespace Orvana
{

// Base of every description-file reader: owns the file's path and its parsed document, and offers
// the lookups and reporting that all readers share. A reader lives for one file: construct, load,
// read, check, copy the record out, destroy.
class XMLParserManager
{
public:
    explicit XMLParserManager(const std::string& path);
    virtual ~XMLParserManager();
    XMLParserManager(const XMLParserManager&) = delete;
    XMLParserManager& operator=(const XMLParserManager&) = delete;

    bool loadXMLFile();
    virtual bool readSettings() = 0;
    virtual bool checkSettings() = 0;

    const std::string& getPath() const { return _path; }

    // Files nested deeper than this are refused at load time: no description file comes near it,
    // and the XML parser recurses once per level.
    static constexpr int maximumNestingDepth = 1000;

protected:
    const TiXmlElement* getRoot() const;

    static bool hasName(const TiXmlElement* element, const std::string& name);
    static std::string getAttribute(const TiXmlElement* element, const std::string& attribute);
    static bool hasAttribute(const TiXmlElement* element, const std::string& attribute);
    static std::string getText(const TiXmlElement* element);
    static std::string getTagName(const TiXmlElement* element);
    static const TiXmlElement* findChildByName(const TiXmlElement* parent, const std::string& tag);
    static const TiXmlElement* findChildByAttribute(const TiXmlElement* parent, const std::string& attribute,
                                                    const std::string& value);
    static const TiXmlElement* firstChildElement(const TiXmlElement* parent);
    static const TiXmlElement* nextSiblingElement(const TiXmlElement* element);
    static int countChildren(const TiXmlElement* parent);

    // Looks up a named parameter of parent. When found, prints " key: text" at notice severity;
    // when absent, prints " key: NA (using default)." at naSeverity, or nothing when naSeverity is
    // empty.
    static std::optional<std::string> readParameter(const TiXmlElement* parent, const std::string& key,
                                                    std::optional<osg::NotifySeverity> naSeverity);

    static void notice(const std::string& line);
    static void fatal(const std::string& line);
    static void report(osg::NotifySeverity severity, const std::string& line);

private:
    std::string _path;
    std::unique_ptr<TiXmlDocument> _document;
};

// Readers that work on interaction files; they add nothing to the base.
class XMLInteractionsParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;
};

} // namespace Orvana
