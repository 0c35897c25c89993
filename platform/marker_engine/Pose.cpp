#include "platform/marker_engine/Pose.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/Conventions.h"
#include "platform/marker_engine/FileContent.h"

namespace Orvana::MarkerEngine
{

namespace
{

Pose fromVectors(const cv::Mat& rvec, const cv::Mat& tvec)
{
    Pose pose;
    cv::Mat r;
    cv::Rodrigues(rvec, r);
    r.convertTo(r, CV_64F);
    pose.rotation = cv::Matx33d(r);
    pose.translation = cv::Vec3d(tvec.at<double>(0), tvec.at<double>(1), tvec.at<double>(2));
    return pose;
}

double rmsError(const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& image,
                const cv::Matx33d& k, const cv::Mat& rvec, const cv::Mat& tvec)
{
    std::vector<cv::Point2d> projected;
    cv::projectPoints(object, rvec, tvec, k, cv::noArray(), projected);
    double sum = 0.0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        const cv::Point2d d = projected[i] - image[i];
        sum += d.dot(d);
    }
    return std::sqrt(sum / static_cast<double>(image.size()));
}

cv::Matx33d rotationMatrix(const cv::Vec3d& r)
{
    const double angle = cv::norm(r);
    if (angle < 1e-12)
        return cv::Matx33d::eye();
    const cv::Vec3d a = r * (1.0 / angle);
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    return {t * a[0] * a[0] + c,        t * a[0] * a[1] - s * a[2], t * a[0] * a[2] + s * a[1],
            t * a[0] * a[1] + s * a[2], t * a[1] * a[1] + c,        t * a[1] * a[2] - s * a[0],
            t * a[0] * a[2] - s * a[1], t * a[1] * a[2] + s * a[0], t * a[2] * a[2] + c};
}

void projectAll(const std::vector<cv::Point3d>& object, const cv::Matx33d& k, const cv::Vec3d& r,
                const cv::Vec3d& t, std::vector<cv::Point2d>& out)
{
    const cv::Matx33d rotation = rotationMatrix(r);
    out.resize(object.size());
    for (std::size_t i = 0; i < object.size(); ++i) {
        const cv::Vec3d p = rotation * cv::Vec3d(object[i].x, object[i].y, object[i].z) + t;
        out[i] = {k(0, 0) * p[0] / p[2] + k(0, 1) * p[1] / p[2] + k(0, 2), k(1, 1) * p[1] / p[2] + k(1, 2)};
    }
}

double squaredError(const std::vector<cv::Point2d>& a, const std::vector<cv::Point2d>& b)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += (a[i] - b[i]).dot(a[i] - b[i]);
    return sum;
}

