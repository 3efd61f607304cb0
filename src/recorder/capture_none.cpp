// The capture service with no device: there is never one to open. It is the platform's service
// in a build without an audio backend, and the contract tests drive it everywhere.
#include "recorder/capture_service.h"

namespace tamberlyn {

namespace {

std::uint32_t Open(CaptureDevice*, std::uint32_t, const CaptureFormat*, CaptureCallback,
                   std::uintptr_t, std::uint32_t) {
    return kCaptureBadDeviceId;
}
std::uint32_t Buffer(CaptureDevice, CaptureBuffer*, std::uint32_t) { return kCaptureInvalidHandle; }
std::uint32_t Device(CaptureDevice) { return kCaptureInvalidHandle; }

constexpr CaptureService kNoService = {Open,   Buffer, Buffer, Device,
                                       Device, Buffer, Device, nullptr};

}  // namespace

const CaptureService& NoDeviceCaptureService() { return kNoService; }

}  // namespace tamberlyn
