// A build without an audio backend: the platform's service is the one with no device.
#include <cstdio>

#include "recorder/capture_service.h"

namespace tamberlyn {

const CaptureService& PlatformCaptureService() { return NoDeviceCaptureService(); }

bool LastCaptureFailure(CaptureFailure& out) {
    std::snprintf(out.step, sizeof out.step, "cannot open an audio input");
    std::snprintf(out.reason, sizeof out.reason, "this build has no audio backend");
    return true;
}

}  // namespace tamberlyn
