// The capture service over alsa-lib. DEVICE_ANY opens the PCM "default". A capture thread per
// open device fills the queued buffer and notifies on that thread when it is full.
//
// The PCM is non-blocking and the thread polls its descriptors together with an eventfd that
// start, stop and close signal: some plugins never wake a reader blocked inside alsa-lib when
// another thread drops the stream, and some never return -EAGAIN. Only the capture thread reads
// from the PCM; the caller's thread touches it only while the thread is parked (not started).
//
// A device that fails for good (the sound server went away, a USB microphone was unplugged) is
// closed by the capture thread, which opens "default" again about once a second until it
// succeeds or capture is stopped; the queued buffer goes on filling from where it was, so the
// gap is simply missing from the recording.
// alsa/error.h declares snd_lib_error_set_local outside its extern "C" block.
extern "C" {
#include <alsa/asoundlib.h>
}
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "recorder/capture_service.h"

namespace tamberlyn {

namespace {

constexpr unsigned kRingMicroseconds = 4000000;  // audio keeps arriving while a notice runs
constexpr unsigned kPeriodMicroseconds = 100000;
constexpr int kMaxPollFds = 8;
constexpr int kReopenMilliseconds = 1000;
constexpr int kIdleMilliseconds = 10;
// Errors with no frame in between for this long mean the device is gone, even where each one
// seemed to recover.
constexpr std::int64_t kLostAfterMilliseconds = 2000;
// No frames for this long, with no error either (a sound server that froze), is a lost input
// too; before the first frames a server may take its time to start a stream.
constexpr std::int64_t kStalledAfterMilliseconds = 2500;
constexpr std::int64_t kFirstFramesWithinMilliseconds = 6000;
constexpr int kWatchMilliseconds = 500;
// How often a suspended device is asked to resume.
constexpr int kResumeMilliseconds = 100;
// The most a stop waits for what the device holds to be read.
constexpr int kDrainSeconds = 1;
// A capture thread that went round no sooner than this was held, not waiting on the device.
constexpr std::int64_t kHeldAfterMilliseconds = 1000;

struct AlsaDevice {
    bool open;
    snd_pcm_t* pcm;
    int wake_fd;
    pthread_t thread;
    CaptureCallback callback;
    std::uintptr_t instance;
    CaptureFormat format;          // for opening the device again
    char name[128];                // the PCM's name
    int last_error;                // the last ALSA error, for a developer in a debugger
    std::int64_t last_frames_ms;   // when frames last arrived (capture thread only)
    std::int64_t started_ms;       // when capture last started
    bool frames_seen;              // since it started
    std::int64_t empty_wait_ms;    // waits in a row that found no frames, in all
    std::int64_t last_pass_ms;     // when the capture thread last went round
    bool lost;                     // MSG_INPUT_LOST was told, MSG_INPUT_BACK not yet
    snd_pcm_sframes_t drain_left;  // frames the device held when the drain began; -1 before
    std::int64_t newest_frame_ms;  // when the newest frame read was captured; 0 before any

