#include "MaterialConverter.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include <assimp/GltfMaterial.h>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/texture.h>

#include <osg/AlphaFunc>
#include <osg/BlendFunc>
#include <osg/CullFace>
#include <osg/Image>
#include <osg/LightModel>
#include <osg/Material>
#include <osg/Notify>
#include <osg/StateSet>
#include <osg/Texture2D>
#include <osgDB/FileNameUtils>
#include <osgDB/FileUtils>
#include <osgDB/Registry>

#include "platform/safe_loading/SafeLoading.h"

namespace Orvana::ModelReader
{

namespace
{

// Fixed-function texture units the player and the exporter handle.
constexpr unsigned int textureUnits = 8;

osg::Vec4 toOsg(const aiColor4D& colour)
{
    return osg::Vec4(colour.r, colour.g, colour.b, colour.a);
}

bool readColour(const aiMaterial& material, const char* key, unsigned int type, unsigned int index,
                osg::Vec4& colour)
{
    aiColor4D value;
    if (material.Get(key, type, index, value) != AI_SUCCESS)
        return false;
    colour = toOsg(value);
    return true;
}

osg::Texture::WrapMode wrapMode(aiTextureMapMode mode)
{
    switch (mode) {
    case aiTextureMapMode_Clamp:
        return osg::Texture::CLAMP_TO_EDGE;
    case aiTextureMapMode_Mirror:
        return osg::Texture::MIRROR;
    case aiTextureMapMode_Decal:
        return osg::Texture::CLAMP_TO_BORDER;
    default:
        return osg::Texture::REPEAT;
    }
}

// Authoring tools on Windows write paths with backslashes; glTF writes URIs.
std::string normalisedReference(const std::string& reference)
{
    std::string path = reference;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.compare(0, 7, "file://") == 0)
        path.erase(0, 7);
    return path;
}

std::string percentDecoded(const std::string& text)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            decoded.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

bool isFile(const std::string& path)
{
    return !path.empty() && osgDB::fileType(path) == osgDB::REGULAR_FILE;
}

// The image format of compressed embedded data, from the importer's hint or the data's first bytes.
std::string embeddedFormat(const aiTexture& texture)
{
    std::string hint(texture.achFormatHint, strnlen(texture.achFormatHint, sizeof(texture.achFormatHint)));
    hint = osgDB::convertToLowerCase(hint);
    if (hint == "jpeg")
        hint = "jpg";
    if (!hint.empty() && osgDB::Registry::instance()->getReaderWriterForExtension(hint))
        return hint;
    const auto* bytes = reinterpret_cast<const unsigned char*>(texture.pcData);
    const unsigned int size = texture.mWidth;
    if (size >= 8 && std::memcmp(bytes, "\x89PNG", 4) == 0)
        return "png";
    if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return "jpg";
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return "bmp";
    return hint;
}

} // namespace

MaterialConverter::MaterialConverter(const aiScene& scene, const std::string& modelPath,
                                     const osgDB::Options* options)
    : _scene(scene), _modelFolder(osgDB::getFilePath(modelPath))
{
    _options = options ? static_cast<osgDB::Options*>(options->clone(osg::CopyOp::SHALLOW_COPY))
                       : new osgDB::Options;
    _options->getDatabasePathList().push_front(_modelFolder);
}

MaterialConverter::~MaterialConverter() = default;

osg::StateSet* MaterialConverter::stateSet(unsigned int index, bool vertexColours)
{
    if (index >= _scene.mNumMaterials || !_scene.mMaterials[index])
        return nullptr;
    osg::ref_ptr<osg::StateSet>& entry = _stateSets[{index, vertexColours}];
    if (!entry)
        entry = convert(*_scene.mMaterials[index], vertexColours);
    return entry.get();
}

