// A small console program over the library:
//   tamberlyn-example silence IN.wav OUT.wav
//   tamberlyn-example record OUT.wav SECONDS
using System;
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
        Console.Error.WriteLine("usage: tamberlyn-example silence IN.wav OUT.wav\n" +
                                "       tamberlyn-example record OUT.wav SECONDS");
        return 2;
    }
}