    pthread_mutex_t lock;
    pthread_cond_t changed;
    // Guarded by `lock`.
    CaptureBuffer* queued;
    bool started;
    bool closing;
    bool parked;    // the thread waits and holds no PCM call in progress
    bool draining;  // stop waits while the thread takes in what the device holds
};

// The inputs asked for by name: DEVICE_ANY (and 0) is "default", kNamedDevice + i is names[i].
constexpr std::uint32_t kNamedDevice = 0x100;
constexpr int kMaxNames = 16;
char g_names[kMaxNames][128];
int g_name_count = 0;
pthread_mutex_t g_names_lock = PTHREAD_MUTEX_INITIALIZER;

// One device at a time, as the recorder needs; no allocation of our own.
AlsaDevice g_device = {false,
                       nullptr,
                       -1,
                       {},
                       nullptr,
                       0,
                       {},
                       "default",
                       0,
                       0,
                       0,
                       false,
                       0,
                       0,
                       false,
                       -1,
                       0,
                       PTHREAD_MUTEX_INITIALIZER,
                       PTHREAD_COND_INITIALIZER,
                       nullptr,
                       false,
                       false,
                       false,
                       false};

// alsa-lib prints its errors on standard error unless told otherwise; a library in someone
// else's process stays silent. The handler is per thread, so the host's own ALSA use keeps its.
void DiscardAlsaError(const char*, int, const char*, int, const char*, va_list) {}

struct QuietAlsa {
    snd_local_error_handler_t previous = snd_lib_error_set_local(DiscardAlsaError);
    ~QuietAlsa() { snd_lib_error_set_local(previous); }
    QuietAlsa() = default;
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;
};

// The last failed step and alsa-lib's reason, for the program's messages.
CaptureFailure g_failure;
bool g_failed = false;

void Failed(const char* step, int err) {
    std::snprintf(g_failure.step, sizeof g_failure.step, "%s", step);
    std::snprintf(g_failure.reason, sizeof g_failure.reason, "%s",
                  err < 0 ? snd_strerror(err) : std::strerror(err));
    g_failed = true;
}

AlsaDevice* FromHandle(CaptureDevice handle) {
    return handle == &g_device && g_device.open ? &g_device : nullptr;
}

void Wake(AlsaDevice& d) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(d.wake_fd, &one, sizeof one);
}

void DrainWake(AlsaDevice& d) {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(d.wake_fd, &count, sizeof count);
}

int Configure(snd_pcm_t* pcm, const CaptureFormat& format) {
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    int err = snd_pcm_hw_params_any(pcm, hw);
    if (err >= 0) err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err >= 0) err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE);
    if (err >= 0) err = snd_pcm_hw_params_set_channels(pcm, hw, format.channels);
    if (err >= 0) err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    if (err >= 0) err = snd_pcm_hw_params_set_rate(pcm, hw, format.samples_per_second, 0);
    unsigned ring = kRingMicroseconds, period = kPeriodMicroseconds;
    if (err >= 0) err = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &ring, nullptr);
    if (err >= 0) err = snd_pcm_hw_params_set_period_time_near(pcm, hw, &period, nullptr);
    if (err >= 0) err = snd_pcm_hw_params(pcm, hw);
    return err;
}

std::int64_t NowMilliseconds() {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A lost-or-back notice, on the capture thread, outside the lock.
void Tell(AlsaDevice& d, std::uint32_t message, std::int64_t at) {
    const auto when = static_cast<std::uint64_t>(at);
    d.callback(&d, message, d.instance, static_cast<std::uintptr_t>(when & 0xFFFFFFFFu),
               static_cast<std::uintptr_t>(when >> 32));
}

void LoseInput(AlsaDevice& d) {
    if (d.lost) return;
    d.lost = true;
    Tell(d, MSG_INPUT_LOST, d.last_frames_ms);
}

// Frames arrived: note when, and say the input is back if it was lost.
void FramesArrived(AlsaDevice& d) {
    d.last_frames_ms = NowMilliseconds();
    d.empty_wait_ms = 0;
    d.frames_seen = true;
    if (!d.lost) return;
    d.lost = false;
    Tell(d, MSG_INPUT_BACK, d.last_frames_ms);
}

// When the newest frame read was captured: now, less what the device holds beyond it.
void NoteNewestFrame(AlsaDevice& d) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(d.pcm, &delay) < 0 || delay < 0) delay = 0;
    d.newest_frame_ms =
        NowMilliseconds() - static_cast<std::int64_t>(delay) * 1000 /
                                static_cast<std::int64_t>(d.format.samples_per_second);
}

// Capture began again at `restart_ms` after a loss: everything the device captured after the
// newest frame read, up to then, is gone for good (the frames it held unread went with it).
void TellGap(AlsaDevice& d, std::int64_t restart_ms) {
    const std::int64_t since = d.newest_frame_ms != 0 ? d.newest_frame_ms : d.started_ms;
    if (restart_ms > since) {
        d.callback(&d, MSG_INPUT_GAP, d.instance, static_cast<std::uintptr_t>(restart_ms - since),
                   0);
    }
    d.newest_frame_ms = restart_ms;
}

// No frames, and no error either, for longer than a device pauses: a frozen sound server.
// Counted in the time of our own waits that found nothing, not on the clock: when this process
// itself was stopped, the frames are waiting for it when it goes on, and nothing was lost.
void WatchForStall(AlsaDevice& d, int waited_ms) {
    d.empty_wait_ms += waited_ms;
    const bool stalled = d.frames_seen ? d.empty_wait_ms >= kStalledAfterMilliseconds
                                       : d.empty_wait_ms >= kFirstFramesWithinMilliseconds;
    if (stalled) LoseInput(d);
}