osg::ref_ptr<osg::StateSet> MaterialConverter::convert(const aiMaterial& source, bool vertexColours)
{
    osg::ref_ptr<osg::StateSet> stateSet = new osg::StateSet;
    aiString name;
    if (source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS)
        stateSet->setName(name.C_Str());

    osg::ref_ptr<osg::Material> material = new osg::Material;
    osg::Vec4 colour;
    float opacity = 1.0f;
    source.Get(AI_MATKEY_OPACITY, opacity);
    opacity = std::clamp(opacity, 0.0f, 1.0f);

    osg::Vec4 diffuse(0.8f, 0.8f, 0.8f, 1.0f);
    readColour(source, AI_MATKEY_COLOR_DIFFUSE, diffuse);
    diffuse.a() *= opacity;
    material->setDiffuse(osg::Material::FRONT_AND_BACK, diffuse);
    if (readColour(source, AI_MATKEY_COLOR_AMBIENT, colour)) {
        colour.a() = diffuse.a();
        material->setAmbient(osg::Material::FRONT_AND_BACK, colour);
    }
    if (readColour(source, AI_MATKEY_COLOR_SPECULAR, colour)) {
        float strength = 1.0f;
        if (source.Get(AI_MATKEY_SHININESS_STRENGTH, strength) == AI_SUCCESS)
            colour =
                osg::Vec4(colour.r() * strength, colour.g() * strength, colour.b() * strength, colour.a());
        colour.a() = diffuse.a();
        material->setSpecular(osg::Material::FRONT_AND_BACK, colour);
    }
    if (readColour(source, AI_MATKEY_COLOR_EMISSIVE, colour)) {
        colour.a() = diffuse.a();
        material->setEmission(osg::Material::FRONT_AND_BACK, colour);
    }
    float shininess = 0.0f;
    if (source.Get(AI_MATKEY_SHININESS, shininess) == AI_SUCCESS)
        material->setShininess(osg::Material::FRONT_AND_BACK, std::clamp(shininess, 0.0f, 128.0f));
    if (vertexColours)
        material->setColorMode(osg::Material::AMBIENT_AND_DIFFUSE);
    stateSet->setAttributeAndModes(material.get(), osg::StateAttribute::ON);

    int shading = 0;
    if (source.Get(AI_MATKEY_SHADING_MODEL, shading) == AI_SUCCESS && shading == aiShadingMode_NoShading)
        stateSet->setMode(GL_LIGHTING, osg::StateAttribute::OFF);

    int twoSided = 0;
    if (source.Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS && twoSided) {
        osg::ref_ptr<osg::LightModel> lightModel = new osg::LightModel;
        // The viewer's own default ambient light, which this attribute replaces below the model.
        lightModel->setAmbientIntensity(osg::Vec4(0.1f, 0.1f, 0.1f, 1.0f));
        lightModel->setTwoSided(true);
        stateSet->setAttributeAndModes(lightModel.get(), osg::StateAttribute::ON);
        stateSet->setMode(GL_CULL_FACE, osg::StateAttribute::OFF);
    }

    aiString reference;
    aiTextureMapMode mapModes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
    unsigned int uvIndex = 0;
    if (source.GetTexture(aiTextureType_DIFFUSE, 0, &reference, nullptr, &uvIndex, nullptr, nullptr,
                          mapModes) == AI_SUCCESS &&
        uvIndex < textureUnits) {
        if (osg::Image* picture = image(reference.C_Str())) {
            osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(picture);
            texture->setWrap(osg::Texture::WRAP_S, wrapMode(mapModes[0]));
            texture->setWrap(osg::Texture::WRAP_T, wrapMode(mapModes[1]));
            texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR_MIPMAP_LINEAR);
            texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
            // Each texture reads the coordinate set of its own unit, so the unit is the set's index.
            stateSet->setTextureAttributeAndModes(uvIndex, texture.get(), osg::StateAttribute::ON);
        }
    }

    // glTF says how its alpha is meant; other formats give an opacity or an opacity map.
    aiString alphaMode;
    bool blend = false;
    if (source.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS) {
        const std::string mode = alphaMode.C_Str();
        blend = mode == "BLEND";
        if (mode == "MASK") {
            float cutoff = 0.5f;
            source.Get(AI_MATKEY_GLTF_ALPHACUTOFF, cutoff);
            stateSet->setAttributeAndModes(new osg::AlphaFunc(osg::AlphaFunc::GREATER, cutoff),
                                           osg::StateAttribute::ON);
        }
    } else {
        blend = diffuse.a() < 1.0f || source.GetTextureCount(aiTextureType_OPACITY) > 0;
    }
    if (blend) {
        stateSet->setAttributeAndModes(new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
                                       osg::StateAttribute::ON);
        stateSet->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    }
    return stateSet;
}

