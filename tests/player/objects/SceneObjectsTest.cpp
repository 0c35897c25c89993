#include <gtest/gtest.h>

#include <filesystem>

#include <osg/Geode>
#include <osg/ShapeDrawable>
#include <osgDB/WriteFile>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "player/objects/ARObject.h"

namespace Orvana::Testing
{
namespace
{

std::string object(const std::string& attributes, const std::string& model, const std::string& body = "",
                   const std::string& markers = "<marker id=\"0\" layer=\"0\"/>")
{
    return "<object " + attributes + "><model " + model + "/>" + body + "<markers>" + markers +
           "</markers></object>";
}

TEST(SceneObjects, EntriesBecomeConfiguredObjectsOnTheirMarkers)
{
    ObjectStage stage;
    const TempDir& dir = stage.dir();
    std::filesystem::copy_file(testdata("osg/cow.osg"), dir.file("cow.osg"));
    std::filesystem::create_directories(dir.file("models"));
    std::filesystem::copy_file(testdata("osg/clock.osgt"), dir.file("models/clock.osgt"));
    dir.write("cow.txt", "The cow.\n");
    dir.write("cow_events.xml",
              "<events><event name=\"on_init\"><actions><action source=\"_self_\" target=\"hand\">"
              "<command>hide</command></action></actions></event></events>");
    ASSERT_TRUE(stage.loadScene(
        object("name=\"skipped\" type=\"ARObject\" ignore=\"true\"", "source=\"cow.osg\"") +
            object("name=\"cow\" type=\"ARObject\" is_occluder=\"true\"", "source=\"cow.osg\"",
                   "<properties><property name=\"loop\">false</property></properties>"
                   "<transforms><translation x=\"1\" y=\"2\" z=\"3\"/><scale x=\"2\" y=\"2\" z=\"2\"/>"
                   "<rotation axis=\"z\" angle=\"1.5707963\"/></transforms>"
                   "<description file=\"cow.txt\"/><events file=\"cow_events.xml\"/>") +
            object("name=\"hand\" type=\"ARObject\"", "source=\"\" object=\"Seconds\"") +
            object("name=\"lost\" type=\"ARObject\"", "source=\"nothing.osg\"") +
            object("name=\"far\" type=\"ARObject\"", "source=\"cow.osg\"", "",
                   "<marker id=\"5\" layer=\"0\"/>") +
            object("name=\"lamp\" type=\"ARLight\"", "source=\"\"") +
            object("name=\"film\" type=\"ARVideo\"", "source=\"\" video=\"film.avi\"") +
            object("name=\"odd\" type=\"Thing\"", "source=\"cow.osg\"") +
            object("name=\"mute\" type=\"ARAudio\"", "source=\"cow.osg\" audio=\"\""),
        "", "source=\"clock.osgt\" source_folder=\"models\""));

    MessageCapture capture;
    stage.app().initObjects();
    EXPECT_TRUE(capture.contains(osg::NOTICE, " WARNING: ignoring object."));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: cannot find model file: " + dir.file("nothing.osg")));
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: object/tracker marker mismatch."));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Object type ARLight."));
    // A light cut from a model without a light source stays a light without one.
    EXPECT_TRUE(capture.contains(osg::FATAL, "light source: NOT FOUND"));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Lighting set: OK..."));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Object type ARVideo."));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: Object type not supported. Skipping."));
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " Could not create an ARAudio object without a valid audio file name."));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Object is an occluder."));

    ASSERT_EQ(stage.app().getObjectsCount(), 3u) << "only cow, hand and the lamp reached their marker";
    ARObject* cow = stage.app().findObject("cow");
    ARObject* hand = stage.app().findObject("hand");
    ASSERT_TRUE(cow && hand);
    EXPECT_EQ(stage.app().findObject("far"), nullptr);
    EXPECT_EQ(cow->getApplication(), &stage.app());
    EXPECT_EQ(cow->getLayers(), std::vector<int>{0});
    EXPECT_TRUE(cow->isOccluder());
    EXPECT_EQ(cow->getDescription(), "The cow.\n");
    EXPECT_TRUE(cow->hasEvent("on_init"));
    const osg::Vec3d p = osg::Vec3d(1, 0, 0) * cow->getMatrix();
    EXPECT_NEAR(p.x(), 1.0, 1e-5);
    EXPECT_NEAR(p.y(), 4.0, 1e-5);
    EXPECT_NEAR(p.z(), 3.0, 1e-5);

    ASSERT_EQ(hand->getNumChildren(), 1u) << "cut out of the scene's own model";
    EXPECT_NE(findNode(hand, "Seconds"), nullptr);
    EXPECT_EQ(findNode(hand, "Minutes"), nullptr);
    EXPECT_EQ(stage.marker()->getObjects().size(), 3u);

    for (const auto& o : stage.app().getObjects())
        o->initActions();
    cow->onInit();
    EXPECT_TRUE(hand->isHidden()) << "actions resolve names against the created objects";
}