// Opens the input `name` for the format; the PCM is prepared but not started. On failure
// `step` says which step failed.
int OpenPcm(const char* name, const CaptureFormat& format, snd_pcm_t*& pcm,
            char (*step)[192] = nullptr) {
    pcm = nullptr;
    int err = snd_pcm_open(&pcm, name, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) {
        if (step != nullptr)
            std::snprintf(*step, sizeof *step, "cannot open the input '%.127s'", name);
        return err;
    }
    err = Configure(pcm, format);
    if (err < 0) {
        if (step != nullptr) {
            std::snprintf(*step, sizeof *step, "cannot set up the input '%.127s' for 16-bit PCM",
                          name);
        }
        snd_pcm_close(pcm);
        pcm = nullptr;
    }
    return err;
}

// Sleeps up to `ms` or until start, stop or close signal. False once capture should end.
bool Pause(AlsaDevice& d, int ms) {
    pollfd wake = {d.wake_fd, POLLIN, 0};
    if (::poll(&wake, 1, ms) > 0) DrainWake(d);
    pthread_mutex_lock(&d.lock);
    const bool go_on = d.started && !d.closing;
    pthread_mutex_unlock(&d.lock);
    return go_on;
}

// The device is gone: closes it and opens it again about once a second until that succeeds or
// capture ends. Runs on the capture thread, which alone uses the PCM while capture runs; the
// pointer changes under the lock, so that stop and close see either a PCM or none.
void Reopen(AlsaDevice& d) {
    LoseInput(d);
    pthread_mutex_lock(&d.lock);
    snd_pcm_t* gone = d.pcm;
    d.pcm = nullptr;
    pthread_mutex_unlock(&d.lock);
    if (gone != nullptr) snd_pcm_close(gone);
    while (Pause(d, kReopenMilliseconds)) {
        snd_pcm_t* pcm = nullptr;
        int err = OpenPcm(d.name, d.format, pcm);
        if (err >= 0) err = snd_pcm_start(pcm);
        if (err < 0) {
            d.last_error = err;
            if (pcm != nullptr) snd_pcm_close(pcm);
            continue;
        }
        TellGap(d, NowMilliseconds());
        pthread_mutex_lock(&d.lock);
        d.pcm = pcm;
        pthread_mutex_unlock(&d.lock);
        return;
    }
}

// Waits until the PCM has frames or the eventfd fires. False when woken (flags may have changed).
bool WaitForFrames(AlsaDevice& d) {
    pollfd fds[kMaxPollFds + 1];
    int n = snd_pcm_poll_descriptors(d.pcm, fds, kMaxPollFds);
    if (n < 0) n = 0;
    fds[n] = {d.wake_fd, POLLIN, 0};
    const int ready = ::poll(fds, static_cast<nfds_t>(n + 1), kWatchMilliseconds);
    if (ready < 0) return false;
    if (ready == 0) {
        WatchForStall(d, kWatchMilliseconds);
        return true;
    }
    if (fds[n].revents & POLLIN) {
        DrainWake(d);
        return false;
    }
    unsigned short revents = 0;
    snd_pcm_poll_descriptors_revents(d.pcm, fds, static_cast<unsigned>(n), &revents);
    if (!(revents & (POLLIN | POLLERR))) {
        // Some plugins (pulse, while its stream starts) keep their descriptor readable with no
        // frames behind it: wait a little instead of spinning on it.
        pollfd wake = {d.wake_fd, POLLIN, 0};
        if (::poll(&wake, 1, kIdleMilliseconds) > 0) DrainWake(d);
        WatchForStall(d, kIdleMilliseconds);
    }
    return true;  // readable, or an error state that the next read reports
}

// A suspended device: resumed where it can be, without a wait that a stop cannot end.
int Resume(AlsaDevice& d) {
    int err;
    while ((err = snd_pcm_resume(d.pcm)) == -EAGAIN) {
        if (!Pause(d, kResumeMilliseconds)) return -EINTR;  // stopped meanwhile
    }
    if (err < 0) err = snd_pcm_prepare(d.pcm);  // no resume here: start it afresh
    return err;
}

void Recover(AlsaDevice& d, int err) {
    d.last_error = err;
    const bool overrun = err == -EPIPE;
    int result = err == -ESTRPIPE ? Resume(d) : snd_pcm_recover(d.pcm, err, 1);
    if (result == -EINTR) return;  // stopped while it was suspended: start resumes it
    // A resumed stream runs already; one prepared again waits to be started.
    if (result >= 0 && snd_pcm_state(d.pcm) != SND_PCM_STATE_RUNNING) {
        result = snd_pcm_start(d.pcm);
    }
    if (result >= 0 && NowMilliseconds() - d.last_frames_ms < kLostAfterMilliseconds) {
        // The device dropped what it held unread at an overrun, and what came meanwhile.
        if (overrun) TellGap(d, NowMilliseconds());
        Pause(d, 10);  // go on, without spinning on a repeated error
        return;
    }
    Reopen(d);
}

