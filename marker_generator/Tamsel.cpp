#include <GL/freeglut.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <osg/ApplicationUsage>
#include <osg/ArgumentParser>
#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <osgDB/Registry>

#include "marker_generator/MarkerGenerator.h"

namespace Orvana
{

namespace
{

const char* const kDefaultMarkerName = "OrvanaGenericMarker";
const char* const kCopyright =
    "Tamsel, the Orvana(TM) Marker Creation utility. Copyright (C) the Orvana developers.";
constexpr int kPreviewSize = 256;
constexpr int kThumbSize = 128;

// The GLUT callbacks reach the generator through this pointer while the window is open.
MarkerGenerator* gGenerator = nullptr;
std::vector<unsigned char> gFlipped;

void quitLoop()
{
    if (gGenerator)
        gGenerator->close();
    glutLeaveMainLoop();
}

// The input image, upright, at its own size; rows are flipped once because OpenGL's origin is at
// the bottom left.
void drawImage()
{
    const int w = gGenerator->width(), h = gGenerator->height();
    const std::vector<unsigned char>& image = gGenerator->image();
    if (gFlipped.size() != image.size()) {
        gFlipped.resize(image.size());
        const std::size_t row = static_cast<std::size_t>(w) * 3;
        for (int y = 0; y < h; ++y)
            std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(y * row), row,
                        gFlipped.begin() + static_cast<std::ptrdiff_t>((h - 1 - y) * row));
    }
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w, 0.0, h, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.f, 0.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelZoom(1.f, 1.f);
    glRasterPos2i(0, 0);
    glDrawPixels(w, h, GL_BGR, GL_UNSIGNED_BYTE, gFlipped.data());
}

void display()
{
    drawImage();
    const int h = gGenerator->height();
    if (gGenerator->selected() < 0) {
        glColor3f(1.f, 0.f, 0.f);
        glRasterPos2i(2, 20);
        glutBitmapString(GLUT_BITMAP_HELVETICA_18,
                         reinterpret_cast<const unsigned char*>("No markers found."));
    } else {
        const std::vector<double> c = gGenerator->corners(gGenerator->selected());
        glColor3f(1.f, 0.f, 0.f);
        glLineWidth(2.f);
        glBegin(GL_LINES);
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t n = (k + 1) % 4;
            glVertex2d(c[2 * k] + 0.5, h - c[2 * k + 1] - 0.5);
            glVertex2d(c[2 * n] + 0.5, h - c[2 * n + 1] - 0.5);
        }
        glEnd();
    }
    glutSwapBuffers();
}

void keyboard(unsigned char key, int, int)
{
    switch (key) {
    case 27:
        quitLoop();
        break;
    case '-':
        gGenerator->selectPrevious();
        glutPostRedisplay();
        break;
    case '+':
        gGenerator->selectNext();
        glutPostRedisplay();
        break;
    default:
        break;
    }
}

void mouse(int button, int state, int, int)
{
    if (state != GLUT_DOWN)
        return;
    if (button == GLUT_RIGHT_BUTTON) {
        quitLoop();
    } else if (button == GLUT_LEFT_BUTTON && gGenerator->selected() >= 0) {
        if (gGenerator->savePattern()) {
            gGenerator->writeDescriptor(gGenerator->outputFile());
            // The frame buffer is read back with the image only, without the outline.
            drawImage();
            glFinish();
            glReadBuffer(GL_BACK);
            gGenerator->makeMarkerImage(gGenerator->names().previewPath, kPreviewSize);
            gGenerator->makeMarkerImage(gGenerator->names().thumbPath, kThumbSize);
        }
        quitLoop();
    }
}

bool isInputExtension(const std::string& path)
{
    const std::string ext = osgDB::getLowerCaseFileExtension(path);
    for (const char* allowed : {"jpg", "jpeg", "png", "bmp", "tif", "tiff", "tga"})
        if (ext == allowed)
            return true;
    return false;
}

struct TamselOptions {
    bool silent = false;
    std::string markerName;
    std::string input;
    std::string output;
};

void describeUsage(osg::ArgumentParser& arguments)
{
    osg::ApplicationUsage* usage = arguments.getApplicationUsage();
    const std::string program = arguments.getApplicationName();
    usage->setApplicationName(program);
    usage->setDescription(program + ": the Orvana(TM) Marker Creation utility.");
    usage->setCommandLineUsage(program + " [options] ...");
    usage->addCommandLineOption("-marker_name <marker_name>", "Specify the a symbolic name for the marker.");
    usage->addCommandLineOption("-input_file <input_filename>",
                                "Specify the imput image used to search for a marker.");
    usage->addCommandLineOption("-output_file <output_filename>",
                                "The output name of the marker data file (.arpattern).");
    usage->addCommandLineOption("-query (version|copyright)", "Display version or copyright information.");
    usage->addCommandLineOption("--silent", "Enable silent mode (no user interaction required).");
    usage->addCommandLineOption("-h or --help", "Display this information");
}

