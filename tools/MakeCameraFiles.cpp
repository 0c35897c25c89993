// Writes the camera parameter files the programs read at run time into the folder given as the
// only argument: the marker generator's stand-in camera and the player's demo cameras.
#include <cstdio>
#include <string>

#include "platform/marker_engine/CameraParameters.h"

using Orvana::MarkerEngine::CameraParameters;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATA_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    // A distortion-free camera with a 60 degree horizontal field of view; the marker generator
    // resizes it to each image, and the players' cameras are close to it.
    struct File {
        const char* name;
        int width;
        int height;
    };
    const File files[] = {{"camera_para_fake.dat", 640, 480},
                          {"camera_para.dat", 640, 480},
                          {"camera_para_4x3.dat", 640, 480},
                          {"camera_para_16x9.dat", 1280, 720}};
    for (const File& file : files) {
        const double focal = file.width / (2.0 * 0.57735026919); // width / (2 tan 30 degrees)
        const CameraParameters camera = CameraParameters::pinhole(
            file.width, file.height, focal, focal, (file.width - 1) / 2.0, (file.height - 1) / 2.0);
        std::string error;
        if (!Orvana::MarkerEngine::writeCameraParameters(folder + "/" + file.name, camera, 4, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
