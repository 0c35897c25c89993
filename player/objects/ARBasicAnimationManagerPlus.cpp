#include "player/objects/ARBasicAnimationManagerPlus.h"

#include <osg/FrameStamp>
#include <osg/NodeVisitor>

namespace Orvana
{

ARBasicAnimationManagerPlus::ARBasicAnimationManagerPlus() : _pauseStart(osg::Timer::instance()->tick()) {}

ARBasicAnimationManagerPlus::ARBasicAnimationManagerPlus(const osgAnimation::AnimationManagerBase& other)
    : osgAnimation::BasicAnimationManager(other), _pauseStart(osg::Timer::instance()->tick())
{
}

double ARBasicAnimationManagerPlus::getAnimationTime(double simulationTime) const
{
    double time = simulationTime - _totalPausedTime;
    if (_paused)
        time -= osg::Timer::instance()->delta_s(_pauseStart, osg::Timer::instance()->tick());
    return time;
}

void ARBasicAnimationManagerPlus::operator()(osg::Node* node, osg::NodeVisitor* nv)
{
    if (nv && nv->getVisitorType() == osg::NodeVisitor::UPDATE_VISITOR && nv->getFrameStamp()) {
        if (needToLink())
            link(node);
        update(getAnimationTime(nv->getFrameStamp()->getSimulationTime()));
    }
    traverse(node, nv);
}

void ARBasicAnimationManagerPlus::setPaused(bool paused)
{
    if (paused == _paused)
        return;
    const osg::Timer_t now = osg::Timer::instance()->tick();
    if (paused)
        _pauseStart = now;
    else
        _totalPausedTime += osg::Timer::instance()->delta_s(_pauseStart, now);
    _paused = paused;
}

} // namespace Orvana
