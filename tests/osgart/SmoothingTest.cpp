#include <gtest/gtest.h>
#include <osg/ref_ptr>

#include "TrackingFixtures.h"
#include "osgART/Marker.h"
#include "osgART/TransformFilterCallback.h"

using namespace Orvana::Testing;

namespace
{

osg::Matrixd pose(double x, double angleDegrees)
{
    return osg::Matrixd::rotate(osg::DegreesToRadians(angleDegrees), osg::Vec3d(0, 0, 1)) *
           osg::Matrixd::translate(x, 10.0, -500.0);
}

} // namespace

TEST(Smoothing, FactorOneFollowsAndHalfConvergesGeometrically)
{
    osg::ref_ptr<osgART::TransformFilterCallback> filter = new osgART::TransformFilterCallback;
    filter->setTranslationalSmoothingFactor(1.0f);
    filter->setRotationalSmoothingFactor(1.0f);
    filter->filter(pose(0, 0));
    osg::Matrixd followed = filter->filter(pose(100, 40));
    EXPECT_NEAR(followed.getTrans().x(), 100.0, 1e-9);
    EXPECT_LT(rotationDifference(followed, pose(100, 40)), 1e-6);

    filter = new osgART::TransformFilterCallback;
    filter->setTranslationalSmoothingFactor(0.5f);
    filter->setRotationalSmoothingFactor(0.5f);
    filter->filter(pose(0, 0));
    double gap = 100.0;
    double angleGap = 40.0;
    for (int step = 0; step < 6; ++step) {
        osg::Matrixd smoothed = filter->filter(pose(100, 40));
        gap /= 2.0;
        angleGap /= 2.0;
        EXPECT_NEAR(100.0 - smoothed.getTrans().x(), gap, 1e-6) << "step " << step;
        EXPECT_NEAR(smoothed.getTrans().z(), -500.0, 1e-9);
        EXPECT_NEAR(rotationDifference(smoothed, pose(100, 40)), angleGap, 1e-3)
            << "rotations blend on the sphere";
    }
}

TEST(Smoothing, SwitchedOffGivesTheRawPoseAndALostMarkerStartsAfresh)
{
    osg::ref_ptr<osgART::Marker> marker = new osgART::Marker;
    osg::ref_ptr<osgART::TransformFilterCallback> filter = new osgART::TransformFilterCallback;
    filter->setTranslationalSmoothingFactor(0.2f);
    marker->setFilterCallback(filter.get());
    EXPECT_EQ(marker->getFilterCallback(), filter.get());

    marker->update(true, pose(0, 0));
    marker->update(true, pose(50, 0));
    EXPECT_NEAR(marker->getTransform().getTrans().x(), 10.0, 1e-5) << "a fifth of the way";

    filter->enableTranslationalSmoothing(false);
    filter->enableRotationalSmoothing(false);
    marker->update(true, pose(80, 30));
    EXPECT_EQ(marker->getTransform(), pose(80, 30));

    filter->enableTranslationalSmoothing(true);
    filter->enableRotationalSmoothing(true);
    marker->update(false, osg::Matrixd());
    EXPECT_FALSE(marker->valid());
    marker->update(true, pose(-60, 10));
    EXPECT_TRUE(marker->valid());
    EXPECT_NEAR(marker->getTransform().getTrans().x(), -60.0, 1e-9) << "no slide from where it was lost";

    marker->setFilterCallback(nullptr);
    marker->update(true, pose(5, 5));
    EXPECT_EQ(marker->getTransform(), pose(5, 5));
}
