// The TAMBERLYN library's three exports for .NET: paths go across as UTF-16 (CharSet.Unicode),
// which is what the exports take on every platform, so any name a string can hold reaches the
// file system as it is. On Linux, map "TAMBERLYN" to libtamberlyn.so.1 (a dllmap in the
// program's .config under Mono, or a NativeLibrary resolver under .NET).
using System.Runtime.InteropServices;

namespace Tamberlyn
{
    // What WAVSilence returns.
    public enum SilenceResult
    {
        Success = 999,
        OpenFailed = 1,  // the input not opened, the output not created, or both name one file
        IoFailed = 2,    // a read, write or close failed
    }

    // What SoundRecorderStart returns.
    public enum RecorderResult
    {
        Success = 999,
        DeviceNotOpened = 1,    // no capture device could be opened for the format
        BufferNotQueued = 2,    // the device refused the capture buffer
        CaptureNotStarted = 3,  // the device would not start capturing
        FileNotCreated = 4,     // the output file could not be created; nothing started
        AlreadyRunning = 5,     // a recording is running; it was left untouched
    }

    public static class Library
    {
        const string Name = "TAMBERLYN";

        // Copies `input` to `output` with every run of quiet samples cut to 799.
        [DllImport(Name, CharSet = CharSet.Unicode, ExactSpelling = true,
                   CallingConvention = CallingConvention.Cdecl)]
        public static extern SilenceResult WAVSilence(string input, string output);

        // Records the default input (8000 Hz, 16-bit, mono) into `path`, one second at a time.
        [DllImport(Name, CharSet = CharSet.Unicode, ExactSpelling = true,
                   CallingConvention = CallingConvention.Cdecl)]
        public static extern RecorderResult SoundRecorderStart(string path);

        // Stops, writes the header and returns the seconds (16000-byte blocks) in the file.
        [DllImport(Name, ExactSpelling = true, CallingConvention = CallingConvention.Cdecl)]
        public static extern int SoundRecorderStop();
    }
}
