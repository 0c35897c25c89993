#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <osg/Geode>
#include <osg/MatrixTransform>
#include <osg/Projection>
#include <osg/ShapeDrawable>
#include <osgViewer/Viewer>

#include "MarkerScene.h"
#include "TrackingFixtures.h"
#include "osgART/ARSceneNode.h"
#include "osgART/ARTTransform.h"
#include "osgART/Marker.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "osgART/VideoLayer.h"
#include "platform/marker_engine/Conventions.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;
namespace engine = Orvana::MarkerEngine;

namespace
{

const int W = 640;
const int H = 480;

struct ReadBack : public osg::Camera::DrawCallback {
    void operator()(osg::RenderInfo&) const override
    {
        image->readPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE);
    }
    osg::ref_ptr<osg::Image> image = new osg::Image;
};

osg::Vec3i pixelAt(const osg::Image* image, double x, double yDown)
{
    const unsigned char* p = image->data(static_cast<int>(x), H - 1 - static_cast<int>(yDown));
    return osg::Vec3i(p[0], p[1], p[2]);
}

} // namespace

// The video behind, a red box on the tracked marker in front: the window shows each where it
// belongs, for both texture modes.
TEST(Rendering, BoxOverTheMarkerAndVideoElsewhere)
{
    TempDir dir;
    osgART::GenericVideo* video = loadVideo();
    osgART::GenericTracker* tracker = loadTracker();
    ASSERT_TRUE(video && tracker);
    const cv::Mat marker = MarkerScene::drawMarker(3, 300);
    writeMarkerPattern(marker, dir.file("glyph3.patt"));
    const std::string patterns = dir.write("patterns.dat", "1\nglyph3\nglyph3.patt\n80\n0 0\n");
    const cv::Matx33d k = testCamera(W, H);
    const engine::Pose pose = MarkerScene::poseFor(k, 80.0, 160, {420, 180}, 20, 15);
    cv::Mat frame = MarkerScene::renderFrame(cv::Size(W, H), k, {{marker, 80.0, pose}}, 0.6, 0.0);
    // A blue band across the top of the picture shows which way up the video is drawn.
    frame(cv::Rect(0, 0, W, 40)).setTo(cv::Scalar(255, 0, 0));
    cv::imwrite(dir.file("frame.png"), frame);
    video->setFlip(false, true);
    ASSERT_TRUE(showStill(video, dir.file("frame.png")));

    osg::ref_ptr<osgART::ARSceneNode> scene = new osgART::ARSceneNode;
    ASSERT_TRUE(scene->connect(tracker, video, patterns, writeCameraFile(dir.path(), W, H)));
    ASSERT_EQ(tracker->getMarkerCount(), 1u);

    for (int mode : {osgART::VideoLayer::TEXTURE_2D, osgART::VideoLayer::TEXTURE_RECTANGLE}) {
        scene->removeChildren(0, scene->getNumChildren());
        osg::ref_ptr<osg::Projection> projection = new osg::Projection(tracker->getProjectionMatrix());
        osg::ref_ptr<osg::MatrixTransform> modelView = new osg::MatrixTransform;
        modelView->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
        projection->addChild(modelView.get());
        scene->addChild(projection.get());

        osg::ref_ptr<osgART::VideoLayer> layer = new osgART::VideoLayer(video, 1);
        layer->setTextureMode(mode);
        layer->init();
        layer->getOrCreateStateSet()->setRenderBinDetails(2, "RenderBin");
        modelView->addChild(layer.get());

        osg::ref_ptr<osgART::ARTTransform> transform = new osgART::ARTTransform(tracker->getMarker(0));
        osg::ref_ptr<osg::ShapeDrawable> box =
            new osg::ShapeDrawable(new osg::Box(osg::Vec3(0, 0, 20), 40.0f));
        box->setColor(osg::Vec4(1, 0, 0, 1));
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(box.get());
        geode->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
        geode->getOrCreateStateSet()->setRenderBinDetails(3, "RenderBin");
        transform->addChild(geode.get());
        modelView->addChild(transform.get());

        osgViewer::Viewer viewer;
        viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);
        viewer.setUpViewInWindow(0, 0, W, H);
        viewer.setSceneData(scene.get());
        viewer.getCamera()->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
        osg::ref_ptr<ReadBack> readBack = new ReadBack;
        viewer.getCamera()->setFinalDrawCallback(readBack.get());
        viewer.realize();
        ASSERT_TRUE(viewer.isRealized());
        for (int i = 0; i < 3; ++i)
            viewer.frame();
        ASSERT_TRUE(tracker->getMarker(0)->valid());

        const osg::Image* shot = readBack->image.get();
        ASSERT_EQ(shot->s(), W);
        const auto centre = MarkerScene::projectCorners(k, 80.0, pose);
        cv::Point2d middle = (centre[0] + centre[2]) * 0.5;
        osg::Vec3i onMarker = pixelAt(shot, middle.x, middle.y);
        EXPECT_GT(onMarker.x(), 200) << "mode " << mode;
        EXPECT_LT(onMarker.y(), 60);
        EXPECT_LT(onMarker.z(), 60);

        osg::Vec3i background = pixelAt(shot, 80, 400);
        const cv::Vec3b drawn = frame.at<cv::Vec3b>(400, 80);
        EXPECT_NEAR(background.x(), drawn[2], 12) << "mode " << mode;
        EXPECT_NEAR(background.y(), drawn[1], 12);
        EXPECT_NEAR(background.z(), drawn[0], 12);

        osg::Vec3i top = pixelAt(shot, 320, 10);
        EXPECT_GT(top.z(), 200) << "the blue band is at the top: the video is upright";
        EXPECT_LT(top.x(), 60);
    }
    video->close(true);
}