// The drain is over: the stop goes on, and wakes this thread when it has.
void EndDrain(AlsaDevice& d) {
    pthread_mutex_lock(&d.lock);
    d.draining = false;
    pthread_cond_broadcast(&d.changed);
    pthread_mutex_unlock(&d.lock);
    Pause(d, kIdleMilliseconds);
}

void* CaptureThread(void* arg) {
    AlsaDevice& d = *static_cast<AlsaDevice*>(arg);
    snd_lib_error_set_local(DiscardAlsaError);
    pthread_mutex_lock(&d.lock);
    for (;;) {
        // Checked on every pass: a stop or close is seen at the latest after one read.
        while (!d.closing && !(d.started && d.queued != nullptr)) {
            if (d.draining) {  // nowhere to put what is left: the drain is over
                d.draining = false;
                pthread_cond_broadcast(&d.changed);
            }
            d.parked = true;
            pthread_cond_broadcast(&d.changed);
            pthread_cond_wait(&d.changed, &d.lock);
        }
        d.parked = false;
        if (d.closing) break;
        // A pass long after the one before means this process was held (stopped, swapped out):
        // the time in between is not the device's to answer for.
        const std::int64_t now = NowMilliseconds();
        if (now - d.last_pass_ms > kHeldAfterMilliseconds) d.last_frames_ms = now;
        d.last_pass_ms = now;
        CaptureBuffer* buffer = d.queued;
        const bool draining = d.draining;
        pthread_mutex_unlock(&d.lock);
        if (d.pcm == nullptr) {  // lost, and stopped before it came back: try again now
            Reopen(d);
            pthread_mutex_lock(&d.lock);
            continue;
        }

        const std::uint32_t frame_bytes = d.format.block_align;
        snd_pcm_uframes_t wanted = (buffer->buffer_length - buffer->bytes_recorded) / frame_bytes;
        // A buffer filled by a read that a stop overtook is handed back when capture starts
        // again, before anything more is read.
        bool full = wanted == 0;
        if (!draining) d.drain_left = -1;
        if (draining && !full) {
            // What the device holds now, and no more: a source that never runs dry ends too.
            if (d.drain_left < 0)
                d.drain_left = std::max<snd_pcm_sframes_t>(0, snd_pcm_avail(d.pcm));
            wanted =
                std::min<snd_pcm_uframes_t>(wanted, static_cast<snd_pcm_uframes_t>(d.drain_left));
            if (wanted == 0) {
                EndDrain(d);
                pthread_mutex_lock(&d.lock);
                continue;
            }
        }
        if (!full) {
            const snd_pcm_sframes_t got =
                snd_pcm_readi(d.pcm, buffer->data + buffer->bytes_recorded, wanted);
            if (got > 0) {
                FramesArrived(d);
                NoteNewestFrame(d);
                buffer->bytes_recorded += static_cast<std::uint32_t>(got) * frame_bytes;
                full = buffer->bytes_recorded + frame_bytes > buffer->buffer_length;
                if (draining) d.drain_left -= got;
            } else if (got == -EAGAIN || got == 0) {
                if (draining) {
                    EndDrain(d);
                } else {
                    WaitForFrames(d);
                }
            } else {
                Recover(d, static_cast<int>(got));
            }
        }

        pthread_mutex_lock(&d.lock);
        if (full && d.started && d.queued == buffer) {
            d.queued = nullptr;
            buffer->flags = (buffer->flags & ~kBufferQueued) | kBufferDone;
            pthread_mutex_unlock(&d.lock);
            d.callback(&d, MSG_BUFFER_DONE, d.instance, reinterpret_cast<std::uintptr_t>(buffer),
                       0);
            pthread_mutex_lock(&d.lock);
        }
    }
    d.parked = true;
    pthread_mutex_unlock(&d.lock);
    return nullptr;
}

bool OnCaptureThread(const AlsaDevice& d) { return pthread_equal(pthread_self(), d.thread) != 0; }

// Waits until the capture thread holds no PCM call; not from the capture thread itself.
void WaitParked(AlsaDevice& d) {
    Wake(d);
    while (!d.parked) pthread_cond_wait(&d.changed, &d.lock);
}

