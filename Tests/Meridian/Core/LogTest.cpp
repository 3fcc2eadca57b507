#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <regex>

#include "Core/Log.h"
#include "Support/TestUtil.h"

using namespace Meridian;

TEST(Log, BannerPrefixesAndValueFormats) {
    ::Test::LogCapture capture;
    LogE() << "int " << 42 << " neg " << -7 << " unsigned " << 4294967295u;
    LogW() << "float " << 1.5f << " double " << 0.25;
    LogI() << "hex " << Log::AsHex(255u) << " zero " << Log::AsHex(0u);
    LogD() << "quoted " << Log::Quote("a b") << " " << Log::Quote(std::string("c"));
    LogD() << "chained " << "parts " << std::string("std");

    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(---- START  \(BUILD: [A-Z][a-z]{2} [ 0-9]\d \d{4} / \d\d:\d\d:\d\d\) ----)")))
        << lines[0];
    EXPECT_EQ(lines[1], "[E] int 42 neg -7 unsigned -1");
    EXPECT_EQ(lines[2], "[W] float 1.500000 double 0.250000");
    EXPECT_EQ(lines[3], "[I] hex 0xff zero 0x0");
    EXPECT_EQ(lines[4], "[D] quoted \"a b\" \"c\"");
    EXPECT_EQ(lines[5], "[D] chained parts std");

    // Hidden debug lines leave the others as they were.
    Log::SetDebugShown(false);
    LogD() << "hidden";
    LogI() << "shown";
    Log::SetDebugShown(true);
    EXPECT_EQ(capture.Lines().size(), 7u);
    EXPECT_EQ(capture.Lines().back(), "[I] shown");
}

TEST(Log, OpenTwiceCloseAndUnopenableTargets) {
    ::Test::TempDir dir;
    const std::string file = dir.File("first.log");
    Log::Close();
    LogE() << "dropped before open";
    Log::Open(file.c_str());
    Log::Open(dir.File("second.log").c_str());  // ignored: a log is open
    LogI() << "kept";
    Log::Close();
    LogE() << "dropped after close";
    EXPECT_EQ(::Test::ReadFile(dir.File("second.log")).size(), 0u);

    const std::vector<unsigned char> bytes = ::Test::ReadFile(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.size(), 49u + 9u);
    EXPECT_NE(text.find("[I] kept\n"), std::string::npos);
    EXPECT_EQ(text.find("dropped"), std::string::npos);

    // A file that cannot be opened leaves an open log that drops everything.
    Log::Open("/nonexistent-folder/x.log");
    ASSERT_NE(Log::Get(), nullptr);
    EXPECT_EQ(Log::Get()->GetStream(), nullptr);
    LogE() << "nowhere";
    Log::Close();

    // Closing a console log leaves standard error usable.
    Log::Open(">console");
    Log::Close();
    EXPECT_GE(std::fprintf(stderr, "%s", ""), 0);
    EXPECT_NE(fcntl(STDERR_FILENO, F_GETFD), -1);
    Log::Open(">console");
}
