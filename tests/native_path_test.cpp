#include "runtime/native_path.h"

#include "media/media_file.h"

#include <gtest/gtest.h>

#include <string>

namespace tamberlyn_test {
namespace {

using tamberlyn::kMaxNarrowPath;
using tamberlyn::NarrowPath;
using tamberlyn::ToNarrowPath;

std::string Convert(const std::u16string& wide, bool expect_ok = true) {
    NarrowPath out;
    EXPECT_EQ(ToNarrowPath(wide.c_str(), out), expect_ok);
    return out.bytes;
}

TEST(NarrowPath, EncodesEachUtf8LengthAndJoinsSurrogatePairs) {
    EXPECT_EQ(Convert(u"/tmp/a.wav"), "/tmp/a.wav");
    EXPECT_EQ(Convert(u"caf\u00E9"), "caf\xC3\xA9");
    EXPECT_EQ(Convert(u"\u20AC\uFFFD"), "\xE2\x82\xAC\xEF\xBF\xBD");
    EXPECT_EQ(Convert(u"\U0001F3B5"), "\xF0\x9F\x8E\xB5");
    EXPECT_EQ(Convert(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
}

TEST(NarrowPath, RefusesWhatCannotNameAFile) {
    NarrowPath out;
    EXPECT_FALSE(ToNarrowPath(nullptr, out));
    EXPECT_STREQ(out.bytes, "");
    EXPECT_EQ(Convert(u"", false), "");
    EXPECT_EQ(Convert(u"a\xD800", false), "");  // high surrogate at the end
    EXPECT_EQ(Convert(u"a\xD800"
                      u"b",
                      false),
              "");  // high surrogate without its low half
    EXPECT_EQ(Convert(u"a\xDC00"
                      u"b",
                      false),
              "");                                   // low surrogate alone
    EXPECT_EQ(Convert(u"\xDC00\xD800", false), "");  // the halves in the wrong order
}

TEST(NarrowPath, AcceptsUpToTheLimitAndRefusesOneByteMore) {
    EXPECT_EQ(Convert(std::u16string(kMaxNarrowPath, u'a')).size(), kMaxNarrowPath);
    Convert(std::u16string(kMaxNarrowPath + 1, u'a'), false);
    // 1366 three-byte characters need 4098 bytes.
    Convert(std::u16string(1366, u'\u20AC'), false);
    EXPECT_EQ(Convert(std::u16string(1365, u'\u20AC') + u"a").size(), 4096u);
}

// An output named as another audio type goes through the codecs, or is refused where they are
// missing: never written as WAV under that name.
TEST(NativePath, AnAudioExtensionIsToldInEitherCaseAndOnlyAtTheEnd) {
#if defined(_WIN32)
#define TAMBERLYN_NAME(s) L##s
#else
#define TAMBERLYN_NAME(s) s
#endif
    EXPECT_TRUE(tamberlyn::IsMediaOutputName(TAMBERLYN_NAME("memo.flac")));
    EXPECT_TRUE(tamberlyn::IsMediaOutputName(TAMBERLYN_NAME("/a/b/Talk.M4A")));
    EXPECT_FALSE(tamberlyn::IsMediaOutputName(TAMBERLYN_NAME("memo.wav")));
    EXPECT_FALSE(tamberlyn::IsMediaOutputName(TAMBERLYN_NAME("memo.flac.wav")));
    EXPECT_FALSE(tamberlyn::IsMediaOutputName(TAMBERLYN_NAME("takes.mp3/out")));
    EXPECT_FALSE(tamberlyn::IsMediaOutputName(TAMBERLYN_NAME("memo.flacx")));
    EXPECT_FALSE(tamberlyn::IsMediaOutputName(TAMBERLYN_NAME("flac")));
#undef TAMBERLYN_NAME
}

}  // namespace
}  // namespace tamberlyn_test