std::uint32_t Open(CaptureDevice* out, std::uint32_t device_id, const CaptureFormat* format,
                   CaptureCallback callback, std::uintptr_t instance, std::uint32_t flags) {
    const QuietAlsa quiet;
    if (out == nullptr || format == nullptr || callback == nullptr ||
        flags != CALLBACK_IS_FUNCTION) {
        return kCaptureInvalidParam;
    }
    // Only what alsa-lib delivers exactly: interleaved 16-bit PCM frames, counted as frames.
    if (!IsConsistentPcm(*format) || format->bits_per_sample != 16) return kCaptureBadFormat;
    char name[sizeof g_device.name] = "default";
    if (device_id != DEVICE_ANY && device_id != 0) {
        pthread_mutex_lock(&g_names_lock);
        const std::uint32_t i = device_id - kNamedDevice;
        const bool known =
            device_id >= kNamedDevice && i < static_cast<std::uint32_t>(g_name_count);
        if (known) std::snprintf(name, sizeof name, "%s", g_names[i]);
        pthread_mutex_unlock(&g_names_lock);
        if (!known) return kCaptureBadDeviceId;
    }
    AlsaDevice& d = g_device;
    if (d.open) return kCaptureAllocated;

    snd_pcm_t* pcm = nullptr;
    char step[192] = "";
    int err = OpenPcm(name, *format, pcm, &step);
    if (err < 0) {
        d.last_error = err;
        Failed(step, err);
        return kCaptureBadDeviceId;
    }
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        Failed("cannot make the capture thread's wake-up event", errno);
        snd_pcm_close(pcm);
        return kCaptureBadDeviceId;
    }

    d.pcm = pcm;
    d.wake_fd = wake;
    d.callback = callback;
    d.instance = instance;
    d.format = *format;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.queued = nullptr;
    d.started = d.closing = false;
    d.parked = false;
    d.draining = false;

    // The thread takes no signal meant for the host.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    err = pthread_create(&d.thread, nullptr, CaptureThread, &d);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (err != 0) {
        Failed("cannot start the capture thread", err);
        ::close(wake);
        snd_pcm_close(pcm);
        return kCaptureError;
    }
    d.open = true;
    *out = &d;
    return kCaptureOk;
}

std::uint32_t Prepare(CaptureDevice handle, CaptureBuffer* buffer, std::uint32_t size) {
    if (FromHandle(handle) == nullptr) return kCaptureInvalidHandle;
    if (buffer == nullptr || size < sizeof(CaptureBuffer)) return kCaptureInvalidParam;
    buffer->flags |= kBufferPrepared;
    return kCaptureOk;
}

std::uint32_t Add(CaptureDevice handle, CaptureBuffer* buffer, std::uint32_t size) {
    AlsaDevice* d = FromHandle(handle);
    if (d == nullptr) return kCaptureInvalidHandle;
    if (buffer == nullptr || size < sizeof(CaptureBuffer) || buffer->data == nullptr ||
        buffer->buffer_length < d->format.block_align) {
        return kCaptureInvalidParam;
    }
    if (!(buffer->flags & kBufferPrepared)) return kCaptureUnprepared;
    pthread_mutex_lock(&d->lock);
    std::uint32_t result = kCaptureStillQueued;
    if (d->queued == nullptr) {
        buffer->flags = (buffer->flags & ~kBufferDone) | kBufferQueued;
        d->queued = buffer;
        pthread_cond_broadcast(&d->changed);
        result = kCaptureOk;
    }
    pthread_mutex_unlock(&d->lock);
    return result;
}

std::uint32_t Start(CaptureDevice handle) {
    const QuietAlsa quiet;
    AlsaDevice* d = FromHandle(handle);
    if (d == nullptr) return kCaptureInvalidHandle;
    if (OnCaptureThread(*d)) return kCaptureError;
    pthread_mutex_lock(&d->lock);
    std::uint32_t result = kCaptureOk;
    if (!d->started) {
        WaitParked(*d);
        int err = d->pcm != nullptr ? snd_pcm_prepare(d->pcm) : -ENODEV;
        if (err >= 0) err = snd_pcm_start(d->pcm);
        if (err < 0) {
            d->last_error = err;
            char step[192];
            std::snprintf(step, sizeof step, "cannot start capturing from the input '%.127s'",
                          d->name);
            Failed(step, err);
            result = kCaptureError;
        } else {
            d->last_frames_ms = d->started_ms = NowMilliseconds();
            d->newest_frame_ms = 0;
            d->frames_seen = false;
            d->empty_wait_ms = 0;
            d->last_pass_ms = d->started_ms;
            d->lost = false;
            d->started = true;
            pthread_cond_broadcast(&d->changed);
        }
    }
    pthread_mutex_unlock(&d->lock);
    return result;
}

