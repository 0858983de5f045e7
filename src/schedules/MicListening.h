#pragma once

namespace glowmere {

// What the schedule clock needs of the microphone listener: start and stop
// listening.
class MicListening {
public:
    virtual ~MicListening() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

}  // namespace glowmere
