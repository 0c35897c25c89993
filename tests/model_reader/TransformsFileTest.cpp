// A transforms file in FBX: the player finds the marker's reference system in it by node name.

#include <sstream>

#include <gtest/gtest.h>

#include <osg/MatrixTransform>

#include "ModelFiles.h"
#include "messages/Messages.h"
#include "osgART/Marker.h"
#include "player/app/ARApplication.h"
#include "player/objects/ARMarkerNode.h"
#include "scene_description/MarkersSettings.h"
#include "support/TestSupport.h"

namespace Orvana::Testing
{
namespace
{

// The axes fix the player applies to FBX transforms files: (x, y, z) to (x, z, -y).
const osg::Matrixd fbxFix(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);

// Where cubes_with_names.fbx puts its two top cubes (Lcl Scaling and Lcl Translation in the file).
osg::Matrixd cube2()
{
    return osg::Matrixd::scale(10, 10, 10) *
           osg::Matrixd::translate(-1.04023893373156, 0.998288783259251, -1.04375962988677);
}
osg::Matrixd cube3()
{
    return osg::Matrixd::scale(10, 10, 10) *
           osg::Matrixd::translate(-1.0671176743957, 0.998288783259251, 9.39023469168045);
}

void expectNear(const osg::Matrixd& actual, const osg::Matrixd& expected, const std::string& what)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_NEAR(actual(row, column), expected(row, column), 1e-5) << what << " " << row << column;
}

// A scene folder whose transforms file is the real FBX file, as "room.fbx".
struct Room {
    TempDir dir;
    std::string transforms;
    Room()
    {
        usePluginFolder();
        transforms = dir.write("room.fbx", readFile(assimpModel("FBX/cubes_with_names.fbx")));
    }
};

} // namespace

TEST(TransformsFile, SingleMarkerContentIsPlacedByTheNamedFbxNode)
{
    Room room;
    ARApplication application;
    application.setTemporaryDirectory(room.dir.path());
    MarkerSettings record;
    record.tag = "Cube3";
    record.transforms_file = room.transforms;
    osg::ref_ptr<osgART::Marker> marker = new osgART::Marker;
    MessageCapture capture;
    osg::ref_ptr<ARMarkerNode> node = new ARMarkerNode(marker.get(), 0, &record, 0, &application);
    EXPECT_FALSE(capture.contains(osg::FATAL, " WARNING: cannot load marker reference system file."));
    EXPECT_FALSE(capture.contains(
        osg::FATAL,
        " WARNING: cannot setup marker reference system (could not find marker tag in transforms file)."));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " WARNING: fixing for FBX reference system file."));
    expectNear(node->getContentTransform()->getMatrix(), osg::Matrixd::inverse(fbxFix * cube3()), "content");

    // A tag the file does not hold leaves only the axes fix.
    record.tag = "Cube9";
    capture.clear();
    osg::ref_ptr<ARMarkerNode> missing = new ARMarkerNode(marker.get(), 1, &record, 0, &application);
    EXPECT_TRUE(capture.contains(
        osg::FATAL,
        " WARNING: cannot setup marker reference system (could not find marker tag in transforms file)."));
    expectNear(missing->getContentTransform()->getMatrix(), osg::Matrixd::inverse(fbxFix), "missing tag");
}

TEST(TransformsFile, MultiMarkerSubmarkersArePlacedByTheNamedFbxNodes)
{
    Room room;
    room.dir.write("markers.xml",
                   "<markers patterns_file=\"p.dat\"><marker name=\"room\" id=\"2\" type=\"multi\" "
                   "path=\"room.dat\" transforms_file=\"room.fbx\"><submarkers>"
                   "<submarker tag=\"Cube2\" path=\"a.patt\" size=\"40\"/>"
                   "<submarker tag=\"Cube3\" path=\"b.patt\" size=\"40\"/>"
                   "</submarkers></marker></markers>");
    ARApplication application;
    application.setTemporaryDirectory(room.dir.path());
    ASSERT_TRUE(application.setMarkers("markers.xml"));
    application.getMarkersSettings()->markers[0].transforms_file = room.transforms;
    MessageCapture capture;
    ASSERT_TRUE(application.writeMultiMarkerFile(0));
    EXPECT_TRUE(
        capture.contains(osg::NOTICE, " WARNING: fixing for FBX reference system file (submarkers)."));

    // Each block: blank, "# submarker k", path, size, then the three axis columns of F x M.
    std::istringstream lines(readFile(room.dir.file("room.dat")));
    std::string line;
    for (int skip = 0; skip < 3; ++skip)
        std::getline(lines, line);
    EXPECT_EQ(line, "2");
    for (const osg::Matrixd& placement : {cube2(), cube3()}) {
        for (int skip = 0; skip < 4; ++skip)
            std::getline(lines, line);
        const osg::Matrixd expected = fbxFix * placement;
        for (int column = 0; column < 3; ++column) {
            double values[4] = {};
            lines >> values[0] >> values[1] >> values[2] >> values[3];
            for (int row = 0; row < 4; ++row)
                EXPECT_NEAR(values[row], expected(row, column), 1e-4)
                    << "column " << column << " row " << row;
        }
        std::getline(lines, line);
        std::getline(lines, line);
    }
    application.cleanup();
}

} // namespace Orvana::Testing
