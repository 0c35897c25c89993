#pragma once

#include <string>

namespace Orvana
{

// The signature of a model file: HMAC-SHA256 of the file's bytes under the package key, in
// lower-case hex (64 characters). Empty when the file cannot be read.
std::string computeModelSignature(const std::string& path);

// The package key (see the README for its value); kept out of the binary's plain strings.
std::string modelSignatureKey();

} // namespace Orvana
