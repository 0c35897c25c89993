#include "exporter/ModelConversion.h"

#include <algorithm>

#include <osg/BlendColor>
#include <osg/BlendFunc>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/MatrixTransform>
#include <osg/Notify>
#include <osg/PrimitiveSet>
#include <osg/Texture2D>
#include <osgDB/ReadFile>
#include <osgDB/Registry>
#include <osgDB/SharedStateManager>
#include <osgDB/WriteFile>
#include <osgUtil/Optimizer>

#include "platform/safe_loading/SafeLoading.h"
#include "platform/texture_units/ARTextureUnitsVisitor.h"

namespace Orvana
{

namespace
{

constexpr unsigned int textureUnitCount = 8;
constexpr double halfPi = 1.5707963;

void fixTransparency(osg::StateSet& stateSet)
{
    if (stateSet.getRenderingHint() != osg::StateSet::TRANSPARENT_BIN)
        return;
    osg::notify(osg::NOTICE) << " Fixing transparency..." << std::endl;
    stateSet.setAttributeAndModes(
        new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
        osg::StateAttribute::ON);
    stateSet.removeAttribute(osg::StateAttribute::BLENDCOLOR);
    stateSet.setMode(GL_BLEND, osg::StateAttribute::ON);
    stateSet.setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
}

// Replaces each 32-bit index set whose values all fit in 16 bits by a 16-bit set, appended after
// the geometry's other sets. Sets with larger values stay as they are: 16 bits cannot hold them.
void shortenIndices(osg::Geometry& geometry)
{
    std::vector<osg::ref_ptr<osg::PrimitiveSet>> replaced;
    std::vector<osg::ref_ptr<osg::PrimitiveSet>> added;
    for (unsigned int i = 0; i < geometry.getNumPrimitiveSets(); ++i) {
        osg::PrimitiveSet* set = geometry.getPrimitiveSet(i);
        switch (set->getType()) {
        case osg::PrimitiveSet::DrawElementsUBytePrimitiveType:
            osg::notify(osg::NOTICE) << " DrawElementsUBytePrimitiveType found." << std::endl;
            break;
        case osg::PrimitiveSet::DrawElementsUShortPrimitiveType:
            osg::notify(osg::NOTICE) << " DrawElementsUShortPrimitiveType found." << std::endl;
            break;
        case osg::PrimitiveSet::DrawElementsUIntPrimitiveType: {
            auto* elements = dynamic_cast<osg::DrawElementsUInt*>(set);
            if (!elements) {
                osg::notify(osg::NOTICE)
                    << " WARNING: type mismatch when converting DrawElementsUInt to DrawElementsUShort"
                    << std::endl;
                break;
            }
            const bool fits = std::all_of(elements->begin(), elements->end(),
                                          [](GLuint index) { return index <= 0xFFFFu; });
            if (!fits) {
                osg::notify(osg::FATAL)
                    << " WARNING: indices above 65535 kept as 32-bit indices in geometry '"
                    << geometry.getName() << "'." << std::endl;
                break;
            }
            osg::ref_ptr<osg::DrawElementsUShort> shortened = new osg::DrawElementsUShort(set->getMode());
            shortened->reserve(elements->size());
            for (GLuint index : *elements)
                shortened->push_back(static_cast<GLushort>(index));
            replaced.push_back(set);
            added.push_back(shortened);
            break;
        }
        default:
            osg::notify(osg::NOTICE) << " Not indexed primitive sets (do nothing)." << std::endl;
            break;
        }
    }
    for (const auto& set : replaced)
        geometry.removePrimitiveSet(geometry.getPrimitiveSetIndex(set.get()));
    for (const auto& set : added)
        geometry.addPrimitiveSet(set.get());
}

bool isLineMode(GLenum mode)
{
    return mode == GL_LINES || mode == GL_LINE_LOOP || mode == GL_LINE_STRIP || mode == GL_LINES_ADJACENCY ||
           mode == GL_LINE_STRIP_ADJACENCY;
}

} // namespace

ARGeometryVisitorFixerIOS::ARGeometryVisitorFixerIOS() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void ARGeometryVisitorFixerIOS::apply(osg::Drawable& drawable)
{
    if (osg::Geometry* geometry = drawable.asGeometry()) {
        fixTransparency(*geometry->getOrCreateStateSet());
        shortenIndices(*geometry);
    }
    traverse(drawable);
}

ARGeometryOptimizerVisitor::ARGeometryOptimizerVisitor(bool removeLines)
    : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _removeLines(removeLines)
{
}

void ARGeometryOptimizerVisitor::apply(osg::Drawable& drawable)
{
    if (osg::Geometry* geometry = drawable.asGeometry()) {
        for (unsigned int i = geometry->getNumPrimitiveSets(); i-- > 0;) {
            const GLenum mode = geometry->getPrimitiveSet(i)->getMode();
            if (mode == GL_POINTS || (_removeLines && isLineMode(mode))) {
                geometry->removePrimitiveSet(i);
                ++_removed;
            }
        }
    }
    traverse(drawable);
}

ARTexturesCompressorVisitor::ARTexturesCompressorVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void ARTexturesCompressorVisitor::apply(osg::Drawable& drawable)
{
    if (osg::StateSet* stateSet = drawable.getStateSet()) {
        for (unsigned int unit = 0; unit < textureUnitCount; ++unit) {
            auto* texture = dynamic_cast<osg::Texture2D*>(
                stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXTURE));
            osg::Image* image = texture ? texture->getImage() : nullptr;
            if (!image)
                continue;
            const int width = std::min(osg::Image::computeNearestPowerOfTwo(image->s(), 0.5f), maximumSize);
            const int height = std::min(osg::Image::computeNearestPowerOfTwo(image->t(), 0.5f), maximumSize);
            if (width != image->s() || height != image->t())
                image->scaleImage(width, height, image->r());
            texture->setResizeNonPowerOfTwoHint(true);
        }
    }
    traverse(drawable);
}