// Levenberg-Marquardt on the reprojection error over (rotation vector, translation), with a
// numeric Jacobian: a few corners make each step a matter of microseconds, far less than the
// general solver's set-up.
void refineLM(const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& image,
              const cv::Matx33d& k, cv::Mat& rvec, cv::Mat& tvec)
{
    cv::Vec6d x(rvec.at<double>(0), rvec.at<double>(1), rvec.at<double>(2), tvec.at<double>(0),
                tvec.at<double>(1), tvec.at<double>(2));
    const auto residuals = [&](const cv::Vec6d& v, std::vector<cv::Point2d>& projected) {
        projectAll(object, k, cv::Vec3d(v[0], v[1], v[2]), cv::Vec3d(v[3], v[4], v[5]), projected);
        return squaredError(projected, image);
    };
    std::vector<cv::Point2d> current, moved;
    double error = residuals(x, current);
    double lambda = 1e-3;
    const std::size_t n = image.size();
    cv::Mat jacobian(static_cast<int>(2 * n), 6, CV_64F);
    for (int iteration = 0; iteration < 30 && std::isfinite(error); ++iteration) {
        for (int j = 0; j < 6; ++j) {
            cv::Vec6d shifted = x;
            const double step = j < 3 ? 1e-7 : 1e-7 * std::max(1.0, std::abs(x[j]));
            shifted[j] += step;
            residuals(shifted, moved);
            for (std::size_t i = 0; i < n; ++i) {
                jacobian.at<double>(static_cast<int>(2 * i), j) = (moved[i].x - current[i].x) / step;
                jacobian.at<double>(static_cast<int>(2 * i + 1), j) = (moved[i].y - current[i].y) / step;
            }
        }
        cv::Matx66d jtj;
        cv::Vec6d jtr;
        for (int a = 0; a < 6; ++a) {
            for (int b = 0; b < 6; ++b) {
                double sum = 0.0;
                for (int i = 0; i < jacobian.rows; ++i)
                    sum += jacobian.at<double>(i, a) * jacobian.at<double>(i, b);
                jtj(a, b) = sum;
            }
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i)
                sum += jacobian.at<double>(static_cast<int>(2 * i), a) * (current[i].x - image[i].x) +
                       jacobian.at<double>(static_cast<int>(2 * i + 1), a) * (current[i].y - image[i].y);
            jtr[a] = sum;
        }
        bool improved = false;
        while (!improved && lambda < 1e8) {
            cv::Matx66d damped = jtj;
            for (int a = 0; a < 6; ++a)
                damped(a, a) += lambda * std::max(jtj(a, a), 1e-12);
            cv::Vec6d delta;
            if (!cv::solve(damped, -jtr, delta, cv::DECOMP_CHOLESKY))
                break;
            const cv::Vec6d candidate = x + delta;
            const double candidateError = residuals(candidate, moved);
            if (std::isfinite(candidateError) && candidateError < error) {
                const bool converged =
                    error - candidateError < 1e-12 * (1.0 + error) || cv::norm(delta) < 1e-12;
                x = candidate;
                error = candidateError;
                current.swap(moved);
                lambda = std::max(lambda * 0.1, 1e-9);
                improved = true;
                if (converged)
                    iteration = 30;
            } else {
                lambda *= 10.0;
            }
        }
        if (!improved)
            break;
    }
    for (int j = 0; j < 3; ++j) {
        rvec.at<double>(j) = x[j];
        tvec.at<double>(j) = x[j + 3];
    }
}

// Picks among refined candidate solutions (rvec, tvec, error).
struct Candidate {
    cv::Mat rvec;
    cv::Mat tvec;
    double error;
};

bool choose(const std::vector<Candidate>& candidates, const Pose* previous, double ambiguityRatio, Pose& out)
{
    if (candidates.empty())
        return false;
    std::size_t best = 0;
    for (std::size_t i = 1; i < candidates.size(); ++i)
        if (candidates[i].error < candidates[best].error)
            best = i;
    if (previous) {
        double nearest = 1e300;
        std::size_t nearestIndex = best;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const double angle =
                rotationAngle(fromVectors(candidates[i].rvec, candidates[i].tvec), *previous);
            if (angle < nearest) {
                nearest = angle;
                nearestIndex = i;
            }
        }
        if (candidates[nearestIndex].error <= ambiguityRatio * candidates[best].error + 1e-9)
            best = nearestIndex;
    }
    out = fromVectors(candidates[best].rvec, candidates[best].tvec);
    out.error = candidates[best].error;
    return std::isfinite(out.translation[2]) && out.translation[2] > 0.0;
}

std::vector<cv::Point2d> undistort(const CameraParameters& camera, const std::vector<cv::Point2d>& observed)
{
    std::vector<cv::Point2d> ideal;
    ideal.reserve(observed.size());
    for (const auto& p : observed)
        ideal.push_back(camera.observedToIdeal(p));
    return ideal;
}

