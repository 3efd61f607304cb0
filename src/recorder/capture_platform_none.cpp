// A build without an audio backend: the platform's service is the one with no device.
#include "recorder/capture_service.h"

namespace tamberlyn {

const CaptureService& PlatformCaptureService() { return NoDeviceCaptureService(); }

}  // namespace tamberlyn
