#include <gtest/gtest.h>

#include <osg/ClipNode>
#include <osg/Geode>
#include <osg/ShapeDrawable>

#include "OffscreenRender.h"
#include "player/effects/ARCappingEffect.h"

namespace Orvana::Testing
{
namespace
{

constexpr int kSide = 64;

// A green box of side 2 round the origin with its top half clipped away, capped or not, seen from
// above: through the cut shows the box's inside.
osg::ref_ptr<osg::Image> cutBoxFromAbove(bool capped)
{
    osg::ref_ptr<osg::ShapeDrawable> box = new osg::ShapeDrawable(new osg::Box(osg::Vec3(), 2.0f));
    box->setColor(osg::Vec4(0, 1, 0, 1));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(box.get());
    osg::ref_ptr<osg::ClipNode> clip = new osg::ClipNode;
    clip->addClipPlane(new osg::ClipPlane(0, osg::Plane(0, 0, -1, 0)));
    if (capped) {
        osg::ref_ptr<ARCappingEffect> effect = new ARCappingEffect;
        effect->addChild(geode.get());
        clip->addChild(effect.get());
    } else {
        clip->addChild(geode.get());
    }
    return renderOffscreen(clip.get(), kSide, kSide, osg::Matrixd::ortho(-2, 2, -2, 2, 1, 20),
                           osg::Matrixd::lookAt(osg::Vec3d(0, 0, 10), osg::Vec3d(), osg::Vec3d(0, 1, 0)),
                           osg::Vec4(1, 1, 1, 1));
}

int redPixels(const osg::Image& picture)
{
    int count = 0;
    for (int y = 0; y < picture.t(); ++y)
        for (int x = 0; x < picture.s(); ++x) {
            const unsigned char* p = picture.data(x, y);
            if (p[0] > 200 && p[1] < 50 && p[2] < 50)
                ++count;
        }
    return count;
}

TEST(CappingRender, TheInsideOfACutModelShowsRedOnlyWithCapping)
{
    osg::ref_ptr<osg::Image> capped = cutBoxFromAbove(true);
    osg::ref_ptr<osg::Image> open = cutBoxFromAbove(false);
    ASSERT_TRUE(capped && open) << "no graphics context";
    // The box covers the middle half of the picture; its inside is a quarter of the pixels.
    EXPECT_GT(redPixels(*capped), kSide * kSide / 5);
    const unsigned char* centre = capped->data(kSide / 2, kSide / 2);
    EXPECT_GT(centre[0], 200);
    EXPECT_LT(centre[1], 50);
    EXPECT_EQ(redPixels(*open), 0) << "without capping the inside is not drawn red";
}

} // namespace
} // namespace Orvana::Testing
