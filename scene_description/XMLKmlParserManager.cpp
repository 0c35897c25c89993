#include "scene_description/XMLKmlParserManager.h"

#include <tinyxml.h>

namespace Orvana
{

bool XMLKmlParserManager::readSettings()
{
    notice("Reading KML data...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "kml")) {
        notice("WARNING: missing <kml> data.");
        return false;
    }
    const TiXmlElement* entry = firstChildElement(root);
    if (hasName(entry, "Folder")) {
        readFolder(entry);
    } else if (hasName(entry, "Document")) {
        readDocument(entry);
    } else if (hasName(entry, "Placemark")) {
        readPlacemark(entry);
    } else {
        notice("Reading KML data...(missing <Folder>, <Document> or <Placemark>).");
        return false;
    }
    notice("Reading KML data...done.");
    return true;
}

void XMLKmlParserManager::readFolder(const TiXmlElement* folder)
{
    notice("Reading KML data...(Folder)...");
    int placemarks = 0;
    for (const TiXmlElement* child = firstChildElement(folder); child; child = nextSiblingElement(child)) {
        if (hasName(child, "Folder")) {
            readFolder(child);
        } else if (hasName(child, "Placemark")) {
            readPlacemark(child);
            ++placemarks;
        }
    }
    notice(" Placemarks #: " + std::to_string(placemarks));
    notice("Reading KML data...(Folder)...done.");
}

void XMLKmlParserManager::readDocument(const TiXmlElement* document)
{
    notice("Reading KML data...(Document)...");
    int placemarks = 0;
    for (const TiXmlElement* child = firstChildElement(document); child; child = nextSiblingElement(child)) {
        if (hasName(child, "Placemark")) {
            readPlacemark(child);
            ++placemarks;
        }
    }
    notice(" Placemarks #: " + std::to_string(placemarks));
    notice("Reading KML data...(Document)...done.");
}

void XMLKmlParserManager::readPlacemark(const TiXmlElement* placemark)
{
    notice("Reading KML data...(Placemark)...");
    int models = 0;
    for (const TiXmlElement* child = firstChildElement(placemark); child; child = nextSiblingElement(child)) {
        if (hasName(child, "Model")) {
            readModel(child);
            ++models;
        }
    }
    notice(" Models #: " + std::to_string(models));
    notice("Reading KML data...(Placemark)...done.");
}

void XMLKmlParserManager::readModel(const TiXmlElement* element)
{
    notice("Reading KML data...(Model)...");
    KmlModelSettings model;
    const TiXmlElement* link = findChildByName(element, "Link");
    if (!link) {
        notice(" WARNING: missing Link...");
        notice("Reading KML data...(Model)...skipped.");
        return;
    }
    notice("Reading KML data...(Link)...");
    const TiXmlElement* href = findChildByName(link, "href");
    if (!href) {
        notice(" WARNING: missing href...");
        notice("Reading KML data...(Link)...skipped.");
        notice("Reading KML data...(Model)...skipped.");
        return;
    }
    model.href = getText(href);
    notice("Reading KML data...(Link)...done.");

    if (const TiXmlElement* resourceMap = findChildByName(element, "ResourceMap"))
        readResourceMap(resourceMap, model);
    else
        notice(" WARNING: missing ResourceMap...");

    _settings.push_back(std::move(model));
    notice("Reading KML data...(Model)...done.");
}

void XMLKmlParserManager::readResourceMap(const TiXmlElement* resourceMap, KmlModelSettings& model)
{
    notice("Reading KML data...(ResourceMap)...");
    int aliases = 0;
    for (const TiXmlElement* alias = firstChildElement(resourceMap); alias;
         alias = nextSiblingElement(alias)) {
        if (!hasName(alias, "Alias"))
            continue;
        ++aliases;
        notice("Reading KML data...(Alias)...");
        const TiXmlElement* target = findChildByName(alias, "targetHref");
        const TiXmlElement* source = findChildByName(alias, "sourceHref");
        if (!target || !source) {
            notice(!target ? " WARNING: missing targetHref..." : " WARNING: missing sourceHref...");
            notice("Reading KML data...(Alias)...skipped.");
            continue;
        }
        model.aliases[getText(target)] = getText(source);
        notice("Reading KML data...(Alias)...done.");
    }
    notice(" Alias #: " + std::to_string(aliases));
    notice("Reading KML data...(ResourceMap)...done.");
}

bool XMLKmlParserManager::checkSettings()
{
    if (_settings.empty())
        return false;
    for (const KmlModelSettings& model : _settings)
        if (model.href.empty())
            return false;
    return true;
}

} // namespace Orvana
