// The capture service of a build without an audio backend: there is never a device to open.
#include "recorder/capture_service.h"

namespace tamberlyn {

namespace {

std::uint32_t Open(CaptureDevice*, std::uint32_t, const CaptureFormat*, CaptureCallback,
                   std::uintptr_t, std::uint32_t) {
    return kCaptureBadDeviceId;
}
std::uint32_t Buffer(CaptureDevice, CaptureBuffer*, std::uint32_t) { return kCaptureInvalidHandle; }
std::uint32_t Device(CaptureDevice) { return kCaptureInvalidHandle; }

constexpr CaptureService kNoService = {Open, Buffer, Buffer, Device, Device, Buffer, Device};

}  // namespace

const CaptureService& PlatformCaptureService() { return kNoService; }

}  // namespace tamberlyn
