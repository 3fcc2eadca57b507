#include "Support/TestUtil.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "Core/Log.h"

namespace Test {

TempDir::TempDir() {
    char pattern[] = "/tmp/skyrail-test-XXXXXX";
    char* made = mkdtemp(pattern);
    m_Path = made ? made : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (m_Path != "/tmp") std::filesystem::remove_all(m_Path, ignored);
}

LogCapture::LogCapture() : m_File(m_Dir.File("log.txt")) {
    Meridian::Log::Close();
    Meridian::Log::Open(m_File.c_str());
}

LogCapture::~LogCapture() {
    Meridian::Log::Close();
    Meridian::Log::Open(">console");
}

std::string LogCapture::Text() const {
    if (Meridian::Log* log = Meridian::Log::Get())
        if (log->GetStream()) std::fflush(log->GetStream());
    std::ifstream in(m_File);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> LogCapture::Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(Text());
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> LogCapture::Entries() const {
    std::vector<std::string> entries;
    for (const std::string& line : Lines())
        if (line.size() > 4 && line[0] == '[' && line[2] == ']') entries.push_back(line);
    return entries;
}

bool LogCapture::Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }

int LogCapture::Count(const std::string& text) const {
    std::string all = Text();
    int count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) ++count;
    return count;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace Test
