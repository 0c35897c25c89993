// ARToolKit multi-marker files, read and used for a pose as the tracker uses them.
#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/Pose.h"

#include "FuzzSupport.h"

using namespace Orvana::MarkerEngine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = Orvana::Fuzz::writeInput("marker.dat", data, size);
    MultiMarker multi;
    std::string error;
    if (!readMultiMarkerFile(path, multi, error))
        return 0;

    static const CameraParameters camera = CameraParameters::pinhole(640, 480, 600.0, 600.0, 320.0, 240.0);
    std::vector<SubMarkerObservation> observations;
    for (int i = 0; i < static_cast<int>(multi.markers.size()) && i < 4; ++i) {
        SubMarkerObservation observation;
        observation.marker = i;
        const double x = 100.0 + 120.0 * i;
        observation.patternCorners = {{{x, 200.0}, {x + 80.0, 200.0}, {x + 80.0, 280.0}, {x, 280.0}}};
        observations.push_back(observation);
    }
    Pose pose;
    (void)estimateMultiPose(camera, multi, observations, pose);
    return 0;
}
