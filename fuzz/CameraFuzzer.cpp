// ARToolKit camera files: read, then used as the tracker and the camera tools use them (resized to
// the video, projection, undistortion, a square's pose) and written back in both versions.
#include <cmath>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/Pose.h"

#include "FuzzSupport.h"

using namespace Orvana::MarkerEngine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = Orvana::Fuzz::writeInput("camera_para.dat", data, size);
    CameraParameters params;
    std::string error;
    if (!readCameraParameters(path, params, error))
        return 0;

    const CameraParameters video = params.resized(640, 480);
    (void)video.glProjection(10.0, 100000.0);
    (void)video.observedToIdeal({320.0, 240.0});
    (void)video.idealToObserved({0.0, 0.0});
    const std::array<cv::Point2d, 4> corners{
        {{280.0, 200.0}, {360.0, 200.0}, {360.0, 280.0}, {280.0, 280.0}}};
    Pose pose;
    (void)estimateSquarePose(video, corners, 80.0, pose);

    const std::string written = Orvana::Fuzz::workFolder() + "/written.dat";
    CameraParameters back;
    for (int version : {4, 1}) {
        if (writeCameraParameters(written, params, version, error))
            (void)readCameraParameters(written, back, error);
    }
    return 0;
}