TEST(SceneObjects, FbxModelsTurnAQuarterUnlessUpperCaseOrYUp)
{
    for (const std::string& authoring : {std::string(""), std::string("cinema4d")}) {
        ObjectStage stage;
        stage.dir().write("a.fbx", "not a model");
        stage.dir().write("b.FBX", "not a model");
        ASSERT_TRUE(stage.loadScene(object("name=\"lower\" type=\"ARObject\"", "source=\"a.fbx\"") +
                                        object("name=\"upper\" type=\"ARObject\"", "source=\"b.FBX\""),
                                    authoring));
        stage.app().initObjects();
        ARObject* lower = stage.app().findObject("lower");
        ARObject* upper = stage.app().findObject("upper");
        ASSERT_TRUE(lower && upper) << "an unreadable model still gives an object";
        EXPECT_EQ(lower->getNumChildren(), 0u);
        const osg::Quat quarter(osg::PI_2, osg::Vec3d(1, 0, 0));
        const bool turned = (lower->getRotation() - quarter).length() < 1e-6;
        EXPECT_EQ(turned, authoring.empty());
        EXPECT_TRUE((upper->getRotation() - osg::Quat()).length() < 1e-6);
    }
}

// Hosts on Windows write their folders with backslashes; here they separate folders too, in the
// model, its folder, the scene's own model, the events and the description files alike.
TEST(SceneObjects, BackslashesInNamedFilesSeparateFolders)
{
    ObjectStage stage;
    const TempDir& dir = stage.dir();
    osg::ref_ptr<osg::Geode> box = new osg::Geode;
    box->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(), 10.0f)));
    box->setName("box");
    std::filesystem::create_directories(dir.file("models/parts"));
    ASSERT_TRUE(osgDB::writeNodeFile(*box, dir.file("models/box.osgt")));
    ASSERT_TRUE(osgDB::writeNodeFile(*box, dir.file("models/parts/piece.osgt")));
    ASSERT_TRUE(osgDB::writeNodeFile(*box, dir.file("models/whole.osgt")));
    dir.write("texts/box.txt", "A box.\n");
    dir.write("events/box.xml", "<events><event name=\"on_select\"><actions/></event></events>");
    ASSERT_TRUE(
        stage.loadScene(object("name=\"box\" type=\"ARObject\"", "source=\"models\\box.osgt\"",
                               "<description file=\"texts\\box.txt\"/><events file=\"events\\box.xml\"/>") +
                            object("name=\"piece\" type=\"ARObject\"",
                                   "source=\"piece.osgt\" source_folder=\"models\\parts\"") +
                            object("name=\"cut\" type=\"ARObject\"", "source=\"\" object=\"box\""),
                        "", "source=\"whole.osgt\" source_folder=\".\\models\""));

    MessageCapture capture;
    stage.app().initObjects();
    ASSERT_EQ(stage.app().getObjectsCount(), 3u) << "every model was found";
    for (const char* name : {"box", "piece", "cut"}) {
        ARObject* object = stage.app().findObject(name);
        ASSERT_NE(object, nullptr) << name;
        EXPECT_NE(findNode(object, "box"), nullptr) << name << " holds its model";
    }
    EXPECT_EQ(stage.app().findObject("box")->getDescription(), "A box.\n");
    EXPECT_TRUE(stage.app().findObject("box")->hasEvent("on_select"));
    for (const std::string& line : capture.texts())
        EXPECT_EQ(line.find("WARNING: cannot find"), std::string::npos) << line;
}

TEST(SceneObjects, MissingSceneDataCreatesNothing)
{
    ObjectStage stage;
    MessageCapture capture;
    stage.app().initObjects();
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: missing scene data."));
    EXPECT_EQ(stage.app().getObjectsCount(), 0u);

    ASSERT_TRUE(
        stage.loadScene(object("name=\"a\" type=\"ARObject\"", "source=\"\""), "", "source=\"absent.osg\""));
    capture.clear();
    stage.app().initObjects();
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " WARNING: cannot find scene file: " + stage.dir().file("absent.osg")));
    EXPECT_TRUE(capture.contains(
        osg::FATAL, " WARNING: neither a scene source file nor an object source file were specified."));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: Object not valid."));
    EXPECT_EQ(stage.app().getObjectsCount(), 0u);
}

} // namespace
} // namespace Orvana::Testing
