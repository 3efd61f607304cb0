// A small console program over the two libraries:
//   tamberlyn-example silence IN.wav OUT.wav          the TAMBERLYN export
//   tamberlyn-example record OUT.wav SECONDS          the TAMBERLYN exports
//   tamberlyn-example shorten IN.wav OUT.wav          the engine, pauses told by the noise
//   tamberlyn-example detect IN.wav                   the engine's detector over the samples
//   tamberlyn-example info FILE                       the engine's judgement of a WAV file
//   tamberlyn-example listen OUT.wav SECONDS          the engine's recorder, with events
using System;
using System.IO;
using System.Threading;
using Tamberlyn;

static class Program
{
    static int Main(string[] args)
    {
        if (args.Length == 3 && args[0] == "silence")
        {
            SilenceResult result = Library.WAVSilence(args[1], args[2]);
            Console.Error.WriteLine("WAVSilence: " + result);
            return result == SilenceResult.Success ? 0 : 1;
        }
        double seconds;
        if (args.Length == 3 && args[0] == "record" &&
            double.TryParse(args[2], System.Globalization.NumberStyles.Float,
                            System.Globalization.CultureInfo.InvariantCulture, out seconds))
        {
            RecorderResult started = Library.SoundRecorderStart(args[1]);
            if (started != RecorderResult.Success)
            {
                Console.Error.WriteLine("SoundRecorderStart: " + started);
                Library.SoundRecorderStop();
                return 1;
            }
            Thread.Sleep(TimeSpan.FromSeconds(seconds));
            int blocks = Library.SoundRecorderStop();
            Console.Error.WriteLine("recorded " + blocks + " s to " + args[1]);
            return blocks > 0 ? 0 : 1;
        }
        try
        {
            if (args.Length == 3 && args[0] == "shorten") return Shorten(args[1], args[2]);
            if (args.Length == 2 && args[0] == "detect") return Detect(args[1]);
            if (args.Length == 2 && args[0] == "info") return Info(args[1]);
            int limit;
            if (args.Length == 3 && args[0] == "listen" && int.TryParse(args[2], out limit))
            {
                return Listen(args[1], limit);
            }
        }
        catch (EngineException e)
        {
            Console.Error.WriteLine(e.Message + " (status " + e.Status + ", system " +
                                    e.SystemCode + ")");
            return 1;
        }
        Console.Error.WriteLine("usage: tamberlyn-example silence IN.wav OUT.wav\n" +
                                "       tamberlyn-example record OUT.wav SECONDS\n" +
                                "       tamberlyn-example shorten IN.wav OUT.wav\n" +
                                "       tamberlyn-example detect IN.wav\n" +
                                "       tamberlyn-example info FILE\n" +
                                "       tamberlyn-example listen OUT.wav SECONDS");
        return 2;
    }

    static int Shorten(string input, string output)
    {
        int cuts = 0;
        ShortenSummary s = Engine.Shorten(input, output, PauseOptions.Auto(),
                                          (start, end) => cuts++);
        Console.WriteLine("shortened " + s.SecondsIn.ToString("F2") + " s to " +
                          s.SecondsOut.ToString("F2") + " s in " + cuts + " cuts");
        return 0;
    }

    // The samples of a canonical 44-byte-header WAV file, fed in pieces.
    static int Detect(string input)
    {
        byte[] file = File.ReadAllBytes(input);
        var samples = new short[(file.Length - 44) / 2];
        Buffer.BlockCopy(file, 44, samples, 0, samples.Length * 2);
        int cuts = 0;
        uint rate = BitConverter.ToUInt32(file, 24);
        using (var detector = new Detector(rate, 1, PauseOptions.Auto(), (start, end) => cuts++))
        {
            for (int at = 0; at < samples.Length; at += 4000)
            {
                var piece = new short[Math.Min(4000, samples.Length - at)];
                Array.Copy(samples, at, piece, 0, piece.Length);
                detector.Feed(piece);
            }
            detector.Finish();
        }
        Console.WriteLine("detected " + cuts + " cuts");
        return 0;
    }

    static int Info(string path)
    {
        WavInfo info = Engine.Inspect(path);
        Console.WriteLine(path + ": " + info.Format + ", " + info.Rate + " Hz, state " +
                          info.State + ", " + info.Seconds.ToString("F2") + " s");
        return 0;
    }

    static int Listen(string path, int seconds)
    {
        int written = 0;
        var done = new ManualResetEvent(false);
        using (var recorder = new Recorder(e => {
                   if (e.Kind == 1) Interlocked.Increment(ref written);
                   if (e.Kind == 5) done.Set();
               }))
        {
            recorder.Start(path, seconds, false);
            done.WaitOne(TimeSpan.FromSeconds(20));
            int blocks = recorder.Stop();
            Console.WriteLine("listened " + blocks + " s, " + written + " block events");
            return blocks == seconds ? 0 : 1;
        }
    }
}
