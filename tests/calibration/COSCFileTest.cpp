// COSCFile: messages encoded by liblo (so that a shared misreading of OSC padding or type tags
// cannot hide), hand-made malformed messages, and messages beyond the field limits.
#include "calibration/COSCFile.h"

#include "CalibrationTestSupport.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace caltest;

class OscRead : public ::testing::Test {
protected:
    void open(const std::vector<unsigned char>& bytes)
    {
        file.reset(std::tmpfile());
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
        osc.file = file.get();
    }

    File file;
    COSCFile osc;
};

std::vector<unsigned char> concat(std::initializer_list<std::vector<unsigned char>> parts)
{
    std::vector<unsigned char> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<unsigned char> text(const std::string& s) { return {s.begin(), s.end()}; }

TEST_F(OscRead, StoresEachArgumentAtItsPosition)
{
    // A tag of another type ("T") takes a position but no bytes.
    open(OscMessage("/test").i(-7).f(0.25f).s("hello").t().f(-3.5f).i(123456789).framed());
    ASSERT_TRUE(osc.readMessage());
    EXPECT_STREQ(osc.address, "/test");
    EXPECT_STREQ(osc.typeTags, ",ifsTfi");
    EXPECT_EQ(osc.argumentCount(), 6);
    EXPECT_EQ(osc.intArgs[0], -7);
    EXPECT_EQ(osc.floatArgs[1], 0.25f);
    EXPECT_STREQ(osc.stringArgs[2], "hello");
    EXPECT_EQ(osc.floatArgs[4], -3.5f);
    EXPECT_EQ(osc.intArgs[5], 123456789);
    EXPECT_EQ(osc.remaining, 0u);
    EXPECT_FALSE(osc.readMessage());
    EXPECT_EQ(osc.problem(), nullptr);
}

TEST_F(OscRead, KeepsArgumentFieldsThatALaterMessageDoesNotName)
{
    open(concat({OscMessage("/a").i(5).f(2.0f).framed(), OscMessage("/b").f(9.0f).framed()}));
    ASSERT_TRUE(osc.readMessage());
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(osc.floatArgs[0], 9.0f);
    EXPECT_EQ(osc.intArgs[0], 5);
    EXPECT_EQ(osc.floatArgs[1], 2.0f);
    EXPECT_EQ(osc.tag(1), '\0');
}

class OscPadding : public OscRead, public ::testing::WithParamInterface<int> {};

TEST_P(OscPadding, AddressesAndStringsOfEveryLengthKeepTheNextMessageInStep)
{
    const int n = GetParam();
    const std::string address = "/" + std::string(static_cast<std::size_t>(n - 1), 'a');
    const std::string value(static_cast<std::size_t>(n), 's');
    open(concat({OscMessage(address).s(value).f(1.5f).framed(), OscMessage("/next").i(42).framed()}));
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(std::string(osc.address), address);
    EXPECT_EQ(std::string(osc.stringArgs[0]), value);
    EXPECT_EQ(osc.floatArgs[1], 1.5f);
    ASSERT_TRUE(osc.readMessage());
    EXPECT_STREQ(osc.address, "/next");
    EXPECT_EQ(osc.intArgs[0], 42);
}

INSTANTIATE_TEST_SUITE_P(Lengths, OscPadding, ::testing::Range(1, 10));

// Sizes that end a message early: 0 (no address), 4 (the address's first piece only), 6 (not a
// multiple of four: the size stops at 0 instead of wrapping round). No type tags are read, and the
// next message is read from its own size field.
class OscShortSize : public OscRead, public ::testing::WithParamInterface<std::pair<std::uint32_t, std::string>> {};

TEST_P(OscShortSize, EndsTheMessageWithoutArgumentsAndKeepsTheNextInStep)
{
    const auto& [size, bytes] = GetParam();
    open(concat({OscMessage::bigEndian(size), text(bytes), OscMessage("/next").i(3).framed()}));
    ASSERT_TRUE(osc.readMessage());
    EXPECT_STREQ(osc.address, bytes.c_str());
    EXPECT_EQ(osc.argumentCount(), 0);
    EXPECT_EQ(osc.remaining, 0u);
    ASSERT_TRUE(osc.readMessage());
    EXPECT_STREQ(osc.address, "/next");
    EXPECT_EQ(osc.intArgs[0], 3);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OscShortSize,
                         ::testing::Values(std::pair {0u, std::string()}, std::pair {4u, std::string("/abc")},
                                           std::pair {6u, std::string("/abc\0\0\0\0", 8)}));

struct MalformedCase {
    const char* what;
    std::vector<unsigned char> bytes;
    const char* problem;   // part of the reported problem
};

class OscMalformed : public OscRead, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(OscMalformed, EndsReadingWithAProblem)
{
    const MalformedCase& c = GetParam();
    open(concat({OscMessage("/ok").framed(), c.bytes, OscMessage("/never").framed()}));
    ASSERT_TRUE(osc.readMessage());
    EXPECT_FALSE(osc.readMessage());
    ASSERT_NE(osc.problem(), nullptr);
    EXPECT_NE(std::string(osc.problem()).find(c.problem), std::string::npos) << osc.problem();
    // Every field still ends inside its bounds.
    EXPECT_LT(std::strlen(osc.address), sizeof osc.address);
    EXPECT_LT(std::strlen(osc.typeTags), sizeof osc.typeTags);
}

std::vector<unsigned char> withoutLast(std::vector<unsigned char> bytes, std::size_t n)
{
    bytes.resize(bytes.size() - n);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, OscMalformed,
    ::testing::Values(
        MalformedCase {"AddressWithoutSlash", OscMessage("matrix/row").i(0).framed(), "'/'"},
        MalformedCase {"TypeTagsWithoutComma",
                       concat({OscMessage::bigEndian(8), text(std::string("/a\0\0f\0\0\0", 8))}), "','"},
        MalformedCase {"AddressLongerThanItsField",
                       OscMessage("/" + std::string(1023, 'a')).framed(), "address longer"},
        MalformedCase {"AddressWithoutTerminatorAndAHugeSize",
                       concat({OscMessage::bigEndian(0xffffffffu), text(std::string(4000, 'a'))}),
                       "address longer"},
        MalformedCase {"MoreThan32Arguments",
                       [] {
                           OscMessage m("/many");
                           for (int i = 0; i < 33; ++i)
                               m.i(i);
                           return m.framed();
                       }(),
                       "more than 32"},
        MalformedCase {"TypeTagsLongerThanTheirField",
                       [] {
                           OscMessage m("/many");
                           for (int i = 0; i < 36; ++i)
                               m.t();
                           return m.framed();
                       }(),
                       "type tags longer"},
        MalformedCase {"StringLongerThanItsField", OscMessage("/s").s(std::string(1024, 'x')).framed(),
                       "string argument longer"}),
    [](const auto& info) { return std::string(info.param.what); });

struct CutCase {
    const char* what;
    std::size_t cut;       // bytes removed from the end of the message
    const char* problem;
};

class OscCutShort : public OscRead, public ::testing::WithParamInterface<CutCase> {};

TEST_P(OscCutShort, EndsReadingAtTheEndOfTheFile)
{
    const CutCase& c = GetParam();
    // "/cut" ,if 7 2.5: size 4, address 8 (four characters, a zero and padding), tags 4, int 4,
    // float 4.
    open(withoutLast(OscMessage("/cut").i(7).f(2.5f).framed(), c.cut));
    EXPECT_FALSE(osc.readMessage());
    ASSERT_NE(osc.problem(), nullptr);
    EXPECT_NE(std::string(osc.problem()).find(c.problem), std::string::npos) << osc.problem();
}

INSTANTIATE_TEST_SUITE_P(Cuts, OscCutShort,
                         ::testing::Values(CutCase {"InTheFloat", 2, "float argument"},
                                           CutCase {"InTheInteger", 6, "integer argument"},
                                           CutCase {"InTheTypeTags", 10, "type tags cut short"},
                                           CutCase {"InTheAddress", 14, "address cut short"},
                                           CutCase {"InTheSize", 22, "size field"}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(OscRead, AcceptsFieldsFilledToTheirLimits)
{
    OscMessage many("/many");
    for (int i = 0; i < 32; ++i)
        many.f(static_cast<float>(i));
    open(concat({OscMessage("/" + std::string(1022, 'a')).framed(), many.framed(),
                 OscMessage("/s").s(std::string(1023, 'x')).framed()}));
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(std::strlen(osc.address), 1023u);
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(osc.argumentCount(), 32);
    EXPECT_EQ(osc.floatArgs[31], 31.0f);
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(std::strlen(osc.stringArgs[0]), 1023u);
}

TEST_F(OscRead, AStringCutByTheEndOfTheFileEndsThereAndTheMessageCounts)
{
    open(withoutLast(OscMessage("/s").s("abcdefgh").framed(), 4));
    EXPECT_TRUE(osc.readMessage());
    EXPECT_STREQ(osc.stringArgs[0], "abcdefgh");
    EXPECT_FALSE(osc.readMessage());
}

} // namespace
