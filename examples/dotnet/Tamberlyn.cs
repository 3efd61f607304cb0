// The TAMBERLYN library's three exports for .NET: paths go across as UTF-16 (CharSet.Unicode),
// which is what the exports take on every platform, so any name a string can hold reaches the
// file system as it is. On Linux, map "TAMBERLYN" to libtamberlyn.so.1 (a dllmap in the
// program's .config under Mono, or a NativeLibrary resolver under .NET).
using System.Runtime.InteropServices;

namespace Tamberlyn
{
    /// <summary>What WAVSilence returns.</summary>
    public enum SilenceResult
    {
        /// <summary>Done; the success line was printed.</summary>
        Success = 999,
        /// <summary>The input not opened, the output not created, or both name one file.</summary>
        OpenFailed = 1,
        /// <summary>A read, write or close failed.</summary>
        IoFailed = 2,
    }

    /// <summary>What SoundRecorderStart returns.</summary>
    public enum RecorderResult
    {
        /// <summary>Recording runs.</summary>
        Success = 999,
        /// <summary>No capture device could be opened for the format.</summary>
        DeviceNotOpened = 1,
        /// <summary>The device refused the capture buffer.</summary>
        BufferNotQueued = 2,
        /// <summary>The device would not start capturing.</summary>
        CaptureNotStarted = 3,
        /// <summary>The output file could not be created; nothing started.</summary>
        FileNotCreated = 4,
        /// <summary>A recording is running; it was left untouched.</summary>
        AlreadyRunning = 5,
    }

    /// <summary>The library's three exports.</summary>
    public static class Library
    {
        const string Name = "TAMBERLYN";

        /// <summary>Copies <paramref name="input"/> to <paramref name="output"/> with every run
        /// of quiet samples cut to 799.</summary>
        [DllImport(Name, CharSet = CharSet.Unicode, ExactSpelling = true,
                   CallingConvention = CallingConvention.Cdecl)]
        public static extern SilenceResult WAVSilence(string input, string output);

        /// <summary>Records the default input (8000 Hz, 16-bit, mono) into
        /// <paramref name="path"/>, one second at a time.</summary>
        [DllImport(Name, CharSet = CharSet.Unicode, ExactSpelling = true,
                   CallingConvention = CallingConvention.Cdecl)]
        public static extern RecorderResult SoundRecorderStart(string path);

        /// <summary>Stops, writes the header and returns the seconds (16000-byte blocks) in the
        /// file.</summary>
        [DllImport(Name, ExactSpelling = true, CallingConvention = CallingConvention.Cdecl)]
        public static extern int SoundRecorderStop();
    }
}
