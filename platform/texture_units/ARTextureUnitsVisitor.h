#pragma once

#include <map>
#include <string>
#include <vector>

#include <osg/NodeVisitor>

namespace Orvana
{

// Finds the texture units a subgraph uses. Each unit is reported (fatal severity) and recorded
// once, however many drawables share it.
class ARTextureUnitsVisitor : public osg::NodeVisitor
{
public:
    ARTextureUnitsVisitor();

    void apply(osg::Drawable& drawable) override;

    // Units in the order they were first found.
    const std::vector<unsigned int>& getUsedTextureUnits() const { return _usedUnitsList; }
    const std::map<unsigned int, bool>& getUsedTextureUnitsMap() const { return _usedUnits; }
    // Units whose texture environment is a combiner, each once.
    const std::vector<unsigned int>& getOpacityTextureUnits() const { return _opacityUnits; }

private:
    std::map<unsigned int, bool> _usedUnits;
    std::vector<unsigned int> _usedUnitsList;
    std::vector<unsigned int> _opacityUnits;
};

// Packs every drawable's textures, texture environments and texture coordinates down to the
// lowest units, keeping their order: units 1 and 4 become 0 and 1. Attributes and coordinates are
// packed independently. Drawables without a state set are left alone.
class ARTextureUnitsVisitorMover : public osg::NodeVisitor
{
public:
    ARTextureUnitsVisitorMover();

    void apply(osg::Drawable& drawable) override;
};

// The shader text with every built-in name of texture unit `from` (gl_TexCoord[n],
// gl_TextureMatrix[n], gl_MultiTexCoordn, gl_EyePlaneS[n] ... gl_EyePlaneQ[n]) renamed to unit `to`.
std::string replaceTextureUnit(const std::string& shader, unsigned int from, unsigned int to);

} // namespace Orvana
