// Packaging time of quintar for a 200 MB input folder, beside the time the zip program takes to
// pack the same files (zip -j -q). Half of the bytes are text models that compress well, half are
// sounds and images that do not. Run from the build folder:
//   bench/exporter_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr std::size_t megabyte = std::size_t{1024} * 1024;

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A model in text form: lines of vertex coordinates.
void writeModel(const fs::path& path, std::size_t bytes, std::mt19937& random)
{
    std::ofstream out(path, std::ios::binary);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
    std::size_t written = 0;
    char line[96];
    while (written < bytes) {
        const int length = std::snprintf(line, sizeof(line), "      %.4f %.4f %.4f\n", coordinate(random),
                                         coordinate(random), coordinate(random));
        out.write(line, length);
        written += static_cast<std::size_t>(length);
    }
}

// Already compressed media: bytes without redundancy.
void writeMedia(const fs::path& path, std::size_t bytes, std::mt19937& random)
{
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint32_t> block(megabyte / 4);
    for (std::size_t written = 0; written < bytes; written += megabyte) {
        for (auto& word : block)
            word = random();
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(megabyte));
    }
}

double secondsOf(const std::string& command)
{
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    const fs::path root =
        fs::temp_directory_path() / ("quintar-bench-" + std::to_string(std::random_device()()));
    const fs::path input = root / "input";
    fs::create_directories(input);
    std::mt19937 random(42);

    std::vector<std::string> files;
    std::string objects;
    for (int i = 0; i < 4; ++i) {
        const std::string model = "model" + std::to_string(i) + ".osg";
        writeModel(input / model, 25 * megabyte, random);
        objects += "<object name=\"o" + std::to_string(i) + "\" type=\"ARObject\"><model source=\"" + model +
                   "\"/><markers><marker id=\"0\"/></markers></object>";
        files.push_back(model);
    }
    std::string soundtracks;
    for (int i = 0; i < 3; ++i) {
        const std::string sound = "sound" + std::to_string(i) + ".ogg";
        writeMedia(input / sound, 25 * megabyte, random);
        soundtracks += "<soundtrack name=\"s" + std::to_string(i) + "\" source=\"" + sound + "\"/>";
        files.push_back(sound);
    }
    writeMedia(input / "marker.png", 25 * megabyte, random);
    files.push_back("marker.png");

    writeText(input / "scene.xml", "<scene><objects>" + objects + "</objects></scene>");
    writeText(input / "audio.xml", "<audio><soundtracks>" + soundtracks + "</soundtracks></audio>");
    writeText(input / "markers.xml",
              "<markers patterns_file=\"patterns.dat\"><marker id=\"0\" path=\"hiro.patt\" "
              "image=\"marker.png\"/></markers>");
    writeText(input / "lighting.xml", "<lighting><parameters/></lighting>");
    writeText(input / "patterns.dat", "1\n");
    writeText(input / "hiro.patt", "0 0 0\n");
    for (const char* name :
         {"scene.xml", "audio.xml", "markers.xml", "lighting.xml", "patterns.dat", "hiro.patt"})
        files.push_back(name);

    std::uintmax_t total = 0;
    std::string list;
    for (const std::string& file : files) {
        total += fs::file_size(input / file);
        list += " " + quoted((input / file).string());
    }

    const std::string package = (root / "package.orvana").string();
    const std::string zipped = (root / "package.zip").string();
    const std::string quintar = quoted(QUINTAR_PATH) + " -input_dir " + quoted(input.string()) +
                                " -output_file " + quoted(package) + " > /dev/null";
    const std::string zip = "rm -f " + quoted(zipped) + " && zip -j -q " + quoted(zipped) + list;

    std::vector<double> quintarTimes;
    std::vector<double> zipTimes;
    for (int run = 0; run < 3; ++run) {
        quintarTimes.push_back(secondsOf(quintar));
        zipTimes.push_back(secondsOf(zip));
    }
    const double megabytes = static_cast<double>(total) / megabyte;
    const double quintarSeconds = median(quintarTimes);
    const double zipSeconds = median(zipTimes);
    std::printf("input: %.0f MB in %zu files (half text models, half media)\n", megabytes, files.size());
    std::printf("quintar (signatures + archive): %6.2f s  %6.1f MB/s  package %6.1f MB\n", quintarSeconds,
                megabytes / quintarSeconds, static_cast<double>(fs::file_size(package)) / megabyte);
    std::printf("zip -j -q (archive only):       %6.2f s  %6.1f MB/s  archive %6.1f MB\n", zipSeconds,
                megabytes / zipSeconds, static_cast<double>(fs::file_size(zipped)) / megabyte);
    std::printf("quintar / zip: %.2f\n", quintarSeconds / zipSeconds);

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
