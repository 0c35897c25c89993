#pragma once

namespace Orvana
{

// Whether sounds can play: false when no output device opens. Asked once per run; on failure one
// warning says that sounds are off, and the sound library's own error lines, which it would print
// for every call it cannot make, are silenced.
bool soundDeviceAvailable();

} // namespace Orvana
