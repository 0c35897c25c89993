#pragma once

#include <array>

#include <opencv2/core/types.hpp>

// Coordinate conventions of the square-marker engine, defined here once.
//
// Image: pixel (x, y) has its centre at the integer coordinates (x, y); x grows to the right,
// y grows downwards. Corner coordinates are continuous values in this frame.
//
// Detected square: corners c0..c3 go clockwise as seen in the image (y down). c0 is the corner
// nearest the square's topmost-leftmost pixel, so an upright square lists top-left, top-right,
// bottom-right, bottom-left.
//
// Pattern: its 16x16 grid is read row by row from its top-left corner. A match of direction d
// means the pattern's top-left corner is at the square's corner c[(4 - d) % 4] (the pattern
// appears turned by d quarter turns counter-clockwise).
//
// Marker frame: origin at the square's centre, x to the pattern's right, y to the pattern's top,
// z out of the printed sheet towards the viewer; millimetres. The pattern's corners are
// top-left (-w/2, w/2, 0), top-right (w/2, w/2, 0), bottom-right (w/2, -w/2, 0) and bottom-left
// (-w/2, -w/2, 0) for a square of width w.
//
// Camera frame: origin at the optical centre, x to the right, y down, z forward along the view
// (the image's axes). A pose maps marker points into this frame: p_camera = R * p_marker + t.
//
// OpenGL frame: x right, y up, z backwards. glModelView() turns a pose into that frame.
namespace Orvana::MarkerEngine
{

struct Pose;

// The pattern's corners in the marker frame, in the order top-left, top-right, bottom-right,
// bottom-left.
std::array<cv::Point3d, 4> markerCorners(double width);

// The index of the square corner that holds the pattern corner `patternCorner` (0 top-left,
// 1 top-right, 2 bottom-right, 3 bottom-left) when the match direction is `direction`.
inline int squareCornerIndex(int direction, int patternCorner)
{
    return (4 - direction + patternCorner) % 4;
}

// The pose as a 4x4 OpenGL model-view matrix, column-major (the memory layout of
// osg::Matrixd), with the camera looking down -z and y up.
std::array<double, 16> glModelView(const Pose& pose);

} // namespace Orvana::MarkerEngine
