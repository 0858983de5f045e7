#pragma once

namespace glowmere::testing {

// This process's resident memory in kilobytes, or -1 when it cannot be read.
long residentKilobytes();

}  // namespace glowmere::testing
