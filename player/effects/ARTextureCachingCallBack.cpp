#include "player/effects/ARTextureCachingCallBack.h"

#include <osg/Notify>
#include <osgUtil/GLObjectsVisitor>

namespace Orvana
{

ARTextureCachingCallBack::ARTextureCachingCallBack(const std::vector<osg::Node*>& nodes)
    : _nodes(nodes.begin(), nodes.end())
{
}

ARTextureCachingCallBack::~ARTextureCachingCallBack() = default;

void ARTextureCachingCallBack::operator()(osg::RenderInfo& renderInfo) const
{
    if (_nodes.empty())
        return;
    osgUtil::GLObjectsVisitor compiler(osgUtil::GLObjectsVisitor::COMPILE_DISPLAY_LISTS |
                                       osgUtil::GLObjectsVisitor::COMPILE_STATE_ATTRIBUTES |
                                       osgUtil::GLObjectsVisitor::CHECK_BLACK_LISTED_MODES);
    compiler.setState(renderInfo.getState());
    for (const osg::observer_ptr<osg::Node>& observed : _nodes) {
        osg::ref_ptr<osg::Node> node;
        if (observed.lock(node))
            node->accept(compiler);
    }
    osg::notify(osg::NOTICE) << " Scene compiled!" << std::endl;

    osg::Camera* camera = renderInfo.getCurrentCamera();
    if (!camera) {
        osg::notify(osg::FATAL) << " No camera available!" << std::endl;
        return;
    }
    osg::notify(osg::NOTICE) << " Removing preRenderCallBack (pre)." << std::endl;
    if (camera->getPreDrawCallback() == this)
        camera->setPreDrawCallback(nullptr);
    osg::notify(osg::NOTICE) << " Removing preRenderCallBack (post)." << std::endl;
}

} // namespace Orvana
