#include <atomic>

#include "recorder/capture_service.h"

namespace tamberlyn {

namespace {

std::atomic<const CaptureService*> g_replacement{nullptr};

}  // namespace

const CaptureService& ActiveCaptureService() {
    const CaptureService* replacement = g_replacement.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : PlatformCaptureService();
}

void ReplaceCaptureServiceForTesting(const CaptureService* service) {
    g_replacement.store(service, std::memory_order_release);
}

}  // namespace tamberlyn