// Reads the command line into `options` and checks the files it names. Returns the exit status when
// the run ends here: help, a query, or a missing or unusable file name.
std::optional<int> parseOptions(osg::ArgumentParser& arguments, TamselOptions& options)
{
    if (arguments.read("-h") || arguments.read("--help")) {
        arguments.getApplicationUsage()->write(osg::notify(osg::FATAL),
                                               osg::ApplicationUsage::COMMAND_LINE_OPTION, 80);
        return 0;
    }

    if (arguments.find("-query") >= 0) {
        std::string query;
        bool given = false;
        while (arguments.read("-query", query))
            given = true;
        if (given && query == "version")
            osg::notify(osg::FATAL) << "Tamsel"
                                    << " v" << 2 << "." << 3 << " "
                                    << "PRO" << std::endl;
        else if (given && query == "copyright")
            osg::notify(osg::FATAL) << kCopyright << std::endl;
        else
            osg::notify(osg::FATAL) << " WARNING: wrong parameters." << std::endl;
        return 0;
    }

    bool& silent = options.silent;
    while (arguments.read("-silent") || arguments.read("--silent"))
        silent = true;
    osg::notify(osg::NOTICE) << (silent ? "Silent mode: ON" : "Silent mode: OFF") << std::endl;

    std::string& markerName = options.markerName;
    while (arguments.read("-marker_name", markerName)) {
    }
    if (markerName.empty()) {
        osg::notify(osg::FATAL) << "WARNING: marker name not valid. Using default marker name." << std::endl;
        markerName = kDefaultMarkerName;
    }
    osg::notify(osg::NOTICE) << " Using marker name: " << markerName << std::endl;

    std::string& input = options.input;
    bool hasInput = false;
    while (arguments.read("-input_file", input))
        hasInput = true;
    if (!hasInput) {
        osg::notify(osg::FATAL) << "ERROR: input file name missing. Please provide a valid input file."
                                << std::endl;
        return 0;
    }
    if (!isInputExtension(input)) {
        osg::notify(osg::FATAL) << "ERROR: input file name not valid. Please provide a valid input file."
                                << std::endl;
        return 0;
    }
    osg::notify(osg::NOTICE) << " Using input file: " << input << std::endl;

    std::string& output = options.output;
    bool hasOutput = false;
    while (arguments.read("-output_file", output))
        hasOutput = true;
    if (!hasOutput) {
        osg::notify(osg::FATAL) << "ERROR: ouput file name missing. Please provide a valid output file name."
                                << std::endl;
        return 0;
    }
    if (osgDB::getFileExtension(output) != "arpattern") {
        osg::notify(osg::FATAL)
            << "ERROR: output file name not valid. Please provide a .arpattern output file." << std::endl;
        return 0;
    }
    osg::notify(osg::NOTICE) << " Using output file: " << output << std::endl;

    std::error_code ec;
    if (!std::filesystem::exists(input, ec)) {
        osg::notify(osg::FATAL) << "ERROR: could not find input file." << std::endl;
        return 0;
    }
    const MarkerOutputNames names = MarkerOutputNames::from(output);
    // An output file without a folder goes to the current folder.
    if (!std::filesystem::is_directory(names.directory.empty() ? std::string(".") : names.directory, ec)) {
        osg::notify(osg::FATAL) << "ERROR: could not find output path." << std::endl;
        return 0;
    }
    osg::notify(osg::NOTICE) << " Output directory: " << names.directory << std::endl;
    osg::notify(osg::NOTICE) << " Output base name: " << names.baseName << std::endl;
    osg::notify(osg::NOTICE) << " Output marker name: " << names.patternName << std::endl;
    osg::notify(osg::NOTICE) << " Output base preview name: " << names.previewName << std::endl;
    osg::notify(osg::NOTICE) << " Output base thumb name: " << names.thumbName << std::endl;
    osg::notify(osg::NOTICE) << " Output marker path: " << names.patternPath << std::endl;
    osg::notify(osg::NOTICE) << " Output preview image path: " << names.previewPath << std::endl;
    osg::notify(osg::NOTICE) << " Output thumb image path: " << names.thumbPath << std::endl;
    return std::nullopt;
}

// Finds the marker in the input image and writes its files: at once when silent, else when the
// person picks it in the window. argc and argv are what is left of the command line.
int generate(const TamselOptions& options, int& argc, char** argv)
{
    const bool silent = options.silent;
    const std::string& output = options.output;
    if (!silent) {
        glutInit(&argc, argv);
        glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    }
    MarkerGenerator generator(options.input, output, options.markerName, silent);
    switch (generator.init()) {
    case MarkerGenerator::InitResult::Ok:
        break;
    case MarkerGenerator::InitResult::OutOfMemory:
        std::fputs("malloc error!!\n", stderr);
        return 1;
    case MarkerGenerator::InitResult::Failed:
        osg::notify(osg::FATAL) << (silent
                                        ? "ERROR: could not init the marker generator engine (silent mode)."
                                        : "ERROR: could not init the marker generator engine.")
                                << std::endl;
        return 0;
    }

    generator.detect();
    if (silent) {
        if (generator.selected() >= 0 && generator.savePattern())
            generator.writeDescriptor(output);
        generator.close();
        return 0;
    }

    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE);
    glutInitWindowSize(generator.width(), generator.height());
    glutInitWindowPosition(0, 0);
    glutCreateWindow("tamsel");
    gGenerator = &generator;
    glutDisplayFunc(display);
    glutKeyboardFunc(keyboard);
    glutMouseFunc(mouse);
    glutMainLoop();
    gGenerator = nullptr;
    gFlipped.clear();
    generator.close();
    return 0;
}

} // namespace

int runTamsel(int argc, char** argv)
{
    osgDB::FilePathList& plugins = osgDB::Registry::instance()->getLibraryFilePathList();
    plugins.push_front("osgplugins");

    osg::ArgumentParser arguments(&argc, argv);
    describeUsage(arguments);
    TamselOptions options;
    if (std::optional<int> status = parseOptions(arguments, options))
        return *status;
    return generate(options, argc, argv);
}

} // namespace Orvana
