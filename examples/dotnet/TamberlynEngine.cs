// The tamberlyn engine library for .NET: shortening files, the pause detector over samples in
// memory, WAV inspection and repair, and recording with events. On Linux, map
// "tamberlyn-engine" to libtamberlyn-engine.so.1 (a dllmap in the program's .config under Mono,
// or a NativeLibrary resolver under .NET).
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using Microsoft.Win32.SafeHandles;

namespace Tamberlyn
{
    /// <summary>A failure of the engine: what failed, the system's error number where the
    /// failure is the system's, and the file it concerns.</summary>
    public class EngineException : IOException
    {
        /// <summary>The engine's status code (TAMBERLYN_E_* of tamberlyn_engine.h).</summary>
        public int Status { get; private set; }

        /// <summary>The system's error number (errno, GetLastError()); 0 when the reason is the
        /// engine's own, such as a file that is not WAV.</summary>
        public int SystemCode { get; private set; }

        /// <summary>The file the failure concerns, or null.</summary>
        public string FileName { get; private set; }

        /// <summary>Makes the exception from its parts.</summary>
        public EngineException(int status, string message, int systemCode, string fileName)
            : base(fileName != null ? "'" + fileName + "': " + message : message)
        {
            Status = status;
            SystemCode = systemCode;
            FileName = fileName;
        }
    }

    /// <summary>What counts as a pause and how much of it stays.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct PauseOptions
    {
        /// <summary>The record's size; set by <see cref="Defaults"/>.</summary>
        public uint StructSize;

        /// <summary>1..32768, or 0 for pauses told by the recording's background noise.</summary>
        public int Threshold;

        /// <summary>Seconds kept at the start of each pause; negative for the default.</summary>
        public double Keep;

        /// <summary>Seconds kept at the end of each pause, before the sound that follows;
        /// negative for the default.</summary>
        public double Pad;

        /// <summary>Threshold 500, the default keep and pad.</summary>
        public static PauseOptions Defaults()
        {
            var options = new PauseOptions();
            Native.tamberlyn_pause_options_init(ref options);
            return options;
        }

        /// <summary>Pauses told by the recording's background noise, keeping 0.1 s and 0.2 s.</summary>
        public static PauseOptions Auto()
        {
            PauseOptions options = Defaults();
            options.Threshold = 0;
            return options;
        }
    }

