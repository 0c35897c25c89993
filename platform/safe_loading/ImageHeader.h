#pragma once

#include <string>

namespace Orvana
{

// The width and height a PNG, JPEG, BMP, TIFF or TGA file declares in its header, read without
// decoding the picture, so that a huge image can be refused before it costs memory. False when
// the file cannot be read or its header is not one of these.
bool readImageHeaderSize(const std::string& path, int& width, int& height);

} // namespace Orvana