ARUserDataContainerRemover::ARUserDataContainerRemover() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

void ARUserDataContainerRemover::apply(osg::Node& node)
{
    node.setUserDataContainer(nullptr);
    traverse(node);
}

ARNodeSearchByNameVisitor::ARNodeSearchByNameVisitor(const std::string& name)
    : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _name(name)
{
}

void ARNodeSearchByNameVisitor::apply(osg::Node& node)
{
    if (node.getName() == _name)
        _found.push_back(&node);
    traverse(node);
}

bool convertModel(const std::string& source, const std::string& target, bool fbx)
{
    osg::ref_ptr<osg::MatrixTransform> root = new osg::MatrixTransform;
    if (fbx)
        root->setMatrix(osg::Matrixd::rotate(halfPi, osg::Vec3d(1.0, 0.0, 0.0)));
    root->dirtyBound();

    osgDB::Registry* registry = osgDB::Registry::instance();
    osg::ref_ptr<osg::Node> model = loadModelFile(source, registry->getOptions());
    if (!model) {
        osg::notify(osg::FATAL) << " ERROR: could not load source file for conversion." << std::endl;
        return false;
    }
    root->addChild(model.get());

    osg::notify(osg::NOTICE) << " Optimizing..." << std::endl;
    auto step = [](int number) { osg::notify(osg::NOTICE) << " Step " << number << " of 7" << std::endl; };

    step(1);
    ARGeometryVisitorFixerIOS fixer;
    root->accept(fixer);

    step(2);
    osgUtil::Optimizer optimizer;
    optimizer.optimize(root.get(),
                       osgUtil::Optimizer::SHARE_DUPLICATE_STATE | osgUtil::Optimizer::MERGE_GEOMETRY |
                           osgUtil::Optimizer::OPTIMIZE_TEXTURE_SETTINGS | osgUtil::Optimizer::MERGE_GEODES);

    // Step 3 has no pass of its own; it is announced so that the step numbers stay as users know them.
    step(3);

    step(4);
    ARGeometryOptimizerVisitor geometryOptimizer(true);
    root->accept(geometryOptimizer);
    osg::notify(osg::NOTICE) << " Removed:" << geometryOptimizer.getRemovedCount() << std::endl;

    step(5);
    ARTexturesCompressorVisitor compressor;
    root->accept(compressor);

    step(6);
    ARTextureUnitsVisitorMover mover;
    root->accept(mover);

    step(7);
    registry->getOrCreateSharedStateManager()->share(root.get());

    osg::notify(osg::NOTICE) << " Optimizing...Done." << std::endl;
    ARUserDataContainerRemover remover;
    root->accept(remover);

    if (!osgDB::writeNodeFile(*root, target, registry->getOptions())) {
        osg::notify(osg::FATAL) << "ERROR: could not write converted file." << std::endl;
        return false;
    }
    return true;
}

} // namespace Orvana