osg::Image* MaterialConverter::image(const std::string& reference)
{
    if (reference.empty())
        return nullptr;
    const auto known = _images.find(reference);
    if (known != _images.end())
        return known->second.get();

    osg::ref_ptr<osg::Image> picture;
    if (const aiTexture* embedded = _scene.GetEmbeddedTexture(reference.c_str()))
        picture = readEmbedded(*embedded, reference);
    else
        picture = readExternal(reference);
    if (!picture)
        osg::notify(osg::WARN) << " WARNING: model reader: cannot read texture '" << reference << "'."
                               << std::endl;
    _images[reference] = picture;
    return picture.get();
}

osg::ref_ptr<osg::Image> MaterialConverter::readEmbedded(const aiTexture& texture,
                                                         const std::string& reference) const
{
    if (!texture.pcData || texture.mWidth == 0)
        return nullptr;
    osg::ref_ptr<osg::Image> picture;
    if (texture.mHeight == 0) {
        // Compressed data (a PNG or JPEG file) of mWidth bytes.
        const std::string format = embeddedFormat(texture);
        osgDB::ReaderWriter* reader = osgDB::Registry::instance()->getReaderWriterForExtension(format);
        if (!reader)
            return nullptr;
        std::istringstream data(std::string(reinterpret_cast<const char*>(texture.pcData), texture.mWidth));
        osgDB::ReaderWriter::ReadResult result = reader->readImage(data, _options.get());
        picture = result.getImage();
    } else {
        // Plain texels, top row first, in the blue-green-red-alpha order of aiTexel.
        const unsigned int width = texture.mWidth;
        const unsigned int height = texture.mHeight;
        picture = new osg::Image;
        picture->allocateImage(static_cast<int>(width), static_cast<int>(height), 1, GL_RGBA,
                               GL_UNSIGNED_BYTE);
        for (unsigned int row = 0; row < height; ++row) {
            unsigned char* out = picture->data(0, static_cast<int>(height - 1 - row));
            const aiTexel* in = texture.pcData + static_cast<size_t>(row) * width;
            for (unsigned int x = 0; x < width; ++x, out += 4) {
                out[0] = in[x].r;
                out[1] = in[x].g;
                out[2] = in[x].b;
                out[3] = in[x].a;
            }
        }
    }
    // Embedded images have no file of their own: a name is kept for messages only.
    if (picture) {
        const std::string name = texture.mFilename.length > 0 ? texture.mFilename.C_Str() : reference;
        picture->setFileName(osgDB::getSimpleFileName(normalisedReference(name)));
    }
    return picture;
}

osg::ref_ptr<osg::Image> MaterialConverter::readExternal(const std::string& reference) const
{
    for (const std::string& path :
         {normalisedReference(reference), percentDecoded(normalisedReference(reference))}) {
        std::string found;
        if (osgDB::isAbsolutePath(path) && isFile(path))
            found = path;
        else if (!osgDB::isAbsolutePath(path) && isFile(osgDB::concatPaths(_modelFolder, path)))
            found = osgDB::concatPaths(_modelFolder, path);
        else if (isFile(osgDB::concatPaths(_modelFolder, osgDB::getSimpleFileName(path))))
            found = osgDB::concatPaths(_modelFolder, osgDB::getSimpleFileName(path));
        else
            found = osgDB::findDataFile(osgDB::getSimpleFileName(path), _options.get());
        if (found.empty())
            continue;
        if (osg::ref_ptr<osg::Image> picture = loadImageFile(found, _options.get()))
            return picture;
    }
    return nullptr;
}

} // namespace Orvana::ModelReader
