#pragma once

#include <vector>

#include <osg/Camera>
#include <osg/observer_ptr>

namespace Orvana
{

// Installed as a camera's pre-draw callback: at its first draw it compiles the display lists and
// textures of its nodes, so the first frames do not stall on them, and then uninstalls itself.
// With no nodes it does nothing and stays. The camera runs it on after the call returns, so whoever
// installs it keeps a reference of its own.
class ARTextureCachingCallBack : public osg::Camera::DrawCallback
{
public:
    explicit ARTextureCachingCallBack(const std::vector<osg::Node*>& nodes);

    void operator()(osg::RenderInfo& renderInfo) const override;

protected:
    ~ARTextureCachingCallBack() override;

private:
    std::vector<osg::observer_ptr<osg::Node>> _nodes;
};

} // namespace Orvana
