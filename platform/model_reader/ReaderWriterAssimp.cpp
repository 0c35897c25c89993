#include <exception>
#include <new>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <osg/FrontFace>
#include <osg/MatrixTransform>
#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <osgDB/FileUtils>
#include <osgDB/Registry>

#include "SceneConverter.h"

namespace Orvana::ModelReader
{

namespace
{

int metadataInteger(const aiScene& scene, const char* key, int fallback)
{
    int32_t value = fallback;
    if (scene.mMetaData && scene.mMetaData->Get(key, value))
        return value;
    return fallback;
}

// The change from an FBX file's own axes to Y up, Z towards the viewer, X to the right: the
// file's right, up and front axes (with their signs) become the columns of the matrix. A file
// whose axes are not three distinct ones keeps its coordinates.
osg::Matrixd fbxAxes(const aiScene& scene)
{
    const int up = metadataInteger(scene, "UpAxis", 1);
    const int front = metadataInteger(scene, "FrontAxis", 2);
    const int right = metadataInteger(scene, "CoordAxis", 0);
    const double upSign = metadataInteger(scene, "UpAxisSign", 1) < 0 ? -1.0 : 1.0;
    const double frontSign = metadataInteger(scene, "FrontAxisSign", 1) < 0 ? -1.0 : 1.0;
    const double rightSign = metadataInteger(scene, "CoordAxisSign", 1) < 0 ? -1.0 : 1.0;
    auto valid = [](int axis) { return axis >= 0 && axis <= 2; };
    if (!valid(up) || !valid(front) || !valid(right) || up == front || up == right || front == right) {
        osg::notify(osg::WARN)
            << " WARNING: model reader: the file's axis settings are not valid (kept as they are)."
            << std::endl;
        return osg::Matrixd::identity();
    }
    osg::Matrixd axes(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);
    axes(right, 0) = rightSign;
    axes(up, 1) = upSign;
    axes(front, 2) = frontSign;
    return axes;
}

double determinant(const osg::Matrixd& m)
{
    return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
           m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
           m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
}

class ReaderWriterAssimp : public osgDB::ReaderWriter
{
public:
    ReaderWriterAssimp()
    {
        supportsExtension("fbx", "Autodesk FBX (binary and ASCII)");
        supportsExtension("gltf", "glTF (text)");
        supportsExtension("glb", "glTF (binary)");
    }

    const char* className() const override { return "Orvana model reader"; }

    ReadResult readNode(const std::string& file, const osgDB::Options* options) const override
    {
        const std::string extension = osgDB::getLowerCaseFileExtension(file);
        if (!acceptsExtension(extension))
            return ReadResult::FILE_NOT_HANDLED;
        const std::string path = osgDB::findDataFile(file, options);
        if (path.empty())
            return ReadResult::FILE_NOT_FOUND;
        // Neither the importer nor the conversion may throw out of a read: a bad file is a failed read.
        try {
            return readModel(path, extension, options);
        } catch (const std::bad_alloc&) {
            return failure(path, "out of memory");
        } catch (const std::exception& error) {
            return failure(path, error.what());
        } catch (...) {
            return failure(path, "unknown error");
        }
    }

private:
    static ReadResult failure(const std::string& path, const std::string& reason)
    {
        osg::notify(osg::WARN) << " WARNING: model reader: cannot load '" << path << "': " << reason
                               << std::endl;
        return ReadResult(reason);
    }

    static ReadResult readModel(const std::string& path, const std::string& extension,
                                const osgDB::Options* options)
    {
        Assimp::Importer importer;
        // Pivots folded into each node's matrix, so the nodes are those of the file, by name.
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
        const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_GenSmoothNormals |
                                                           aiProcess_ValidateDataStructure);
        if (!scene || !scene->mRootNode)
            return failure(path, importer.GetErrorString());

        const osg::Matrixd axes = extension == "fbx" ? fbxAxes(*scene) : osg::Matrixd::identity();
        SceneConverter converter(*scene, path, options);
        osg::ref_ptr<osg::Node> node = converter.convert(axes);
        if (!node)
            return failure(path, converter.error());
        // A change of handedness turns the faces' winding round.
        if (determinant(axes) < 0.0)
            node->getOrCreateStateSet()->setAttribute(new osg::FrontFace(osg::FrontFace::CLOCKWISE));
        return node.release();
    }
};

} // namespace

} // namespace Orvana::ModelReader

using Orvana::ModelReader::ReaderWriterAssimp;
REGISTER_OSGPLUGIN(assimp, ReaderWriterAssimp)