    /// <summary>What a shortening did.</summary>
    [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Ansi)]
    public struct ShortenSummary
    {
        /// <summary>The record's size.</summary>
        public uint StructSize;

        /// <summary>The input's sample format, such as "16-bit PCM".</summary>
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 48)] public string Format;

        /// <summary>Samples per second.</summary>
        public uint Rate;

        /// <summary>Channels.</summary>
        public uint Channels;

        /// <summary>Bytes per frame.</summary>
        public uint FrameBytes;

        /// <summary>Frames read.</summary>
        public ulong FramesIn;

        /// <summary>Frames kept.</summary>
        public ulong FramesOut;

        /// <summary>Stretches cut.</summary>
        public ulong Cuts;

        /// <summary>Nonzero when pauses were told by the background noise.</summary>
        public int Automatic;

        /// <summary>The quietest background the pauses were told from, dBFS above 200 Hz;
        /// negative infinity where every pause was digital silence.</summary>
        public double BackgroundLowDbfs;

        /// <summary>The loudest background the pauses were told from.</summary>
        public double BackgroundHighDbfs;

        /// <summary>The share of the recording where pauses could be told from sound.</summary>
        public double SeparableShare;

        /// <summary>TAMBERLYN_WARN_* flags.</summary>
        public uint Warnings;

        /// <summary>The data size the input stated.</summary>
        public ulong DataDeclared;

        /// <summary>Sample bytes read.</summary>
        public ulong DataRead;

        /// <summary>Bytes of chunks an output of unknown length could not carry.</summary>
        public ulong ChunksLeftOut;

        /// <summary>Bytes appended after the input's RIFF form, copied after the output's.</summary>
        public ulong AppendedBytes;

        /// <summary>The share of the recording that is digital silence, always a pause.</summary>
        public double DigitalSilenceShare;

        /// <summary>Seconds of the input.</summary>
        public double SecondsIn { get { return Rate > 0 ? (double)FramesIn / Rate : 0; } }

        /// <summary>Seconds of the output.</summary>
        public double SecondsOut { get { return Rate > 0 ? (double)FramesOut / Rate : 0; } }
    }

    /// <summary>What a WAV file is and what state it is in.</summary>
    [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Ansi)]
    public struct WavInfo
    {
        /// <summary>The record's size.</summary>
        public uint StructSize;

        /// <summary>0 finished, 1 an unfinished recording, 2 unknown length, 3 sizes that
        /// disagree, 4 undecidable, 5 not WAV.</summary>
        public int State;

        /// <summary>The sample format, such as "16-bit PCM".</summary>
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 48)] public string Format;

        /// <summary>The format tag (1 PCM, 3 float).</summary>
        public uint FormatTag;

        /// <summary>Samples per second.</summary>
        public uint Rate;

        /// <summary>Channels.</summary>
        public uint Channels;

        /// <summary>Bits per sample.</summary>
        public uint BitsPerSample;

        /// <summary>Bytes per frame.</summary>
        public uint BlockAlign;

        /// <summary>The file's length in bytes.</summary>
        public ulong FileSize;

        /// <summary>Where the samples begin.</summary>
        public ulong DataOffset;

        /// <summary>The data size the header states.</summary>
        public ulong DataSize;

        /// <summary>Sample bytes the file holds.</summary>
        public ulong DataOnDisk;

        /// <summary>Seconds the file holds, whole frames.</summary>
        public double Seconds;

        /// <summary>Seconds the header states.</summary>
        public double DeclaredSeconds;

        /// <summary>Nonzero for a recording whose header was never written.</summary>
        public int RecordingPlaceholder;

        /// <summary>Nonzero when the RIFF size disagrees with the file.</summary>
        public int RiffSizeWrong;

        /// <summary>Nonzero when the data size disagrees with the file.</summary>
        public int DataSizeWrong;

        /// <summary>Nonzero when a repair would make the file readable.</summary>
        public int Repairable;

        /// <summary>Why the file is undecidable, not WAV or not repairable.</summary>
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 192)] public string Reason;

        /// <summary>What a repair sets.</summary>
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 160)] public string Repair;

        /// <summary>Nonzero when a repair also cuts a lone trailing byte.</summary>
        public int RepairCutsOddByte;

        /// <summary>Bytes after the RIFF form (a tag), outside the WAV.</summary>
        public ulong Appended;
    }

    /// <summary>What happened while recording, on the recorder's own thread.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct RecordEvent
    {
        /// <summary>The record's size.</summary>
        public uint StructSize;

        /// <summary>1 a block written, 2 the input lost, 3 the input back, 4 a write failed,
        /// 5 the block limit reached.</summary>
        public int Kind;

        /// <summary>Seconds in the file so far.</summary>
        public int Blocks;

        /// <summary>The last second's loudest sample, 0..32768.</summary>
        public int Peak;

        /// <summary>When, in milliseconds of the system's monotonic clock.</summary>
        public long AtMs;

        /// <summary>The system's error number of a failed write.</summary>
        public int SystemCode;
    }

    /// <summary>A detector handle, freed by the engine when released.</summary>
    public sealed class DetectorHandle : SafeHandleZeroOrMinusOneIsInvalid
    {
        /// <summary>An empty handle, for the engine to fill.</summary>
        public DetectorHandle() : base(true) {}

        /// <summary>Frees the detector.</summary>
        protected override bool ReleaseHandle()
        {
            Native.tamberlyn_detector_free(handle);
            return true;
        }
    }

    /// <summary>A recorder handle; releasing it stops a recording still running.</summary>
    public sealed class RecorderHandle : SafeHandleZeroOrMinusOneIsInvalid
    {
        /// <summary>An empty handle, for the engine to fill.</summary>
        public RecorderHandle() : base(true) {}

        /// <summary>Stops a recording still running and frees the recorder.</summary>
        protected override bool ReleaseHandle()
        {
            Native.tamberlyn_recorder_free(handle);
            return true;
        }
    }

    /// <summary>A removed stretch, [start, end) in frames of the input.</summary>
    public delegate void CutHandler(ulong start, ulong end);

    /// <summary>Shortening, inspection and repair over the engine library.</summary>
    public static class Engine
    {
        /// <summary>The version of the engine library in use.</summary>
        public static string Version { get { return Marshal.PtrToStringAnsi(Native.tamberlyn_version()); } }

        /// <summary>Shortens the pauses of the WAV file <paramref name="input"/> into
        /// <paramref name="output"/>, which replaces an existing file only when complete.
        /// <paramref name="onCut"/>, if given, hears every stretch cut.</summary>
        public static ShortenSummary Shorten(string input, string output, PauseOptions pauses,
                                             CutHandler onCut)
        {
            using (var inName = new NativePath(input))
            using (var outName = new NativePath(output))
            {
                IntPtr pausesRecord = Marshal.AllocHGlobal(Marshal.SizeOf(typeof(PauseOptions)));
                try
                {
                    Marshal.StructureToPtr(pauses, pausesRecord, false);
                    var options = new Native.ShortenOptions();
                    Native.tamberlyn_shorten_options_init(ref options);
                    options.Pauses = pausesRecord;
                    // Kept alive across the call: the engine calls it until it returns.
                    Native.CutFunction cut = null;
                    if (onCut != null)
                    {
                        cut = (context, start, end) => onCut(start, end);
                        options.OnCut = Marshal.GetFunctionPointerForDelegate(cut);
                    }
                    var summary = new ShortenSummary();
                    summary.StructSize = (uint)Marshal.SizeOf(typeof(ShortenSummary));
                    int status = Native.tamberlyn_shorten_file(inName.Pointer, outName.Pointer,
                                                               ref options, ref summary);
                    GC.KeepAlive(cut);
                    Native.Check(status, input, output);
                    return summary;
                }
                finally
                {
                    Marshal.FreeHGlobal(pausesRecord);
                }
            }
        }

        /// <summary>Judges the regular file <paramref name="path"/> without writing to it.</summary>
        public static WavInfo Inspect(string path)
        {
            using (var name = new NativePath(path))
            {
                var info = new WavInfo();
                info.StructSize = (uint)Marshal.SizeOf(typeof(WavInfo));
                Native.Check(Native.tamberlyn_wav_inspect(name.Pointer, ref info), path);
                return info;
            }
        }

        /// <summary>Makes an unfinished or size-damaged WAV file readable in place, keeping every
        /// sample; returns what it judged before.</summary>
        public static WavInfo Repair(string path)
        {
            using (var name = new NativePath(path))
            {
                var info = new WavInfo();
                info.StructSize = (uint)Marshal.SizeOf(typeof(WavInfo));
                Native.Check(Native.tamberlyn_wav_repair(name.Pointer, ref info), path);
                return info;
            }
        }
    }

    /// <summary>The pause detector over 16-bit frames in memory: feed them in any pieces, and
    /// hear the stretches shortening would cut from them.</summary>
    public sealed class Detector : IDisposable
    {
        readonly DetectorHandle handle;
        readonly Native.CutFunction cut;  // called by the engine for as long as the handle lives
        readonly uint channels;

        /// <summary>A detector for <paramref name="channels"/> interleaved channels at
        /// <paramref name="rate"/> samples per second.</summary>
        public Detector(uint rate, uint channels, PauseOptions pauses, CutHandler onCut)
        {
            this.channels = channels;
            cut = (context, start, end) => onCut(start, end);
            int status = Native.tamberlyn_detector_create(rate, channels, ref pauses,
                                                          Marshal.GetFunctionPointerForDelegate(cut),
                                                          IntPtr.Zero, out handle);
            Native.Check(status);
        }

        /// <summary>Interleaved samples, whole frames.</summary>
        public void Feed(short[] samples)
        {
            Native.Check(Native.tamberlyn_detector_feed(handle, samples,
                                                        (UIntPtr)(samples.Length / channels)));
        }

        /// <summary>The input has ended: the last cuts come now.</summary>
        public ShortenSummary Finish()
        {
            var summary = new ShortenSummary();
            summary.StructSize = (uint)Marshal.SizeOf(typeof(ShortenSummary));
            Native.Check(Native.tamberlyn_detector_finish(handle, ref summary));
            return summary;
        }

        /// <summary>Frees the detector.</summary>
        public void Dispose() { handle.Dispose(); }
    }

    /// <summary>Records the audio input (8000 Hz, 16-bit, mono) into a WAV file in whole
    /// seconds, with events as they happen.</summary>
    public sealed class Recorder : IDisposable
    {
        readonly RecorderHandle handle;
        readonly Native.RecordFunction forward;  // called by the engine while it records
        readonly Action<RecordEvent> onEvent;

        /// <summary>A recorder; <paramref name="onEvent"/> (may be null) runs on the capture
        /// thread and must be quick.</summary>
        public Recorder(Action<RecordEvent> onEvent)
        {
            this.onEvent = onEvent;
            forward = (IntPtr context, ref RecordEvent e) => {
                if (this.onEvent != null) this.onEvent(e);
            };
            Native.Check(Native.tamberlyn_recorder_create(out handle));
        }

        /// <summary>Creates <paramref name="path"/> and starts recording; with
        /// <paramref name="seconds"/> above 0, writing stops after that many. An existing file is
        /// replaced, when the recording holds a second, only with <paramref name="replace"/>.</summary>
        public void Start(string path, int seconds, bool replace)
        {
            var options = new Native.RecordOptions();
            Native.tamberlyn_record_options_init(ref options);
            options.BlockLimit = seconds;
            options.Existing = replace ? 1 : 0;
            options.OnEvent = Marshal.GetFunctionPointerForDelegate(forward);
            using (var name = new NativePath(path))
            {
                Native.Check(Native.tamberlyn_recorder_start(handle, name.Pointer, ref options),
                             null, path);
            }
        }

        /// <summary>Stops and finishes the file; returns the seconds in it. A recording that
        /// holds nothing is removed.</summary>
        public int Stop()
        {
            var result = new Native.RecordResult();
            result.StructSize = (uint)Marshal.SizeOf(typeof(Native.RecordResult));
            int status = Native.tamberlyn_recorder_stop(handle, ref result);
            Native.Check(status);
            return result.Blocks;
        }

        /// <summary>Stops a recording still running and frees the recorder.</summary>
        public void Dispose() { handle.Dispose(); }
    }

    // A file name as the engine takes it: UTF-16 on Windows, UTF-8 elsewhere.
    sealed class NativePath : IDisposable
    {
        public IntPtr Pointer { get; private set; }

        public NativePath(string path)
        {
            if (path == null) throw new ArgumentNullException("path");
            if (Environment.OSVersion.Platform == PlatformID.Win32NT)
            {
                Pointer = Marshal.StringToHGlobalUni(path);
                return;
            }
            byte[] bytes = Encoding.UTF8.GetBytes(path);
            Pointer = Marshal.AllocHGlobal(bytes.Length + 1);
            Marshal.Copy(bytes, 0, Pointer, bytes.Length);
            Marshal.WriteByte(Pointer, bytes.Length, 0);
        }

        public void Dispose()
        {
            Marshal.FreeHGlobal(Pointer);
            Pointer = IntPtr.Zero;
        }
    }

    static class Native
    {
        const string Name = "tamberlyn-engine";

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void CutFunction(IntPtr context, ulong start, ulong end);

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void RecordFunction(IntPtr context, ref RecordEvent e);

        [StructLayout(LayoutKind.Sequential)]
        public struct ShortenOptions
        {
            public uint StructSize;
            public IntPtr Pauses;
            public IntPtr OnCut;
            public IntPtr CutContext;
            public IntPtr LabelsPath;
            public IntPtr LabelsStream;
            public IntPtr Progress;
            public IntPtr ProgressContext;
        }

        [StructLayout(LayoutKind.Sequential)]
        public struct RecordOptions
        {
            public uint StructSize;
            public IntPtr Device;
            public int BlockLimit;
            public int Existing;
            public IntPtr OnEvent;
            public IntPtr EventContext;
            public int KeepPartialSecond;
        }

        [StructLayout(LayoutKind.Sequential)]
        public struct RecordResult
        {
            public uint StructSize;
            public int Blocks;
            public int WriteError;
            public int FinishError;
            public int ReplaceError;
            public int Removed;
            public ulong Frames;
            public long LostMs;
            public int Vanished;
        }

        // The calling thread's last failure in the engine, thrown.
        public static void Check(int status, params string[] names)
        {
            if (status == 0) return;
            string message = Marshal.PtrToStringAnsi(tamberlyn_error_message());
            int which = tamberlyn_error_file();
            string name = which >= 1 && which <= names.Length ? names[which - 1] : null;
            throw new EngineException(status, message, tamberlyn_error_system_code(), name);
        }

        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr tamberlyn_version();
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr tamberlyn_error_message();
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_error_system_code();
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_error_file();
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern void tamberlyn_pause_options_init(ref PauseOptions options);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern void tamberlyn_shorten_options_init(ref ShortenOptions options);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_shorten_file(IntPtr input, IntPtr output,
                                                        ref ShortenOptions options,
                                                        ref ShortenSummary summary);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_detector_create(uint rate, uint channels,
                                                           ref PauseOptions options, IntPtr onCut,
                                                           IntPtr context,
                                                           out DetectorHandle detector);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_detector_feed(DetectorHandle detector, short[] samples,
                                                         UIntPtr frames);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_detector_finish(DetectorHandle detector,
                                                           ref ShortenSummary summary);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern void tamberlyn_detector_free(IntPtr detector);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_wav_inspect(IntPtr path, ref WavInfo info);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_wav_repair(IntPtr path, ref WavInfo info);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern void tamberlyn_record_options_init(ref RecordOptions options);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_recorder_create(out RecorderHandle recorder);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_recorder_start(RecorderHandle recorder, IntPtr path,
                                                          ref RecordOptions options);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tamberlyn_recorder_stop(RecorderHandle recorder,
                                                         ref RecordResult result);
        [DllImport(Name, CallingConvention = CallingConvention.Cdecl)]
        public static extern void tamberlyn_recorder_free(IntPtr recorder);
    }
}