// Lets the capture thread read what the device has captured already, handing back the buffers it
// fills, before the stop. Bounded: a device that keeps giving, or a frozen server, ends it.
void Drain(AlsaDevice& d) {
    d.draining = true;
    pthread_cond_broadcast(&d.changed);
    Wake(d);
    timespec deadline;
    ::clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += kDrainSeconds;
    while (d.draining && !d.closing && d.pcm != nullptr) {
        if (pthread_cond_timedwait(&d.changed, &d.lock, &deadline) == ETIMEDOUT) break;
    }
    d.draining = false;
}

std::uint32_t Stop(CaptureDevice handle) {
    const QuietAlsa quiet;
    AlsaDevice* d = FromHandle(handle);
    if (d == nullptr) return kCaptureInvalidHandle;
    pthread_mutex_lock(&d->lock);
    if (d->started && !OnCaptureThread(*d)) Drain(*d);
    if (d->started) {
        d->started = false;
        pthread_cond_broadcast(&d->changed);
        // From inside a notice the thread is in our callback, not in alsa-lib.
        if (!OnCaptureThread(*d)) WaitParked(*d);
        if (d->pcm != nullptr) snd_pcm_drop(d->pcm);
    }
    pthread_mutex_unlock(&d->lock);
    return kCaptureOk;
}

std::uint32_t Unprepare(CaptureDevice handle, CaptureBuffer* buffer, std::uint32_t size) {
    AlsaDevice* d = FromHandle(handle);
    if (d == nullptr) return kCaptureInvalidHandle;
    if (buffer == nullptr || size < sizeof(CaptureBuffer)) return kCaptureInvalidParam;
    pthread_mutex_lock(&d->lock);
    const bool queued = d->queued == buffer;
    pthread_mutex_unlock(&d->lock);
    if (queued) return kCaptureStillQueued;
    buffer->flags &= ~kBufferPrepared;
    return kCaptureOk;
}

std::uint32_t Close(CaptureDevice handle) {
    const QuietAlsa quiet;
    AlsaDevice* d = FromHandle(handle);
    if (d == nullptr) return kCaptureInvalidHandle;
    if (OnCaptureThread(*d)) return kCaptureError;
    pthread_mutex_lock(&d->lock);
    d->started = false;
    d->closing = true;
    pthread_cond_broadcast(&d->changed);
    pthread_mutex_unlock(&d->lock);
    Wake(*d);
    // Joining is what guarantees that no notice runs after close, and that one in progress has
    // finished, its writes visible here.
    pthread_join(d->thread, nullptr);

    if (d->pcm != nullptr) {
        snd_pcm_drop(d->pcm);
        snd_pcm_close(d->pcm);
    }
    ::close(d->wake_fd);
    d->pcm = nullptr;
    d->wake_fd = -1;
    d->queued = nullptr;
    d->open = false;
    return kCaptureOk;
}

std::uint32_t Find(const char* name, std::uint32_t* device_id) {
    if (name == nullptr || device_id == nullptr || name[0] == '\0' ||
        std::strlen(name) >= sizeof g_names[0]) {
        return kCaptureInvalidParam;
    }
    pthread_mutex_lock(&g_names_lock);
    int i = 0;
    while (i < g_name_count && std::strcmp(g_names[i], name) != 0) ++i;
    std::uint32_t result = kCaptureOk;
    if (i == g_name_count && g_name_count == kMaxNames) {
        result = kCaptureAllocated;
    } else if (i == g_name_count) {
        std::snprintf(g_names[g_name_count++], sizeof g_names[0], "%s", name);
    }
    pthread_mutex_unlock(&g_names_lock);
    if (result == kCaptureOk) *device_id = kNamedDevice + static_cast<std::uint32_t>(i);
    return result;
}

constexpr CaptureService kAlsaService = {Open, Prepare, Add, Start, Stop, Unprepare, Close, Find};

}  // namespace

const CaptureService& PlatformCaptureService() { return kAlsaService; }

bool LastCaptureFailure(CaptureFailure& out) {
    if (!g_failed) return false;
    out = g_failure;
    return true;
}

}  // namespace tamberlyn