void squareCandidates(const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& ideal,
                      const cv::Matx33d& k, double ambiguityRatio, std::vector<Candidate>& candidates)
{
    std::vector<cv::Mat> rvecs, tvecs;
    try {
        cv::solvePnPGeneric(object, ideal, k, cv::noArray(), rvecs, tvecs, false, cv::SOLVEPNP_IPPE_SQUARE);
    } catch (const cv::Exception&) {
        return;
    }
    std::vector<Candidate> found;
    double best = 1e300;
    for (std::size_t i = 0; i < rvecs.size(); ++i) {
        cv::Mat rvec, tvec;
        rvecs[i].convertTo(rvec, CV_64F);
        tvecs[i].convertTo(tvec, CV_64F);
        found.push_back({rvec, tvec, rmsError(object, ideal, k, rvec, tvec)});
        best = std::min(best, found.back().error);
    }
    // Only solutions that could win are refined: the clearly worse one of an unambiguous view
    // stays out.
    for (Candidate& candidate : found) {
        if (candidate.error > ambiguityRatio * best + 0.5)
            continue;
        refineLM(object, ideal, k, candidate.rvec, candidate.tvec);
        candidate.error = rmsError(object, ideal, k, candidate.rvec, candidate.tvec);
        candidates.push_back(candidate);
    }
    // IPPE breaks down for a square seen exactly head-on (both solutions meet); a general solver
    // covers that case.
    best = 1e300;
    for (const auto& candidate : candidates)
        best = std::min(best, candidate.error);
    if (best > 1.0) {
        cv::Mat rvec, tvec;
        try {
            if (!cv::solvePnP(object, ideal, k, cv::noArray(), rvec, tvec, false, cv::SOLVEPNP_SQPNP))
                return;
        } catch (const cv::Exception&) {
            return;
        }
        rvec.convertTo(rvec, CV_64F);
        tvec.convertTo(tvec, CV_64F);
        refineLM(object, ideal, k, rvec, tvec);
        candidates.push_back({rvec, tvec, rmsError(object, ideal, k, rvec, tvec)});
    }
}

} // namespace

cv::Matx34d Pose::matrix() const
{
    const cv::Matx33d& r = rotation;
    const cv::Vec3d& t = translation;
    return {r(0, 0), r(0, 1), r(0, 2), t[0],    r(1, 0), r(1, 1),
            r(1, 2), t[1],    r(2, 0), r(2, 1), r(2, 2), t[2]};
}

cv::Point3d Pose::apply(const cv::Point3d& p) const
{
    const cv::Vec3d v = rotation * cv::Vec3d(p.x, p.y, p.z) + translation;
    return {v[0], v[1], v[2]};
}

double rotationAngle(const Pose& a, const Pose& b)
{
    const cv::Matx33d relative = a.rotation.t() * b.rotation;
    const double c = std::clamp((cv::trace(relative) - 1.0) * 0.5, -1.0, 1.0);
    return std::acos(c) * 180.0 / CV_PI;
}

std::array<cv::Point3d, 4> markerCorners(double width)
{
    const double h = 0.5 * width;
    return {cv::Point3d(-h, h, 0.0), cv::Point3d(h, h, 0.0), cv::Point3d(h, -h, 0.0),
            cv::Point3d(-h, -h, 0.0)};
}

std::array<double, 16> glModelView(const Pose& pose)
{
    // The camera frame turned half a turn about x: y up, z backwards.
    std::array<double, 16> m{};
    for (int r = 0; r < 3; ++r) {
        const double sign = r == 0 ? 1.0 : -1.0;
        for (int c = 0; c < 3; ++c)
            m[c * 4 + r] = sign * pose.rotation(r, c);
        m[12 + r] = sign * pose.translation[r];
    }
    m[15] = 1.0;
    return m;
}

bool estimateSquarePose(const CameraParameters& camera, const std::array<cv::Point2d, 4>& patternCorners,
                        double width, Pose& out, const Pose* previous, double ambiguityRatio)
{
    if (!(width > 0.0) || camera.xsize <= 0)
        return false;
    const auto corners3d = markerCorners(width);
    const std::vector<cv::Point3d> object(corners3d.begin(), corners3d.end());
    const std::vector<cv::Point2d> ideal = undistort(camera, {patternCorners.begin(), patternCorners.end()});
    std::vector<Candidate> candidates;
    squareCandidates(object, ideal, camera.cameraMatrix(), ambiguityRatio, candidates);
    return choose(candidates, previous, ambiguityRatio, out);
}

