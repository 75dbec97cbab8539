#include "state/CodePage.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

TEST(CodePage, Latin1BecomesUtf8AndEveryByteSurvivesTheRoundTrip)
{
    const std::string ascii = " Empty  Hall~!09AZaz";
    EXPECT_EQ(latin1ToUtf8(ascii), ascii);
    EXPECT_EQ(utf8ToLatin1(ascii), ascii);
    EXPECT_EQ(latin1ToUtf8("\xE9"), "\xC3\xA9"); // é
    EXPECT_EQ(latin1ToUtf8("\x80\xFF"), "\xC2\x80\xC3\xBF");
    EXPECT_EQ(latin1ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(utf8ToLatin1(latin1ToUtf8(all)), all);
}

TEST(CodePage, WhatLatin1CannotHoldBecomesOneQuestionMarkEach)
{
    EXPECT_EQ(utf8ToLatin1("5\xE2\x82\xAC"), "5?");       // euro sign
    EXPECT_EQ(utf8ToLatin1("\xF0\x9F\x8E\xB8!"), "?!");   // a four-byte character
    EXPECT_EQ(utf8ToLatin1("\xC5\x81\xC3\xB3"), "?\xF3"); // Ł then ó
    EXPECT_EQ(utf8ToLatin1("a\x80\x80z"), "a?z");         // stray continuation bytes
    EXPECT_EQ(utf8ToLatin1("a\xC3"), "a?");               // cut off at the end
    EXPECT_EQ(utf8ToLatin1("\xE2\x82z"), "?z");           // cut off before a plain character
    EXPECT_EQ(utf8ToLatin1("\xC0\xAF"), "?");             // overlong form of '/'
    EXPECT_EQ(utf8ToLatin1("\xFF"), "?");
}

} // namespace
} // namespace qrv::test
