#pragma once

#include <utility>
#include <vector>

#include <osg/Geometry>
#include <osg/NodeVisitor>
#include <osg/Texture2D>

namespace Orvana::Testing
{

// Counts what a mobile model must not hold, and the sizes of its 2D texture images.
class ModelInspection : public osg::NodeVisitor
{
public:
    ModelInspection() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

    void apply(osg::Drawable& drawable) override
    {
        if (osg::Geometry* geometry = drawable.asGeometry()) {
            for (unsigned int i = 0; i < geometry->getNumPrimitiveSets(); ++i) {
                const osg::PrimitiveSet* set = geometry->getPrimitiveSet(i);
                if (set->getType() == osg::PrimitiveSet::DrawElementsUShortPrimitiveType)
                    ++shortIndexSets;
                else if (set->getDrawElements())
                    ++otherIndexSets;
                const GLenum mode = set->getMode();
                if (mode == GL_POINTS || mode == GL_LINES || mode == GL_LINE_STRIP || mode == GL_LINE_LOOP)
                    ++pointsOrLines;
            }
        }
        if (const osg::StateSet* stateSet = drawable.getStateSet())
            for (unsigned int unit = 0; unit < 8; ++unit)
                if (auto* texture = dynamic_cast<const osg::Texture2D*>(
                        stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXTURE)))
                    if (const osg::Image* image = texture->getImage())
                        textureSizes.emplace_back(image->s(), image->t());
        traverse(drawable);
    }

    int shortIndexSets = 0;
    int otherIndexSets = 0;
    int pointsOrLines = 0;
    std::vector<std::pair<int, int>> textureSizes;
};

} // namespace Orvana::Testing