bool readMultiMarkerFile(const std::string& path, MultiMarker& out, std::string& error)
{
    std::string content;
    if (!readFileContent(path, content)) {
        error = "cannot read multi-marker file \"" + path + "\"";
        return false;
    }
    std::istringstream file(content);
    // The meaningful lines, without comments and blank lines.
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const std::size_t last = line.find_last_not_of(" \t\r");
        lines.push_back(line.substr(first, last - first + 1));
    }
    const auto fail = [&](const std::string& why) {
        error = "multi-marker file \"" + path + "\": " + why;
        return false;
    };
    std::size_t at = 0;
    int count = 0;
    {
        std::istringstream in(at < lines.size() ? lines[at++] : std::string());
        if (!(in >> count) || count <= 0 || count > 1000)
            return fail("no valid number of markers");
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    MultiMarker multi;
    for (int i = 0; i < count; ++i) {
        if (at + 5 > lines.size())
            return fail("marker " + std::to_string(i + 1) + " is incomplete");
        SubMarker sub;
        const std::filesystem::path pattern(lines[at++]);
        sub.patternPath = pattern.is_absolute() ? pattern.string() : (folder / pattern).string();
        std::istringstream widthIn(lines[at++]);
        if (!(widthIn >> sub.width) || !(sub.width > 0.0))
            return fail("marker " + std::to_string(i + 1) + " has no valid width");
        for (int r = 0; r < 3; ++r) {
            std::istringstream row(lines[at++]);
            for (int c = 0; c < 4; ++c)
                if (!(row >> sub.transform(r, c)) || !std::isfinite(sub.transform(r, c)))
                    return fail("marker " + std::to_string(i + 1) + " has an invalid transformation");
        }
        multi.markers.push_back(sub);
    }
    out = multi;
    return true;
}

bool estimateMultiPose(const CameraParameters& camera, const MultiMarker& multi,
                       const std::vector<SubMarkerObservation>& observations, Pose& out, const Pose* previous,
                       double ambiguityRatio)
{
    std::vector<cv::Point3d> object;
    std::vector<cv::Point2d> observed;
    for (const auto& observation : observations) {
        if (observation.marker < 0 || observation.marker >= static_cast<int>(multi.markers.size()))
            continue;
        const SubMarker& sub = multi.markers[observation.marker];
        const Pose subPose{cv::Matx33d(sub.transform(0, 0), sub.transform(0, 1), sub.transform(0, 2),
                                       sub.transform(1, 0), sub.transform(1, 1), sub.transform(1, 2),
                                       sub.transform(2, 0), sub.transform(2, 1), sub.transform(2, 2)),
                           cv::Vec3d(sub.transform(0, 3), sub.transform(1, 3), sub.transform(2, 3))};
        for (const auto& corner : markerCorners(sub.width))
            object.push_back(subPose.apply(corner));
        observed.insert(observed.end(), observation.patternCorners.begin(), observation.patternCorners.end());
    }
    if (object.empty() || !(camera.xsize > 0))
        return false;
    const std::vector<cv::Point2d> ideal = undistort(camera, observed);
    const cv::Matx33d k = camera.cameraMatrix();

    // Starting points: the planar solutions of the whole (planar) sheet when it has enough
    // points, else those of the single square; each refined over every corner.
    std::vector<Candidate> candidates;
    std::vector<cv::Mat> rvecs, tvecs;
    try {
        cv::solvePnPGeneric(object, ideal, k, cv::noArray(), rvecs, tvecs, false,
                            object.size() == 4 ? cv::SOLVEPNP_IPPE : cv::SOLVEPNP_SQPNP);
        if (object.size() > 4) {
            std::vector<cv::Mat> planar, planarT;
            cv::solvePnPGeneric(object, ideal, k, cv::noArray(), planar, planarT, false, cv::SOLVEPNP_IPPE);
            rvecs.insert(rvecs.end(), planar.begin(), planar.end());
            tvecs.insert(tvecs.end(), planarT.begin(), planarT.end());
        }
    } catch (const cv::Exception&) {
        // Sub-markers off one plane do not suit IPPE; the other solutions stand.
    }
    for (std::size_t i = 0; i < rvecs.size(); ++i) {
        cv::Mat rvec, tvec;
        rvecs[i].convertTo(rvec, CV_64F);
        tvecs[i].convertTo(tvec, CV_64F);
        refineLM(object, ideal, k, rvec, tvec);
        candidates.push_back({rvec, tvec, rmsError(object, ideal, k, rvec, tvec)});
    }
    return choose(candidates, previous, ambiguityRatio, out);
}

} // namespace Orvana::MarkerEngine
