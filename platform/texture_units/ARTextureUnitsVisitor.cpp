#include "platform/texture_units/ARTextureUnitsVisitor.h"

#include <algorithm>
#include <cctype>
#include <set>

#include <osg/Geometry>
#include <osg/Notify>
#include <osg/StateSet>
#include <osg/TexEnvCombine>
#include <osg/Texture2D>

namespace Orvana
{

namespace
{

// The fixed-function pipeline this code targets has eight texture units.
constexpr unsigned int unitCount = 8;

// The lowest member of units above unit, or unitCount when there is none.
unsigned int nextUnitAbove(const std::set<unsigned int>& units, unsigned int unit)
{
    auto found = units.upper_bound(unit);
    return found == units.end() ? unitCount : *found;
}

void moveTexture(osg::StateSet& stateSet, unsigned int from, unsigned int to)
{
    osg::ref_ptr<osg::Texture> texture =
        dynamic_cast<osg::Texture*>(stateSet.getTextureAttribute(from, osg::StateAttribute::TEXTURE));
    if (!texture)
        return;
    const GLenum target = texture->getTextureTarget();
    const osg::StateAttribute::GLModeValue mode = stateSet.getTextureMode(from, target);
    if (dynamic_cast<osg::Texture2D*>(texture.get())) {
        stateSet.setTextureAttributeAndModes(to, texture.get(), osg::StateAttribute::ON);
    } else {
        // Other texture kinds take their mode along, so that they stay drawn on their new unit.
        stateSet.setTextureAttribute(to, texture.get());
        if (mode != osg::StateAttribute::INHERIT)
            stateSet.setTextureMode(to, target, mode);
    }
    stateSet.removeTextureAttribute(from, texture.get());
}

void moveTexEnv(osg::StateSet& stateSet, unsigned int from, unsigned int to)
{
    osg::ref_ptr<osg::StateAttribute> environment =
        stateSet.getTextureAttribute(from, osg::StateAttribute::TEXENV);
    if (!environment)
        return;
    stateSet.setTextureAttribute(to, environment.get());
    stateSet.removeTextureAttribute(from, environment.get());
}

} // namespace

ARTextureUnitsVisitor::ARTextureUnitsVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void ARTextureUnitsVisitor::apply(osg::Drawable& drawable)
{
    const osg::StateSet* stateSet = drawable.getStateSet();
    if (stateSet) {
        for (unsigned int unit = 0; unit < unitCount; ++unit) {
            const osg::StateAttribute* attribute =
                stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXTURE);
            if (dynamic_cast<const osg::Texture*>(attribute) && !_usedUnits.count(unit)) {
                osg::notify(osg::FATAL)
                    << " Found TU: " << unit
                    << (dynamic_cast<const osg::Texture2D*>(attribute) ? " (Texture2D)" : "") << std::endl;
                _usedUnits[unit] = true;
                _usedUnitsList.push_back(unit);
            }
            if (dynamic_cast<const osg::TexEnvCombine*>(
                    stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXENV)) &&
                std::find(_opacityUnits.begin(), _opacityUnits.end(), unit) == _opacityUnits.end())
                _opacityUnits.push_back(unit);
        }
    }
    traverse(drawable);
}

ARTextureUnitsVisitorMover::ARTextureUnitsVisitorMover() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void ARTextureUnitsVisitorMover::apply(osg::Drawable& drawable)
{
    osg::StateSet* stateSet = drawable.getStateSet();
    if (!stateSet) {
        traverse(drawable);
        return;
    }
    osg::Geometry* geometry = drawable.asGeometry();

    std::set<unsigned int> attributeUnits;
    std::set<unsigned int> coordinateUnits;
    for (unsigned int unit = 0; unit < unitCount; ++unit) {
        if (stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXTURE) ||
            stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXENV))
            attributeUnits.insert(unit);
        if (geometry && geometry->getTexCoordArray(unit))
            coordinateUnits.insert(unit);
    }

    for (unsigned int unit = 0; unit + 1 < unitCount; ++unit) {
        if (geometry && !coordinateUnits.count(unit)) {
            const unsigned int from = nextUnitAbove(coordinateUnits, unit);
            if (from < unitCount) {
                geometry->setTexCoordArray(unit, geometry->getTexCoordArray(from));
                geometry->setTexCoordArray(from, nullptr);
                coordinateUnits.erase(from);
                coordinateUnits.insert(unit);
            }
        }
        if (!attributeUnits.count(unit)) {
            const unsigned int from = nextUnitAbove(attributeUnits, unit);
            if (from < unitCount) {
                moveTexture(*stateSet, from, unit);
                moveTexEnv(*stateSet, from, unit);
                attributeUnits.erase(from);
                attributeUnits.insert(unit);
            }
        }
    }
    traverse(drawable);
}

std::string replaceTextureUnit(const std::string& shader, unsigned int from, unsigned int to)
{
    if (from == to)
        return shader;
    static const std::pair<const char*, const char*> patterns[] = {
        {"gl_TexCoord[", "]"},  {"gl_TextureMatrix[", "]"}, {"gl_MultiTexCoord", ""}, {"gl_EyePlaneS[", "]"},
        {"gl_EyePlaneT[", "]"}, {"gl_EyePlaneR[", "]"},     {"gl_EyePlaneQ[", "]"}};
    std::string text = shader;
    for (const auto& [prefix, suffix] : patterns) {
        const std::string oldName = prefix + std::to_string(from) + suffix;
        const std::string newName = prefix + std::to_string(to) + suffix;
        const bool openEnded = *suffix == '\0';
        for (std::size_t at = text.find(oldName); at != std::string::npos; at = text.find(oldName, at)) {
            const std::size_t end = at + oldName.size();
            // gl_MultiTexCoord1 must not match the start of gl_MultiTexCoord12.
            if (openEnded && end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
                at = end;
                continue;
            }
            text.replace(at, oldName.size(), newName);
            at += newName.size();
        }
    }
    return text;
}

} // namespace Orvana
