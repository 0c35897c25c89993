// Model reader figures: load time of the three largest models of assimp-testmodels that the
// reader reads, through osgDB and the plug-in, against the Open Asset Import Library's own
// `assimp info` on the same files, and against the library's import alone with the plug-in's
// steps. Medians of 7 runs after one warm-up. Run from the build folder:
//   bench/model_reader_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include "ModelFiles.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr int runs = 7;

template <typename F> double medianMs(F run)
{
    run();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

osg::ref_ptr<osg::Node> readUncached(const std::string& path)
{
    osg::ref_ptr<osgDB::Options> options = new osgDB::Options;
    options->setObjectCacheHint(osgDB::Options::CACHE_NONE);
    return osgDB::readRefNodeFile(path, options.get());
}

// What `assimp info` reports as its import time, and the wall time of the whole command.
struct InfoRun {
    double importMs = -1.0;
    double wallMs = -1.0;
};

InfoRun assimpInfo(const std::string& path)
{
    InfoRun result;
    std::vector<double> imports;
    std::vector<double> walls;
    for (int i = 0; i <= runs; ++i) {
        const auto start = Clock::now();
        FILE* pipe = popen(("assimp info '" + path + "' 2>&1").c_str(), "r");
        if (!pipe)
            return result;
        char line[4096];
        double seconds = -1.0;
        while (std::fgets(line, sizeof(line), pipe))
            std::sscanf(line, "   import took approx. %lf seconds", &seconds);
        pclose(pipe);
        if (i == 0)
            continue; // warm-up
        walls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        imports.push_back(seconds * 1000.0);
    }
    std::sort(imports.begin(), imports.end());
    std::sort(walls.begin(), walls.end());
    result.importMs = imports[imports.size() / 2];
    result.wallMs = walls[walls.size() / 2];
    return result;
}

// Decoding the images embedded in the file, as the reader decodes them (the library's import
// leaves them compressed).
double decodeEmbeddedMs(const std::string& path)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    if (!scene || scene->mNumTextures == 0)
        return 0.0;
    return medianMs([&] {
        for (unsigned int t = 0; t < scene->mNumTextures; ++t) {
            const aiTexture* texture = scene->mTextures[t];
            osgDB::ReaderWriter* reader =
                osgDB::Registry::instance()->getReaderWriterForExtension(texture->achFormatHint);
            if (texture->mHeight != 0 || !reader)
                continue;
            std::istringstream data(
                std::string(reinterpret_cast<const char*>(texture->pcData), texture->mWidth));
            reader->readImage(data);
        }
    });
}

} // namespace

int main()
{
    Orvana::Testing::usePluginFolder();
    std::vector<std::pair<std::uintmax_t, std::string>> candidates;
    for (const auto& entry : fs::recursive_directory_iterator(Orvana::Testing::assimpModel(""))) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (entry.is_regular_file() && (extension == ".fbx" || extension == ".gltf" || extension == ".glb"))
            candidates.emplace_back(entry.file_size(), entry.path().string());
    }
    std::sort(candidates.rbegin(), candidates.rend());

    std::printf("%-48s %8s %8s %8s %8s %8s %8s %9s %9s\n", "model (KiB)", "plug-in", "import", "images",
                "convert", "info", "info run", "overhead", "w/o img");
    int measured = 0;
    for (const auto& candidate : candidates) {
        // Named references: a lambda may not capture a structured binding before C++20.
        const std::uintmax_t size = candidate.first;
        const std::string& path = candidate.second;
        if (measured == 3)
            break;
        if (!readUncached(path))
            continue; // files the library cannot read are not load-time figures
        ++measured;
        const double plugin = medianMs([&] { readUncached(path); });
        const double import = medianMs([&] {
            Assimp::Importer importer;
            importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
            importer.ReadFile(path, aiProcess_Triangulate | aiProcess_GenSmoothNormals |
                                        aiProcess_ValidateDataStructure);
        });
        const double images = decodeEmbeddedMs(path);
        const InfoRun info = assimpInfo(path);
        const std::string name =
            fs::path(path).filename().string() + " (" + std::to_string(size / 1024) + ")";
        std::printf("%-48s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.0f%% %8.0f%%\n", name.c_str(), plugin,
                    import, images, plugin - import - images, info.importMs, info.wallMs,
                    (plugin / info.importMs - 1.0) * 100.0,
                    ((plugin - images) / info.importMs - 1.0) * 100.0);
    }
    std::printf(
        "Milliseconds, medians of %d runs. plug-in: osgDB::readRefNodeFile through the reader; import:\n"
        "the library's import with the reader's steps; images: decoding the embedded images;\n"
        "convert: the rest of the plug-in's time; info / info run: the import time `assimp info`\n"
        "reports / the command's wall time; overhead: plug-in against info, then without images.\n",
        runs);
    return 0;
}
