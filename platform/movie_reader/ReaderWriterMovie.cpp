#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <osgDB/FileUtils>
#include <osgDB/Registry>

#include "MovieImageStream.h"

namespace Orvana
{

// Registered for every movie extension; the build links osgdb_<ext>.so to this one module for
// each of them (see CMakeLists.txt), since the registry loads the module named after the
// extension it is asked for.
class ReaderWriterMovie : public osgDB::ReaderWriter
{
public:
    ReaderWriterMovie()
    {
        for (const char* extension :
             {"avi", "mp4", "mov", "mkv", "webm", "mpg", "mpeg", "ogv", "m4v", "wmv", "flv", "3gp"})
            supportsExtension(extension, "Movie file");
    }

    const char* className() const override { return "Orvana movie reader"; }

    ReadResult readImage(const std::string& file, const osgDB::Options* options) const override
    {
        if (!acceptsExtension(osgDB::getLowerCaseFileExtension(file)))
            return ReadResult::FILE_NOT_HANDLED;
        const std::string path = osgDB::findDataFile(file, options);
        if (path.empty()) {
            osg::notify(osg::FATAL) << " WARNING: movie reader: cannot find movie file: " << file
                                    << std::endl;
            return ReadResult::FILE_NOT_FOUND;
        }
        osg::ref_ptr<MovieImageStream> stream = new MovieImageStream;
        if (!stream->open(path))
            return ReadResult::ERROR_IN_READING_FILE;
        return stream.release();
    }
};

} // namespace Orvana

using Orvana::ReaderWriterMovie;
REGISTER_OSGPLUGIN(movie, ReaderWriterMovie)
